#pragma once
// How the files of one block of a solid archive are laid out before LZMA
// sees them: identical files stored once; executables cut at their
// sections, the code of i386 and AMD64 ones through the branch-call
// filter; like pieces side by side (the same section of every
// executable, texts by extension and name), so that the most similar bytes
// are the nearest.

#include <cstdint>
#include <string>
#include <vector>

#include "archive/uSolidArchive.h"

// Bytes of a file that passed the branch-call filter.
struct TSolidRange {
    uint32_t Offset = 0, Size = 0;  // in the file
    uint32_t Rva = 0;               // where its first byte is loaded
};

// A run of a file's bytes in the block.
struct TSolidPiece {
    uint32_t Offset = 0, Length = 0;  // in the block
};

// One file of the block as the table records it.
struct TPlannedFile {
    uint32_t Size = 0, Check = 0;  // Check: Adler-32 of its bytes
    uint8_t Filter = 0;
    uint32_t ImageSize = 0;
    std::vector<TSolidRange> Ranges;
    std::vector<TSolidPiece> Pieces;  // in the file's order
};

struct TPlannedBlock {
    std::string Bytes;  // what LZMA compresses
    std::vector<TPlannedFile> Files;
};

// The layout of files (contents, with their stored names) in one segment.
TPlannedBlock PlanBlock(const std::vector<std::string>& contents, const std::vector<std::string>& names);
