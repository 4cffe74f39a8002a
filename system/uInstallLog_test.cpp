#include "system/uInstallLog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/Links.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// /LOG= takes a regular file only: it never appends through a link planted
// at the log's name, nor runs with its log going to a device or a FIFO.
TEST(InstallLog, OpensOnlyARegularFileNeverThroughALink) {
    TempDir dir;
    WriteFileBytes(dir / "old.log", "before\r\n");
    fs::create_directory(dir.Path() / "out");
    WriteFileBytes(dir / "out/victim", "victim");
    fs::create_directory(dir.Path() / "folder");
    ASSERT_TRUE(MakeLink("out/victim", dir / "link.log"));
    const std::pair<std::string, bool> cases[] = {
        {dir / "new.log", true}, {dir / "old.log", true}, {dir / "link.log", false}, {dir / "folder", false},
#ifdef _WIN32
        {"NUL", false},
#else
        {"/dev/null", false},    {dir / "fifo", false}, {dir / "dangling.log", false},
#endif
    };
#ifndef _WIN32
    // With a reader on the FIFO, opening it for writing would not block.
    ASSERT_TRUE(::mkfifo((dir / "fifo").c_str(), 0600) == 0 && MakeLink("missing", dir / "dangling.log"));
    int reader = ::open((dir / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
#endif
    for (const auto& [path, opened] : cases) {
        TInstallLog log(path);
        EXPECT_EQ(log.Opened(), opened) << path;
        LogLine("entry");
    }
#ifndef _WIN32
    ::close(reader);
#endif
    EXPECT_EQ(ReadFileBytes(dir / "out/victim"), "victim");
    EXPECT_FALSE(fs::exists(dir.Path() / "missing"));
    std::string old = ReadFileBytes(dir / "old.log");
    EXPECT_EQ(old.substr(0, 8) + old.substr(old.size() - 7), "before\r\nentry\r\n");
    EXPECT_NE(ReadFileBytes(dir / "new.log").find(" entry\r\n"), std::string::npos);

}

}  // namespace
