#include "scriptlib/uPatcherInstall.h"

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

#include "archive/uStoredName.h"
#include "scriptlib/uInstallJournal.h"
#include "system/uSystemFiles.h"
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

// Version 2 of a product: three files, one in a subfolder, one large
// enough to take many writes, and setup.ini, which is never installed.
class Install : public ::testing::Test {
protected:
    Install() {
        v2.Add("setup.ini", "script");
        v2.Add("a.txt", "new a");
        v2.Add("sub\\deep\\b.bin", std::string(300000, 'b'));
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
    Tree before = Snapshot(dir.Path() / "app");
    fs::create_directories(dir.Path() / "app/c.txt.~q7old");  // a leftover that cannot go back
    before["c.txt.~q7old"] = "/";
    Observer observer;
    TInstallResult result = Run(observer);
    EXPECT_EQ(result.Outcome, ioFailed);
    EXPECT_NE(result.Failed.find("c.txt"), std::string::npos) << result.Failed;
    EXPECT_EQ(Snapshot(dir.Path() / "app"), before);
}

TEST_F(Install, RefusesNamesThatLeaveTheFolderAndWritesNothing) {
    for (const char* name : {"sub/../../up.txt", "sub\\nul.txt"}) {  // the rule: uStoredName_test
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
        TInstallJournal journal;
        TFolderId root = journal.Hold(TSafeFolder(dir.Path().string()));
        const std::function<void()> events[] = {
            [&] { journal.FolderMade(root, "made", journal.Hold(journal.Folder(root).Enter("made", true))); },
            [&] { WriteFileBytes(dir / "new.txt", "new"); journal.FileCreated(root, "new.txt"); },
            [&] {
                ASSERT_TRUE(journal.Folder(root).Rename("old.txt", AsideName("old.txt")));
                journal.FileReplaced(root, "old.txt");
                WriteFileBytes(dir / "old.txt", "replaced");
            },
        };
        for (int e : order) events[e]();
        EXPECT_TRUE(journal.Undo()) << order[0] << order[1] << order[2];
        EXPECT_EQ(Snapshot(dir.Path()), before) << order[0] << order[1] << order[2];
    } while (std::next_permutation(order.begin(), order.end()));
}

#ifndef _WIN32
bool IsTemporary(const std::string& path) { return IsTemporaryName(fs::path(path).filename().string()); }

// Killed at any point, a run leaves only its temporary files and old copies
// beside their targets; the next run puts the old copies back first, so a
// cancelled next run leaves version 1 and a complete one version 2.
TEST_F(Install, AKilledRunLeavesOnlyFilesTheNextRunTells) {
    const std::set<std::string> v2Bytes = {"new a", "new c", std::string(300000, 'b')};
    for (int killAt : {3, 13}) {
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
        for (const auto& [name, bytes] : Snapshot(dir.Path() / "app")) {
            bool ours = before.count(name) || bytes == "/" || IsTemporary(name);
            bool aside = name.size() > 7 && name.substr(name.size() - 7) == ".~q7old";
            EXPECT_TRUE(ours || aside || v2Bytes.count(bytes)) << name;
        }
        Observer stop(0);
        EXPECT_EQ(Run(stop).Outcome, ioCancelled);
        Tree after = Snapshot(dir.Path() / "app");
        for (const auto& [name, bytes] : before) EXPECT_EQ(after[name], bytes) << name << " after kill " << killAt;
        Observer go;  // complete: version 2, no old copies, no temporary files
        EXPECT_EQ(Run(go).Outcome, ioDone);
        Tree v2Tree = {{"a.txt", "new a"}, {"c.txt", "new c"}, {"sub", "/"}, {"sub/deep", "/"},
                       {"sub/mine.txt", "the user's"}, {"sub/deep/b.bin", std::string(300000, 'b')}};
        for (const auto& [name, bytes] : Snapshot(dir.Path() / "app"))
            EXPECT_TRUE(v2Tree[name] == bytes || IsTemporary(name)) << name;
    }
}
#endif

}  // namespace
