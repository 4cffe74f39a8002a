// What the installer does on its pages beside the script's events: the
// banner drawn at the page's own size, the heading in bold, the small
// icon of the title bar, the check boxes the script left without a text
// hidden, and the lines that say how much space the chosen entries need
// and how much is free where the folder lies.

#include <shlwapi.h>

#include <vector>

#include "scriptlib/host/uPages.h"
#include "scriptlib/installer/uEntrySelection.h"
#include "system/app/uImageScale.h"
#include "system/io/uDllSearch.h"
#include "system/uSystem.h"
#include "system/win/uEnvironment.h"

namespace {

constexpr int kInstallerIcon = 1;
constexpr int kBanner = 901;
constexpr LONG kWidestBanner = 4096, kTallestBanner = 1024;
constexpr int kHeading = 290;
constexpr int kFolder = 221;
constexpr int kNeededLines[] = {223, 260};
constexpr int kFree = 224;
constexpr int kChoices[] = {261, 262, 263, 264, 265, 266, 267, 268, 272, 273};
constexpr uint32_t kNeededText = 7;  // string table: "Space needed: "
constexpr uint32_t kFreeText = 8;    // string table: "Space free: "
const char kBoldFont[] = "q7.bold";
const char kFitted[] = "q7.banner";  // the page shows a shared, fitted banner

HINSTANCE OwnModule() { return GetModuleHandleA(nullptr); }

// The page's banner: the static control that shows a bitmap.
HWND BannerOf(HWND page) {
    for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) return child;
    return nullptr;
}

// Bitmap 901 resampled to width by height pixels; null when it cannot be.
HBITMAP ScaledBanner(int32_t width, int32_t height) {
    HBITMAP source = static_cast<HBITMAP>(LoadImageA(OwnModule(), MAKEINTRESOURCEA(kBanner), IMAGE_BITMAP, 0, 0, 0));
    BITMAP shape{};
    // A bitmap larger than any banner (of another tool than q7pack) keeps
    // the control's own stretching rather than take the memory.
    if (!source || !GetObjectA(source, sizeof shape, &shape) || shape.bmWidth > kWidestBanner ||
        shape.bmHeight > kTallestBanner) {
        if (source) DeleteObject(source);
        return nullptr;
    }
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, shape.bmWidth, -shape.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint32_t> pixels(static_cast<size_t>(shape.bmWidth) * static_cast<size_t>(shape.bmHeight));
    HDC screen = GetDC(nullptr);
    bool read = GetDIBits(screen, source, 0, static_cast<UINT>(shape.bmHeight), pixels.data(), &info, DIB_RGB_COLORS) ==
                shape.bmHeight;
    DeleteObject(source);
    if (read) pixels = ScaleImage(pixels, shape.bmWidth, shape.bmHeight, width, height);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    HBITMAP scaled = read && !pixels.empty()
                         ? CreateDIBitmap(screen, &info.bmiHeader, CBM_INIT, pixels.data(), &info, DIB_RGB_COLORS)
                         : nullptr;
    ReleaseDC(nullptr, screen);
    return scaled;
}

// Bitmap 901 at a size, made once for all pages (pages nest, and each one
// would resample it again) and kept until the installer ends; a page at
// another scale makes another one.
HBITMAP BannerAt(int32_t width, int32_t height) {
    static struct {
        int32_t width, height;
        HBITMAP bitmap;
    } made[4];
    for (auto& one : made) {
        if (!one.bitmap) one = {width, height, ScaledBanner(width, height)};
        if (one.width == width && one.height == height) return one.bitmap;
    }
    return nullptr;  // a fifth scale keeps the control's own stretching
}

bool WithinAPixel(LONG a, LONG b) { return a - b <= 1 && b - a <= 1; }

