#include "system/uSystem.h"

#include <algorithm>
#include <cstring>

// --- TStream -----------------------------------------------------------

void TStream::Resize(int32_t) {}

int32_t TStream::ReadAt(int32_t, void*, int32_t) { return kNoReadAt; }

int32_t ReadFrom(TStream& stream, int32_t position, void* buffer, int32_t count) {
    int32_t done = stream.ReadAt(position, buffer, count);
    if (done != TStream::kNoReadAt) return done;
    return stream.Seek(position, soFromBeginning) == position ? stream.Read(buffer, count) : 0;
}

int32_t TStream::Position() { return Seek(0, soFromCurrent); }

void TStream::MoveTo(int32_t position) { Seek(position, soFromBeginning); }

int32_t TStream::Size() {
    int32_t here = Seek(0, soFromCurrent);
    int32_t size = Seek(0, soFromEnd);
    Seek(here, soFromBeginning);
    return size;
}

// --- THandleStream and TFileStream ---------------------------------------

intptr_t CheckOsResult(intptr_t result) {
    if (result == 0) throw EOsError();
    return result;
}

void THandleStream::Resize(int32_t newSize) {
    Seek(newSize, soFromBeginning);
    CheckOsResult(HandleSetEnd(Handle));
}

int32_t THandleStream::Read(void* buffer, int32_t count) {
    return std::max(HandleRead(Handle, buffer, count), 0);
}

int32_t THandleStream::ReadAt(int32_t position, void* buffer, int32_t count) {
    return std::max(HandleReadAt(Handle, position, buffer, count), 0);
}

int32_t THandleStream::Write(const void* buffer, int32_t count) {
    int32_t done = HandleWrite(Handle, buffer, count);
    if (done < count && WriteError == 0) WriteError = LastOsError();
    return std::max(done, 0);
}

int32_t THandleStream::Seek(int32_t offset, uint16_t origin) { return HandleSeek(Handle, offset, origin); }

TFileStream::TFileStream(const std::string& path, uint16_t mode)
    : THandleStream(mode == CreateMode ? HandleCreate(path) : HandleOpen(path, mode)) {
    if (Handle < 0) throw EOsError();
}

TFileStream::~TFileStream() {
    if (Handle >= 0) HandleClose(Handle);
}

// --- TStringStream ---------------------------------------------------------

void TStringStream::Resize(int32_t newSize) {
    Data.resize(static_cast<size_t>(std::max(newSize, 0)));
    Cursor = std::min(Cursor, static_cast<int32_t>(Data.size()));
}

int32_t TStringStream::Read(void* buffer, int32_t count) {
    int32_t n = std::min(count, static_cast<int32_t>(Data.size()) - Cursor);
    if (n <= 0) return 0;
    std::memcpy(buffer, Data.data() + Cursor, static_cast<size_t>(n));
    Cursor += n;
    return n;
}

int32_t TStringStream::Write(const void* buffer, int32_t count) {
    count = std::max(count, 0);
    Data.resize(static_cast<size_t>(Cursor) + static_cast<size_t>(count));
    std::memcpy(Data.data() + Cursor, buffer, static_cast<size_t>(count));
    Cursor += count;
    return count;
}

int32_t TStringStream::Seek(int32_t offset, uint16_t origin) {
    // Computed in 64 bits so that no offset can wrap the cursor around.
    int64_t length = static_cast<int64_t>(Data.size());
    int64_t cursor = Cursor;
    switch (origin) {
    case soFromBeginning: cursor = offset; break;
    case soFromCurrent: cursor += offset; break;
    case soFromEnd: cursor = length - offset; break;
    default: break;
    }
    Cursor = static_cast<int32_t>(std::clamp<int64_t>(cursor, 0, length));
    return Cursor;
}

// --- Text routines -----------------------------------------------------------

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    return lower;
}

std::string IntegerText(int32_t value) { return std::to_string(value); }

int32_t TCappedStream::Write(const void* buffer, int32_t count) {
    if (count < 0 || written_ + static_cast<uint64_t>(count) > cap_) {
        over_ = true;
        return 0;
    }
    int32_t n = out_.Write(buffer, count);
    written_ += static_cast<uint64_t>(n > 0 ? n : 0);
    return n;
}
