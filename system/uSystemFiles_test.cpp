#include "system/uSystemFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/FileTimes.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// The path of name inside dir as the installer writes it: backslashes
// between the parts on every platform.
std::string InstallerPath(const TempDir& dir, const std::string& name = "") {
    std::string path = name.empty() ? dir.Path().string() : dir / name;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

constexpr int32_t Dos(int year, int month, int day, int hour, int minute, int second) {
    return static_cast<int32_t>(static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day) << 16 |
                                static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2)));
}

TEST(PathText, FindLastDelimiterSearchesFromTheEnd) {
    EXPECT_EQ(FindLastDelimiter(DirectoryDelimiters, "C:\\dir\\file.txt"), 7);
    EXPECT_EQ(FindLastDelimiter(DirectoryDelimiters, "C:\\dir\\"), 7) << "a final delimiter gives the length";
    EXPECT_EQ(FindLastDelimiter(DirectoryDelimiters, "C:file"), 2);
    EXPECT_EQ(FindLastDelimiter(DirectoryDelimiters, "dir/file"), 0) << "the slash is no delimiter";
    EXPECT_EQ(FindLastDelimiter(DirectoryDelimiters, ""), 0);
    EXPECT_EQ(FindLastDelimiter(std::string_view("\0", 1), std::string_view("a\0b", 3)), 0)
        << "NUL characters never match";
}

TEST(PathText, DirectoryPartsAndBackslashes) {
    const std::pair<const char*, const char*> parts[] = {
        {"C:\\dir\\file.txt", "C:\\dir\\"}, {"C:file.txt", "C:"}, {"file.txt", ""}, {"a/b/c", ""}};
    for (const auto& [path, part] : parts) EXPECT_EQ(ExtractDirectoryPart(path), part) << path;

    // Positions count from 1, as in the scripts.
    EXPECT_TRUE(HasBackslashAt("a\\", 2));
    for (int32_t at : {1, 3, 0, -1}) EXPECT_FALSE(HasBackslashAt("a\\", at)) << at;

    const std::pair<const char*, const char*> stripped[] = {
        {"C:\\dir\\\\", "C:\\dir\\"}, {"C:\\dir", "C:\\dir"}, {"\\", ""}, {"", ""}};
    for (const auto& [path, result] : stripped) EXPECT_EQ(StripTrailingBackslash(path), result) << path;

    // The folder above a name keeps a root whole; a root has none above it.
    const std::pair<const char*, const char*> splits[] = {
        {"C:\\a\\b", "C:\\a|b"}, {"C:\\a\\", "C:\\|a"}, {"C:a", "C:|a"}, {"\\a", "\\|a"},
        {"a//b", "a|b"},         {"a", "|a"},             {"\\\\srv\\sh\\a", "\\\\srv\\sh\\|a"},
        {"/x/y", "/x|y"}};
    for (const auto& [path, split] : splits) {
        std::string folder, name;
        ASSERT_TRUE(SplitLastName(path, folder, name)) << path;
        EXPECT_EQ(folder + "|" + name, split) << path;
    }
    for (const char* root : {"C:\\", "C:", "\\", "/", "\\\\srv\\sh", "\\\\srv\\sh\\", "\\\\srv", ""}) {
        std::string folder = "kept", name = "kept";
        EXPECT_FALSE(SplitLastName(root, folder, name)) << root;
        EXPECT_EQ(folder + name, "keptkept") << root;
    }
}

