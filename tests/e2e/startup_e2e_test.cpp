// The installer's start-up as a user sees it: which archive it reads and
// the one fatal-error box of each way the archive can be unusable.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tests/e2e/uE2e.h"
#include "tests/support/FarArchive.h"

namespace {

const char kUnavailable[] = "Archív modulu nie je k dispozícii: ";
const char kScriptMissing[] = "Riadiaci súbor inštalácie v archíve chýba: setup.ini";
const char kScriptNotInflated[] =
    "Riadiaci súbor inštalácie sa nepodarilo dekomprimovať: setup.ini - Uncompressing failed";

// q7pack stores setup.ini first: its name at 12, its zlib stream at 21.
constexpr size_t kFirstName = 12;
constexpr size_t kFirstData = 21;

// The bare installer finds no archive; a packed one reads its own behind
// its sections (here with setup.ini renamed).
TEST(Startup, ReadsItsOwnAppendedArchiveBehindTheSectionsOrFindsNone) {
    TempDir dir;
    std::string installer = Pack(dir, "setup.exe", "", {{"readme.txt", "hello"}}, true);
    PatchFile(installer, std::filesystem::file_size(InstallerExe()) + kFirstName, "setup.txt");
    EXPECT_EQ(Drive({"answer:1"}, InstallerExe()), Answered(ErrorBox(kUnavailable)));
    EXPECT_EQ(Drive({"answer:1"}, installer), Answered(ErrorBox(kScriptMissing)));
}

// Each way an archive named on the command line can be unusable shows its
// one box, and the installer writes nothing beside it (far.bin's data starts
// exactly at 2^31; a script inflates to at most 16 MiB in memory).
TEST(Startup, UnusableArchivesShowTheirFatalErrorAndWriteNothing) {
    TempDir dir;
    const std::string loading = std::string(kUnavailable) + "I/O Error while loading file table";
    std::string cut = Pack(dir, "cut.q7", "x = 1;"),
                renamed = Pack(dir, "renamed.q7", "x = 1;", {{"readme.txt", "hello"}}),
                damaged = Pack(dir, "damaged.q7", "x = 1;"), far = dir / "far.q7";
    std::filesystem::resize_file(cut, kFirstName + 4);
    PatchFile(renamed, kFirstName, "setup.txt");
    PatchFile(damaged, kFirstData, std::string(1, '\0'));
    ASSERT_TRUE(WriteFarArchive(far, "ArchiveFileCopy(2); ArchiveFileCopy(3);", TwoGiB - (12 + 7)));
    std::filesystem::remove_all(dir.Path() / "payload");
    const std::pair<std::string, std::string> cases[] = {
        {cut, loading},
        {far, loading},
        {renamed, kScriptMissing},
        {damaged, kScriptNotInflated},
        {PackUnchecked(dir, "huge.q7", "//" + std::string((16 << 20) - 1, 'x')), kScriptNotInflated},
    };
    {
        CurrentDirectory here{dir.Path()};
        for (const auto& [archive, box] : cases)
            EXPECT_EQ(Drive({"answer:1"}, InstallerExe(), {archive}), Answered(ErrorBox(box))) << archive;
    }
    std::set<std::string> left;
    for (const auto& item : std::filesystem::directory_iterator(dir.Path()))
        left.insert(item.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"cut.q7", "damaged.q7", "far.q7", "huge.q7", "renamed.q7",
                                           "setup.ini"}));
}

TEST(Startup, AnEmptyControlScriptRunsWithoutAnyMessage) {
    TempDir dir;
    EXPECT_EQ(Drive({}, InstallerExe(), {Pack(dir, "empty.q7", "")}), kEnd);
}

}  // namespace
