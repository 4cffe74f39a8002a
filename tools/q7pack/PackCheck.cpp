#include "tools/q7pack/PackCheck.h"

#include <optional>

#include "scriptlib/uPatcherCheck.h"
#include "tools/q7pack/Names.h"
#include "tools/q7pack/PackError.h"
#include "tools/q7pack/PackInputs.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

ScriptCheck CheckScriptFile(const std::string& path) { return CheckScriptText(path, ReadInputFile(path)); }

ScriptCheck CheckScriptText(const std::string& path, const std::string& text) {
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
