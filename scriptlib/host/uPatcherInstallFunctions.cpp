// The install functions: the license or readme text of an entry, and the
// installation of every entry on the progress page, which keeps answering
// while the files are written. The work itself is portable
// (uPatcherInstall.cpp); this unit drives the page.

#include <windows.h>

#include <commctrl.h>

#include "scriptlib/host/uPatcherLibrary.h"
#include "scriptlib/installer/uPatcherArchive.h"
#include "scriptlib/installer/uPatcherInstall.h"
#include "system/uSystem.h"

namespace {

constexpr uint32_t kCouldNotWrite = 5;  // string table: "... could not be written: "
constexpr uint32_t kCancelled = 6;      // string table: the installation was cancelled
constexpr uint32_t kUnexpected = 65518;  // string table: an unexpected fault
constexpr int32_t kBarRange = 10000;
constexpr DWORD kPumpEvery = 10;  // ms between looks at the page's messages

// Shows the installation on the page and hands the page's messages on
// while the files are written, so that it repaints, moves and raises its
// COMMAND events (nested evaluations, as under DialogBox).
class TPageObserver : public TInstallObserver {
public:
    TPageObserver(TPatcherMemory& memory, int32_t bar, int32_t status)
        : memory_(memory), page_(memory.CurrentDialog), bar_(bar), status_(status) {
        if (page_ && !IsWindowVisible(page_)) ShowWindow(page_, SW_SHOW);
        SendDlgItemMessageA(page_, bar_, PBM_SETRANGE32, 0, kBarRange);
        SendDlgItemMessageA(page_, bar_, PBM_SETPOS, 0, 0);
        Pump();
    }

    void Entry(const std::string& name) override {
        if (status_) SetDlgItemTextA(page_, status_, name.c_str());
        Pump();
    }

    bool Progress(uint64_t written, uint64_t total) override {
        DWORD now = GetTickCount();
        if (now - last_ >= kPumpEvery) {
            last_ = now;
            uint64_t part = total == 0 || written >= total ? kBarRange : written * kBarRange / total;
            SendDlgItemMessageA(page_, bar_, PBM_SETPOS, static_cast<WPARAM>(part), 0);
            Pump();
        }
        return !memory_.InstallCancelled;
    }

    void Say(const std::string& text) {
        if (status_) SetDlgItemTextA(page_, status_, text.c_str());
    }

private:
    // Every message waiting for the thread, the page's keys as a dialog
    // takes them; a WM_QUIT stops the installation and is posted again for
    // the loop it was meant for.
    void Pump() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                memory_.InstallCancelled = true;
                PostQuitMessage(static_cast<int>(message.wParam));
                return;
            }
            if (page_ && IsWindow(page_) && IsDialogMessageA(page_, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    TPatcherMemory& memory_;
    HWND page_;
    int32_t bar_, status_;
    DWORD last_ = 0;
};

// The event variables of the evaluation that called ArchiveInstall: the
// page's events raised meanwhile change them, and the caller goes on with
// its own event, so they are put back.
class TEventScope {
public:
    explicit TEventScope(TPatcherMemory& memory) : memory_(memory) {
        for (size_t i = 0; i < std::size(kNames); ++i) {
            int32_t at = memory.FindVariable(kNames[i]);
            saved_[i] = at >= 0 ? memory.GetVariableAt(at) : ZeroValue;
        }
    }
    ~TEventScope() {
        for (size_t i = 0; i < std::size(kNames); ++i) memory_.SetVariable(kNames[i], saved_[i]);
    }
    TEventScope(const TEventScope&) = delete;
    TEventScope& operator=(const TEventScope&) = delete;

private:
    static constexpr const char* kNames[] = {"MESSAGE", "WPARAM", "LPARAM"};
    TPatcherMemory& memory_;
    TValue saved_[3];
};

// A full path: a drive with its root (C:\, C:/) or a network share
// (\\server\share). Anything else is taken against a current folder or
// drive that the script does not choose.
bool IsFullPath(const std::string& path) {
    auto separator = [&](size_t i) { return i < path.size() && (path[i] == '\\' || path[i] == '/'); };
    return (path.size() > 2 && path[1] == ':' && separator(2)) || (separator(0) && separator(1));
}

}  // namespace

// ArchiveFileText(index): the entry's bytes as a text; empty outside the
// table, on failure and above ArchiveTextLimit.
void ScriptArchiveFileText(TPatcherMemory& memory, TScript& script, TValue& result) {
    int32_t index = script.ArgInt(1);
    std::string text;
    if (memory.Unpacker) ReadArchiveEntryText(*memory.Unpacker, index, text);
    result = StringValue(text);
}

// ArchiveInstall(folder [, progressId [, statusId]]): TRUE when every
// chosen entry but setup.ini was written below folder; otherwise everything is
// undone, and the status line says which file failed or that the user
// cancelled, GetLastFailure also why. An empty or relative folder is
// refused, with nothing written.
void ScriptArchiveInstall(TPatcherMemory& memory, TScript& script, TValue& result) {
    int32_t status = script.ArgInt(3);
    int32_t bar = script.ArgInt(2);
    std::string folder = script.ArgStr(1);
    result = BooleanValue(false);
    if (!memory.Unpacker || memory.Installing) return;
    memory.Installing = true;
    memory.InstallCancelled = false;
    TEventScope event(memory);
    TInstallResult outcome{};
    try {
        TPageObserver observer(memory, bar, status);
        outcome = IsFullPath(folder) ? InstallArchive(*memory.Unpacker, folder, observer, memory.LeftOut)
                                     : TInstallResult{ioRefused, folder, "is not a full path"};
        if (outcome.Outcome == ioCancelled) observer.Say(memory.LastFailure = ResourceText(kCancelled));
        if (outcome.Outcome == ioFailed || outcome.Outcome == ioRefused) {
            observer.Say(ResourceText(kCouldNotWrite) + outcome.Failed);
            memory.LastFailure = outcome.Failed + " " + outcome.Reason;
        }
    } catch (...) {
        // Whatever the installation raised (memory, the OS) is a failure;
        // what it wrote was undone on the way out.
        memory.LastFailure = ResourceText(kUnexpected);
    }
    memory.Installing = false;
    result = BooleanValue(outcome.Outcome == ioDone);
}

// ArchiveInstallCancel(): stops the installation that is running; TRUE
// when there was one.
void ScriptArchiveInstallCancel(TPatcherMemory& memory, TScript&, TValue& result) {
    if (memory.Installing) memory.InstallCancelled = true;
    result = BooleanValue(memory.Installing);
}
