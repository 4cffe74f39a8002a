#include "startup/uStartup.h"

#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <vector>

#include "archive/uZlibArchive.h"
#include "scriptlib/uPatcherScript.h"
#include "startup/uCommandLine.h"
#include "startup/uPeImage.h"
#include "system/uSystem.h"

TPatcherScript* ActiveScript = nullptr;

namespace {

constexpr uint32_t kScriptNotInflated = 65489;
constexpr uint32_t kScriptMissing = 65490;
constexpr uint32_t kArchiveUnavailable = 65491;
constexpr uint32_t kArchiveDamaged = 65492;
constexpr uint32_t kCaption = 65519;
const char kScriptName[] = "setup.ini";

// Makes the host ActiveScript for as long as it lives, so that nothing
// reaches the host through ActiveScript once it is released.
class TActiveScope {
public:
    explicit TActiveScope(TPatcherScript& host) { ActiveScript = &host; }
    ~TActiveScope() { ActiveScript = nullptr; }
    TActiveScope(const TActiveScope&) = delete;
    TActiveScope& operator=(const TActiveScope&) = delete;
};

std::string OwnExecutablePath() {
    std::vector<char> buffer(MAX_PATH);
    while (true) {
        DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) throw EWin32Error{};
        if (n < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

// Steps from the loaded table to the end of the installation; fatal errors
// found on the way are reported here, exceptions go to the caller.
void InstallFrom(TZLibUnpacker& unpacker, TFileStream& archive) {
    uint8_t code = unpacker.LoadFileTable(archive);
    if (code != zaOk)
        return ReportFatalError(ResourceText(kArchiveUnavailable), TZLibAbstractArchive::ErrorCodeText(code));
    if (unpacker.FileCount() <= 0) return ReportFatalError(ResourceText(kArchiveUnavailable), "");
    const TZLibPackedFile* entry = unpacker.FindFile(kScriptName);
    if (!entry) return ReportFatalError(ResourceText(kScriptMissing), kScriptName);
    TStringStream script;
    code = entry->ExtractTo(&script);
    if (code != zaOk)
        return ReportFatalError(ResourceText(kScriptNotInflated),
                                std::string(kScriptName) + " - " + TZLibAbstractArchive::ErrorCodeText(code));
    RunControlScript(unpacker, script.Data);
}

}  // namespace

void RunControlScript(TZLibUnpacker& unpacker, const std::string& scriptText) {
    // The progress page's bar is a common control.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    TPatcherScript host;
    TActiveScope active(host);
    host.PatcherMemory()->Unpacker = &unpacker;
    host.PatcherMemory()->ScriptText = scriptText;
    host.RunEvent(evInitApp, 0, 0);
}

void ReportFatalError(const std::string& message, const std::string& detail) {
    HWND owner = ActiveScript ? ActiveScript->PatcherMemory()->CurrentDialog : nullptr;
    MessageBoxA(owner, (message + detail).c_str(), ResourceText(kCaption).c_str(), MB_ICONERROR);
}

std::optional<int32_t> GetAppendedArchiveOffset() {
    // The loaded headers hold the file's values; the headers' own region
    // bounds what may be read of them.
    auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleA(nullptr));
    MEMORY_BASIC_INFORMATION region{};
    if (!VirtualQuery(base, &region, sizeof region)) return std::nullopt;
    TAppendedArchiveStart start = AppendedArchiveStart(base, region.RegionSize);
    if (start.Kind != TAppendedArchiveStart::Reachable) return std::nullopt;
    return start.Offset;
}

void RunInstaller() {
    TZLibUnpacker unpacker;
    try {
        std::vector<std::string> items = SplitCommandLine(GetCommandLineA());
        bool ownFile = items.size() <= 1;
        TFileStream archive(ownFile ? OwnExecutablePath() : items.back(), fmOpenReadShareAll);
        std::optional<int32_t> offset = ownFile ? GetAppendedArchiveOffset() : 0;
        // Reading from anywhere else would load whatever lies there.
        if (!offset || archive.Seek(*offset, soFromBeginning) != *offset)
            return ReportFatalError(ResourceText(kArchiveUnavailable), "");
        InstallFrom(unpacker, archive);
    } catch (...) {
        ReportFatalError(ResourceText(kArchiveDamaged), "");
    }
}
