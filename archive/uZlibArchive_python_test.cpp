// Reads the archives that tests/make_sample_archives.py wrote with Python's
// zlib and checks every entry against what the script expects.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/uZlibArchive.h"

namespace {

std::string FromHex(const std::string& hex) {
    std::string out;
    if (hex == "-") return out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

TEST(PythonWrittenArchives, ReadBackAsTheWriterMeantThem) {
    const char* folder = std::getenv("Q7_SAMPLE_ARCHIVES");
    ASSERT_NE(folder, nullptr) << "Q7_SAMPLE_ARCHIVES names the folder of the sample archives";
    int archives = 0;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        if (item.path().extension() != ".q7a") continue;
        ++archives;
        SCOPED_TRACE(item.path().filename().string());
        std::ifstream expect(item.path().string() + ".expect");
        std::string word;
        int tableCode = 0, offset = 0;
        expect >> word >> tableCode >> offset;

        TFileStream file(item.path().string(), fmOpenReadShareAll);
        file.MoveTo(offset);
        TZLibUnpacker unpacker;
        EXPECT_EQ(unpacker.LoadFileTable(file), tableCode);
        std::string nameHex, dataHex;
        int code = 0, index = 0;
        for (; expect >> nameHex >> code >> dataHex; ++index) {
            ASSERT_LT(index, unpacker.FileCount());
            const TZLibPackedFile& entry = unpacker.FileAt(index);
            EXPECT_EQ(entry.Name, FromHex(nameHex));
            TStringStream out;
            EXPECT_EQ(entry.ExtractTo(&out), code) << entry.Name;
            if (dataHex != "-1") {
                EXPECT_EQ(out.Data, FromHex(dataHex)) << entry.Name;
            }
        }
        EXPECT_EQ(index, unpacker.FileCount());
    }
    EXPECT_GE(archives, 5);
}

}  // namespace
