// The portable part of the safe folder walk: moving a folder, temporary names.

#include "system/fs/uSafeFolder.h"

#include <utility>

namespace {

constexpr char kTemporaryPrefix[] = ".q7pack-";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr size_t kTemporaryDigits = 16;

}  // namespace

// Moving hands the folder's handle over; the moved-from folder closes nothing.
TSafeFolder::TSafeFolder(TSafeFolder&& other) noexcept
    : path_(std::move(other.path_)), handle_(other.handle_), final_(std::move(other.final_)) {
    other.handle_ = InvalidHandle;
}

TSafeFolder& TSafeFolder::operator=(TSafeFolder&& other) noexcept {
    std::swap(path_, other.path_);
    std::swap(handle_, other.handle_);
    std::swap(final_, other.final_);
    return *this;
}

std::string TemporaryName() {
    unsigned char bytes[kTemporaryDigits / 2] = {};
    FillRandom(bytes, sizeof bytes);
    std::string name = kTemporaryPrefix;
    // Hex by hand: the C library's formatting would bring its whole printf
    // machinery into the installer for this one name.
    for (unsigned char b : bytes) {
        name += "0123456789abcdef"[b >> 4];
        name += "0123456789abcdef"[b & 0xF];
    }
    return name + kTemporarySuffix;
}

bool IsTemporaryName(std::string_view name) {
    const size_t prefix = sizeof kTemporaryPrefix - 1, suffix = sizeof kTemporarySuffix - 1;
    if (name.size() != prefix + kTemporaryDigits + suffix || name.compare(0, prefix, kTemporaryPrefix) != 0 ||
        name.compare(prefix + kTemporaryDigits, suffix, kTemporarySuffix) != 0)
        return false;
    for (size_t i = prefix; i < prefix + kTemporaryDigits; ++i)
        if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'a' && name[i] <= 'f'))) return false;
    return true;
}
