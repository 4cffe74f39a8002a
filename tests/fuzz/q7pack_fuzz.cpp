// Fuzz target over q7pack's reading commands: list, verify and extract of
// the input bytes as an archive file. They must never crash, and extract
// must write nothing outside its folder. POSIX only (the output of the
// commands is silenced with dup2).
//
// Layout, made once per process under /dev/shm (or the temporary folder):
//   q7pack_fuzz-PID/            holds nothing but work/
//   q7pack_fuzz-PID/work/       holds nothing but in.q7 and out/
//   q7pack_fuzz-PID/work/out/   the extract folder, emptied after each run
// Set Q7_FUZZ_VERBOSE to see what the commands print.

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "tests/fuzz/Require.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/read/ArchiveCommands.h"

namespace fs = std::filesystem;

namespace {

// Made once and never destroyed, so that the exit handler can still use it.
const fs::path& Root() {
    static const fs::path* root = [] {
        fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        auto* made = new fs::path(base / ("q7pack_fuzz-" + std::to_string(getpid())));
        fs::create_directories(*made / "work" / "out");
        return made;
    }();
    static const bool removed = std::atexit([] {
        std::error_code ec;
        fs::remove_all(*root, ec);
    }) == 0;
    (void)removed;
    return *root;
}

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// Points stdout and stderr at /dev/null between the commands' runs, or
// back where they were, unless Q7_FUZZ_VERBOSE is set.
void Silence(bool quiet) {
    static const int saved[] = {dup(1), dup(2)};
    if (std::getenv("Q7_FUZZ_VERBOSE") != nullptr) return;
    std::fflush(stdout);
    std::fflush(stderr);
    const int null = quiet ? open("/dev/null", O_WRONLY) : -1;
    for (int fd : {1, 2}) dup2(quiet ? null : saved[fd - 1], fd);
    if (quiet) close(null);
}

template <typename Command>
void Run(Command command) {
    try {
        int status = command();
        Require(status == 0 || status == 1);
    } catch (const PackError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fs::path work = Root() / "work";
    std::string input = (work / "in.q7").string();
    std::string out = (work / "out").string();
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    Silence(true);
    Run([&] { return ListArchive(input); });
    Run([&] { return VerifyArchive(input); });
    Run([&] { return ExtractArchive(input, out); });
    Silence(false);
    Require(Names(Root()) == std::set<std::string>{"work"});
    Require(Names(work) == (std::set<std::string>{"in.q7", "out"}));
    for (const auto& entry : fs::recursive_directory_iterator(out))
        Require(!entry.is_symlink() && (entry.is_directory() || entry.is_regular_file()));
    for (const auto& entry : fs::directory_iterator(out)) fs::remove_all(entry.path());
    return 0;
}
