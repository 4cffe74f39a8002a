// A program for the tests that start processes: sleeps, then writes a marker
// file saying how it was asked to show its window.
//   q7sleep MILLISECONDS MARKER
// The marker holds "show=N", N being the show command the starter passed
// (0 hidden, 1 normal), and appears in one step (written beside, then
// renamed), so a test that sees it can read it whole.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc != 3) return 2;
    Sleep(static_cast<DWORD>(std::atoi(__argv[1])));
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
    std::string marker = __argv[2];
    std::string partial = marker + ".part";
    FILE* out = std::fopen(partial.c_str(), "wb");
    if (!out) return 1;
    std::fprintf(out, "show=%d", show);
    std::fclose(out);
    return MoveFileExA(partial.c_str(), marker.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
