#include "scriptlib/installer/uPatcherArchive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "tests/support/Links.h"
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
        Add("link\\evil.txt", "evil");
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
    static bool Install(const TestArchive& archive, const std::string& name, const std::string& target = "") {
        return InstallArchiveEntry(archive.Unpacker, archive.Index(name), target);
    }

    TempDir dir;
    bool made_ = fs::create_directory(dir.Path() / "work");
    CurrentDirectory here{dir.Path() / "work"};
    TestArchive archive;
};

TEST_F(ArchiveCopy, StoredNamesGoIntoTheCurrentDirectoryWithoutMakingFolders) {
    EXPECT_TRUE(Install(archive, "a.txt"));
    EXPECT_FALSE(Install(archive, "sub\\b.txt")) << "the folder sub does not exist";
    EXPECT_EQ(Snapshot("."), (Tree{{"a.txt", "alpha"}}));
    fs::create_directory("sub");
    EXPECT_TRUE(Install(archive, "sub\\b.txt"));
    EXPECT_EQ(Snapshot("."),
              (Tree{{"a.txt", "alpha"}, {"sub", "/"}, {"sub/b.txt", std::string(100000, 'b')}}));
}

TEST_F(ArchiveCopy, ReplacesAnExistingReadOnlyTarget) {
    WriteFileBytes("target.txt", "old contents, longer than the new ones");
    fs::permissions("target.txt", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_TRUE(Install(archive, "a.txt", "target.txt"));
    EXPECT_EQ(Snapshot("."), (Tree{{"target.txt", "alpha"}}));
    EXPECT_NE(fs::status("target.txt").permissions() & fs::perms::owner_write, fs::perms::none)
        << "the new file has normal attributes";
}

// A failed entry or a target that cannot be written changes nothing: the
// old file stays and no temporary file is left.
TEST_F(ArchiveCopy, FailuresKeepTheOldFileAndLeaveNoTemporaryFile) {
    WriteFileBytes("target.txt", "old");
    fs::create_directory("folder");
    const std::pair<const char*, const char*> refused[] = {
        {"broken.txt", "target.txt"}, {"broken.txt", ""},    {"a.txt", "missing\\a.txt"},
        {"a.txt", "folder"},          {"a.txt", "folder\\"},
    };
    for (const auto& [entry, target] : refused)
        EXPECT_FALSE(Install(archive, entry, target)) << entry << target;
    EXPECT_FALSE(InstallArchiveEntry(archive.Unpacker, -1, "x"));
    EXPECT_FALSE(InstallArchiveEntry(archive.Unpacker, archive.Unpacker.FileCount(), "x"));
    EXPECT_EQ(Snapshot("."), (Tree{{"folder", "/"}, {"target.txt", "old"}}));
}

TEST_F(ArchiveCopy, StoredNamesThatLeaveTheCurrentDirectoryNeedATarget) {
    for (const char* name : {"..\\escape.txt", "\\rooted.txt", "C:drive.txt", "sub/../../slash.txt"})
        EXPECT_FALSE(Install(archive, name)) << name;
    EXPECT_EQ(Snapshot(dir.Path()), (Tree{{"work", "/"}})) << "nothing written here nor in the folder above";
    EXPECT_TRUE(Install(archive, "..\\escape.txt", "..\\chosen.txt")) << "a target the script names is used";
    EXPECT_EQ(Snapshot(dir.Path()), (Tree{{"chosen.txt", "up"}, {"work", "/"}}));
}

// A link planted in the install folder carries no stored name's file
// elsewhere; a target the script names may go through one.
TEST_F(ArchiveCopy, StoredNamesAreNotWrittenThroughLinks) {
    fs::create_directory(dir.Path() / "outside");
    WriteFileBytes(dir / "outside/a.txt", "kept");
    ASSERT_TRUE(MakeLink("../outside", (fs::current_path() / "link").string()));
    ASSERT_TRUE(MakeLink("../outside/a.txt", (fs::current_path() / "a.txt").string()));
    EXPECT_FALSE(Install(archive, "link\\evil.txt"));
    EXPECT_TRUE(Install(archive, "a.txt")) << "a link in the file's place is replaced itself";
    EXPECT_EQ(ReadFileBytes("a.txt"), "alpha");
    EXPECT_TRUE(Install(archive, "link\\evil.txt", "link\\chosen.txt"));
    EXPECT_EQ(Snapshot(dir.Path() / "outside"), (Tree{{"a.txt", "kept"}, {"chosen.txt", "evil"}}));
}

// A folder on another file system than the temporary folder (a tmpfs),
// where no temporary file of the current directory could be renamed to.
TEST_F(ArchiveCopy, TargetsLeadWhereTheSystemResolvesThemEvenOnAnotherFileSystem) {
#ifdef _WIN32
    const fs::path shm = "Z:\\dev\\shm";
#else
    const fs::path shm = "/dev/shm";
#endif
    if (!fs::is_directory(shm)) GTEST_SKIP() << "no second file system";
    TempDir other(shm);
    fs::create_directory(other.Path() / "sub");
    std::string slashed = other.Path().generic_string();  // with / between its parts, as a script may write it
    std::vector<std::string> targets = {slashed + "/slash.txt", slashed + "/./sub/../dots.txt"};
    fs::path relative = fs::relative(other.Path(), fs::current_path());
    if (!relative.empty()) targets.push_back(relative.string() + "/relative.txt");
    for (const std::string& target : targets) EXPECT_TRUE(Install(archive, "a.txt", target)) << target;
    Tree expected = {{"sub", "/"}, {"slash.txt", "alpha"}, {"dots.txt", "alpha"}};
    if (!relative.empty()) expected["relative.txt"] = "alpha";
    EXPECT_EQ(Snapshot(other.Path()), expected) << "no temporary file is left there";
    EXPECT_TRUE(fs::is_empty(".")) << "nor in the current directory";
}

#ifdef _WIN32
TEST_F(ArchiveCopy, DevicesAreWrittenDirectly) {
    for (const std::string& target :
         {std::string("NUL"), std::string("nul"), fs::current_path().string() + "\\NUL"})
        EXPECT_TRUE(Install(archive, "sub\\b.txt", target)) << target;
    EXPECT_TRUE(fs::is_empty("."));
}
#else
// The pipe's buffer takes the whole entry, so no reader thread is needed.
TEST_F(ArchiveCopy, DevicesAreWrittenDirectly) {
    ASSERT_EQ(mkfifo("pipe", 0600), 0);
    int reader = open("pipe", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(Install(archive, "a.txt", "pipe"));
    char received[16];
    EXPECT_EQ(read(reader, received, sizeof received), 5);
    close(reader);
    struct stat info;
    ASSERT_EQ(lstat("pipe", &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the pipe is not replaced by a file";
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1) << "nor joined by one";
}
#endif

}  // namespace
