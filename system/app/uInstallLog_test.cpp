#include "system/app/uInstallLog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/Links.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// /LOG= takes a regular file only: it never appends through a link planted
// at the log's name, nor runs with its log going to a device or a FIFO.
TEST(InstallLog, OpensOnlyARegularFileNeverThroughALink) {
    TempDir dir;
    WriteFileBytes(dir / "old.log", "before\r\n");
    for (const char* folder : {"folder", "out"}) std::filesystem::create_directory(dir.Path() / folder);
    // (Wine's removal of the folder afterwards stalls on some layouts of a Unix link and its target; not this one.)
    WriteFileBytes(dir / "out/victim", "victim");
    ASSERT_TRUE(MakeLink("out/victim", dir / "link.log"));
#ifdef _WIN32
    const std::string device = "NUL", fifo = "\\\\.\\pipe\\q7log-" + dir.Path().filename().string();
    HANDLE reader = CreateNamedPipeA(fifo.c_str(), PIPE_ACCESS_INBOUND, 0, 1, 0, 0, 0, nullptr);
#else
    const std::string device = "/dev/null", fifo = dir / "fifo";
    // With a reader on the FIFO, opening it for writing does not block.
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
#endif
    for (const auto& [path, opened] : {std::pair<std::string, bool>{dir / "new.log", true}, {dir / "old.log", true},
                                      {dir / "link.log", false}, {dir / "folder", false}, {device, false},
                                      {fifo, false}}) {
        TInstallLog log(path);
        EXPECT_EQ(log.Opened(), opened) << path;
        LogLine("entry");
    }
#ifdef _WIN32
    CloseHandle(reader);
#else
    ::close(reader);
#endif
    EXPECT_EQ(ReadFileBytes(dir / "out/victim"), "victim");
    std::string old = ReadFileBytes(dir / "old.log");
    EXPECT_EQ(old.substr(0, 8) + old.substr(old.size() - 7), "before\r\nentry\r\n");
    EXPECT_NE(ReadFileBytes(dir / "new.log").find(" entry\r\n"), std::string::npos);
}

}  // namespace
