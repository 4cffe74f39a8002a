// Q7 Zápisník, the program that the sample package installs: one window
// that says the installation worked, names the folder the program runs
// from and shows the notes (citajma.txt) installed beside it. Small on
// purpose: it is the payload a packager's first installer carries.

#include <windows.h>

#include <string>

namespace {

constexpr int kNotes = 100;
constexpr wchar_t kNotesFile[] = L"citajma.txt";
constexpr wchar_t kTitle[] = L"Q7 Zápisník 5.1";

// Closes a file handle when it goes out of scope.
class TFile {
public:
    explicit TFile(HANDLE handle) : handle_(handle) {}
    ~TFile() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// The folder of this program's own file, with a trailing backslash.
std::wstring OwnFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n < MAX_PATH ? n : 0);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// The notes file as text (UTF-8, an optional byte-order mark), with the
// line ends an edit control needs; a short Slovak note when it is missing.
std::wstring ReadNotes(const std::wstring& path) {
    TFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) return L"Súbor " + path + L" sa nenašiel.";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) out += L'\r';
        out += text[i];
    }
    return out;
}

HWND Child(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int id) {
    HWND control = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return control;
}

void CreateControls(HWND window) {
    std::wstring folder = OwnFolder();
    Child(window, L"STATIC", L"Inštalácia prebehla úspešne: Q7 Zápisník beží z priečinka", SS_LEFT, 101);
    Child(window, L"STATIC", folder, SS_LEFT | SS_PATHELLIPSIS, 102);
    Child(window, L"EDIT", ReadNotes(folder + kNotesFile),
          WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_TABSTOP, kNotes);
    Child(window, L"BUTTON", L"Zavrieť", BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK);
}

// Lays the controls out for the window's client size, in pixels.
void Layout(HWND window, int width, int height) {
    const int margin = 12, line = 18, button = 28;
    MoveWindow(GetDlgItem(window, 101), margin, margin, width - 2 * margin, line, TRUE);
    MoveWindow(GetDlgItem(window, 102), margin, margin + line, width - 2 * margin, line, TRUE);
    int notesTop = margin + 2 * line + 8;
    MoveWindow(GetDlgItem(window, kNotes), margin, notesTop, width - 2 * margin,
               height - notesTop - button - 2 * margin, TRUE);
    MoveWindow(GetDlgItem(window, IDOK), width - margin - 96, height - margin - button, 96, button, TRUE);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            CreateControls(window);
            return 0;
        case WM_SIZE:
            Layout(window, LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = WindowProc;
    cls.hInstance = instance;
    cls.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    cls.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    cls.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    cls.lpszClassName = L"Q7Zapisnik";
    RegisterClassW(&cls);
    HWND window =
        CreateWindowExW(0, cls.lpszClassName, kTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                        CW_USEDEFAULT, 560, 380, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
