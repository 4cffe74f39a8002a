// PeImageDataEnd over the installer executables the Windows presets built
// (build/win32 and build/win64 beside this build): with nothing appended
// the section data ends exactly at the end of the file, and bytes appended
// behind it do not move that end. Skipped for a preset not built yet.

#include <gtest/gtest.h>

#include <filesystem>

#include "startup/uPeImage.h"
#include "tests/support/TempDir.h"

namespace {

void CheckInstaller(const char* preset, uint16_t optionalHeaderMagic) {
    std::string path = std::string(Q7_SOURCE_DIR) + "/build/" + preset + "/startup/q7patcher.exe";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " not built";
    std::string image = ReadFileBytes(path);
    auto bytes = reinterpret_cast<const unsigned char*>(image.data());
    ASSERT_GT(image.size(), 0x200u);
    uint32_t signature = bytes[0x3C] | bytes[0x3D] << 8 | bytes[0x3E] << 16 | bytes[0x3F] << 24;
    ASSERT_LT(signature + 26u, image.size());
    EXPECT_EQ(bytes[signature + 24] | bytes[signature + 25] << 8, optionalHeaderMagic) << "image kind of " << preset;

    EXPECT_EQ(PeImageDataEnd(bytes, image.size()), image.size()) << preset;
    std::string installer = image + "px" + std::string(1000, 'a');
    EXPECT_EQ(PeImageDataEnd(reinterpret_cast<const unsigned char*>(installer.data()), installer.size()),
              image.size())
        << preset;
}

TEST(PeImageDataEndOfTheInstaller, Win32ImageEndsAtItsFileSize) { CheckInstaller("win32", 0x10B); }

TEST(PeImageDataEndOfTheInstaller, Win64ImageEndsAtItsFileSize) { CheckInstaller("win64", 0x20B); }

}  // namespace
