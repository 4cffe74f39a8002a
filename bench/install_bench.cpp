// Writes every payload entry of an archive out as files with the installer
// library's copy routine, the way a control script's ArchiveFileCopy loop
// does, and prints the seconds it took. Runs in the Windows build (under
// Wine here).
//   install_bench ARCHIVE DIR
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "archive/uZlibArchive.h"
#include "scriptlib/installer/uPatcherArchive.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: install_bench ARCHIVE DIR\n");
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    TFileStream source(argv[1], fmOpenReadShareAll);
    TZLibUnpacker unpacker;
    if (unpacker.LoadFileTable(source) != zaOk) return 1;
    std::filesystem::create_directories(argv[2]);
    std::filesystem::current_path(argv[2]);
    int failed = 0;
    for (int32_t i = 0; i < unpacker.FileCount(); ++i)
        if (unpacker.FileAt(i).Name != "setup.ini" && !InstallArchiveEntry(unpacker, i, "")) ++failed;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %d %d\n", seconds, unpacker.FileCount(), failed);
    return failed == 0 ? 0 : 1;
}
