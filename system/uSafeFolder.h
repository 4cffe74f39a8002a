#pragma once
// Writing and removing files where they belong and nowhere else. A folder
// is held open while it is used, and every level below it is entered
// without following a link (a symbolic link, a junction or another reparse
// point), so a link planted inside a folder cannot send a write, a new
// subfolder or a removal anywhere else. Files are written under a temporary
// name of their own (created exclusively, unpredictable, beside their final
// place), flushed to disk and renamed into place only once complete.
//
// Every failure raises EPathError with the path as subject and a message
// that reads after it ("... is a link; nothing is written through links").
// Names given to a folder are one component each: no separators.

#include <cstddef>
#include <memory>
#include <string>

#include "system/uPathError.h"
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
    bool Rename(const std::string& from, const std::string& to) const;

    // name inside this folder, for messages and for the OS calls that take
    // a path.
    std::string PathOf(const std::string& name) const;
    const std::string& Path() const { return path_; }

private:
    TSafeFolder(THandle handle, std::string path) : path_(std::move(path)), handle_(handle) {}
    friend class TSafeNewFile;
    friend int RemoveTemporaryLeftovers(const TSafeFolder& folder);

    std::string path_;
    THandle handle_ = InvalidHandle;
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

    // Flushes the file to disk, renames it to its name and flushes the
    // folder, so that after a power cut either the old file or the whole new
    // one is there. Without replace, whatever already has that name stays
    // and Commit returns false; with it, a file (read-only too) or a link
    // (the link itself) is replaced, never a folder.
    bool Commit(bool replace);

private:
    void Close();

    const TSafeFolder& folder_;
    std::string name_, tempName_;  // tempName_ is empty while the file has no name
    std::unique_ptr<THandleStream> stream_;
    void* slot_ = nullptr;  // where a signal handler finds the temporary name
    bool committed_ = false;
};

// count bytes from the system's random source; raises EPathError without
// one.
void FillRandom(unsigned char* bytes, size_t count);

// A name for a temporary file that nobody can guess: ".q7pack-", sixteen
// random hex digits, ".tmp".
std::string TemporaryName();

// True when name has the form TemporaryName gives.
bool IsTemporaryName(const std::string& name);

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
