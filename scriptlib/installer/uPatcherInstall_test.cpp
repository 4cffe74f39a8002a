#include "scriptlib/installer/uPatcherInstall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "scriptlib/installer/uInstallJournal.h"
#include "system/fs/uFiles.h"
#include "system/fs/uStoredName.h"
#include "tests/support/Links.h"
#include "tests/support/MemoryArchive.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// Removes root with everything in it, read-only files too (Windows).
void RemoveTree(const fs::path& root) {
    if (!fs::exists(root)) return;
    for (const auto& item : fs::recursive_directory_iterator(root))
        fs::permissions(item.path(), fs::perms::owner_write, fs::perm_options::add);
    fs::remove_all(root);
}

// Stops (answers false) or calls act at Progress call number `at`.
class Observer : public TInstallObserver {
public:
    explicit Observer(int at = -1, std::function<void()> act = {}) : at_(at), act_(std::move(act)) {}
    void Entry(const std::string&) override {}
    bool Progress(uint64_t written, uint64_t total) override {
        EXPECT_LE(written, total);
        if (calls_++ != at_) return true;
        if (act_) act_();
        return !!act_;
    }

private:
    int at_, calls_ = 0;
    std::function<void()> act_;
};

// Large enough to take ten writes of the inflater's pieces.
constexpr size_t kLarge = 8 * InflateOutputPiece + 100000;

// Version 2 of a product: three files, one in a subfolder, one large
// enough to take many writes, and setup.ini, which is never installed.
class Install : public ::testing::Test {
protected:
    Install() {
        v2.Add("setup.ini", "script");
        v2.Add("a.txt", "new a");
        v2.Add("sub\\deep\\b.bin", std::string(kLarge, 'b'));
        v2.Add("c.txt", "new c");
        v2.Load();
    }
    // Version 1 in place: a.txt (read-only) and c.txt, and a file of the user's.
    void PlaceOldVersion() {
        fs::create_directories(dir.Path() / "app" / "sub");
        WriteFileBytes(dir / "app/a.txt", "old a, longer than the new");
        WriteFileBytes(dir / "app/c.txt", "old c");
        WriteFileBytes(dir / "app/sub/mine.txt", "the user's");
        fs::permissions(dir / "app/a.txt", fs::perms::owner_write, fs::perm_options::remove);
    }
    TInstallResult Run(TInstallObserver& observer, const TZLibUnpacker* archive = nullptr) {
        return InstallArchive(archive ? *archive : v2.Unpacker, dir / "app", observer);
    }
    TempDir dir;
    MemoryArchive v2;
};

// Stopped at any point (while a file is written, or as the files go into
// place) or failing, the installation leaves the machine as it found it.
TEST_F(Install, StoppedOrFailedLeavesTheMachineAsItWas) {
    MemoryArchive failing;  // the second file fails its check
    failing.Add("a.txt", "new a");
    failing.AddBroken("sub\\broken.txt");
    failing.Load();
    struct Case {
        const char* what;
        bool upgrade;
        int stopAt;  // -1: no stop
        const TZLibUnpacker* archive;
        TInstallOutcome outcome;
    } cases[] = {
        {"first, in the first file", false, 0, nullptr, ioCancelled},
        {"first, in the large file", false, 3, nullptr, ioCancelled},
        {"first, going into place", false, 12, nullptr, ioCancelled},
        {"upgrade, in the large file", true, 4, nullptr, ioCancelled},
        {"upgrade, going into place", true, 13, nullptr, ioCancelled},
        {"upgrade, the last in place", true, 14, nullptr, ioCancelled},
        {"upgrade, a broken entry", true, -1, &failing.Unpacker, ioFailed},
    };
    for (const Case& c : cases) {
        RemoveTree(dir.Path() / "app");
        if (c.upgrade) PlaceOldVersion();
        Tree before = Snapshot(dir.Path());
        Observer observer(c.stopAt);
        TInstallResult result = Run(observer, c.archive);
        EXPECT_EQ(result.Outcome, c.outcome) << c.what;
        EXPECT_EQ(result.Reason, c.archive ? "cannot be written: its data in the archive is damaged" : "") << c.what;
        EXPECT_EQ(Snapshot(dir.Path()), before) << c.what;
    }
    RemoveTree(dir.Path() / "app");
    PlaceOldVersion();
    WriteFileBytes(dir / "app/.q7journal", "not a folder");  // where the journal goes
    Tree before = Snapshot(dir.Path() / "app");
    Observer observer;
    TInstallResult result = Run(observer);
    EXPECT_EQ(result.Outcome, ioFailed);
    EXPECT_NE(result.Failed.find(".q7journal"), std::string::npos) << result.Failed;
    EXPECT_EQ(Snapshot(dir.Path() / "app"), before);
}

