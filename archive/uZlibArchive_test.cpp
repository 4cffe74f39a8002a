// The archive's reader and writer and the rule for the names it stores.
#include "archive/uZlibArchive.h"

#include <gtest/gtest.h>

#include <climits>

#include "archive/uZlibWriter.h"
#include "system/fs/uStoredName.h"
#include "tests/support/FarArchive.h"
#include "tests/support/TempDir.h"

using namespace std::string_literals;

namespace {

struct Entry {
    std::string name, data;
};

std::string EndRecord() { return std::string("px") + std::string(10, '\0'); }

std::string Archive(const std::vector<Entry>& entries, bool withEnd = true) {
    std::string bytes;
    for (const Entry& e : entries)
        bytes += ArchiveRecord(e.name, CompressZlib(e.data, 6), static_cast<uint32_t>(e.data.size()));
    return withEnd ? bytes + EndRecord() : bytes;
}

// Patterned, partly compressible data of the given size.
std::string Payload(size_t size, uint32_t seed = 1) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        s[i] = (i / 64) % 3 == 0 ? static_cast<char>(seed >> 24) : static_cast<char>('a' + i % 23);
    }
    return s;
}

// An archive in memory with its table loaded.
struct Loaded {
    explicit Loaded(std::string bytes) : stream(std::move(bytes)), result(unpacker.LoadFileTable(stream)) {}
    TStringStream stream;
    TZLibUnpacker unpacker;
    uint8_t result;
};

std::string Extract(const TZLibPackedFile& entry, uint8_t expectCode = zaOk) {
    TStringStream out;
    EXPECT_EQ(entry.ExtractTo(&out), expectCode) << entry.Name;
    return out.Data;
}

// An output that takes at most `room` bytes in all, like a full disk.
class TFullDisk : public TStream {
public:
    explicit TFullDisk(int32_t room) : room_(room) {}
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override {
        int32_t n = std::min(count, room_);
        room_ -= n;
        return n;
    }
    int32_t Seek(int32_t, uint16_t) override { return 0; }

private:
    int32_t room_;
};

TEST(LoadFileTable, ReadsEveryRecordWithItsFields) {
    // A name longer than the first read of a record takes a second one.
    const std::string longName = std::string(300, 'n') + ".txt";
    const std::string bytes =
        Archive({{"setup.ini", "a = 1;"}, {"", "no name"}, {"dir\\b.bin", Payload(5000)}, {longName, "long"}});
    Loaded a(bytes);
    ASSERT_EQ(a.result, zaOk);
    const TZLibUnpacker& unpacker = a.unpacker;
    ASSERT_EQ(unpacker.FileCount(), 4);
    EXPECT_EQ(unpacker.FileAt(0).Name, "setup.ini");
    EXPECT_EQ(unpacker.FileAt(0).UnpackedSize, 6u);
    EXPECT_EQ(unpacker.FileAt(1).Name, "") << "an empty name is a valid entry";
    EXPECT_EQ(Extract(unpacker.FileAt(2)), Payload(5000));
    EXPECT_EQ(Extract(unpacker.FileAt(0)), "a = 1;") << "extractions may come in any order";
    EXPECT_EQ(Extract(unpacker.FileAt(1)), "no name");
    EXPECT_EQ(unpacker.FileAt(3).Name, longName);
    EXPECT_EQ(Extract(unpacker.FileAt(3)), "long");

    // A file is read at each record's position instead of seeking there.
    TempDir dir;
    WriteFileBytes((dir.Path() / "a.q7a").string(), bytes);
    TFileStream file((dir.Path() / "a.q7a").string(), fmOpenReadShareAll);
    TZLibUnpacker fromFile;
    ASSERT_EQ(fromFile.LoadFileTable(file), zaOk);
    ASSERT_EQ(fromFile.FileCount(), 4);
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(fromFile.FileAt(i).Name, unpacker.FileAt(i).Name);
        EXPECT_EQ(Extract(fromFile.FileAt(i)), Extract(unpacker.FileAt(i)));
    }

    // A reload replaces the table, and reads from where the stream stands,
    // as for an archive appended to the installer.
    TStringStream appended("MZ executable image" + Archive({{"setup.ini", "x"}}));
    appended.MoveTo(19);
    ASSERT_EQ(a.unpacker.LoadFileTable(appended), zaOk);
    ASSERT_EQ(unpacker.FileCount(), 1);
    EXPECT_EQ(Extract(unpacker.FileAt(0)), "x");
}

