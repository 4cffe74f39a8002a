#include "tools/q7pack/PackCheck.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "scriptlib/uPatcherCheck.h"
#include "tools/q7pack/Names.h"
#include "tools/q7pack/PackError.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string ReadScript(const std::string& path) {
    std::error_code ec;
    auto type = std::filesystem::status(path, ec).type();
    if (type == std::filesystem::file_type::not_found) throw PackError(path, "cannot open: no such file");
    if (type == std::filesystem::file_type::directory) throw PackError(path, "is a folder, not a file");
    if (type != std::filesystem::file_type::regular) throw PackError(path, "is not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw PackError(path, "cannot open for reading");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw PackError(path, "cannot be read");
    return text;
}

}  // namespace

ScriptCheck CheckScriptFile(const std::string& path) {
    std::string text = ReadScript(path);
    ScriptCheck check;
    if (int line = FirstUtf8Line(text))
        check.warning = path + ":" + std::to_string(line) +
                        ": warning: the script is UTF-8 text, the installer reads it as Windows-1250; "
                        "save it as Windows-1250\n";
    std::optional<TScriptProblem> problem = CheckPatcherScript(text);
    if (!problem) return check;
    if (text.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0 && problem->Line == 1 &&
        problem->Column == 1)
        problem->Note =
            "the file starts with a UTF-8 byte-order mark (EF BB BF); "
            "save it as Windows-1250, without a byte-order mark";
    check.report = FormatScriptProblem(path, text, *problem);
    return check;
}
