// The UI driver: starts a program, and for each action waits for a settled
// screen of that program's windows, records it, and acts on it. q7pack try
// runs it under Wine; so do the end-to-end scenarios.
//
//   q7uidriver --out FILE [--timeout MS] [--times] [--shots DIR] [--line TEXT] ACTION... -- [PROGRAM [ARG...]]
//   q7uidriver --out FILE --first-window -- PROGRAM [ARG...]
//
// Actions:  press:ID        click the enabled push button ID of the page
//           check:ID        the same for a check box or radio button: a click
//           uncheck:ID      a click on a ticked check box
//           type:ID:TEXT    replace the text of edit control ID by typing
//           key:esc|enter   press the key on the page
//           close           close the page from its system menu
//           answer:ID       press button ID (IDOK=1, IDYES=6...) of the box
//           wait:ID         wait for a page with control ID (the result page
//                           after an installation of unknown length)
//           shot            record the screen (and picture it, with --shots)
//           window-close:TITLE  wait for a window titled TITLE of any
//                           program (one the installer started) and close it
//           colour:ID       record the colour shown in the middle of control ID
//                           of the page, or of the page's background for 0
//           colour:ID:X:Y   record the colour at X, Y from the top-left corner
//                           of control ID of the page
//           attach:EXE      from here on act on the running program whose file
//                           is named EXE (any case), and wait for it at the
//                           end: one the program started, such as the copy
//                           of itself an uninstaller goes on in
//           no-window       wait for the program to end, failing as soon as
//                           it shows a window (which is recorded)
//           size:ID         record the size of control ID of the page (0:
//                           the page's client area) as "size ID WxH"
//           progress:ID[:BUTTON]  while the page with progress bar ID is on
//                           screen, read the bar and the page's text (each
//                           must answer within a second); with BUTTON, press
//                           it once the bar has moved. Records whether the
//                           bar showed two positions between its ends and
//                           every question that went unanswered
// A page that lacks the control an action names, or a box open over the page
// an action is for, fails the action at once; every wait lasts at most the
// timeout (15 s unless --timeout says otherwise) and its failure says what it
// waited for.
// --line appends TEXT to the program's command line as it is (raw quoting);
// with no PROGRAM it is the whole command line (an UninstallString).
// --shots saves a picture of every screen an action acts on (the program's
// windows, a box with the page under it; the window window-close closes; the
// progress page once its bar has moved) as DIR\NN-VERB[-ID].png, NN the
// action's number.
// --times adds a line "# N ms" behind each action done: the milliseconds
// from the program's start to the end of the action.
// After the actions the driver waits for the program to end and records its
// exit status; a box that no action answers fails at once, a program still
// running at the timeout is ended and so recorded.
// --first-window records only the milliseconds from the start to the first
// visible window with controls whose program answers a message, then ends
// the program.
// Exit status: 0, 1 when an action could not be done (the transcript says
// why), 2 for a usage error.

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <commctrl.h>

#include <cstdio>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/q7uidriver/uPng.h"
#include "tools/q7uidriver/uScreen.h"

namespace {

struct Options {
    std::wstring out;
    DWORD timeoutMs = 15000;
    bool firstWindow = false;
    bool times = false;
    std::wstring shots;
    std::vector<std::string> actions;
    std::wstring commandLine;
    std::wstring line;
};

// A failed action: the driver records the reason and stops acting.
struct DriverError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class TDriver {
public:
    TDriver(const Options& options) : options_(options) {}
    ~TDriver() {
        if (process_.hProcess) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
            CloseHandle(process_.hProcess);
            if (process_.hThread) CloseHandle(process_.hThread);
        }
    }

