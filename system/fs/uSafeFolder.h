#pragma once
// Writing and removing files where they belong and nowhere else. A folder
// is held open while it is used, and every level below it is entered
// without following a link (a symbolic link, a junction or another reparse
// point), so a link planted inside a folder cannot send a write, a new
// subfolder or a removal anywhere else. Every name is looked up relative to
// the folder held open (POSIX: the *at calls; Windows: NtCreateFile and the
// rename with the folder's handle as the root of the name), never through
// its path, so whatever happens to the path meanwhile, nothing leaves the
// folder. Files are written under a temporary name of their own (created
// exclusively, unpredictable, beside their final place), flushed to disk
// and renamed into place only once complete.
//
// Every failure raises EPathError with the path as subject and a message
// that reads after it ("... is a link; nothing is written through links").
// Names given to a folder are one component each: no separators.

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "system/fs/uPathError.h"
#include "system/io/uWorkers.h"
#include "system/uSystem.h"

// What a name in a folder is, the name itself looked at (never what a link
// points to).
enum class TEntryKind { Missing, File, Folder, Link, Other };

class TSafeFolder {
public:
    // The folder at path, as the caller named it: links on the way to it are
    // followed. An empty path is the current folder. With create, missing
    // folders are made.
    explicit TSafeFolder(const std::string& path, bool create = false);
    ~TSafeFolder();
    TSafeFolder(TSafeFolder&& other) noexcept;
    TSafeFolder& operator=(TSafeFolder&& other) noexcept;
    TSafeFolder(const TSafeFolder&) = delete;
    TSafeFolder& operator=(const TSafeFolder&) = delete;

    // The subfolder called name, made first when missing and create is set.
    // A link there is refused, as is anything that is not a folder.
    TSafeFolder Enter(const std::string& name, bool create) const;

    TEntryKind KindOf(const std::string& name) const;

    // Removes the file called name; a link is removed itself, never what it
    // points to. False when nothing has that name.
    bool RemoveFile(const std::string& name) const;

    // Removes the empty subfolder called name; a link is refused. False when
    // nothing has that name.
    bool RemoveFolder(const std::string& name) const;

    // Renames the entry from to to in this folder, a link itself (never
    // what it points to); a file called to is replaced, a folder is not.
    // False when nothing is called from.
    bool Rename(const std::string& from, const std::string& to) const { return MoveTo(from, *this, to, true); }
    // The same into folder into (on the same volume); without replace,
    // anything called to there fails the move.
    bool MoveTo(const std::string& from, const TSafeFolder& into, const std::string& to, bool replace) const;

    // A new file called name, made exclusively (nothing of that name, a
    // link included, may exist) and held so that no other process opens it
    // (Windows: no sharing; POSIX: a lock that Read honours). Open for
    // writing; the caller closes it (HandleClose).
    THandle NewFile(const std::string& name) const;
    // The bytes of the file called name, never through a link; false when
    // nothing has that name. Raises for anything else, a file held by
    // NewFile in a running process included.
    bool Read(const std::string& name, std::string& bytes) const;

    // name inside this folder, for messages and for the OS calls that take
    // a path.
    std::string PathOf(const std::string& name) const;
    const std::string& Path() const { return path_; }

private:
    TSafeFolder(THandle handle, std::string path) : path_(std::move(path)), handle_(handle) {}
    TEntryKind KindOfOpen(void* handle, const std::string& name) const;  // Windows
    friend class TSafeNewFile;
    friend int RemoveTemporaryLeftovers(const TSafeFolder& folder);
    friend void FlushFolderChanges(const TSafeFolder& folder);
    friend void RemoveOldCopies(const TSafeFolder& folder);

    std::string path_;
    THandle handle_ = InvalidHandle;
    mutable std::string final_;  // Windows: the folder's full name as the system has it, once asked
};