// Many entries are written by several writers at once: all of them land
// whole (names stored twice too, the later copy winning), and a stop or a
// broken entry anywhere among them leaves the machine as it was.
TEST_F(Install, ManyEntriesAtOnceLandWholeOrNotAtAll) {
    Tree expected;  // below app, as the whole archive leaves it
    auto many = [&expected](bool broken) {
        auto archive = std::make_unique<MemoryArchive>();
        for (int i = 0; i < 60; ++i) {
            std::string folder = i % 3 ? "dir" + std::to_string(i % 4) : "", name = "f" + std::to_string(i);
            std::string bytes(static_cast<size_t>(i) * 7919 % 70000, static_cast<char>('a' + i % 26));
            if (broken && i == 41)
                archive->AddBroken(folder + "\\" + name);
            else
                archive->Add(folder.empty() ? name : folder + "\\" + name, bytes);
            expected[folder.empty() ? name : folder + "/" + name] = bytes;
            if (!folder.empty()) expected[folder] = "/";
        }
        archive->Add("dir1\\f1", "again");
        expected["dir1/f1"] = "again";
        archive->Load();
        return archive;
    };
    std::unique_ptr<MemoryArchive> whole = many(false), broken = many(true);
    Observer observer;
    ASSERT_EQ(Run(observer, &whole->Unpacker).Outcome, ioDone);
    EXPECT_EQ(Snapshot(dir.Path() / "app"), expected);
    const struct {
        const char* what;
        int stopAt;
        const MemoryArchive* archive;
        TInstallOutcome outcome;
    } cases[] = {
        {"stopped at the first report", 0, whole.get(), ioCancelled},
        {"stopped at the second report (writing, or going into place)", 1, whole.get(), ioCancelled},
        {"a broken entry", -1, broken.get(), ioFailed},
    };
    for (const auto& c : cases) {
        RemoveTree(dir.Path() / "app");
        PlaceOldVersion();
        Tree before = Snapshot(dir.Path());
        Observer stopping(c.stopAt);
        EXPECT_EQ(Run(stopping, &c.archive->Unpacker).Outcome, c.outcome) << c.what;
        EXPECT_EQ(Snapshot(dir.Path()), before) << c.what;
    }
}