    void Start() {
        started_ = GetTickCount();
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        // Wine once refused a start here with ERROR_INTERNAL_ERROR, right
        // after the installer before had started the installed program; it
        // did not come back on reruns. That error is tried again a few times;
        // any other one is the test's.
        for (int attempt = 1;; ++attempt) {
            std::wstring line = options_.commandLine;
            if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process_))
                break;
            DWORD error = GetLastError();
            if (error != ERROR_INTERNAL_ERROR || attempt == 5)
                throw DriverError("cannot start the program (error " + std::to_string(error) + ")");
            Sleep(200);
        }
    }

    void Act(const std::string& action) {
        ++number_;
        action_ = action;
        transcript_ += "@ " + action + "\n";
        Do(action);
        if (options_.times) transcript_ += "# " + std::to_string(GetTickCount() - started_) + " ms\n";
    }

    void Do(const std::string& action) {
        std::string verb = action.substr(0, action.find(':'));
        std::string rest = action.size() > verb.size() ? action.substr(verb.size() + 1) : "";
        if (verb == "shot") return Shot();
        if (verb == "window-close") return WindowClose(rest);
        if (verb == "press") return Press(std::stoi(rest));
        if (verb == "check" || verb == "uncheck") return Check(std::stoi(rest), verb == "check");
        if (verb == "type") return Type(std::stoi(rest), rest.substr(rest.find(':') + 1));
        if (verb == "key") return Key(rest == "esc" ? VK_ESCAPE : rest == "enter" ? VK_RETURN : 0);
        if (verb == "close") return OnPage([](HWND page) { PostMessageW(page, WM_CLOSE, 0, 0); });
        if (verb == "answer") return Answer(std::stoi(rest));
        if (verb == "wait") return WaitForControl(std::stoi(rest));
        if (verb == "colour") return Colour(rest);
        if (verb == "attach") return Attach(rest);
        if (verb == "no-window") return NoWindow();
        if (verb == "size") return Size(std::stoi(rest));
        if (verb == "progress")
            return Progress(std::stoi(rest), rest.find(':') == std::string::npos
                                                 ? 0
                                                 : std::stoi(rest.substr(rest.find(':') + 1)));
        throw DriverError("unknown action " + action);
    }

    // Waits for the program to end. A box that stays on screen fails at
    // once: no action is left to answer it. The destructor ends a program
    // that is still running.
    void Finish() {
        transcript_ += "@ end\n";
        Screen last;
        for (DWORD deadline = Deadline(); WaitForSingleObject(process_.hProcess, 150) == WAIT_TIMEOUT;) {
            Screen now = TakeScreen(process_.dwProcessId);
            bool box = !now.empty() && now.front().MessageBox && Key(now) == Key(last);
            if (box || Passed(deadline)) {
                Record(now);
                throw DriverError(box ? "a box appeared that no action answers"
                                      : "the program did not end within " + Seconds() + " of the last action");
            }
            last = std::move(now);
        }
        DWORD status = 0;
        GetExitCodeProcess(process_.hProcess, &status);
        transcript_ += "exit " + std::to_string(status) + "\n";
    }

    // Milliseconds from the start to the first visible window with
    // controls, once the program answers a message: ready for input. The
    // window is looked for without asking the program anything, so that
    // the clock does not count the driver reading every control's text
    // (two messages each), which would make a page's number of controls
    // part of its start-up time.
    double FirstWindowMs() {
        LARGE_INTEGER frequency, start, now;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        Start();
        while (true) {
            for (HWND window : VisibleWindows(process_.dwProcessId))
                if (GetWindow(window, GW_CHILD)) {
                    DWORD_PTR answer = 0;
                    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);
                    QueryPerformanceCounter(&now);
                    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
                           static_cast<double>(frequency.QuadPart);
                }
            if (WaitForSingleObject(process_.hProcess, 2) == WAIT_OBJECT_0) throw DriverError("no window shown");
        }
    }

    std::string transcript_;

