#pragma once
// A small PE image for the tests of the header walk and the PE reader: "MZ",
// "PE\0\0" at 0x40, the file header, a PE32 optional header of the given
// size and the section table right behind it.

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

constexpr size_t kTestFileHeader = 0x44, kTestOptionalHeader = 0x58;

// v, little-endian, into the width bytes of b at at.
inline void PutLE(std::string& b, size_t at, uint32_t v, int width = 4) {
    for (int i = 0; i < width; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

// Raw data in the file at pointer, and as many bytes in memory at address.
struct TTestSection {
    TTestSection(uint32_t pointer, uint32_t size, uint32_t address = 0, std::string name = {})
        : pointer(pointer), size(size), address(address), name(std::move(name)) {}
    uint32_t pointer, size, address;
    std::string name;
};

// The headers, then zeros up to size.
inline std::string PeImageBytes(uint16_t optionalHeaderSize, const std::vector<TTestSection>& sections,
                                size_t size = 0) {
    const size_t table = kTestOptionalHeader + optionalHeaderSize;
    std::string b(std::max(size, table + 40 * sections.size()), '\0');
    b.replace(0, 2, "MZ");
    PutLE(b, 0x3C, 0x40);
    b.replace(0x40, 2, "PE");
    PutLE(b, kTestFileHeader + 2, static_cast<uint32_t>(sections.size()), 2);
    PutLE(b, kTestFileHeader + 16, optionalHeaderSize, 2);
    PutLE(b, kTestOptionalHeader, 0x10B, 2);
    for (size_t i = 0; i < sections.size(); ++i) {
        const TTestSection& s = sections[i];
        b.replace(table + 40 * i, s.name.size(), s.name);
        for (auto [at, v] :
             {std::pair<size_t, uint32_t>{8, s.size}, {12, s.address}, {16, s.size}, {20, s.pointer}})
            PutLE(b, table + 40 * i + at, v);
    }
    return b;
}
