#include "tools/q7pack/pack/PackCheck.h"

#include <algorithm>
#include <optional>

#include "system/text/uCodePage.h"

#include "scriptlib/installer/uPatcherCheck.h"
#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/common/Names.h"
#include "tools/q7pack/common/PackError.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

std::string StoredScript(const std::string& path, const std::string& text, std::optional<uint32_t> codePage) {
    if (!codePage) return text;
    std::string_view utf8 = text;
    if (utf8.substr(0, kByteOrderMark.size()) == kByteOrderMark) utf8.remove_prefix(kByteOrderMark.size());
    std::string stored;
    std::optional<TUnmapped> bad = Utf8ToCodePage(utf8, *codePage, stored);
    if (!bad) return stored;
    size_t lineStart = utf8.rfind('\n', bad->offset == 0 ? 0 : bad->offset - 1);
    lineStart = lineStart == std::string_view::npos || bad->offset == 0 ? 0 : lineStart + 1;
    size_t line = 1 + static_cast<size_t>(std::count(utf8.begin(), utf8.begin() + bad->offset, '\n'));
    size_t column = 1;  // in characters
    for (size_t i = lineStart; i < bad->offset; ++column)
        if (NextUtf8(utf8, i) < 0) ++i;
    std::string where = path + ":" + std::to_string(line) + ":" + std::to_string(column);
    if (bad->character == kNoCharacter)
        throw PackError(where, "byte 0x" + std::string(1, "0123456789ABCDEF"[(utf8[bad->offset] >> 4) & 15]) +
                                   "0123456789ABCDEF"[utf8[bad->offset] & 15] +
                                   " is not UTF-8 text: with a brand's codepage the script is saved as UTF-8");
    std::string shown;
    AppendUtf8(shown, bad->character);
    throw PackError(where, "character '" + shown + "' (" + CharacterCode(bad->character) + ") is not in " +
                               CodePageName(*codePage) + ", the package's code page; codepage = utf-8 holds it");
}

ScriptCheck CheckScriptFile(const std::string& path, std::optional<uint32_t> codePage) {
    ScriptCheck check = CheckScriptText(path, StoredScript(path, ReadInputFile(path), codePage));
    if (codePage) check.Warning.clear();  // UTF-8 is what this package's script is saved in
    return check;
}

ScriptCheck CheckScriptText(const std::string& path, const std::string& text) {
    ScriptCheck check;
    if (int line = FirstUtf8Line(text))
        check.Warning = path + ":" + std::to_string(line) +
                        ": warning: the script is UTF-8 text, the installer reads it as Windows-1250; "
                        "save it as Windows-1250\n";
    std::optional<TScriptProblem> problem = CheckPatcherScript(text);
    if (!problem) return check;
    if (text.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0 && problem->Line == 1 &&
        problem->Column == 1)
        problem->Note =
            "the file starts with a UTF-8 byte-order mark (EF BB BF); "
            "save it as Windows-1250, without a byte-order mark";
    check.Report = FormatScriptProblem(path, text, *problem);
    return check;
}