private:
    using Screen = std::vector<TWindowShot>;

    void Record(const Screen& screen) { transcript_ += ScreenText(screen); }

    std::string Seconds() const { return std::to_string(options_.timeoutMs / 1000) + " s"; }

    // With --shots, a picture of rect, named for the action being done.
    void Picture(const RECT& rect) {
        if (options_.shots.empty()) return;
        std::string verb = action_.substr(0, action_.find(':')), id;
        if (verb.size() < action_.size()) id = action_.substr(verb.size() + 1, action_.find(':', verb.size() + 1) - verb.size() - 1);
        if (id.find_first_not_of("-0123456789abcdefghijklmnopqrstuvwxyz") != std::string::npos) id.clear();
        char number[16];
        snprintf(number, sizeof number, "%02d-", number_);
        std::string name = number + verb + (id.empty() ? "" : "-" + id) + ".png";
        if (!SaveScreenPng(rect, options_.shots + L"\\" + Wide(name)))
            throw DriverError("cannot save the picture " + name);
    }

    // The rectangle that holds all windows of screen.
    static RECT Bounds(const Screen& screen) {
        RECT all{}, r;
        for (const auto& shot : screen)
            if (GetWindowRect(shot.Window, &r)) UnionRect(&all, &all, &r);
        return all;
    }

    bool Ended() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; }

    // A deadline of the driver's timeout (times factor) from now.
    DWORD Deadline(DWORD factor = 1) const { return GetTickCount() + options_.timeoutMs * factor; }
    static bool Passed(DWORD deadline) { return static_cast<int32_t>(GetTickCount() - deadline) > 0; }

    // Looks every pause ms until done holds; fails with what at the deadline.
    void WaitFor(const std::string& what, const std::function<bool()>& done, DWORD pause) {
        for (DWORD deadline = Deadline(); !done(); Sleep(pause))
            if (Passed(deadline)) throw DriverError(what);
    }

    // Control id of the page (the page itself for 0).
    static HWND Control(HWND page, int id) {
        HWND control = id ? FindControl(page, id) : page;
        if (!control) throw DriverError("the page has no control " + std::to_string(id));
        return control;
    }

    static std::string Key(const Screen& screen) {
        std::string key;
        for (const auto& shot : screen)
            key += std::to_string(reinterpret_cast<uintptr_t>(shot.Window)) + "\n" + shot.Text;
        return key;
    }

    // The same windows with the same texts seen twice 150 ms apart, while the
    // program waits for input; and ready says the screen is one to act on:
    // the what of the failure at the deadline.
    Screen Settle(const std::string& what, const std::function<bool(const Screen&)>& ready) {
        DWORD deadline = Deadline();
        Screen last = TakeScreen(process_.dwProcessId);
        while (true) {
            WaitForInputIdle(process_.hProcess, 1000);
            Sleep(150);
            Screen now = TakeScreen(process_.dwProcessId);
            if (Key(now) == Key(last) && ready(now)) return now;
            if (Ended()) throw DriverError("the program ended while the driver waited for " + what);
            if (Passed(deadline)) {
                Record(now);
                throw DriverError("waited " + Seconds() + " for " + what + " in vain");
            }
            last = std::move(now);
        }
    }

    // The topmost page (not a message box), once one is on screen.
    HWND Page(const Screen& screen) {
        for (const auto& shot : screen)
            if (!shot.MessageBox) return shot.Window;
        return nullptr;
    }

    void OnPage(const std::function<void(HWND)>& act) {
        // A box in front is settled on too: no action for a page answers it.
        Screen screen = Settle("a page", [this](const Screen& s) {
            return Page(s) != nullptr || (!s.empty() && s.front().MessageBox);
        });
        Record(screen);
        HWND page = Page(screen);
        if (screen.front().MessageBox) throw DriverError("a box appeared that no action answers");
        if (!IsWindowEnabled(page)) throw DriverError("the page is disabled");
        Picture(Bounds(screen));
        act(page);
    }

    void Press(int id) {
        OnPage([id](HWND page) {
            HWND button = Control(page, id);
            if (!IsWindowEnabled(button)) throw DriverError("control " + std::to_string(id) + " is disabled");
            PostMessageW(button, BM_CLICK, 0, 0);
        });
    }

    // Records the page once one with control id is on screen.
    void WaitForControl(int id) {
        Screen screen = Settle("a page with control " + std::to_string(id), [this, id](const Screen& s) {
            return (Page(s) && FindControl(Page(s), id)) || (!s.empty() && s.front().MessageBox);
        });
        Record(screen);
        if (screen.front().MessageBox) throw DriverError("a box appeared that no action answers");
        Picture(Bounds(screen));
    }

    // Clicks a check box or radio button unless it is ticked (unticked)
    // already.
    void Check(int id, bool ticked) {
        OnPage([id, ticked](HWND page) {
            HWND button = Control(page, id);
            DWORD_PTR state = 0;
            if (!IsWindowEnabled(button)) throw DriverError("control " + std::to_string(id) + " is disabled");
            SendMessageTimeoutW(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &state);
            if ((state == BST_CHECKED) != ticked) PostMessageW(button, BM_CLICK, 0, 0);
        });
    }

    void Type(int id, const std::string& text) {
        OnPage([id, &text](HWND page) {
            HWND edit = Control(page, id);
            PostMessageW(edit, EM_SETSEL, 0, -1);
            PostMessageW(edit, WM_CHAR, L'\b', 0);
            for (wchar_t c : Wide(text)) PostMessageW(edit, WM_CHAR, c, 0);
        });
    }

    void Key(WPARAM key) {
        if (!key) throw DriverError("unknown key");
        OnPage([key](HWND page) {
            PostMessageW(page, WM_KEYDOWN, key, 1);
            PostMessageW(page, WM_KEYUP, key, 0xC0000001);
        });
    }

    // colour:ID, or colour:ID:X:Y for a point of the control.
    void Colour(const std::string& where) {
        size_t x = where.find(':'), y = x == std::string::npos ? x : where.find(':', x + 1);
        OnPage([&](HWND page) {
            HWND control = Control(page, std::stoi(where));
            std::string colour =
                y == std::string::npos
                    ? ColourOf(page, control)
                    : ColourOf(page, control, std::stoi(where.substr(x + 1)), std::stoi(where.substr(y + 1)));
            transcript_ += "colour " + where + " " + colour + "\n";
        });
    }

    void Size(int id) {
        OnPage([this, id](HWND page) {
            RECT r{};
            GetClientRect(Control(page, id), &r);
            transcript_ += "size " + std::to_string(id) + " " + std::to_string(r.right) + "x" + std::to_string(r.bottom) + "\n";
        });
    }

    // The page's bar, once a page with control id is on screen.
    HWND Bar(int id, HWND& page) {
        HWND bar = nullptr;
        WaitFor(
            "waited " + Seconds() + " for a page with control " + std::to_string(id) + " in vain",
            [&] {
                for (const auto& shot : TakeScreen(process_.dwProcessId))
                    if ((bar = shot.MessageBox ? nullptr : FindControl(shot.Window, id)))
                        return (page = shot.Window), true;
                return false;
            },
            5);
        return bar;
    }

    // button: the one to press once the bar has moved (0: none). With
    // --shots, the page is pictured then.
    void Progress(int id, int button) {
        HWND page = nullptr, bar = Bar(id, page);
        std::set<DWORD_PTR> inside;
        int unanswered = 0;
        bool pressed = false, pictured = false;
        DWORD deadline = Deadline(4);
        // One question per look where it can be: the page's thread answers
        // between its writes, so every question waits for one of its pauses
        // for messages, and more of them make the bar's moves easier to
        // miss. Every other look asks the page for its text instead of the
        // bar for its position. The range is asked again only when the
        // position is not below it (the script sets it once the page is up).
        DWORD_PTR high = 0, position = 0;
        for (int look = 0; IsWindow(bar); ++look) {
            wchar_t text[256];
            DWORD_PTR got = 0;
            bool answered =
                look % 2 ? SendMessageTimeoutW(page, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 1000, &got)
                         : SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 1000, &position) &&
                               (position < high ||
                                SendMessageTimeoutW(bar, PBM_GETRANGE, FALSE, 0, SMTO_NORMAL, 1000, &high));
            if (!answered && IsWindow(bar)) ++unanswered;
            if (answered && position > 0 && position < high) inside.insert(position);
            // A button is pressed once the bar has been seen moving, so
            // that a cancelled installation shows its moves too.
            if (button && !pressed && inside.size() >= 2)
                pressed = PostMessageW(FindControl(page, button), BM_CLICK, 0, 0) || true;
            RECT r;
            if (!pictured && inside.size() >= 2 && GetWindowRect(page, &r)) pictured = (Picture(r), true);
            if (Passed(deadline)) throw DriverError("the progress page stayed for " + std::to_string(options_.timeoutMs * 4 / 1000) + " s");
            Sleep(10);
        }
        transcript_ += "progress " + std::to_string(id) + (inside.size() >= 2 ? " moved" : " did not move") +
                       ", unanswered " + std::to_string(unanswered) + (pressed ? ", pressed" : "") + "\n";
    }

    // Presses the box's button, then waits until the box is gone: its
    // modal loop has ended and the page under it is the program's again.
    void Answer(int id) {
        Screen screen = Settle("a box", [](const Screen& s) { return !s.empty() && s.front().MessageBox; });
        Record(screen);
        Picture(Bounds(screen));
        HWND box = screen.front().Window;
        HWND button = GetDlgItem(box, id);
        if (!button) throw DriverError("the box has no button " + std::to_string(id));
        PostMessageW(button, BM_CLICK, 0, 0);
        WaitFor(
            "the box stayed open for " + Seconds() + " after the answer", [box] { return !IsWindow(box); }, 20);
    }

    void NoWindow() {
        DWORD deadline = Deadline();
        while (WaitForSingleObject(process_.hProcess, 20) == WAIT_TIMEOUT) {
            Screen screen = TakeScreen(process_.dwProcessId);
            if (!screen.empty()) {
                Record(screen);
                throw DriverError("the program showed a window");
            }
            if (Passed(deadline)) throw DriverError("the program did not end within " + Seconds());
        }
    }

    // A settled screen with a window of the program, recorded and pictured.
    void Shot() {
        Screen screen = Settle("a window", [](const Screen& s) { return !s.empty(); });
        Record(screen);
        Picture(Bounds(screen));
    }

    // Closes the visible top-level window titled title, of any program,
    // once it has been on screen for a moment.
    void WindowClose(const std::string& title) {
        HWND window = nullptr;
        RECT r;
        WaitFor(
            "waited " + Seconds() + " for a window titled " + title + " in vain",
            [&] { return (window = FindWindowW(nullptr, Wide(title).c_str())) && IsWindowVisible(window); },
            50);
        Sleep(500);
        if (GetWindowRect(window, &r)) Picture(r);
        PostMessageW(window, WM_CLOSE, 0, 0);
    }

    // Goes on with another running process whose file is named exe.
    void Attach(const std::string& exe) {
        WaitFor(
            "waited " + Seconds() + " for a program " + exe + " in vain",
            [&] {
                HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
                PROCESSENTRY32W e{};
                e.dwSize = sizeof e;
                DWORD id = 0;
                for (BOOL more = Process32FirstW(snapshot, &e); more && !id;
                     more = Process32NextW(snapshot, &e))
                    if (e.th32ProcessID != process_.dwProcessId &&
                        _wcsicmp(e.szExeFile, Wide(exe).c_str()) == 0)
                        id = e.th32ProcessID;
                CloseHandle(snapshot);
                HANDLE found = id ? OpenProcess(SYNCHRONIZE | PROCESS_ALL_ACCESS, FALSE, id) : nullptr;
                if (!found) return false;
                CloseHandle(process_.hProcess);
                if (process_.hThread) CloseHandle(process_.hThread);
                process_ = {found, nullptr, id, 0};
                return true;
            },
            50);
    }

    Options options_;
    int number_ = 0;      // of the action being done, from 1
    std::string action_;  // the action being done
    PROCESS_INFORMATION process_{};
    DWORD started_ = 0;
};

