#pragma once
// Raw LZMA streams for the solid archive, from xz-utils' liblzma where the
// build has it (natively); a build without it (the Windows q7pack) writes
// the zlib format only.

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/uLzmaStream.h"

// Whether this build can write solid archives.
bool LzmaEncoderAvailable();

// How a block is compressed: the binary-tree match finder with its
// optimal parsing, its search cut at Depth candidates. On the realistic
// payload a depth of 16 costs 1.3 % more bytes than liblzma's automatic
// one (48 for a nice length of 64) and packs in less than half its time
// (docs/packaging.md, "The solid format", has the measurements).
struct TLzmaSettings {
    uint32_t Dictionary = 1 << 20;
    int Lc = 3, Lp = 0, Pb = 2;
    int NiceLength = 64;
    int Depth = 16;
};

// One raw LZMA stream (LZMA1, with its end mark) of data; props receives
// its five property bytes as LzmaDec reads them. Raises PackError when the
// encoder fails or is missing.
std::string EncodeLzma(std::string_view data, const TLzmaSettings& settings, unsigned char* props);