TEST(LoadFileTable, EndsQuietlyWhereRecordsEnd) {
    std::string two = Archive({{"a", "1"}, {"b", "2"}}, false);
    std::string zeroPacked = "px\x05\0\0\0\0\0\x07\0\0\0"s;  // name length 5, packed size 0
    struct Case {
        std::string bytes;
        int32_t count;
    } cases[] = {
        {"", 0},
        {"px\0\0\0"s, 0},                                 // too short for a header
        {"MZ" + std::string(100, '\0'), 0},              // not an archive at all
        {two, 2},                                         // no end record
        {two + EndRecord() + Archive({{"c", "3"}}), 2},   // nothing behind the end record is read
        {two + zeroPacked + Archive({{"c", "3"}}), 2},    // packed size 0 ends it, whatever else
        {two + "qx" + ArchiveRecord("c", CompressZlib("3", 6), 1).substr(2), 2},  // wrong magic
        {two + "garbage behind the records", 2},
    };
    for (const Case& c : cases) {
        Loaded a(c.bytes);
        EXPECT_EQ(a.result, zaOk) << c.bytes.size();
        EXPECT_EQ(a.unpacker.FileCount(), c.count) << c.bytes.size();
    }
}

// A record that cannot be read whole fails the load; the entries before it
// stay usable.
TEST(LoadFileTable, DamagedRecordFailsButKeepsEarlierEntries) {
    std::string first = Archive({{"first", "one"}}, false);
    std::string third = ArchiveRecord("third-name", CompressZlib("3", 6), 1);
    const std::string damaged[] = {
        third.substr(0, 12 + 4),                                 // name cut short
        "px\x01\0\0\0\0\x80\0\0\0\0z"s + Archive({{"b", "2"}}),  // packed size 2^31
    };
    for (const std::string& bad : damaged) {
        Loaded a(first + bad);
        EXPECT_EQ(a.result, zaLoadTable);
        ASSERT_EQ(a.unpacker.FileCount(), 1);
        EXPECT_EQ(Extract(a.unpacker.FileAt(0)), "one");
    }
}

TEST(FindFile, MatchesAsciiCaseOnlyAndPrefersTheEarlierEntry) {
    // "\xC8" is Č and "\xE8" is č in Windows-1250.
    EXPECT_EQ(TZLibUnpacker().FindFile("setup.ini"), nullptr) << "empty table";
    Loaded a(Archive({{"setup.ini", "first"}, {"\xC8iara.txt", "c"}, {"SETUP.INI", "second"}}));
    const TZLibUnpacker& unpacker = a.unpacker;
    const TZLibPackedFile* found = unpacker.FindFile("SETUP.INI");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(Extract(*found), "first");
    EXPECT_EQ(Extract(unpacker.FileAt(2)), "second");
    EXPECT_NE(unpacker.FindFile("\xC8IARA.TXT"), nullptr);
    EXPECT_EQ(unpacker.FindFile("\xE8iara.txt"), nullptr) << "letters above 0x7F must match exactly";
    EXPECT_EQ(unpacker.FindFile("setup.in"), nullptr);
    EXPECT_EQ(unpacker.FindFile("setup.ini "), nullptr);
}

TEST(ExtractTo, ReportsMissingStreamsBeforeReadingAnything) {
    TZLibPackedFile orphan;
    EXPECT_EQ(orphan.ExtractTo(nullptr), zaNoInput);
    Loaded a(Archive({{"a", "1"}}));
    a.stream.MoveTo(3);
    EXPECT_EQ(a.unpacker.FileAt(0).ExtractTo(nullptr), zaNoOutput);
    EXPECT_EQ(a.stream.Position(), 3);
}

