#pragma once
// What a Windows executable holds where, read from its headers (never
// guessed from its name): the raw data of its sections with their names,
// and which of them hold x86 or x64 machine code. The solid archive passes
// the code through the branch-call filter and stores like sections of
// several executables side by side.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/uBranchFilter.h"

struct TPeSectionData {
    std::string Name;     // long names ("/4") resolved through the string table
    uint32_t Offset = 0;  // in the file
    uint32_t Size = 0;    // raw bytes inside the file
    uint32_t Rva = 0;     // where its first byte is loaded
    bool Code = false;    // executable code
};

struct TPeLayout {
    TBranchCode Code = bcX86;              // for the code sections
    bool KnownMachine = false;             // i386 or AMD64: the filter knows its code
    uint32_t ImageSize = 0;                // SizeOfImage
    std::vector<TPeSectionData> Sections;  // by offset, not overlapping
};

// The layout of bytes when they are a PE image; std::nullopt otherwise.
std::optional<TPeLayout> ReadPeLayout(std::string_view bytes);