// What earlier runs left is put back only when a journal of a run that did
// not finish names it: an old copy that a finished run could not delete
// (a program that was running) is never put back over the newer file, and
// a payload file whose name looks like an old copy is just a file. New
// files a killed run left under their temporary names go.
TEST_F(Install, OnlyAJournalOfAnUnfinishedRunPutsOldCopiesBack) {
    const std::string aside = ".q7pack-0123456789abcdef.tmp";
    MemoryArchive failing;  // fails after writing a.txt
    failing.Add("a.txt", "new a");
    failing.AddBroken("broken.txt");
    failing.Load();
    MemoryArchive lookalike;
    lookalike.Add("data.bin", "data");
    lookalike.Add("data.bin.~q7old", "not an old copy");
    lookalike.Load();
    const Tree lookalikeTree = {{"data.bin", "data"}, {"data.bin.~q7old", "not an old copy"}};
    const struct {
        const char* what;
        Tree left;  // below app before the run
        const TZLibUnpacker* archive;
        TInstallOutcome outcome;
        Tree after;
    } cases[] = {
        {"an old copy beside its file, no journal", {{"a.txt", "newer"}, {"a.txt.~q7old", "old a"}},
         &failing.Unpacker, ioFailed, {{"a.txt", "newer"}, {"a.txt.~q7old", "old a"}}},
        {"an old copy of a finished run",
         {{"a.txt", "newer"}, {".q7journal", "/"}, {".q7journal/journal", "R " + aside + " a.txt\nK\n"},
          {".q7journal/" + aside, "old a"}},
         &failing.Unpacker, ioFailed, {{"a.txt", "newer"}}},
        {"a run killed while its files went into place",
         {{"a.txt", "new a"}, {"b.txt", "new b"}, {".q7journal", "/"},
          {".q7journal/journal", "R " + aside + " a.txt\nC b.txt\n"}, {".q7journal/" + aside, "old a"}},
         &failing.Unpacker, ioFailed, {{"a.txt", "old a"}}},
        {"a payload name like an old copy, installed again", lookalikeTree, &lookalike.Unpacker, ioDone,
         lookalikeTree},
        {"a run killed as new files were made, in a folder it made too",
         {{"a.txt", "newer"}, {aside, "half"}, {"made", "/"}, {"made/" + aside, "half"}, {".q7journal", "/"},
          {".q7journal/journal", "D made\n"}},
         &failing.Unpacker, ioFailed, {{"a.txt", "newer"}}},
    };
    for (const auto& c : cases) {
        RemoveTree(dir.Path() / "app");
        fs::create_directories(dir.Path() / "app");
        for (const auto& [name, bytes] : c.left) {
            if (bytes == "/") {
                fs::create_directories(dir.Path() / "app" / name);
                continue;
            }
            WriteFileBytes(dir / ("app/" + name), bytes);
            // A moment ago, a temporary file may be a writer's starting up.
            fs::last_write_time(dir.Path() / "app" / name, fs::file_time_type::clock::now() - std::chrono::hours(1));
        }
        Observer observer;
        EXPECT_EQ(Run(observer, c.archive).Outcome, c.outcome) << c.what;
        EXPECT_EQ(Snapshot(dir.Path() / "app"), c.after) << c.what;
    }
}

TEST_F(Install, RefusesNamesThatLeaveTheFolderAndWritesNothing) {
    for (const char* name : {"sub/../../up.txt", "sub\\nul.txt", ".q7journal\\journal"}) {  // the rule: uStoredName_test
        MemoryArchive archive;
        archive.Add("fine.txt", "fine");
        archive.Add(name, "escape");
        archive.Load();
        Observer observer;
        TInstallResult result = Run(observer, &archive.Unpacker);
        EXPECT_EQ(result.Outcome, ioRefused) << name;
        EXPECT_EQ(result.Failed, name);
        EXPECT_EQ(result.Reason, StoredNameFault(name));
        EXPECT_EQ(Snapshot(dir.Path()), Tree{}) << name;
    }
}

// Entries left out are neither written nor checked: a folder's entries by
// its path, one entry by its index, even one whose name would be refused.
TEST_F(Install, WritesOnlyTheChosenEntries) {
    MemoryArchive archive;
    for (const char* name : {"setup.ini", "a.txt", "Sub\\deep\\b.bin", "sub/c.txt", "subway.txt", "sub\\..\\..\\up.txt"})
        archive.Add(name, name);
    archive.Load();
    TLeftOut leftOut;
    EXPECT_EQ(SelectEntries(archive.Unpacker, leftOut, "SUB\\", false), 3);
    EXPECT_EQ(SelectEntries(archive.Unpacker, leftOut, "sub/deep", true), 1);
    EXPECT_EQ(SelectEntries(archive.Unpacker, leftOut, "sub\\deep\\b.bin", true), 1);
    EXPECT_EQ(SelectEntries(archive.Unpacker, leftOut, "su", false), 0);
    EXPECT_EQ(ChosenBytes(archive.Unpacker, leftOut), std::string("a.txtSub\\deep\\b.binsubway.txt").size());
    Observer observer;
    EXPECT_EQ(InstallArchive(archive.Unpacker, dir / "app", observer, leftOut).Outcome, ioDone);
    EXPECT_EQ(Snapshot(dir.Path() / "app"), (Tree{{"a.txt", "a.txt"},
                                                  {"Sub", "/"},
                                                  {"Sub/deep", "/"},
                                                  {"Sub/deep/b.bin", "Sub\\deep\\b.bin"},
                                                  {"subway.txt", "subway.txt"}}));
}

