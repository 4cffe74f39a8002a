#include "system/fs/uSafeFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "tests/support/Links.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// A folder "in" holding a file, an empty and a full subfolder and links to
// a folder and a file outside it, beside "out".
struct Planted {
    TempDir dir;
    Planted() {
        for (const char* folder : {"in/empty", "in/full", "out"}) fs::create_directories(dir.Path() / folder);
        for (const char* file : {"in/file", "in/full/x", "out/file"}) WriteFileBytes(dir / file, file);
        linked = MakeLink("../out", dir / "in/link") && MakeLink("../out/file", dir / "in/flink");
    }
    bool linked = false;
    // What "out" holds: nothing done in "in" may change it.
    size_t OutCount() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir.Path() / "out"), {}));
    }
};

std::string Message(const std::function<void()>& action) {
    try {
        action();
    } catch (const EPathError& e) {
        return e.what();
    }
    return "(none)";
}

TEST(SafeFolder, NeverEntersRemovesOrWritesThroughLinks) {
    Planted p;
    ASSERT_TRUE(p.linked);
    TSafeFolder in(p.dir / "in");
    const std::pair<const char*, TEntryKind> kinds[] = {
        {"file", TEntryKind::File},  {"empty", TEntryKind::Folder}, {"link", TEntryKind::Link},
        {"flink", TEntryKind::Link}, {"none", TEntryKind::Missing},
    };
    for (const auto& [name, kind] : kinds) EXPECT_EQ(in.KindOf(name), kind) << name;

    const std::pair<std::function<void()>, std::string> refused[] = {
        {[&] { in.Enter("link", true); }, "is a link"},
        {[&] { in.Enter("file", true); }, "is not a folder"},
        {[&] { in.Enter("none", false); }, "cannot be opened as a folder"},
        {[&] { in.RemoveFolder("link"); }, "is a link"},
        {[&] { in.RemoveFolder("full"); }, "is not empty"},
        {[&] { in.RemoveFile("empty"); }, "is a folder"},
    };
    for (const auto& [action, message] : refused)
        EXPECT_NE(Message(action).find(message), std::string::npos) << message;

    EXPECT_TRUE(in.RemoveFile("flink")) << "the link itself goes";
    EXPECT_TRUE(in.RemoveFolder("empty"));
    EXPECT_FALSE(in.RemoveFile("none"));
    EXPECT_TRUE(in.Enter("made", true).Enter("deeper", true).Path().size() > 0);
    EXPECT_TRUE(fs::is_directory(p.dir.Path() / "in/made/deeper"));
    EXPECT_EQ(ReadFileBytes(p.dir / "out/file"), "out/file");
    EXPECT_EQ(p.OutCount(), 1u);
}

TEST(SafeFolder, NewFilesAppearWholeUnderTheirNameOrNotAtAll) {
    Planted p;
    TSafeFolder in(p.dir / "in");
    fs::permissions(p.dir.Path() / "in/file", fs::perms::owner_write, fs::perm_options::remove);
    const struct {
        const char* name;
        bool replace, committed;
        const char* after;
    } cases[] = {
        {"file", false, false, "in/file"},  // kept: no replacing asked
        {"file", true, true, "new"},        // a read-only file is replaced
        {"flink", true, true, "new"},       // the link itself is replaced
        {"fresh", false, true, "new"},
    };
    for (const auto& c : cases) {
        TSafeNewFile file(in, c.name);
        ASSERT_EQ(file.Stream().Write("new", 3), 3);
        EXPECT_EQ(file.Commit(c.replace), c.committed) << c.name;
        EXPECT_EQ(ReadFileBytes(p.dir / (std::string("in/") + c.name)), c.after) << c.name;
    }
    { TSafeNewFile abandoned(in, "abandoned"); }
    EXPECT_EQ(in.KindOf("abandoned"), TEntryKind::Missing);
    EXPECT_NE(Message([&] { TSafeNewFile(in, "full").Commit(true); }).find("is a folder"), std::string::npos);
    for (const auto& item : fs::directory_iterator(p.dir.Path() / "in"))
        EXPECT_FALSE(IsTemporaryName(item.path().filename().string())) << "left behind";
    EXPECT_EQ(ReadFileBytes(p.dir / "out/file"), "out/file");
}

TEST(SafeFolder, LeftoversOfStoppedRunsAreRemovedButNothingElse) {
    TempDir dir;
    const std::string old = ".q7pack-0123456789abcdef.tmp";
    for (const std::string& name :
         {old, std::string(".q7pack-0123456789abcdeX.tmp"), std::string("keep.tmp")})
        WriteFileBytes(dir / name, "x");
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (const auto& item : fs::directory_iterator(dir.Path())) fs::last_write_time(item.path(), past);
    TSafeFolder folder(dir.Path().string());
    TSafeNewFile running(folder, "running");  // a writer of this run: untouched
    EXPECT_EQ(RemoveTemporaryLeftovers(folder), 1);
    EXPECT_FALSE(fs::exists(dir / old));
    EXPECT_TRUE(running.Commit(false));
    EXPECT_EQ(static_cast<size_t>(std::distance(fs::directory_iterator(dir.Path()), {})), 3u);
}

// Extraction's workers hand their files to one batch; the first files of
// a run arrive together, while the batch is still starting its threads.
TEST(SafeFolder, FilesAddedToABatchFromManyThreadsAtOnceAreAllFlushed) {
    TempDir dir;
    TSafeFolder folder(dir.Path().string());
    constexpr int kThreads = 8;
    for (int round = 0; round < 5; ++round) {
        std::vector<std::unique_ptr<TSafeNewFile>> files;
        for (int i = 0; i < kThreads; ++i) {
            files.push_back(std::make_unique<TSafeNewFile>(folder, std::to_string(round) + "-" + std::to_string(i)));
            ASSERT_EQ(files.back()->Stream().Write("x", 1), 1);
        }
        TFlushBatch batch;
        std::atomic<int> arrived{0};
        std::vector<std::thread> threads;
        for (auto& file : files)
            threads.emplace_back([&, added = file.get()] {
                for (++arrived; arrived < kThreads;) std::this_thread::yield();
                batch.Add(*added);
            });
        for (std::thread& thread : threads) thread.join();
        batch.Wait();
        for (auto& file : files) {
            EXPECT_TRUE(file->Flushed()) << round;
            EXPECT_TRUE(file->Commit(false));
        }
    }
    EXPECT_EQ(static_cast<size_t>(std::distance(fs::directory_iterator(dir.Path()), {})), 5u * kThreads);
}

}  // namespace
