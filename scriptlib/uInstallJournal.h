#pragma once
// What one installation changed on disk, so that it can be taken back:
// folders it made, files it created, and files it replaced, whose old
// copies wait beside them under AsideName until the installation ends.
// Each step names its entry in a folder held open (TSafeFolder), so taking
// it back acts on what the installation made, never through a link that
// appeared meanwhile. Portable; the installation (uPatcherInstall.h) fills it.

#include <memory>
#include <string>
#include <vector>

#include "system/uSafeFolder.h"

// A folder of the installation, shared by the entries below it and by the
// journal's steps.
using TFolderRef = std::shared_ptr<const TSafeFolder>;

// The name under which the old copy of the file name waits while an
// installation runs: beside it, in the same folder, so that putting it
// back is a rename. A run that was killed leaves it there; the next
// installation of the same target puts it back before it begins (see
// InstallArchive).
std::string AsideName(const std::string& name);

class TInstallJournal {
public:
    TInstallJournal() = default;
    // Undoes what is recorded unless Commit was called.
    ~TInstallJournal();
    TInstallJournal(const TInstallJournal&) = delete;
    TInstallJournal& operator=(const TInstallJournal&) = delete;

    // The subfolder name of parent was made.
    void FolderMade(TFolderRef parent, std::string name) { steps_.push_back({kFolder, std::move(parent), std::move(name)}); }
    void FileCreated(TFolderRef folder, std::string name) { steps_.push_back({kCreated, std::move(folder), std::move(name)}); }
    // name now holds a new file; its old one was renamed to AsideName(name).
    void FileReplaced(TFolderRef folder, std::string name) {
        steps_.push_back({kReplaced, std::move(folder), std::move(name)});
    }

    // The installation stays: the old copies are deleted.
    void Commit();
    // Takes every step back, the last first: created files are deleted,
    // replaced ones get their old copy back (a rename, so byte for byte,
    // with its attributes), made folders are removed when empty. False
    // when something could not be put back; an old copy that cannot is
    // left under its aside name. The journal is empty afterwards. The
    // caller lets go of its own references to the folders first.
    bool Undo();

private:
    enum Kind { kFolder, kCreated, kReplaced };
    struct Step {
        Kind kind;
        TFolderRef folder;
        std::string name;
    };
    std::vector<Step> steps_;
};
