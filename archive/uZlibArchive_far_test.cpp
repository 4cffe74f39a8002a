// The reader on real files that reach past 2 GiB (sparse, so cheap to
// make): every record it keeps lies below 2^31 and extracts, the first one
// that does not ends the load with code 7, and nothing reads or writes out
// of bounds on the way.

#include <gtest/gtest.h>

#include "archive/uZlibArchive.h"
#include "tests/support/FarArchive.h"
#include "tests/support/TempDir.h"

namespace {

std::string Extract(const TZLibPackedFile& entry, uint8_t expectCode) {
    TStringStream out;
    EXPECT_EQ(entry.ExtractTo(&out), expectCode) << entry.Name;
    return out.Data;
}

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

}  // namespace
