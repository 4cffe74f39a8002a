#pragma once
// The packager's input and output files: reading what it is given, whole
// and only from regular files, and writing what it makes so that the output
// appears only when it was written to the end.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class TStream;

// A path given as local text, and a path as local text: UTF-8 where local
// names are (the standard library would read narrow text on Windows in
// another code page than q7pack's UTF-8 one).
std::filesystem::path LocalPath(const std::string& text);
std::string LocalText(const std::filesystem::path& path);

// The size of the regular file at path (links followed); subject names it
// in errors. Raises PackError for anything else, and for a file of 4 GiB or
// more.
uint64_t RegularFileSize(const std::filesystem::path& path, const std::string& subject);

// Raises PackError naming path unless it is a regular file (links
// followed): missing, a folder, a FIFO, a socket or a device.
void RequireRegularFile(const std::string& path);

// The whole content of the regular file at path, which must hold at most
// limit bytes; PackError naming it otherwise, and when it cannot be read.
std::string ReadInputFile(const std::string& path, uint64_t limit = UINT32_MAX);

// Raises PackError when writing output would replace one of the files it
// is made from.
void RefuseReplacingInputs(const std::string& output, const std::vector<std::string>& inputs);

// Writes all of bytes to out; PackError naming target when it cannot.
void WriteBytes(TStream& out, const std::string& bytes, const std::string& target);

// Calls write with a new temporary file beside output, which becomes output
// only when write returns; raises PackError, leaving output untouched, when
// the folder cannot be written or write raises. A device (NUL, /dev/null, a
// FIFO) is written directly.
void WriteThroughTemporary(const std::string& output, const std::function<void(TStream&)>& write);

// Writes bytes to output through a temporary file renamed at the end;
// raises PackError, leaving output untouched.
void WriteOutputFile(const std::string& output, const std::string& bytes);
