// Fuzz target over the readers q7pack try runs on a prefix an installer ran
// in: the input bytes as a Wine registry file and as a shortcut. Neither
// may crash; a registry file that is not in the form is refused with
// PackError, nothing else.

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/try/ChangeReport.h"
#include "tools/q7pack/try/ShellLink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    TPrefixSnapshot before, after;
    try {
        ReadRegistryText(bytes, "HKLM", "fuzz.reg", after.Registry);
    } catch (const PackError&) {
    }
    for (uint32_t codePage : {1250u, 932u})
        if (auto link = ReadShellLink(bytes, codePage)) after.Files["C:\\a.lnk"] = {false, size, 0, link};
    ChangeReport(before, after);
    PendingAtRestart(after.Registry);
    return 0;
}
