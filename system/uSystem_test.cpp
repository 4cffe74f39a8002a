#include "system/uSystem.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

#include "system/app/uResourceLanguage.h"
#include "system/text/uTextLower.h"
#include "tests/support/TempDir.h"

namespace {

std::string ReadAll(TStream& s, int32_t count) {
    std::string out(static_cast<size_t>(count), '\0');
    out.resize(static_cast<size_t>(s.Read(out.data(), count)));
    return out;
}

// A write drops the bytes behind the cursor, even an empty one; the cursor
// stays inside the string whatever the seek or resize.
TEST(StringStream, WritesReplaceTheTailAndTheCursorStaysInTheString) {
    TStringStream s("abcdef");
    s.MoveTo(3);
    EXPECT_EQ(ReadAll(s, 10), "def");
    EXPECT_EQ(ReadAll(s, 10), "");
    s.Seek(2, soFromBeginning);
    EXPECT_EQ(s.Write("XY", 2), 2);
    EXPECT_EQ(s.Data + "@" + std::to_string(s.Cursor), "abXY@4");
    const int32_t seeks[][3] = {{1, soFromEnd, 3},         {10, soFromBeginning, 4},
                                {-5, soFromCurrent, 0},    {INT32_MAX, soFromCurrent, 4},
                                {INT32_MIN, soFromEnd, 4}, {2, 7, 4}};  // 7: no origin
    for (const int32_t* k : seeks)
        EXPECT_EQ(s.Seek(k[0], static_cast<uint16_t>(k[1])), k[2]) << k[0] << "," << k[1];
    EXPECT_EQ(s.Size(), 4);
    s.Resize(2);
    EXPECT_EQ(s.Data + "@" + std::to_string(s.Cursor), "ab@2");
    s.MoveTo(1);
    EXPECT_EQ(s.Write("", 0), 0);
    EXPECT_EQ(s.Data, "a");
    s.Write("\0b", 2);
    EXPECT_EQ(s.Data, std::string("a\0b", 3));
}

TEST(FileStream, MissingPathsAndModesOutsideTheTablesRaise) {
    TempDir dir;
    WriteFileBytes(dir / "f", "x");
    const std::pair<std::string, uint16_t> refused[] = {
        {dir / "missing", fmOpenReadShareAll},
        {dir / "no-such-dir/file", CreateMode},
        {dir / "f", 0x03},  // access 3
        {dir / "f", 0x50},  // sharing 5
    };
    for (const auto& [path, mode] : refused)
        EXPECT_THROW(TFileStream(path, mode), EOsError) << path << mode;
}

// Create truncates; a read-write handle (0x42) resizes and stays where it
// cut; a read-only one sizes, reads (also at a position of its own, as the
// archive's workers do) and seeks, but never writes.
TEST(FileStream, CreateTruncatesResizeCutsAndAReadOnlyHandleNeverWrites) {
    TempDir dir;
    WriteFileBytes(dir / "f", "an older and longer file");
    EXPECT_EQ(TFileStream(dir / "f", CreateMode).Write("0123456789abc", 13), 13);
    {
        TFileStream s(dir / "f", 0x42);
        s.Resize(10);
        EXPECT_EQ(s.Position(), 10);
    }
    TFileStream s(dir / "f", fmOpenReadShareAll);
    s.MoveTo(4);
    EXPECT_EQ(s.Size(), 10);
    EXPECT_EQ(s.Position(), 4);
    EXPECT_EQ(ReadAll(s, 100), "456789");
    EXPECT_EQ(ReadAll(s, 100), "");
    EXPECT_EQ(s.Seek(100, soFromBeginning), 100) << "seeking past the end succeeds";
    EXPECT_EQ(s.Size(), 10) << "and does not extend the file";
    EXPECT_EQ(ReadAll(s, 4), "");
    EXPECT_EQ(s.Write("xyz", 3), 0) << "a write to a read-only handle writes nothing";
    EXPECT_THROW(s.Resize(1), EOsError);
    char at[8] = {};
    EXPECT_EQ(s.ReadAt(3, at, 4), 4);
    EXPECT_EQ(std::string(at, 4), "3456");
    EXPECT_EQ(s.ReadAt(8, at, 8), 2) << "up to the end";
    EXPECT_EQ(std::string(at, 2), "89");
    EXPECT_EQ(s.ReadAt(10, at, 8), 0) << "nothing at or past the end";
    EXPECT_EQ(s.ReadAt(1000, at, 8), 0);
}

#ifndef _WIN32
// A write the system cuts short (here at the largest file a process may
// write) goes on with the rest, so that the shortfall comes with the
// system's reason for it, not with whatever failed before.
TEST(FileStream, AShortWriteKeepsTheSystemsReason) {
    TempDir dir;
    pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{100000, 100000};
        setrlimit(RLIMIT_FSIZE, &limit);
        TFileStream s(dir / "f", CreateMode);
        errno = ENOENT;  // the reason of an earlier call
        std::string bytes(300000, 'x');
        _exit(s.Write(bytes.data(), 300000) == 100000 && s.WriteError == EFBIG ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
#endif

TEST(FileStream, PositionsFrom2GiBOnAreFailuresThatDoNotMove) {
    TempDir dir;
    std::string path = dir / "big.bin";
    WriteFileBytes(path, "");
    std::filesystem::resize_file(path, (std::uintmax_t{1} << 31) + 10);  // sparse
    TFileStream big(path, fmOpenReadShareAll);
    EXPECT_EQ(big.Seek(0, soFromEnd), -1);
    EXPECT_EQ(big.Seek(-11, soFromEnd), INT32_MAX);
    EXPECT_EQ(big.Seek(1, soFromCurrent), -1);
    EXPECT_EQ(big.Position(), INT32_MAX) << "a failed seek leaves the position";
    char buffer[4];
    EXPECT_EQ(big.Read(buffer, 4), 4) << "reads may go on past 2^31";
    EXPECT_EQ(big.Position(), -1);
    EXPECT_EQ(big.Seek(-4, soFromCurrent), INT32_MAX);
}

#ifdef _WIN32
// The sharing of the mode tables is enforced.
TEST(FileStream, SharingOfTheModeTablesIsEnforced) {
    TempDir dir;
    {
        TFileStream created(dir / "f", CreateMode);  // no sharing while open
        EXPECT_THROW(TFileStream(dir / "f", fmOpenReadShareAll), EOsError);
        created.Write("abc", 3);
    }
    TFileStream writer(dir / "f", 0x42);  // read-write, others may read and write
    TFileStream reader(dir / "f", fmOpenReadShareAll);
    EXPECT_EQ(ReadAll(reader, 3), "abc");
    EXPECT_THROW(TFileStream(dir / "f", 0x20), EOsError) << "denies write, but a writer is open";
}
#endif

TEST(TextRoutines, AsciiLowerLeavesCodePageLettersAlone) {
    EXPECT_EQ(AsciiLower("SETUP.INI@[`{"), "setup.ini@[`{");
    EXPECT_EQ(AsciiLower("\xC8\x8A\xDD"), "\xC8\x8A\xDD");  // Č Š Ý in Windows-1250
    EXPECT_EQ(AsciiLower(std::string("A\0B", 3)), std::string("a\0b", 3));
}

TEST(TextRoutines, ResourceTextGivesTheStringTableInWindows1250) {
    EXPECT_EQ(ResourceText(65519), "In\x9Atal\xE1" "cia modulu Q7");
    EXPECT_NE(ResourceText(2).find(".\nOspravedl\xF2ujeme"), std::string::npos);
    for (const auto& [id, text] : {std::pair<uint32_t, const char*>{4, " "}, {9, ""}, {65531, ""}})
        EXPECT_EQ(ResourceText(id), text) << id;
}

}  // namespace

TEST(ResourceLanguage, TheUsersLanguageThenItsPrimaryLanguageThenEnglishThenTheFirst) {
    const std::vector<uint16_t> worldwide = {0x0407, 0x0409, 0x040C, 0x0411, 0x0419};
    const struct {
        uint16_t user;
        std::vector<uint16_t> available;
        uint16_t chosen;
    } cases[] = {
        {0x0411, worldwide, 0x0411}, {0x0C07, worldwide, 0x0407},          {0x080C, worldwide, 0x040C},
        {0x0413, worldwide, 0x0409}, {0x0413, {0x0407, 0x040C}, 0x0407}, {0x0409, {}, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ChooseLanguage(c.user, c.available), c.chosen) << std::hex << c.user;
}

#ifndef _WIN32
// strtolower's rules in the portable build, per code page; Windows' own are
// checked by the end-to-end scenarios.
TEST(TextRoutines, AnsiLowerFollowsTheCodePageAndKeepsUtf8LengthsAndBadBytes) {
    const struct {
        uint32_t codePage;
        std::string text, lowered;
    } cases[] = {
        {65001, "ÉTÉ ЖУК ÅSA ΣΑΣ Ǆ", "été жук åsa σασ ǆ"},
        {65001, "İ Ⱥ \xFF\xC3 Z", "İ Ⱥ \xFF\xC3 z"},  // lower forms of another length, bytes that are not UTF-8
        {1252, "\xC0\xD1\x8A\x8C", "\xE0\xF1\x9A\x9C"},
        {1251, "\xC6\xA8", "\xE6\xB8"},  // Ж Ё
    };
    for (const auto& c : cases) {
        SetAnsiCodePage(c.codePage);
        std::string text = c.text;
        AnsiLowerInPlace(text);
        EXPECT_EQ(text, c.lowered) << c.codePage;
    }
    SetAnsiCodePage(1250);
}
#endif
