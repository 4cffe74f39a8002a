#include "tools/q7uidriver/uScreen.h"

#include <cstdio>

namespace {

constexpr UINT kTimeoutMs = 2000;

std::wstring ClassOf(HWND window) {
    wchar_t name[256];
    int n = GetClassNameW(window, name, 256);
    return std::wstring(name, n > 0 ? static_cast<size_t>(n) : 0);
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kTimeoutMs, &answer)) return 0;
    return static_cast<LRESULT>(answer);
}

// The text through WM_GETTEXT, which other processes' edit controls need.
std::string TextOf(HWND window) {
    LRESULT length = Ask(window, WM_GETTEXTLENGTH);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT n = Ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return Utf8(text);
}

// Line breaks and quotes are escaped so that one control stays one line.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '"' || c == '\\') out += std::string("\\") + c;
        else out += c;
    }
    return out + "\"";
}

// How many pixels of shown differ from icon drawn on the colour of shown's
// corner (transparent in every system icon).
size_t Difference(const std::vector<uint32_t>& shown, HICON icon, int size) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(memory, canvas);
    HBRUSH background = CreateSolidBrush(RGB((shown[0] >> 16) & 0xFF, (shown[0] >> 8) & 0xFF, shown[0] & 0xFF));
    RECT all{0, 0, size, size};
    FillRect(memory, &all, background);
    DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    std::vector<uint32_t> drawn = Pixels(memory, 0, 0, size, size);
    SelectObject(memory, old);
    DeleteObject(background);
    DeleteObject(canvas);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    size_t differ = 0;
    for (size_t i = 0; i < drawn.size(); ++i) differ += (drawn[i] & 0xFFFFFF) != (shown[i] & 0xFFFFFF);
    return differ;
}

// Which system icon the control shows, told by its pixels on the screen
// (icon handles of another process cannot be compared).
std::string IconName(HWND control) {
    if (!Ask(control, STM_GETICON)) return "none";
    RECT r;
    GetWindowRect(control, &r);
    int size = GetSystemMetrics(SM_CXICON);
    if (r.right - r.left < size || r.bottom - r.top < size) return "own";
    std::vector<uint32_t> shown = Pixels(nullptr, r.left, r.top, size, size);
    const struct {
        WORD id;
        const char* name;
    } kSystem[] = {{32513, "error"}, {32516, "information"}, {32514, "question"}, {32515, "warning"}};
    // The closest, when it is close: a DPI-aware program's box may draw the
    // icon from another of its images, a few edge pixels apart.
    const char* name = "own";
    size_t best = static_cast<size_t>(size) * static_cast<size_t>(size) / 10 + 1;
    for (const auto& s : kSystem) {
        size_t differ = Difference(shown, LoadIconW(nullptr, MAKEINTRESOURCEW(s.id)), size);
        if (differ < best) best = differ, name = s.name;
    }
    return name;
}

int ControlId(HWND control) { return static_cast<int16_t>(GetDlgCtrlID(control) & 0xFFFF); }

std::string DescribeControl(HWND control) {
    std::wstring cls = ClassOf(control);
    LONG style = GetWindowLongW(control, GWL_STYLE);
    std::string line = "  " + std::to_string(ControlId(control)) + " " + Utf8(cls);
    if (_wcsicmp(cls.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
        line += " icon=" + IconName(control);
    else if (_wcsicmp(cls.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_BITMAP)
        line += " bitmap";
    else
        line += " " + Quoted(TextOf(control));
    if (!IsWindowEnabled(control)) line += " disabled";
    if (!IsWindowVisible(control)) line += " hidden";
    if (_wcsicmp(cls.c_str(), L"Button") == 0 && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) line += " default";
    if (_wcsicmp(cls.c_str(), L"Button") == 0 && Ask(control, BM_GETCHECK) == BST_CHECKED) line += " checked";
    return line + "\n";
}

// Message boxes are the dialogs with a standard answer button (IDOK to
// IDCONTINUE); the installer's pages use identifiers of their own.
bool IsMessageBox(HWND window) {
    if (ClassOf(window) != L"#32770") return false;
    for (int id = IDOK; id <= 11; ++id)
        if (HWND button = GetDlgItem(window, id); button && ClassOf(button) == L"Button") return true;
    return false;
}

// A message box as one line: caption, icon, text and its answer buttons.
std::string DescribeBox(HWND box) {
    std::string icon = "none", text, buttons;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        std::wstring cls = ClassOf(c);
        LONG style = GetWindowLongW(c, GWL_STYLE);
        if (_wcsicmp(cls.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
            icon = IconName(c);
        else if (_wcsicmp(cls.c_str(), L"Static") == 0 && ControlId(c) == -1)
            text = TextOf(c);
        else if (_wcsicmp(cls.c_str(), L"Button") == 0 && IsWindowVisible(c))
            buttons += (buttons.empty() ? "" : " ") + std::to_string(ControlId(c));
    }
    return "box " + Quoted(TextOf(box)) + " icon=" + icon + " " + Quoted(text) + " [" + buttons + "]\n";
}

TWindowShot Shoot(HWND window) {
    TWindowShot shot;
    shot.Window = window;
    shot.MessageBox = IsMessageBox(window);
    if (shot.MessageBox) {
        shot.Text = DescribeBox(window);
        return shot;
    }
    shot.Text = "page " + Quoted(TextOf(window)) + "\n";
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) shot.Text += DescribeControl(c);
    return shot;
}

struct Search {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window)) search->found.push_back(window);
    return TRUE;
}

}  // namespace

// The pixels of a rectangle of source (the screen when source is null), as
// 32-bit BGRX values, top row first; empty when they cannot be read.
std::vector<uint32_t> Pixels(HDC source, int x, int y, int w, int h) {
    std::vector<uint32_t> out;
    if (w <= 0 || h <= 0) return out;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, w, h, source ? source : screen, x, y, SRCCOPY)) {
            GdiFlush();
            out.assign(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + w * h);
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return out;
}

std::vector<HWND> VisibleWindows(DWORD processId) {
    Search search{processId, {}};
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<TWindowShot> TakeScreen(DWORD processId) {
    std::vector<TWindowShot> screen;
    for (HWND window : VisibleWindows(processId)) screen.push_back(Shoot(window));
    return screen;
}

std::string ScreenText(const std::vector<TWindowShot>& screen) {
    if (screen.empty()) return "(no window)\n";
    std::string text;
    for (const auto& shot : screen) text += shot.Text;
    return text;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string ColourOf(HWND page, HWND control, int x, int y) {
    RECT r{};
    POINT at;
    if (x >= 0) {
        GetWindowRect(control, &r);
        at = {r.left + x, r.top + y};
    } else if (control == page) {
        GetClientRect(page, &r);
        at = {r.left + 2, r.bottom - 3};
        ClientToScreen(page, &at);
    } else {
        GetWindowRect(control, &r);
        at = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    std::vector<uint32_t> pixels = Pixels(nullptr, at.x, at.y, 1, 1);
    if (pixels.empty()) return "(unreadable)";
    char text[8];
    snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(pixels[0] & 0xFFFFFF));
    return text;
}

HWND FindControl(HWND window, int id) {
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (ControlId(c) == static_cast<int16_t>(id & 0xFFFF)) return c;
    return nullptr;
}
