// The sample control script as the packager receives it: it passes the
// installer's own check and is stored in Windows-1250, not UTF-8.

#include <gtest/gtest.h>

#include "scriptlib/uPatcherCheck.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kScript = Q7_SOURCE_DIR "/examples/q7/setup.ini";

TEST(SampleScript, PassesTheInstallersCheck) {
    std::string text = ReadFileBytes(kScript);
    ASSERT_FALSE(text.empty());
    auto problem = CheckPatcherScript(text);
    EXPECT_FALSE(problem) << FormatScriptProblem("setup.ini", text, *problem);
}

TEST(SampleScript, IsWindows1250Text) {
    std::string text = ReadFileBytes(kScript);
    EXPECT_NE(text.find("APPNAME = \"Q7 Z\xE1pisn\xEDk\""), std::string::npos);
    EXPECT_EQ(text.find("\xC3"), std::string::npos) << "UTF-8 sequences of accented letters";
}

}  // namespace
