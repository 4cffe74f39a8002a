// Runs the fuzz target once over every file of the given files and
// directories: the seed corpus as a regression test, with any compiler.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

static void RunFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

int main(int argc, char** argv) {
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code missing;
        if (fs::is_regular_file(argv[i])) files.push_back(argv[i]);
        else
            for (const auto& entry : fs::directory_iterator(argv[i], missing))
                if (entry.is_regular_file()) files.push_back(entry.path());
        if (missing) {
            std::fprintf(stderr, "no such file or directory: %s\n", argv[i]);
            return 1;
        }
    }
    for (const auto& f : files) RunFile(f);
    std::printf("%zu inputs ran\n", files.size());
    return files.empty() ? 1 : 0;
}