std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    return L"\"" + arg + L"\"";
}

bool ParseOptions(Options& options) {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    int i = 1;
    for (; i < count && std::wstring(args[i]) != L"--"; ++i) {
        std::wstring a = args[i];
        if (a == L"--out" && i + 1 < count) options.out = args[++i];
        else if (a == L"--timeout" && i + 1 < count) options.timeoutMs = static_cast<DWORD>(_wtoi(args[++i]));
        else if (a == L"--first-window") options.firstWindow = true;
        else if (a == L"--times") options.times = true;
        else if (a == L"--line" && i + 1 < count) options.line = args[++i];
        else if (a == L"--shots" && i + 1 < count) options.shots = args[++i];
        else options.actions.push_back(Utf8(a));
    }
    for (++i; i < count; ++i) options.commandLine += (options.commandLine.empty() ? L"" : L" ") + QuoteArgument(args[i]);
    if (!options.line.empty()) options.commandLine += (options.commandLine.empty() ? L"" : L" ") + options.line;
    LocalFree(args);
    return !options.out.empty() && !options.commandLine.empty();
}

void WriteOut(const std::wstring& path, const std::string& text) {
    if (FILE* f = _wfopen(path.c_str(), L"wb")) fwrite(text.data(), 1, text.size(), f), fclose(f);
}

}  // namespace

int main() {
    // As DPI-aware as the installer, so that it draws the system icons it
    // compares with at the installer's size and from the same image.
    SetProcessDPIAware();
    Options options;
    if (!ParseOptions(options)) {
        fprintf(stderr, "usage: q7uidriver --out FILE [--timeout MS] [--times] [--shots DIR] [--line TEXT]\n"
                        "                  [--first-window] ACTION... -- [PROGRAM [ARG...]]\n");
        return 2;
    }
    TDriver driver(options);
    int status = 0;
    try {
        if (options.firstWindow) {
            char ms[32];
            snprintf(ms, sizeof ms, "%.1f\n", driver.FirstWindowMs());
            driver.transcript_ = ms;
        } else {
            driver.Start();
            for (const auto& action : options.actions) driver.Act(action);
            driver.Finish();
        }
    } catch (const std::exception& e) {
        driver.transcript_ += std::string("!! ") + e.what() + "\n";
        status = 1;
    }
    WriteOut(options.out, driver.transcript_);
    return status;
}