// A file being written in a folder under a temporary name; removed unless
// Commit gave it its name. Its folder must outlive it.
class TSafeNewFile {
public:
    TSafeNewFile(const TSafeFolder& folder, std::string name);
    ~TSafeNewFile();
    TSafeNewFile(const TSafeNewFile&) = delete;
    TSafeNewFile& operator=(const TSafeNewFile&) = delete;

    THandleStream& Stream() { return *stream_; }
    // True once a TFlushBatch has put the file's bytes on disk.
    bool Flushed() const { return flushed_; }

    // Flushes the file to disk (unless a TFlushBatch did), renames it to
    // its name and, unless a TFlushBatch flushed it, flushes that too, so
    // that after a power cut either the old file or the whole new one is
    // there. Without replace, whatever already has that name stays and
    // Commit returns false; with it, a file (read-only too) or a link (the
    // link itself) is replaced, never a folder.
    bool Commit(bool replace);

private:
    friend class TFlushBatch;
    void Close();
    // POSIX: renames the file from its temporary name; the rename's result.
    int RenameTemporary(int fd, bool replace);
    std::atomic<bool> flushed_{false};  // set by a batch's thread

    const TSafeFolder& folder_;
    std::string name_, tempName_;  // tempName_ is empty while the file has no name
    std::unique_ptr<THandleStream> stream_;
    void* slot_ = nullptr;  // where a signal handler finds the temporary name
    bool committed_ = false;
};

// Many new files made durable together instead of one by one: each is
// added once all its bytes are written (from any thread), and Wait returns
// once every file added is on disk, so that their renames can follow.
// POSIX: adding starts the file's write-back (sync_file_range); Start
// flushes the files added so far in one round, one syncfs of their file
// system on a thread of its own, once the round before it is done (its
// files are then Flushed), so that the wait for the device overlaps the
// writing of the next files. Windows: threads of the batch flush each file
// (FlushFileBuffers) as soon as it is added, so that the device's waits
// overlap each other and the writing; Start only reports a failure. The
// files must outlive the batch's Wait; a failed flush raises EPathError
// from Start or Wait.
class TFlushBatch {
public:
    TFlushBatch();
    ~TFlushBatch();
    TFlushBatch(const TFlushBatch&) = delete;
    TFlushBatch& operator=(const TFlushBatch&) = delete;

    void Add(TSafeNewFile& file);
    void Start();
    void Wait();

private:
    struct TRound;
    void Join();
    TLock lock_;                        // Add is called from several threads
    std::vector<TSafeNewFile*> files_;  // added since the last round started
    std::unique_ptr<TRound> round_;
};

// Flushes an open file to disk; EPathError, about path, when it fails.
void FlushFile(THandle file, const std::string& path);

// Makes the renames and removals made so far in folder's file system
// durable where that needs a flush of its own (POSIX: syncfs). On Windows
// nothing: NTFS writes them to its log in order, and the next flush of a
// file forces the log past them.
void FlushFolderChanges(const TSafeFolder& folder);

// Removes the files of TemporaryName's form in folder; one that cannot go
// (a program still running) is left to be removed at the next restart
// where the system allows that (Windows, elevated), or by the next call.
void RemoveOldCopies(const TSafeFolder& folder);

// count bytes from the system's random source; raises EPathError without
// one.
void FillRandom(unsigned char* bytes, size_t count);

// A name for a temporary file that nobody can guess: ".q7pack-", sixteen
// random hex digits, ".tmp".
std::string TemporaryName();

// True when name has the form TemporaryName gives.
bool IsTemporaryName(std::string_view name);

// Removes the temporary files that earlier runs, stopped before they were
// done, left in folder: names of TemporaryName's form that are files of
// their own (not links) and that no running process still writes (POSIX:
// a writer holds a lock on its file; Windows: a writer holds it open
// without sharing). Returns how many were removed; never raises.
int RemoveTemporaryLeftovers(const TSafeFolder& folder);

// Makes SIGINT, SIGTERM and SIGHUP (Windows: Ctrl+C, Ctrl+Break and the
// console closing) remove the temporary files being written before the
// process ends as the signal would end it. For command-line tools.
void RemoveTemporaryFilesOnStop();
