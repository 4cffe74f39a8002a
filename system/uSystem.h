#pragma once
// Byte streams over files and strings, the thin wrappers over the operating
// system's file handles they rest on, and small text routines.
//
// Positions, offsets, counts and sizes are signed 32-bit throughout, so an
// archive and the file it sits in stay below 2 GiB. Nothing is buffered:
// every Read and Write of a handle stream is one OS call. Reads and writes
// never raise (a failure shows as a short count); only opening, creating and
// resizing a file raise EOsError.

#include <cstdint>
#include <string>
#include <string_view>

// The OS's code for why the last call of this thread failed (GetLastError,
// errno), and its text for a code ("There is not enough space on the
// disk"), without a closing period or line break; "error N" when the OS has
// none. The text is the OS's, in the user's language.
uint32_t LastOsError();
std::string OsErrorText(uint32_t code);

// Raised when the operating system (Win32, or POSIX where the same streams
// run natively) refuses to open, create or resize a file, with the OS's
// code for why; the handler that catches it chooses the text.
struct EOsError {
    uint32_t Code = LastOsError();
};

// Seek origins.
constexpr uint16_t soFromBeginning = 0;
constexpr uint16_t soFromCurrent = 1;
constexpr uint16_t soFromEnd = 2;

class TStream {
public:
    virtual ~TStream() = default;

    // Sets the stream's size; the base version does nothing.
    virtual void Resize(int32_t newSize);
    // Transfer up to count bytes; the result is the count transferred.
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    // Moves the position; the result is the new position (-1 on failure).
    virtual int32_t Seek(int32_t offset, uint16_t origin) = 0;
    // Reads at position without the stream's own position, so that several
    // threads can read one stream at once: the count read, or kNoReadAt
    // from a stream that has only its one position.
    virtual int32_t ReadAt(int32_t position, void* buffer, int32_t count);
    static constexpr int32_t kNoReadAt = -2;

    int32_t Position();
    void MoveTo(int32_t position);
    // The size, leaving the position where it was.
    int32_t Size();
};

// Reads up to count bytes at position: where the stream reads at a
// position, without its own; otherwise by seeking there first. The count
// read (0 when the stream cannot get there).
int32_t ReadFrom(TStream& stream, int32_t position, void* buffer, int32_t count);

// An OS file handle as a number: a Win32 HANDLE or a POSIX descriptor.
// Negative means no open file.
using THandle = intptr_t;
constexpr THandle InvalidHandle = -1;

// File-open modes: CreateMode creates or truncates (read and write, no
// sharing); any other value opens an existing file, bits 0-1 choosing the
// access (0 read, 1 write, 2 both) and bits 4-7 the sharing granted to
// other openers (0 and 1 none, 2 read, 3 write, 4 both, and renaming). Other values are
// refused as an open failure.
constexpr uint16_t CreateMode = 0xFFFF;
constexpr uint16_t fmOpenReadShareAll = 0x40;

// The handle layer: results of -1 mean failure, nothing raises.
THandle HandleOpen(const std::string& path, uint16_t mode);
THandle HandleCreate(const std::string& path);
// Creates a new file, read and write, no sharing; fails when anything of
// that name exists already (a link included).
THandle HandleCreateNew(const std::string& path);
// Opens path for writing, creating it when missing, shared for reading and
// writing with other openers. Never through a link at its last name: fails
// when that is a link (also one that leads nowhere) or anything else but a
// regular file (a folder, a device such as NUL, a FIFO).
THandle HandleOpenRegular(const std::string& path);
int32_t HandleRead(THandle handle, void* buffer, int32_t count);
// Reads at position, whatever the handle's position; several threads may
// read one handle at once this way. Where it leaves the handle's position
// differs between systems.
int32_t HandleReadAt(THandle handle, int32_t position, void* buffer, int32_t count);
// Writes all count bytes unless the system refuses: a write the system cuts
// short (a disk that fills up) goes on with the rest, so that a result
// below count always comes with the system's reason (LastOsError).
int32_t HandleWrite(THandle handle, const void* buffer, int32_t count);
int32_t HandleSeek(THandle handle, int32_t offset, uint16_t origin);
// Makes the current position the end of the file; 0 on failure.
int HandleSetEnd(THandle handle);
void HandleClose(THandle handle);

// Raises EOsError when an OS call's result is 0, otherwise returns it.
intptr_t CheckOsResult(intptr_t result);

// A stream over an open OS file handle. WriteError keeps the OS's code for
// the first write that fell short (a full disk), 0 while none has.
class THandleStream : public TStream {
public:
    explicit THandleStream(THandle handle) : Handle(handle) {}

    // Seeks to newSize and ends the file there; EOsError on failure.
    void Resize(int32_t newSize) override;
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Seek(int32_t offset, uint16_t origin) override;
    int32_t ReadAt(int32_t position, void* buffer, int32_t count) override;

    THandle Handle;
    uint32_t WriteError = 0;
};

// Opens (or, with CreateMode, creates) a named file on construction and
// closes it on destruction. EOsError when the OS refuses.
class TFileStream : public THandleStream {
public:
    TFileStream(const std::string& path, uint16_t mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
};

// A stream over a byte string in memory. Never fails; positions are clamped
// into the string.
class TStringStream : public TStream {
public:
    explicit TStringStream(std::string initial = {}) : Data(std::move(initial)) {}

    void Resize(int32_t newSize) override;
    int32_t Read(void* buffer, int32_t count) override;
    // Replaces everything behind the cursor with the bytes written.
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Seek(int32_t offset, uint16_t origin) override;

    std::string Data;
    int32_t Cursor = 0;
};

// Takes every byte written and keeps none; reads nothing. For inflating
// only to check or to time what the inflation costs.
class TNullStream : public TStream {
public:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override { return count < 0 ? 0 : count; }
    int32_t Seek(int32_t, uint16_t) override { return 0; }
};

// Passes at most cap bytes on to out; a write that would go past the cap
// is refused whole (it transfers nothing) and remembered.
class TCappedStream : public TStream {
public:
    TCappedStream(TStream& out, uint64_t cap) : out_(out), cap_(cap) {}
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Seek(int32_t offset, uint16_t origin) override { return out_.Seek(offset, origin); }
    uint64_t Written() const { return written_; }
    bool Over() const { return over_; }

private:
    TStream& out_;
    uint64_t cap_, written_ = 0;
    bool over_ = false;
};

// Lower-cases A to Z only; every other byte, code-page letters included,
// stays as it is.
std::string AsciiLower(std::string_view text);

// Plain decimal text of an integer.
std::string IntegerText(int32_t value);

// The entry of the installer's string table (at most 4095 bytes), in the
// ANSI code page; empty for an id the table lacks.
std::string ResourceText(uint32_t id);

// The string-table entry that titles every message box of the installer.
constexpr uint32_t kCaptionText = 65519;
