#pragma once
// What one installation changed on disk, so that it can be taken back:
// folders it made, files it created, and files it replaced, whose old
// copies wait beside them under AsideName until the installation ends.
// Portable; the installation (uPatcherInstall.h) fills it.

#include <string>
#include <vector>

// The name under which the old copy of target waits while an installation
// runs: beside it, in the same folder, so that putting it back is a rename.
// A run that was killed leaves it there; the next installation of the same
// target puts it back before it begins (see InstallArchive).
std::string AsideName(const std::string& target);

class TInstallJournal {
public:
    TInstallJournal() = default;
    // Undoes what is recorded unless Commit was called.
    ~TInstallJournal();
    TInstallJournal(const TInstallJournal&) = delete;
    TInstallJournal& operator=(const TInstallJournal&) = delete;

    void FolderMade(const std::string& path) { steps_.push_back({kFolder, path}); }
    void FileCreated(const std::string& path) { steps_.push_back({kCreated, path}); }
    // target now holds a new file; its old one was renamed to AsideName.
    void FileReplaced(const std::string& target) { steps_.push_back({kReplaced, target}); }

    // The installation stays: the old copies are deleted.
    void Commit();
    // Takes every step back, the last first: created files are deleted,
    // replaced ones get their old copy back (a rename, so byte for byte,
    // with its attributes), made folders are removed when empty. False
    // when something could not be put back; an old copy that cannot is
    // left under its aside name. The journal is empty afterwards.
    bool Undo();

private:
    enum Kind { kFolder, kCreated, kReplaced };
    struct Step {
        Kind kind;
        std::string path;
    };
    std::vector<Step> steps_;
};