// A folder on a drive or share that does not exist fails at once (the
// search for its nearest existing folder once went round a missing root for
// ever, and stopped at the current drive's root for a missing share).
TEST_F(Install, AFolderOnAMissingDriveOrShareFails) {
    for (const char* folder : {"Q:\\app", "\\\\nowhere-q7\\share\\app"}) {
        Observer observer;
        EXPECT_EQ(InstallArchive(v2.Unpacker, folder, observer).Outcome, ioFailed) << folder;
    }
}

// A link planted in the install folder, in place of a folder an entry goes
// into or of an entry's file, fails the installation; its target stays.
TEST_F(Install, NeverWritesThroughALinkInTheFolder) {
    for (const auto& [link, target] :
         {std::pair{"sub", "../outside"}, std::pair{"c.txt", "../outside/c.txt"}}) {
        const std::string app = dir / link, outside = app + "/outside";
        fs::create_directories(app + "/app");
        fs::create_directories(outside);
        WriteFileBytes(outside + "/c.txt", "theirs");
        if (!MakeLink(target, app + "/app/" + link)) GTEST_SKIP() << "no links here";
        Observer observer;
        EXPECT_EQ(InstallArchive(v2.Unpacker, app + "/app", observer).Outcome, ioFailed) << link;
        EXPECT_EQ(Snapshot(outside), (Tree{{"c.txt", "theirs"}})) << link;
    }
}

// The undo puts back whatever happened, in whatever order it happened.
TEST(InstallJournal, UndoesEachOrderOfEvents) {
    TempDir dir;
    std::vector<int> order = {0, 1, 2};
    do {
        RemoveTree(dir.Path());
        fs::create_directories(dir.Path());
        WriteFileBytes(dir / "old.txt", "old bytes");
        Tree before = Snapshot(dir.Path());
        TInstallJournal journal{TSafeFolder(dir.Path().string())};
        const TSafeFolder& root = journal.Folder({});
        const std::function<void()> events[] = {
            [&] { journal.Folder({"made"}); },
            [&] { journal.Created("new.txt"); WriteFileBytes(dir / "new.txt", "new"); },
            [&] {
                ASSERT_TRUE(root.MoveTo("old.txt", journal.Aside(), journal.Replaced("old.txt"), false));
                WriteFileBytes(dir / "old.txt", "replaced");
            },
        };
        for (int e : order) events[e]();
        EXPECT_TRUE(journal.Undo()) << order[0] << order[1] << order[2];
        EXPECT_EQ(Snapshot(dir.Path()), before) << order[0] << order[1] << order[2];
    } while (std::next_permutation(order.begin(), order.end()));
}

#ifndef _WIN32
// Killed at any point, a run leaves what the next run takes back before
// anything else: a next run that is cancelled at once leaves version 1 as it
// was, nothing more, and a complete one version 2.
TEST_F(Install, AKilledRunIsTakenBackByTheNextRun) {
    for (int killAt : {0, 3, 12, 14}) {
        RemoveTree(dir.Path() / "app");
        PlaceOldVersion();
        Tree before = Snapshot(dir.Path() / "app");
        pid_t child = fork();
        if (child == 0) {
            Observer killer(killAt, [] { raise(SIGKILL); });
            Run(killer);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        Observer stop(0);
        EXPECT_EQ(Run(stop).Outcome, ioCancelled);
        EXPECT_EQ(Snapshot(dir.Path() / "app"), before) << "after kill " << killAt;
        Observer go;
        EXPECT_EQ(Run(go).Outcome, ioDone);
        Tree v2Tree = {{"a.txt", "new a"}, {"c.txt", "new c"}, {"sub", "/"}, {"sub/deep", "/"},
                       {"sub/mine.txt", "the user's"}, {"sub/deep/b.bin", std::string(kLarge, 'b')}};
        EXPECT_EQ(Snapshot(dir.Path() / "app"), v2Tree) << "after kill " << killAt;
    }
}
#endif

}  // namespace