// Every missing level is made and existing ones accepted; a bare name, too
// short or without a parent part, touches nothing; a level that cannot be
// made stops the walk and keeps the ones before.
TEST(CreateDirectoryTree, MakesEveryMissingLevelAndStopsAtOneThatCannotBeMade) {
    TempDir dir;
    CurrentDirectory here(dir.Path());
    EXPECT_FALSE(CreateDirectoryTree(""));
    EXPECT_FALSE(CreateDirectoryTree("abc")) << "a bare name has no parent part to start from";
    EXPECT_TRUE(CreateDirectoryTree("ab"));
    EXPECT_TRUE(CreateDirectoryTree("x\\"));
    EXPECT_TRUE(fs::is_empty(dir.Path())) << "none of these touches the disk";

    std::string deep = InstallerPath(dir, "a\\b\\c\\d");
    for (const std::string& path :
         {deep, deep, deep + "\\", InstallerPath(dir, "a\\e\\"), std::string(".\\f\\g")})
        EXPECT_TRUE(CreateDirectoryTree(path)) << path;
    for (const char* made : {"a/b/c/d", "a/e", "f/g"})
        EXPECT_TRUE(fs::is_directory(dir.Path() / made)) << made;

    std::string tooLong(300, 'x');  // longer than any OS allows for one name
    EXPECT_FALSE(CreateDirectoryTree(InstallerPath(dir, "kept\\" + tooLong + "\\deeper")));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "kept"));
    WriteFileBytes(dir / "file", "x");
    EXPECT_FALSE(CreateDirectoryTree(InstallerPath(dir, "file\\deeper")));
    EXPECT_FALSE(CreateDirectoryTree(InstallerPath(dir, "file")));
    EXPECT_EQ(ReadFileBytes(dir / "file"), "x");
}

TEST(FileTests, FilesDirectoriesAndMissingNames) {
    TempDir dir;
    WriteFileBytes(dir / "f.txt", "x");
    fs::create_directory(dir.Path() / "sub");
    for (const char* name : {"f.txt", "sub", "missing"}) {
        EXPECT_EQ(IsExistingFile(InstallerPath(dir, name)), name == std::string("f.txt")) << name;
        EXPECT_EQ(IsExistingDirectory(InstallerPath(dir, name)), name == std::string("sub")) << name;
    }
    EXPECT_FALSE(IsExistingFile(""));
    EXPECT_EQ(GetFileDosDateTime(InstallerPath(dir, "sub")), -1);
}

TEST(FileTests, DosDateTimeIsTheLocalWriteTimeWithinTheDosYears) {
    TempDir dir;
    std::string name = InstallerPath(dir, "f.txt");
    WriteFileBytes(dir / "f.txt", "x");
    ASSERT_TRUE(SetLocalWriteTime(dir / "f.txt", 2020, 1, 1, 12, 0, 0));
    EXPECT_EQ(GetFileDosDateTime(name), Dos(2020, 1, 1, 12, 0, 0));
    ASSERT_TRUE(SetLocalWriteTime(dir / "f.txt", 2043, 12, 31, 23, 59, 58));
    EXPECT_EQ(GetFileDosDateTime(name), Dos(2043, 12, 31, 23, 59, 58));
    ASSERT_TRUE(SetLocalWriteTime(dir / "f.txt", 1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(GetFileDosDateTime(name), Dos(1980, 1, 1, 0, 0, 0));

    ASSERT_TRUE(SetLocalWriteTime(dir / "f.txt", 1979, 6, 15, 12, 0, 0));
    EXPECT_EQ(GetFileDosDateTime(name), -1);
    EXPECT_FALSE(IsExistingFile(name)) << "a file dated before 1980 does not count";
}

TEST(DeleteFileForced, DeletesReadOnlyFilesAndRefusesMissingOnesAndDirectories) {
    TempDir dir;
    WriteFileBytes(dir / "ro", "x");
    fs::permissions(dir.Path() / "ro", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_TRUE(DeleteFileForced(InstallerPath(dir, "ro")));
    EXPECT_FALSE(fs::exists(dir.Path() / "ro"));
    EXPECT_FALSE(DeleteFileForced(InstallerPath(dir, "ro")));
    fs::create_directory(dir.Path() / "sub");
    EXPECT_FALSE(DeleteFileForced(InstallerPath(dir, "sub")));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "sub"));
}

#ifdef _WIN32
TEST(FileTests, WildcardsMatchAsAPatternAndOnlyTheFirstMatchCounts) {
    TempDir dir;
    WriteFileBytes(dir / "setup.txt", "x");
    EXPECT_TRUE(IsExistingFile(InstallerPath(dir, "set*.txt")));
    EXPECT_TRUE(IsExistingFile(InstallerPath(dir, "setup.t?t")));
    EXPECT_FALSE(IsExistingFile(InstallerPath(dir, "nothing*")));
    fs::create_directory(dir.Path() / "only-a-directory");
    EXPECT_FALSE(IsExistingFile(InstallerPath(dir, "only-*")));
}
#endif

}  // namespace