// The banner control stretches its bitmap coarsely to its size, which the
// display's scale sets: give it one of exactly that size instead.
void FitBanner(HWND page) {
    HWND banner = BannerOf(page);
    RECT area{};
    if (!banner || !GetClientRect(banner, &area) || area.right <= 0 || area.bottom <= 0) return;
    // At the scale the banner was drawn for, the bitmap shown fits already:
    // resampling it would cost the first page milliseconds for the same
    // pixels. Dialog units round to the next pixel (350 units of 7/4 pixels
    // make 613 for a 612 banner), and the control's own stretch of one
    // pixel cannot be told from a resampling.
    BITMAP shown{};
    auto current = reinterpret_cast<HGDIOBJ>(SendMessageA(banner, STM_GETIMAGE, IMAGE_BITMAP, 0));
    if (current && GetObjectA(current, sizeof shown, &shown) && WithinAPixel(shown.bmWidth, area.right) &&
        WithinAPixel(shown.bmHeight, area.bottom))
        return;
    HBITMAP fitted = BannerAt(area.right, area.bottom);
    if (!fitted) return;
    HGDIOBJ old = reinterpret_cast<HGDIOBJ>(SendMessageA(banner, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(fitted)));
    // The template's own bitmap is the page's to free; a fitted one is shared.
    if (old && old != fitted && GetPropA(page, kFitted) == nullptr) DeleteObject(old);
    SetPropA(page, kFitted, fitted);
}

void BoldHeading(HWND page) {
    HWND heading = GetDlgItem(page, kHeading);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(page, WM_GETFONT, 0, 0));
    LOGFONTA shape{};
    if (!heading || !font || !GetObjectA(font, sizeof shape, &shape)) return;
    shape.lfWeight = FW_BOLD;
    HFONT bold = CreateFontIndirectA(&shape);
    if (!bold) return;
    SendMessageA(heading, WM_SETFONT, reinterpret_cast<WPARAM>(bold), TRUE);
    if (HANDLE old = GetPropA(page, kBoldFont)) DeleteObject(old);
    SetPropA(page, kBoldFont, bold);
}

// Control id, when the page has it, says string-table text stringId and
// bytes as the user's Windows writes sizes ("1,20 MB"); nothing when the
// size is not known. Written only when it changes, so that it never
// flickers.
void ShowSize(HWND page, int id, uint32_t stringId, bool known, uint64_t bytes) {
    HWND control = GetDlgItem(page, id);
    if (!control) return;
    char size[64] = {}, now[128] = {};
    if (auto format = Q7_SYSTEM_FUNCTION("shlwapi.dll", StrFormatByteSize64A))
        format(static_cast<LONGLONG>(bytes), size, sizeof size);
    std::string text = known ? ResourceText(stringId) + size : std::string();
    GetWindowTextA(control, now, sizeof now);
    if (text != now) SetWindowTextA(control, text.c_str());
}

}  // namespace

void PageCreated(HWND page) {
    SendMessageA(page, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadImageA(OwnModule(), MAKEINTRESOURCEA(kInstallerIcon), IMAGE_ICON,
                                                     GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                     LR_SHARED)));
    FitBanner(page);
    BoldHeading(page);
}

void PageRescaled(HWND page) {
    FitBanner(page);
    BoldHeading(page);
}

void PageFilled(HWND page) {
    for (int id : kChoices)
        if (HWND box = GetDlgItem(page, id); box && GetWindowTextLengthA(box) == 0) ShowWindow(box, SW_HIDE);
}

void PageEventDone(const TPatcherMemory& memory, HWND page) {
    uint64_t needed = memory.Unpacker ? ChosenBytes(*memory.Unpacker, memory.LeftOut) : 0;
    for (int id : kNeededLines) ShowSize(page, id, kNeededText, memory.Unpacker != nullptr, needed);
    if (!GetDlgItem(page, kFree)) return;
    char folder[MAX_PATH + 1] = {};
    GetDlgItemTextA(page, kFolder, folder, sizeof folder);
    uint64_t free = 0;
    bool known = FreeDiskBytes(folder, free);
    ShowSize(page, kFree, kFreeText, known, free);
}

void PageDestroyed(HWND page) {
    // Taken off its control, so that nothing frees the shared banner.
    if (HWND banner = BannerOf(page); banner && RemovePropA(page, kFitted))
        SendMessageA(banner, STM_SETIMAGE, IMAGE_BITMAP, 0);
    if (HANDLE bold = RemovePropA(page, kBoldFont)) DeleteObject(bold);
}
