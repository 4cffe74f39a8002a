// The solid archive end to end in memory: written by the packer, read by
// the installer's reader; the branch-call filter; hostile archives.
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <functional>
#include <thread>

#include "archive/uBranchFilter.h"
#include "archive/uSolidArchive.h"
#include "archive/uZlibArchive.h"
#include "archive/uZlibWriter.h"
#include "system/io/uByteOrder.h"
#include "tests/support/PeImage.h"
#include "tools/q7pack/pack/SolidWriter.h"

namespace {

// Bytes like machine code loaded at 0x1000: calls, jumps and RIP-relative
// operands reaching a few targets, between runs of other bytes.
std::string Code(size_t size, uint32_t seed) {
    static const std::string forms[] = {"\xE8",     "\xE9",         "\x0F\x85",
                                        "\xFF\x15", "\x48\x8D\x05", "\x4C\x8B\x0D"};
    std::string code;
    while (code.size() < size) {
        seed = seed * 1103515245u + 12345u;
        code += forms[(seed >> 16) % 6];
        uint32_t target = 0x1000 + (seed >> 8) % 16 * 0x200;
        uint32_t relative = target - (0x1000 + static_cast<uint32_t>(code.size()) + 4);
        code.append(reinterpret_cast<const char*>(&relative), 4);
        code.append(seed % 5, static_cast<char>(seed >> 3));
    }
    code.resize(size);
    return code;
}

// An executable for machine (0x8664 or 0x14C) with its code at 0x400.
std::string Executable(uint16_t machine, uint32_t seed) {
    std::string image =
        PeImageBytes(224, {{0x400, 0x3000, 0x1000, ".text"}, {0x3400, 0x200, 0x4000, ".data"}}, 0x3600);
    PutLE(image, kTestFileHeader, machine, 2);
    PutLE(image, kTestOptionalHeader + 56, 0x5000);            // SizeOfImage
    PutLE(image, kTestOptionalHeader + 224 + 36, 0x60000020);  // .text: code, executable
    image.replace(0x400, 0x3000, Code(0x3000, seed));
    return image;
}

std::string Text(size_t size, uint32_t seed) {
    std::string text;
    while (text.size() < size) {
        seed = seed * 1103515245u + 12345u;
        text += "word" + std::to_string(seed % 97) + (seed % 7 ? " " : "\n");
    }
    text.resize(size);
    return text;
}

PackInput Content(const std::string& name, const std::string& bytes) {
    return {name, name, bytes.size(), bytes};
}

// A loaded archive over bytes.
struct TLoaded {
    explicit TLoaded(std::string bytes) : stream(std::move(bytes)), code(unpacker.LoadFileTable(stream)) {}
    std::string Extract(int32_t index, uint8_t expect = zaOk) {
        TStringStream out;
        EXPECT_EQ(unpacker.FileAt(index).ExtractTo(&out), expect) << unpacker.FileAt(index).Name;
        return out.Data;
    }
    TStringStream stream;
    TZLibUnpacker unpacker;
    uint8_t code;
};

std::string Write(const std::vector<PackInput>& inputs, const TSolidLayout& layout = {}) {
    TStringStream out;
    WriteSolidArchive(out, inputs, 2, "test", layout);
    return out.Data;
}

// Executables of both machines, a copy, an empty and a large file and many
// small ones.
std::vector<PackInput> Payload() {
    std::vector<PackInput> inputs = {Content("setup.ini", "a = 1;"),
                                     Content("bin\\app.exe", Executable(0x8664, 1)),
                                     Content("bin\\old.dll", Executable(0x14C, 2)),
                                     Content("empty", ""),
                                     Content("large.txt", Text(1500000, 3)),
                                     Content("bin\\copy.exe", Executable(0x8664, 1))};
    for (int i = 0; i < 150; ++i)
        inputs.push_back(Content("small\\" + std::to_string(i) + ".h", Text(i * 7, i)));
    return inputs;
}

// Small segments, several of them; the large file spans more than one of
// the decoder thread's steps and many chunks of the writer.
const TSolidLayout kSmallSegments = {2000000, 60000};

TEST(SolidArchive, RoundTripsEveryKindOfPayloadInAnyOrder) {
    std::vector<PackInput> inputs = Payload();
    TLoaded archive(Write(inputs, kSmallSegments));
    ASSERT_EQ(archive.code, zaOk);
    ASSERT_EQ(archive.unpacker.FileCount(), static_cast<int32_t>(inputs.size()));
    const TSolidArchive& solid = *archive.unpacker.Solid;
    EXPECT_GT(solid.SegmentCount(), 1u);
    EXPECT_EQ(solid.Record(archive.unpacker.FileAt(1).SolidRecord).Filter, bcX64);
    EXPECT_EQ(solid.Record(archive.unpacker.FileAt(2).SolidRecord).Filter, bcX86);
    for (int32_t i = 0; i < archive.unpacker.FileCount(); ++i) {
        EXPECT_EQ(archive.unpacker.FileAt(i).Name, inputs[i].Name);
        EXPECT_EQ(archive.unpacker.FileAt(i).UnpackedSize, inputs[i].Size);
    }
    for (int32_t i = archive.unpacker.FileCount() - 1; i >= 0; --i)
        EXPECT_EQ(archive.Extract(i), *inputs[i].Content);
    for (int32_t i : {40, 4, 1, 5, 155, 0, 3}) EXPECT_EQ(archive.Extract(i), *inputs[i].Content);
}

// Workers that share the entries out in table order, as installing does:
// those of one segment are copied side by side from its window, and the
// first of the next segment waits until the others are done with it.
TEST(SolidArchive, WorkersExtractingAtOnceGetEveryEntryWhole) {
    std::vector<PackInput> inputs = Payload();
    for (int round = 0; round < 3; ++round) {
        TLoaded archive(Write(inputs, kSmallSegments));
        ASSERT_EQ(archive.code, zaOk);
        std::vector<std::string> got(inputs.size());
        std::atomic<size_t> next{0};
        std::vector<std::thread> workers;
        for (int w = 0; w < 4; ++w)
            workers.emplace_back([&] {
                for (size_t i; (i = next++) < got.size();) {
                    TStringStream out;
                    if (archive.unpacker.FileAt(static_cast<int32_t>(i)).ExtractTo(&out) == zaOk) got[i] = out.Data;
                }
            });
        for (std::thread& worker : workers) worker.join();
        for (size_t i = 0; i < inputs.size(); ++i) EXPECT_EQ(got[i], *inputs[i].Content) << inputs[i].Name;
    }
}

TEST(SolidArchive, BranchFilterRevertsExactlyWhateverTheChunks) {
    std::string plain = Code(5000, 9) + "\xE8\x01\x02";  // a call cut short by the end
    for (TBranchCode code : {bcX86, bcX64}) {
        std::string packed = plain;
        auto* bytes = reinterpret_cast<unsigned char*>(packed.data());
        ASSERT_EQ(BranchFilter(code, bytes, packed.size(), 0, 5003, 0x1000, 0x5000, true), packed.size());
        EXPECT_NE(packed, plain);
        for (size_t chunk : {1, 7, 8, 13, 4096}) {
            std::string back = packed;
            auto* b = reinterpret_cast<unsigned char*>(back.data());
            for (size_t at = 0; at < back.size();) {
                size_t n = std::min(chunk + 6, back.size() - at);  // decisions need 7 bytes
                at += BranchFilter(code, b + at, n, static_cast<uint32_t>(at), 5003, 0x1000, 0x5000, false);
            }
            EXPECT_EQ(back, plain) << "chunks of " << chunk;
        }
    }
}

// --- Hostile archives ----------------------------------------------------------

// The archive of three entries that the hostile cases change. Its table:
//   0 segments, 4 streams, 8 packed, 12 size, 16 props (5), 21 entries,
//   25 "setup.ini": 36 size, 40 check, 44 segment (in table), 48 bytes;
//   54 "a.txt": 61 size, 65 check, 69 segment, 73 filter, 74 pieces,
//   78 offset, 82 length; 86 "b.txt": ... 110 offset, 114 length.
std::string Sample() {
    return Write(
        {Content("setup.ini", "a = 1;"), Content("a.txt", Text(3000, 1)), Content("b.txt", Text(5000, 2))});
}

// bytes with its table changed by edit (and its header made to match).
std::string EditTable(std::string bytes, const std::function<void(std::string&)>& edit) {
    uint32_t packed = LoadLE32(reinterpret_cast<const unsigned char*>(bytes.data()) + 4);
    std::string table(LoadLE32(reinterpret_cast<const unsigned char*>(bytes.data()) + 8), '\0');
    uLongf size = static_cast<uLongf>(table.size());
    uncompress(reinterpret_cast<Bytef*>(table.data()), &size,
               reinterpret_cast<const Bytef*>(bytes.data()) + 12, packed);
    edit(table);
    std::string repacked = CompressZlib(table, 9);
    std::string header = bytes.substr(0, 12);
    PutLE(header, 4, static_cast<uint32_t>(repacked.size()));
    PutLE(header, 8, static_cast<uint32_t>(table.size()));
    return header + repacked + bytes.substr(12 + packed);
}

std::function<void(std::string&)> Poke(size_t at, uint32_t value, int width = 4) {
    return [=](std::string& table) { PutLE(table, at, value, width); };
}

TEST(SolidArchive, HostileArchivesFailTheirLoadOrTheirEntriesWithoutHarm) {
    const std::string sample = Sample();
    const size_t streamAt = 12 + LoadLE32(reinterpret_cast<const unsigned char*>(sample.data()) + 4);
    struct Case {
        const char* what;
        std::string bytes;
        uint8_t load;       // LoadFileTable's code
        bool aGood, bGood;  // whether a.txt and b.txt still extract
    };
    std::string damaged = sample, header = sample;
    damaged[streamAt + 40] ^= 0x5A;
    PutLE(header, 8, SolidTableLimit + 1);
    const Case cases[] = {
        {"the table larger than its limit", header, zaLoadTable, false, false},
        {"the table cut short", sample.substr(0, 40), zaLoadTable, false, false},
        {"seventeen streams", EditTable(sample, Poke(4, 17)), zaLoadTable, false, false},
        {"lc + lp of 5", EditTable(sample, Poke(16, 3 + 9 * 2, 1)), zaLoadTable, false, false},
        {"a properties byte past 224", EditTable(sample, Poke(16, 225, 1)), zaLoadTable, false, false},
        {"a dictionary past the window limit", EditTable(sample, Poke(17, SolidWindowLimit + 1)), zaLoadTable,
         false, false},
        {"a stream past the window limit", EditTable(sample, Poke(12, SolidWindowLimit + 1)), zaLoadTable,
         false, false},
        {"a stream reaching 2 GiB", EditTable(sample, Poke(8, 0x7FFFFFF0)), zaLoadTable, false, false},
        {"a piece past its segment", EditTable(sample, Poke(110, 8000)), zaLoadTable, false, false},
        {"pieces short of the size", EditTable(sample, Poke(114, 4999)), zaLoadTable, false, false},
        {"an unknown filter", EditTable(sample, Poke(73, 3, 1)), zaLoadTable, false, false},
        {"a segment that is not there", EditTable(sample, Poke(101, 1)), zaLoadTable, false, false},
        {"setup.ini running past the table", EditTable(sample, Poke(36, 100)), zaLoadTable, false, false},
        {"the stream damaged", damaged, zaOk, false, false},
        {"the stream cut short", sample.substr(0, sample.size() - 200), zaOk, true, false},
        {"a stream that decodes to more than its size",
         EditTable(sample, [](std::string& t) { Poke(12, 7999)(t), Poke(93, 4999)(t), Poke(114, 4999)(t); }),
         zaOk, true, false},
        {"a stream that decodes to less than its size",
         EditTable(sample, [](std::string& t) { Poke(12, 9000)(t), Poke(110, 4000)(t); }), zaOk, true, false},
        {"a checksum that differs", EditTable(sample, Poke(65, 12345)), zaOk, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TLoaded archive(c.bytes);
        EXPECT_EQ(archive.code, c.load);
        if (c.load != zaOk) {
            EXPECT_EQ(archive.unpacker.FileCount(), 0) << "a solid table is whole or none";
            continue;
        }
        EXPECT_EQ(archive.Extract(0), "a = 1;");
        // b first, then a: a failed stream is started again for the next entry.
        archive.Extract(2, c.bGood ? zaOk : zaUncompress);
        std::string a = archive.Extract(1, c.aGood ? zaOk : zaUncompress);
        if (c.aGood) {
            EXPECT_EQ(a, Text(3000, 1));
        }
    }
}

}  // namespace
