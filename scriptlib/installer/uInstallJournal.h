#pragma once
// What one installation changes on disk, written down before it is done, so
// that it can be taken back: by the installation itself when it fails or is
// cancelled, and by the next installation into the same folder when it was
// killed or cut off by a power cut.
//
// The journal lives in JournalFolderName inside the install folder, where
// no stored name may lie: a file "journal" with one record a line, and the
// old copies of the files it replaces, moved there under names of its own.
// Records (stored-name paths below the install folder, '\' between parts):
//   D path        the folder path was made
//   C path        the file path is put in place, where nothing was
//   R aside path  the old file path was moved into the journal as aside
//   K             done: the old copies are only waiting to be deleted
// A step is recorded before it is taken; taking back a step that never
// happened finds nothing to do. The journal's folders are held open
// (TSafeFolder) and entered without following links, so neither the
// installation nor its undo acts through a link that appeared meanwhile.
// Portable; the installation (uPatcherInstall.h) fills it.

#include <memory>
#include <string>
#include <vector>

#include "system/fs/uSafeFolder.h"

// One record of the journal.
struct TJournalStep {
    char Kind;  // 'D', 'C', 'R' or 'K'
    std::string Path, Aside;
};

// The records of a journal's text, up to the first line that is not a
// whole, valid record (a power cut can cut the last one short). Paths that
// StoredNameFault refuses and aside names that TemporaryName cannot give
// end the records there too, so a journal's text can never name anything
// outside its install folder.
std::vector<TJournalStep> ParseJournal(const std::string& text);

class TInstallJournal {
public:
    // The journal of the installation into root. Before anything else, a
    // journal that an earlier run left there is finished: a run that did
    // not get to K has its steps taken back, one that did has its old
    // copies deleted. EPathError when that fails, when the journal's folder
    // is not a folder, or when another installation into root is running.
    explicit TInstallJournal(TSafeFolder root);
    // Undoes what is recorded unless Commit was called.
    ~TInstallJournal();
    TInstallJournal(const TInstallJournal&) = delete;
    TInstallJournal& operator=(const TInstallJournal&) = delete;

    // The folder at parts below the root (none: the root), entered without
    // following links and held until the journal ends; each missing level
    // is recorded, then made.
    const TSafeFolder& Folder(const std::vector<std::string>& parts);
    // True when this run made folder (one Folder gave): nothing but what
    // this run puts there can be in it.
    bool Made(const TSafeFolder& folder) const;

    // The file path will be put in place where nothing is (Created), or
    // over a file whose old copy goes into the journal's folder first
    // (Replaced, which gives the copy's name there). Written down by Seal.
    void Created(const std::string& path) { records_.append("C ").append(path).append("\n"); }
    std::string Replaced(const std::string& path);
    const TSafeFolder& Aside() const { return *aside_; }

    // Writes the records down and flushes the journal to disk: no file may
    // go into place before.
    void Seal();

    // The installation stays: K is written and flushed once every rename
    // before it is on disk, then the old copies are deleted (one that
    // cannot be, a program that is running, goes at the next restart where
    // the system allows it, or at the next run), and the journal with them.
    void Commit();
    // Takes every step back, the last first: created files are deleted,
    // replaced ones get their old copy back (a rename, so byte for byte,
    // with its attributes), made folders are removed when empty. False
    // when something could not be put back; the journal then stays for the
    // next run to finish. The caller closes its own files in the folders
    // first.
    bool Undo();

private:
    void WriteRecords();
    bool TakeBackAll(const std::string& text);
    bool TakeBack(const TJournalStep& step);
    void Release(const std::string& path);
    void End();
    const TSafeFolder* Find(const std::vector<std::string>& parts, size_t count, bool make);

    // The folders held, the root first, each with its path below the root.
    struct THeld {
        std::string path;
        std::unique_ptr<TSafeFolder> folder;
        bool made = false;
    };
    std::vector<THeld> held_;
    std::unique_ptr<TSafeFolder> aside_;
    THandle file_ = InvalidHandle;
    std::string records_;  // the journal's text, written up to written_
    size_t written_ = 0;
};