TEST(ExtractTo, FailsOnDamagedDataAndShortWrites) {
    std::string good = CompressZlib(Payload(100000), 6);
    std::string badChecksum = good;
    badChecksum.back() ^= 1;
    std::string badData = good;
    badData[good.size() / 2] ^= 0x55;
    std::string cutShort = good.substr(0, good.size() - 10);
    for (const std::string& packed : {badChecksum, badData, std::string("not a zlib stream"), cutShort}) {
        Loaded a(ArchiveRecord("x", packed, 100000) + EndRecord());
        ASSERT_EQ(a.result, zaOk);
        Extract(a.unpacker.FileAt(0), zaUncompress);
    }
    Loaded a(Archive({{"a", Payload(100000)}}));
    for (int32_t room : {0, 1000, 32768, 99999, 100000}) {  // a full disk
        TFullDisk disk(room);
        EXPECT_EQ(a.unpacker.FileAt(0).ExtractTo(&disk), room < 100000 ? zaUncompress : zaOk) << room;
    }
}

// The only archive that ends inside a record's data: a loader insisting the data be there fails here.
TEST(ExtractTo, LastEntryCutShortLoadsButFailsToExtract) {
    std::string bytes = Archive({{"a", "1"}, {"big", Payload(70000)}}, false);
    Loaded a(bytes.substr(0, bytes.size() - 100));
    ASSERT_EQ(a.result, zaOk);
    ASSERT_EQ(a.unpacker.FileCount(), 2);
    EXPECT_EQ(Extract(a.unpacker.FileAt(0)), "1");
    std::string partial = Extract(a.unpacker.FileAt(1), zaUncompress);
    EXPECT_EQ(partial, Payload(70000).substr(0, partial.size())) << "what inflated before the failure stays";
}

TEST(VirtualSizeStream, NeverPassesTheBound) {
    TStringStream source("0123456789");
    TVirtualSizeStream view(source, source.Size());
    EXPECT_EQ(view.VirtualSize, 10);
    view.Resize(6);
    EXPECT_EQ(source.Size(), 10) << "Resize does not touch the source";
    view.MoveTo(4);
    char buffer[16] = {};
    EXPECT_EQ(view.Read(buffer, 16), 2);
    EXPECT_EQ(std::string(buffer, 2), "45");
    EXPECT_EQ(view.Read(buffer, 16), 0);
    EXPECT_EQ(view.Seek(100, soFromBeginning), 6);
    EXPECT_EQ(view.Seek(-3, soFromCurrent), 3);
    EXPECT_EQ(view.Seek(100, soFromCurrent), 6);
    EXPECT_EQ(view.Seek(INT32_MAX, soFromCurrent), 6);
    view.MoveTo(5);
    EXPECT_EQ(view.Write("XYZ", 3), 1);
    EXPECT_EQ(source.Data, "01234X");
    source.MoveTo(8);
    EXPECT_EQ(view.Read(buffer, 4), 0) << "a source behind the bound reads nothing";
}

// The reader on real files that reach past 2 GiB (sparse, so cheap to
// make): every record it keeps lies below 2^31 and extracts, the first one
// that does not ends the load with code 7, and nothing reads or writes out
// of bounds on the way.
TEST(FarArchive, RecordsPast2GiBEndTheLoadAndTheOnesBeforeStayUsable) {
    const int64_t farHeader = 12 + 7;  // "far.bin"
    struct Case {
        int64_t nearEnd;
        int32_t kept;
    } cases[] = {
        {TwoGiB - farHeader, 3},  // far.bin's data starts exactly at 2^31
        {TwoGiB - 1, 3},          // near.bin ends at the last reachable position
        {TwoGiB, 2},              // the position behind near.bin is not reachable
        {TwoGiB + 500, 2},        // near.bin's data runs across 2^31
    };
    TempDir dir;
    for (const Case& c : cases) {
        std::string path = dir / "far.q7";
        ASSERT_TRUE(WriteFarArchive(path, "x = 1;", c.nearEnd));
        TFileStream source(path, fmOpenReadShareAll);
        TZLibUnpacker unpacker;
        EXPECT_EQ(unpacker.LoadFileTable(source), zaLoadTable) << c.nearEnd;
        for (const TZLibPackedFile& entry : unpacker.Files) {
            TNullStream sink;
            entry.ExtractTo(&sink);
        }
        ASSERT_EQ(unpacker.FileCount(), c.kept) << c.nearEnd;
        EXPECT_EQ(Extract(unpacker.FileAt(0), zaOk), "x = 1;");
        Extract(unpacker.FileAt(1), zaUncompress);
        if (c.kept == 3) {
            EXPECT_EQ(Extract(unpacker.FileAt(2), zaOk), NearData()) << c.nearEnd;
        }
    }
}

