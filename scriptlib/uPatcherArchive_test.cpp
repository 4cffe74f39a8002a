#include "scriptlib/uPatcherArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "tests/support/MemoryArchive.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// An archive in memory: good entries, one whose checksum is broken (all its
// data inflates, the check at the end fails) and names that would escape.
class TestArchive : public MemoryArchive {
public:
    TestArchive() {
        Add("a.txt", "alpha");
        Add("sub\\b.txt", std::string(100000, 'b'));
        AddBroken("broken.txt");
        Add("..\\escape.txt", "up");
        Add("\\rooted.txt", "root");
        Add("C:drive.txt", "drive");
        Add("sub/../../slash.txt", "slash");
        Load();
    }

    int32_t Index(const std::string& name) const {
        for (int32_t i = 0; i < Unpacker.FileCount(); ++i)
            if (Unpacker.FileAt(i).Name == name) return i;
        ADD_FAILURE() << "no entry " << name;
        return -1;
    }
};

// Works inside a fresh directory that is the current one for the test.
class ArchiveCopy : public ::testing::Test {
protected:
    ArchiveCopy() : saved_(fs::current_path()) { fs::current_path(dir.Path() / "work"); }
    ~ArchiveCopy() override { fs::current_path(saved_); }

    // The names in a directory, temporary files included.
    static std::set<std::string> Names(const fs::path& folder) {
        std::set<std::string> names;
        for (const auto& item : fs::directory_iterator(folder)) names.insert(item.path().filename().string());
        return names;
    }

    static bool Install(const TestArchive& archive, const std::string& name, const std::string& target = "") {
        return InstallArchiveEntry(archive.Unpacker, archive.Index(name), target);
    }

    TempDir dir;
    TestArchive archive;

private:
    bool made_ = fs::create_directory(dir.Path() / "work");
    fs::path saved_;
};

TEST_F(ArchiveCopy, StoredNamesGoIntoTheCurrentDirectoryWithoutMakingFolders) {
    EXPECT_TRUE(Install(archive, "a.txt"));
    EXPECT_EQ(ReadFileBytes("a.txt"), "alpha");
    EXPECT_FALSE(Install(archive, "sub\\b.txt")) << "the folder sub does not exist";
    EXPECT_EQ(Names("."), std::set<std::string>{"a.txt"});
    fs::create_directory("sub");
    EXPECT_TRUE(Install(archive, "sub\\b.txt"));
    EXPECT_EQ(ReadFileBytes("sub/b.txt"), std::string(100000, 'b'));
    EXPECT_EQ(Names("sub"), std::set<std::string>{"b.txt"});
}

TEST_F(ArchiveCopy, ReplacesAnExistingReadOnlyTarget) {
    WriteFileBytes("target.txt", "old contents, longer than the new ones");
    fs::permissions("target.txt", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_TRUE(Install(archive, "a.txt", "target.txt"));
    EXPECT_EQ(ReadFileBytes("target.txt"), "alpha");
    EXPECT_NE(fs::status("target.txt").permissions() & fs::perms::owner_write, fs::perms::none)
        << "the new file has normal attributes";
    EXPECT_EQ(Names("."), std::set<std::string>{"target.txt"});
}

TEST_F(ArchiveCopy, AFailedEntryKeepsTheOldFileAndLeavesNoTemporaryFile) {
    WriteFileBytes("target.txt", "old");
    EXPECT_FALSE(Install(archive, "broken.txt", "target.txt"));
    EXPECT_EQ(ReadFileBytes("target.txt"), "old");
    EXPECT_FALSE(Install(archive, "broken.txt"));
    EXPECT_EQ(Names("."), std::set<std::string>{"target.txt"});
}

TEST_F(ArchiveCopy, RefusesMissingFoldersDirectoriesAndIndexesOutsideTheTable) {
    EXPECT_FALSE(Install(archive, "a.txt", "missing\\a.txt"));
    fs::create_directory("folder");
    EXPECT_FALSE(Install(archive, "a.txt", "folder"));
    EXPECT_FALSE(Install(archive, "a.txt", "folder\\"));
    EXPECT_TRUE(fs::is_empty("folder"));
    EXPECT_FALSE(InstallArchiveEntry(archive.Unpacker, -1, "x"));
    EXPECT_FALSE(InstallArchiveEntry(archive.Unpacker, archive.Unpacker.FileCount(), "x"));
    EXPECT_EQ(Names("."), std::set<std::string>{"folder"});
}

TEST_F(ArchiveCopy, StoredNamesThatLeaveTheCurrentDirectoryNeedATarget) {
    for (const char* name : {"..\\escape.txt", "\\rooted.txt", "C:drive.txt", "sub/../../slash.txt"})
        EXPECT_FALSE(Install(archive, name)) << name;
    EXPECT_TRUE(fs::is_empty(".")) << "nothing written here";
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"work"}) << "nor in the folder above";
    EXPECT_TRUE(Install(archive, "..\\escape.txt", "..\\chosen.txt")) << "a target the script names is used";
    EXPECT_EQ(ReadFileBytes(dir / "chosen.txt"), "up");
}

}  // namespace
