// The UI driver: starts a program, and for each action waits for a settled
// screen of that program's windows, records it, and acts on it.
//
//   q7uidriver --out FILE [--timeout MS] [--times] [--line TEXT] ACTION... -- PROGRAM [ARG...]
//   q7uidriver --out FILE --first-window -- PROGRAM [ARG...]
//
// Actions:  press:ID        click the enabled push button ID of the page
//           type:ID:TEXT    replace the text of edit control ID by typing
//           key:esc|enter   press the key on the page
//           close           close the page from its system menu
//           answer:ID       press button ID (IDOK=1, IDYES=6...) of the box
//           shot:PNG        record the screen and save a picture of the
//                           program's windows (all of them: a box and its page)
//           window-shot:TITLE:PNG   wait for a window titled TITLE of any
//                           program (one the installer started) and save it
//                           (the two pictures and --times are make demo's)
//           window-close:TITLE      close that window
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
//           progress-shot:ID:PNG  as progress:ID, saving a picture of the
//                           page once its bar has moved
//           progress:ID[:BUTTON]  while the page with progress bar ID is on
//                           screen, read the bar and the page's text (each
//                           must answer within a second); with BUTTON, press
//                           it once the bar has moved. Records whether the
//                           bar showed two positions between its ends and
//                           every question that went unanswered
// --line appends TEXT to the program's command line as it is (raw quoting).
// --times adds a line "# N ms" behind each action done: the milliseconds
// from the program's start to the end of the action.
// After the actions the driver waits for the program to end and records its
// exit status; a program still running then is ended and so recorded.
// --first-window records only the milliseconds from the start to the first
// visible window with controls, then ends the program.
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

#include "tests/e2e/uPng.h"
#include "tests/e2e/uScreen.h"

namespace {

struct Options {
    std::wstring out;
    DWORD timeoutMs = 15000;
    bool firstWindow = false;
    bool times = false;
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
        transcript_ += "@ " + action + "\n";
        Do(action);
        if (options_.times) transcript_ += "# " + std::to_string(GetTickCount() - started_) + " ms\n";
    }

    void Do(const std::string& action) {
        std::string verb = action.substr(0, action.find(':'));
        std::string rest = action.size() > verb.size() ? action.substr(verb.size() + 1) : "";
        if (verb == "shot") return Shot(rest);
        if (verb == "window-shot") return WindowShot(rest.substr(0, rest.find(':')), rest.substr(rest.find(':') + 1));
        if (verb == "window-close") {
            PostMessageW(OtherWindow(rest), WM_CLOSE, 0, 0);
            return;
        }
        if (verb == "press") return Press(std::stoi(rest));
        if (verb == "type") return Type(std::stoi(rest), rest.substr(rest.find(':') + 1));
        if (verb == "key") return Key(rest == "esc" ? VK_ESCAPE : rest == "enter" ? VK_RETURN : 0);
        if (verb == "close") return OnPage([](HWND page) { PostMessageW(page, WM_CLOSE, 0, 0); });
        if (verb == "answer") return Answer(std::stoi(rest));
        if (verb == "colour") return Colour(rest);
        if (verb == "attach") return Attach(rest);
        if (verb == "no-window") return NoWindow();
        if (verb == "size") return Size(std::stoi(rest));
        if (verb == "progress")
            return Progress(std::stoi(rest), rest.find(':') == std::string::npos
                                                 ? 0
                                                 : std::stoi(rest.substr(rest.find(':') + 1)));
        if (verb == "progress-shot") return Progress(std::stoi(rest), 0, rest.substr(rest.find(':') + 1));
        throw DriverError("unknown action " + action);
    }

    // Waits for the program to end; ends it when it does not.
    void Finish() {
        transcript_ += "@ end\n";
        if (WaitForSingleObject(process_.hProcess, options_.timeoutMs) == WAIT_TIMEOUT) {
            Record(TakeScreen(process_.dwProcessId));
            TerminateProcess(process_.hProcess, 99);
            throw DriverError("the program did not end");
        }
        DWORD status = 0;
        GetExitCodeProcess(process_.hProcess, &status);
        transcript_ += "exit " + std::to_string(status) + "\n";
    }

