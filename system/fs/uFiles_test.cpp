#include "system/fs/uFiles.h"

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

// Positions count from 1, as in the scripts.
TEST(PathText, DelimitersDirectoryPartsAndBackslashes) {
    const std::pair<const char*, int32_t> last[] = {
        {"C:\\dir\\file.txt", 7}, {"C:\\dir\\", 7}, {"C:file", 2}, {"dir/file", 0}, {"", 0}};
    for (const auto& [path, at] : last) EXPECT_EQ(FindLastDelimiter(DirectoryDelimiters, path), at) << path;
    EXPECT_EQ(FindLastDelimiter(std::string_view("\0", 1), std::string_view("a\0b", 3)), 0)
        << "NUL never matches";

    const std::pair<const char*, const char*> parts[] = {
        {"C:\\dir\\file.txt", "C:\\dir\\"}, {"C:file.txt", "C:"}, {"file.txt", ""}, {"a/b/c", ""}};
    for (const auto& [path, part] : parts) EXPECT_EQ(ExtractDirectoryPart(path), part) << path;

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

// Existence, DOS dates and forced deletion. The DOS date is the local write
// time, within the DOS years; a file dated before 1980 does not count.
TEST(FileTests, ExistenceDosDatesAndForcedDeletion) {
    TempDir dir;
    WriteFileBytes(dir / "f.txt", "x");
    fs::create_directory(dir.Path() / "sub");
    for (const char* name : {"f.txt", "sub", "missing"}) {
        EXPECT_EQ(IsExistingFile(InstallerPath(dir, name)), name == std::string("f.txt")) << name;
        EXPECT_EQ(IsExistingDirectory(InstallerPath(dir, name)), name == std::string("sub")) << name;
    }
    EXPECT_FALSE(IsExistingFile(""));
    EXPECT_EQ(GetFileDosDateTime(InstallerPath(dir, "sub")), -1);

    const std::string name = InstallerPath(dir, "f.txt");
    const int times[][6] = {{2020, 1, 1, 12, 0, 0}, {2043, 12, 31, 23, 59, 58}, {1980, 1, 1, 0, 0, 0}};
    for (const int* t : times) {
        ASSERT_TRUE(SetLocalWriteTime(dir / "f.txt", t[0], t[1], t[2], t[3], t[4], t[5]));
        EXPECT_EQ(GetFileDosDateTime(name), Dos(t[0], t[1], t[2], t[3], t[4], t[5])) << t[0];
    }
    ASSERT_TRUE(SetLocalWriteTime(dir / "f.txt", 1979, 6, 15, 12, 0, 0));
    EXPECT_EQ(GetFileDosDateTime(name), -1);
    EXPECT_FALSE(IsExistingFile(name));

    fs::permissions(dir.Path() / "f.txt",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_TRUE(DeleteFileForced(name)) << "read-only";
    EXPECT_FALSE(fs::exists(dir.Path() / "f.txt"));
    EXPECT_FALSE(DeleteFileForced(name));
    EXPECT_FALSE(DeleteFileForced(InstallerPath(dir, "sub")));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "sub"));
#ifdef _WIN32
    // Wildcards match as a pattern, and only the first match counts.
    WriteFileBytes(dir / "setup.txt", "x");
    fs::create_directory(dir.Path() / "only-a-directory");
    for (const char* pattern : {"set*.txt", "setup.t?t", "nothing*", "only-*"})
        EXPECT_EQ(IsExistingFile(InstallerPath(dir, pattern)), pattern[0] == 's') << pattern;
#endif
}

}  // namespace
