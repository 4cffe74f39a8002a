#include "tools/q7pack/pack/PackCreate.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "archive/uZlibArchive.h"
#include "tests/support/TempDir.h"
#include "tools/q7pack/common/PackError.h"

namespace {

// A folder holding a script, and options that pack it into out.q7a there.
class CreateArchive : public ::testing::Test {
protected:
    CreateArchive() {
        WriteFileBytes(dir / "setup.ini", "a = 1;");
        options.Output = dir / "out.q7a";
    }
    size_t FilesInFolder() const {
        return std::distance(std::filesystem::directory_iterator(dir.Path()), {});
    }

    TempDir dir;
    std::vector<PackInput> inputs = {{"setup.ini", dir / "setup.ini", 6, {}}};
    CreateOptions options;
};

TEST_F(CreateArchive, KeepsTheOutputBelowTheSizeLimitAndLeavesNothingWhenItWouldNot) {
    const uint64_t size = ::CreateArchive(inputs, options).ArchiveBytes;
    ASSERT_EQ(size, std::filesystem::file_size(dir / "out.q7a"));
    std::filesystem::remove(dir / "out.q7a");

    options.MaxOutputBytes = size;  // the output must stay below the limit
    EXPECT_THROW(::CreateArchive(inputs, options), PackError);
    EXPECT_EQ(FilesInFolder(), 1u) << "neither the output nor a temporary file";

    options.MaxOutputBytes = size + 1;
    EXPECT_EQ(::CreateArchive(inputs, options).ArchiveBytes, size);
    TFileStream file(dir / "out.q7a", fmOpenReadShareAll);
    TZLibUnpacker unpacker;
    EXPECT_EQ(unpacker.LoadFileTable(file), zaOk);
    EXPECT_EQ(unpacker.FileCount(), 1);
}

TEST_F(CreateArchive, AnInputThatVanishesFailsWithoutOutput) {
    inputs.push_back({"gone", dir / "gone", 10, {}});
    options.Threads = 2;
    try {
        ::CreateArchive(inputs, options);
        FAIL() << "no error";
    } catch (const PackError& e) {
        EXPECT_EQ(e.Subject(), dir / "gone");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.q7a"));
}

// A payload that grows after the inputs were collected (a log, a build
// still running) is stored with the size of what was read and compressed.
TEST_F(CreateArchive, RecordsTheSizeOfTheBytesItRead) {
    WriteFileBytes(dir / "log", std::string(100006, 'g'));
    inputs.push_back({"log", dir / "log", 6, {}});
    EXPECT_EQ(::CreateArchive(inputs, options).UnpackedBytes, 100012u);
    TFileStream file(dir / "out.q7a", fmOpenReadShareAll);
    TZLibUnpacker unpacker;
    ASSERT_EQ(unpacker.LoadFileTable(file), zaOk);
    EXPECT_EQ(unpacker.FileAt(1).UnpackedSize, 100006u);
}

}  // namespace