TEST(CompressZlib, MakesZlibStreamsAtEveryLevel) {
    for (const std::string& data : {Payload(50000), std::string()})
        for (int level = 0; level <= MaxCompressionLevel(); ++level) {
            TStringStream packed(CompressZlib(data, level)), out;
            EXPECT_EQ(static_cast<unsigned char>(packed.Data[0]), 0x78) << level;
            InflateStream(packed, out);  // as the installer reads it
            EXPECT_EQ(out.Data, data) << level;
        }
    EXPECT_THROW(CompressZlib("x", MaxCompressionLevel() + 1), EZLibError);
    EXPECT_THROW(CompressZlib("x", -1), EZLibError);
}

// Every archive the other tests read is written by AppendEntry; here are
// the limits of the format, short writes and the end record.
TEST(ArchiveWriter, RefusesWhatTheFormatCannotHoldAndReportsShortWrites) {
    TStringStream s;
    TZLibArchiveWriter writer(s);
    EXPECT_EQ(writer.AppendEntry(std::string(65536, 'n'), "x", 1), zaAppend);
    EXPECT_EQ(writer.AppendEntry("empty", "", 0), zaAppend);
    EXPECT_EQ(s.Data, "") << "a refused entry writes nothing";
    EXPECT_EQ(writer.AppendEntry(std::string(65535, 'n'), CompressZlib("x", 1), 1), zaOk);
    ASSERT_EQ(writer.WriteEnd(), zaOk);
    EXPECT_EQ(s.Data.substr(s.Data.size() - 12), EndRecord());

    TFullDisk full(20);
    TZLibArchiveWriter fullWriter(full);
    EXPECT_EQ(fullWriter.AppendEntry("name", CompressZlib("data", 1), 4), zaAppendIo);
    EXPECT_EQ(fullWriter.WriteEnd(), zaWriteEofIo);
}

// Escaping names leave the directory; StoredNameFault refuses those and every
// name Windows would turn into something else.
TEST(StoredNames, EscapingNamesAndNamesWindowsWouldChange) {
    for (const char* name : {"\\abs", "/abs", "C:\\x", "c:x", "..", "..\\x", "a/../b", "a\\..", "x/.."})
        EXPECT_TRUE(IsEscapingName(name)) << name;
    for (const char* name : {"setup.ini", "dir\\file", "a/b", "..a", "a..", "a\\...\\b", ".\\x", "", "1:x"})
        EXPECT_FALSE(IsEscapingName(name)) << name;
    // Empty, escaping and device names; reserved characters, control bytes and what Windows drops.
    for (const auto& refused : {std::vector<const char*>{"", "..\\x", "C:x", "CON", "con", "Nul.txt",
                                                         "dir\\aux.tar.gz", "lpt9", "COM1/x", "PRN .txt"},
                                // COM and LPT with superscript 1, 2, 3 in Windows-1252 and in UTF-8
                                {"COM\xB9", "lpt\xB2.txt", "x\\Com\xB3", "COM\xC2\xB9", "LPT\xC2\xB3 .log"},
                                {"ads.txt:hidden", "a<b", "a>b", "a\"b", "a|b", "a?b", "a*b", "tab\there",
                                 "esc\x1b[2J", "trail.", "trail ", "dir.\\file", "dir \\file"},
                                {".q7journal\\x", ".\\.Q7Journal/x", ".q7journal"}})
        for (const char* name : refused) EXPECT_NE(StoredNameFault(name), nullptr) << name;
    EXPECT_NE(StoredNameFault("nul\0byte"s), nullptr);
    const char* kept[] = {"setup.ini",      "dir\\file.txt", "a/b", ".\\x", "CONSOLE.txt",
                          "com10",          "LPT0",          "COM", "xcon", "con_x.txt",
                          "\xC1\xE8ko.txt", "..a",           "a..b", "COM\xB4", "COM\xC2\xB9x", "CON\xB9",
                          "dir\\.q7journal", ".q7journals"};
    for (const char* name : kept) EXPECT_EQ(StoredNameFault(name), nullptr) << name;
}

}  // namespace
