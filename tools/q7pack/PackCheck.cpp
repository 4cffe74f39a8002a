#include "tools/q7pack/PackCheck.h"

#include <fstream>
#include <iterator>

#include "scriptlib/uPatcherCheck.h"
#include "tools/q7pack/PackError.h"

std::string CheckScriptFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw PackError(path, "cannot open for reading");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw PackError(path, "read failed");
    std::optional<TScriptProblem> problem = CheckPatcherScript(text);
    return problem ? FormatScriptProblem(path, text, *problem) : std::string();
}
