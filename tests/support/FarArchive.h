#pragma once
// A bare archive that reaches past 2 GiB while taking about 100 KiB on disk:
// the file is sparse. Entries, in order:
//   0 setup.ini  the script
//   1 gap.bin    packed data spanning the hole (zero bytes: not a zlib stream)
//   2 near.bin   NearData, ending at the position nearEnd
//   3 far.bin    FarDataSize attacker-chosen bytes right behind near.bin
// then the end record.

#include <cstdint>
#include <fstream>
#include <string>

#include "archive/uZlibWriter.h"
#include "system/uSystem.h"

constexpr int64_t TwoGiB = int64_t{1} << 31;
constexpr int32_t FarDataSize = 40013;

// Patterned data that zlib cannot shrink much.
inline std::string NearData() {
    std::string data(50000, '\0');
    uint32_t seed = 7;
    for (char& c : data) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    return data;
}

inline std::string ArchiveRecord(const std::string& name, const std::string& packed, uint32_t unpacked) {
    TStringStream s;
    TZLibArchiveWriter(s).AppendEntry(name, packed, unpacked);
    return s.Data;
}

// A record header (unpacked size 0) and its name, without data.
inline std::string FarHeader(const std::string& name, uint32_t packed) {
    std::string header = "px";
    header += static_cast<char>(name.size() & 0xFF);
    header += static_cast<char>(name.size() >> 8);
    for (int shift = 0; shift < 32; shift += 8) header += static_cast<char>(packed >> shift);
    return header + std::string(4, '\0') + name;
}

// Writes the archive; false when the file cannot be written.
inline bool WriteFarArchive(const std::string& path, const std::string& script, int64_t nearEnd) {
    std::string first = ArchiveRecord("setup.ini", CompressZlib(script, 6), static_cast<uint32_t>(script.size()));
    std::string nearData = NearData();
    std::string near =
        ArchiveRecord("near.bin", CompressZlib(nearData, 6), static_cast<uint32_t>(nearData.size()));
    int64_t nearStart = nearEnd - static_cast<int64_t>(near.size());
    std::string gap = FarHeader("gap.bin", 0);
    uint32_t gapSize = static_cast<uint32_t>(nearStart - static_cast<int64_t>(first.size() + gap.size()));
    gap = FarHeader("gap.bin", gapSize);
    std::string far = FarHeader("far.bin", FarDataSize) + std::string(FarDataSize, '\x41');
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write((first + gap).data(), static_cast<std::streamsize>(first.size() + gap.size()));
    out.seekp(static_cast<std::streamoff>(nearStart));
    std::string tail = near + far + "px" + std::string(10, '\0');
    out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
    return out.good();
}
