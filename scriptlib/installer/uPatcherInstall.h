#pragma once
// Installing every entry of the archive below one folder, the work behind
// the script function ArchiveInstall: all or nothing, with progress and a
// way to stop. Portable, so that the writing and the undo are tested on
// every platform; the host adds the page's progress bar and its messages.

#include <cstdint>
#include <string>

#include "archive/uZlibArchive.h"
#include "scriptlib/installer/uEntrySelection.h"

// Told how the installation goes; answers whether to go on.
class TInstallObserver {
public:
    virtual ~TInstallObserver() = default;
    // Entry name (its stored name) is written next.
    virtual void Entry(const std::string& name) = 0;
    // written of total bytes are done; false stops the installation, which
    // then undoes itself. Called often (every 32 KiB written, and once per
    // file as the files go into place).
    virtual bool Progress(uint64_t written, uint64_t total) = 0;
};

enum TInstallOutcome { ioDone, ioRefused, ioFailed, ioCancelled };

struct TInstallResult {
    TInstallOutcome Outcome = ioFailed;
    // The file or folder that could not be written, or the refused name,
    // and why, reading after it ("cannot be written: <the OS's text>").
    std::string Failed;
    std::string Reason;
};

// Writes every entry but setup.ini and those leftOut names under its
// stored name below folder, making the folders the names need (folder
// itself too). What is left out is neither written nor checked.
//
// Two steps: each entry is first inflated into a new file beside its
// target (TSafeNewFile: nameless or under a temporary name, removed if the
// installation does not keep it), and the new files are flushed to disk in
// rounds (TFlushBatch); only when all are written and flushed, and the
// journal (TInstallJournal) says what will happen and is flushed too, do
// they go into place, each old file moved into the journal's folder
// first. On failure or when the observer says stop, everything is undone:
// nothing of the new files stays and the old ones are back byte for byte.
// On success the journal is marked done and flushed before the old copies
// are deleted.
//
// Every level below folder is entered without following links (the
// folder itself is taken as named), so a link planted in an install folder
// cannot carry a file elsewhere: such a link, in place of a folder or of a
// file, fails the installation before anything is written.
//
// A process killed (or a machine cut off) while it installs leaves the
// journal in the folder; the next installation into the same folder takes
// back what it names before anything else.
//
// Refused, with nothing written: any entry name StoredNameFault refuses.
TInstallResult InstallArchive(const TZLibUnpacker& unpacker, const std::string& folder, TInstallObserver& observer,
                              const TLeftOut& leftOut = {});
