// The installer's start-up as a user sees it: which archive it reads and
// the one fatal-error box of each way the archive can be unusable.

#include <gtest/gtest.h>

#include <filesystem>

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

std::string Answered(const std::string& box) { return "@ answer:1\n" + box + kEnd; }

std::string Fatal(const std::string& installer, const std::vector<std::string>& args) {
    return Drive({"answer:1"}, installer, args);
}

TEST(Startup, InstallerWithNothingAppendedFindsNoArchive) {
    EXPECT_EQ(Fatal(InstallerExe(), {}), Answered(ErrorBox(kUnavailable)));
}

TEST(Startup, ReadsItsOwnAppendedArchiveBehindTheSections) {
    TempDir dir;
    std::string installer = Pack(dir, "setup.exe", "", {{"readme.txt", "hello"}}, true);
    PatchFile(installer, std::filesystem::file_size(InstallerExe()) + kFirstName, "setup.txt");
    EXPECT_EQ(Fatal(installer, {}), Answered(ErrorBox(kScriptMissing)));
}

TEST(Startup, ArchivesThatCannotBeLoaded) {
    TempDir dir;
    std::string cut = Pack(dir, "cut.q7", "x = 1;");
    std::filesystem::resize_file(cut, kFirstName + 4);
    EXPECT_EQ(Fatal(InstallerExe(), {cut}),
              Answered(ErrorBox(std::string(kUnavailable) + "I/O Error while loading file table")));
}

TEST(Startup, AnArchiveReachingPast2GiBIsUnavailableAndNothingIsWritten) {
    TempDir dir;
    std::string far = dir / "far.q7";
    const int64_t farHeader = 12 + 7;  // far.bin's data starts exactly at 2^31
    ASSERT_TRUE(WriteFarArchive(far, "ArchiveFileCopy(2); ArchiveFileCopy(3);", TwoGiB - farHeader));
    std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    std::string transcript = Fatal(InstallerExe(), {far});
    std::filesystem::current_path(saved);
    EXPECT_EQ(transcript, Answered(ErrorBox(std::string(kUnavailable) + "I/O Error while loading file table")));
    std::vector<std::string> left;
    for (const auto& item : std::filesystem::directory_iterator(dir.Path()))
        left.push_back(item.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"far.q7"});
}

TEST(Startup, ArchivesWithoutAUsableControlScript) {
    TempDir dir;
    std::string renamed = Pack(dir, "renamed.q7", "x = 1;", {{"readme.txt", "hello"}});
    PatchFile(renamed, kFirstName, "setup.txt");
    EXPECT_EQ(Fatal(InstallerExe(), {renamed}), Answered(ErrorBox(kScriptMissing)));

    std::string damaged = Pack(dir, "damaged.q7", "x = 1;");
    PatchFile(damaged, kFirstData, std::string(1, '\0'));
    EXPECT_EQ(Fatal(InstallerExe(), {damaged}), Answered(ErrorBox(kScriptNotInflated)));

    // A script inflates to at most 16 MiB in memory.
    std::string huge = PackUnchecked(dir, "huge.q7", "//" + std::string((16 << 20) - 1, 'x'));
    EXPECT_EQ(Fatal(InstallerExe(), {huge}), Answered(ErrorBox(kScriptNotInflated)));
}

TEST(Startup, AnEmptyControlScriptRunsWithoutAnyMessage) {
    TempDir dir;
    EXPECT_EQ(Drive({}, InstallerExe(), {Pack(dir, "empty.q7", "")}), kEnd);
}

}  // namespace
