#pragma once
// What one installation changed on disk, so that it can be taken back:
// folders it made, files it created, and files it replaced, whose old
// copies wait beside them under AsideName until the installation ends.
// The journal holds the installation's folders open (TSafeFolder) and each
// step names its entry in one of them, so taking it back acts on what the
// installation made, never through a link that appeared meanwhile.
// Portable; the installation (uPatcherInstall.h) fills it.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "system/fs/uSafeFolder.h"

// The name under which the old copy of the file name waits while an
// installation runs: beside it, in the same folder, so that putting it
// back is a rename. A run that was killed leaves it there; the next
// installation of the same target puts it back before it begins (see
// InstallArchive).
std::string AsideName(const std::string& name);

// A folder the journal holds, by the order in which it came.
using TFolderId = size_t;

class TInstallJournal {
public:
    TInstallJournal() = default;
    // Undoes what is recorded unless Commit was called.
    ~TInstallJournal();
    TInstallJournal(const TInstallJournal&) = delete;
    TInstallJournal& operator=(const TInstallJournal&) = delete;

    // Keeps folder open until the installation ends; a folder it made comes
    // after its parent.
    TFolderId Hold(TSafeFolder folder);
    const TSafeFolder& Folder(TFolderId id) const { return *folders_[id]; }

    // The subfolder name of parent was made, and is held as made.
    void FolderMade(TFolderId parent, std::string name, TFolderId made) {
        steps_.push_back({kFolder, parent, std::move(name), made});
    }
    void FileCreated(TFolderId folder, std::string name) { steps_.push_back({kCreated, folder, std::move(name), 0}); }
    // name now holds a new file; its old one was renamed to AsideName(name).
    void FileReplaced(TFolderId folder, std::string name) {
        steps_.push_back({kReplaced, folder, std::move(name), 0});
    }

    // The installation stays: the old copies are deleted.
    void Commit();
    // Takes every step back, the last first: created files are deleted,
    // replaced ones get their old copy back (a rename, so byte for byte,
    // with its attributes), made folders are removed when empty. False
    // when something could not be put back; an old copy that cannot is
    // left under its aside name. The journal is empty afterwards and its
    // folders closed. The caller closes its own files in them first.
    bool Undo();

private:
    enum Kind { kFolder, kCreated, kReplaced };
    struct Step {
        Kind kind;
        TFolderId folder;
        std::string name;
        TFolderId made;  // kFolder: the folder it made
    };
    void Close();

    std::vector<std::unique_ptr<TSafeFolder>> folders_;
    std::vector<Step> steps_;
};