    // Milliseconds from the start to the first visible window with controls.
    double FirstWindowMs() {
        LARGE_INTEGER frequency, start, now;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        Start();
        while (true) {
            for (const auto& shot : TakeScreen(process_.dwProcessId))
                if (GetWindow(shot.Window, GW_CHILD)) {
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
    // program waits for input; and ready says the screen is one to act on.
    Screen Settle(const std::function<bool(const Screen&)>& ready) {
        DWORD deadline = Deadline();
        Screen last = TakeScreen(process_.dwProcessId);
        while (true) {
            WaitForInputIdle(process_.hProcess, 1000);
            Sleep(150);
            Screen now = TakeScreen(process_.dwProcessId);
            if (Key(now) == Key(last) && ready(now)) return now;
            if (Ended()) throw DriverError("the program ended");
            if (Passed(deadline)) {
                Record(now);
                throw DriverError("the screen did not settle into one to act on");
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
        Screen screen = Settle([this](const Screen& s) { return Page(s) != nullptr; });
        Record(screen);
        HWND page = Page(screen);
        if (!IsWindowEnabled(page)) throw DriverError("the page is disabled (a box is open over it)");
        act(page);
    }

    void Press(int id) {
        OnPage([id](HWND page) {
            HWND button = Control(page, id);
            if (!IsWindowEnabled(button)) throw DriverError("control " + std::to_string(id) + " is disabled");
            PostMessageW(button, BM_CLICK, 0, 0);
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
            "no page with control " + std::to_string(id),
            [&] {
                for (const auto& shot : TakeScreen(process_.dwProcessId))
                    if ((bar = shot.MessageBox ? nullptr : FindControl(shot.Window, id)))
                        return (page = shot.Window), true;
                return false;
            },
            5);
        return bar;
    }

    // button: the one to press once the bar has moved (0: none); png: where
    // to save a picture of the page then ("": none).
    void Progress(int id, int button, std::string png = "") {
        HWND page = nullptr, bar = Bar(id, page);
        std::set<DWORD_PTR> inside;
        int unanswered = 0;
        bool pressed = false;
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
            if (!png.empty() && inside.size() >= 2) {
                RECT r;
                if (!GetWindowRect(page, &r) || !SaveScreenPng(r, Wide(png)))
                    throw DriverError("cannot save the picture " + png);
                transcript_ += "shot " + png + "\n";
                png.clear();
            }
            if (Passed(deadline)) throw DriverError("the progress page stayed");
            Sleep(10);
        }
        transcript_ += "progress " + std::to_string(id) + (inside.size() >= 2 ? " moved" : " did not move") +
                       ", unanswered " + std::to_string(unanswered) + (pressed ? ", pressed" : "") + "\n";
    }

    // Presses the box's button, then waits until the box is gone: its
    // modal loop has ended and the page under it is the program's again.
    void Answer(int id) {
        Screen screen = Settle([](const Screen& s) { return !s.empty() && s.front().MessageBox; });
        Record(screen);
        HWND box = screen.front().Window;
        HWND button = GetDlgItem(box, id);
        if (!button) throw DriverError("the box has no button " + std::to_string(id));
        PostMessageW(button, BM_CLICK, 0, 0);
        WaitFor(
            "the box stayed open", [box] { return !IsWindow(box); }, 20);
    }

    void NoWindow() {
        DWORD deadline = Deadline();
        while (WaitForSingleObject(process_.hProcess, 20) == WAIT_TIMEOUT) {
            Screen screen = TakeScreen(process_.dwProcessId);
            if (!screen.empty()) {
                Record(screen);
                throw DriverError("the program showed a window");
            }
            if (Passed(deadline)) throw DriverError("the program did not end");
        }
    }

    // A settled screen with a window of the program, and a picture of the
    // rectangle that holds all its windows.
    void Shot(const std::string& path) {
        Screen screen = Settle([](const Screen& s) { return !s.empty(); });
        Record(screen);
        RECT all{}, r;
        for (const auto& shot : screen)
            if (GetWindowRect(shot.Window, &r)) UnionRect(&all, &all, &r);
        if (!SaveScreenPng(all, Wide(path))) throw DriverError("cannot save the picture " + path);
    }

    // The visible top-level window titled title, of any program, once it
    // has been on screen for a moment.
    HWND OtherWindow(const std::string& title) {
        HWND window = nullptr;
        WaitFor(
            "no window " + title,
            [&] { return (window = FindWindowW(nullptr, Wide(title).c_str())) && IsWindowVisible(window); },
            50);
        Sleep(500);
        return window;
    }

    void WindowShot(const std::string& title, const std::string& path) {
        RECT r;
        HWND window = OtherWindow(title);
        if (!GetWindowRect(window, &r) || !SaveScreenPng(r, Wide(path)))
            throw DriverError("cannot save the picture " + path);
    }

    // Goes on with another running process whose file is named exe.
    void Attach(const std::string& exe) {
        WaitFor(
            "no program " + exe + " runs",
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
        else options.actions.push_back(Utf8(a));
    }
    for (++i; i < count; ++i) options.commandLine += (options.commandLine.empty() ? L"" : L" ") + QuoteArgument(args[i]);
    if (!options.line.empty()) options.commandLine += L" " + options.line;
    LocalFree(args);
    return !options.out.empty() && !options.commandLine.empty();
}

void WriteOut(const std::wstring& path, const std::string& text) {
    if (FILE* f = _wfopen(path.c_str(), L"wb")) fwrite(text.data(), 1, text.size(), f), fclose(f);
}

}  // namespace

int main() {
    Options options;
    if (!ParseOptions(options)) {
        fprintf(stderr, "usage: q7uidriver --out FILE [--timeout MS] [--times] [--first-window] ACTION... -- PROGRAM [ARG...]\n");
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
