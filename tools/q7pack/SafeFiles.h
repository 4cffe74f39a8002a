#pragma once
// Writing files where they belong and nowhere else. A folder is held open
// while files are made in it, the levels below it are entered without
// following links, and every file is written under a temporary name of its
// own (created exclusively, unpredictable, beside its final place) and
// renamed into place only once it is complete. `create` writes its output
// this way and `extract` every entry.
//
// Errors are PackError with the path as subject and a message that reads
// after it ("... is a link", "... exists (--overwrite replaces it)").

#include <cstddef>
#include <memory>
#include <string>

#include "system/uSystem.h"

class OutputFolder {
public:
    // The folder at path, as the user named it: links on the way to it are
    // followed. An empty path is the current folder. With create, missing
    // folders are made.
    OutputFolder(const std::string& path, bool create);
    ~OutputFolder();
    OutputFolder(OutputFolder&& other) noexcept;
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;
    OutputFolder& operator=(OutputFolder&&) = delete;

    // The subfolder called name (one component), made when missing. A link
    // (or a Windows reparse point) there is refused, as is a file.
    OutputFolder Enter(const std::string& name) const;

    // name inside this folder, for messages.
    std::string PathOf(const std::string& name) const;

private:
    OutputFolder(THandle handle, std::string path) : path_(std::move(path)), handle_(handle) {}
    friend class NewFile;

    std::string path_;
    THandle handle_;
};

// A file being written in a folder under a temporary name; removed unless
// Commit gave it its name.
class NewFile {
public:
    NewFile(const OutputFolder& folder, std::string name);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    TStream& Stream() { return *stream_; }

    // Closes the file and renames it to its name. Without replace, whatever
    // already has that name stays and Commit fails; with it, a file or a
    // link (the link itself, never what it points to) is replaced.
    void Commit(bool replace);

private:
    void Close();

    const OutputFolder& folder_;
    std::string name_, tempName_;
    std::unique_ptr<THandleStream> stream_;
    bool committed_ = false;
};

// count bytes from the system's random source; raises PackError without one.
void FillRandom(unsigned char* bytes, size_t count);

// A name for a temporary file that nobody can guess: ".q7pack-", sixteen
// random hex digits, ".tmp".
std::string TemporaryName();
