#include "startup/uStartup.h"

#include <windows.h>

#include <commctrl.h>

#include <optional>

#include "archive/uZlibArchive.h"
#include "pe/uAppendedArchive.h"
#include "pe/uInstallerMarks.h"
#include "scriptlib/uPatcherScript.h"
#include "scriptlib/installer/uCommandLine.h"
#include "system/app/uFatalError.h"
#include "system/app/uInstallLog.h"
#include "system/uSystem.h"
#include "system/win/uEnvironment.h"

namespace {

const char kScriptName[] = "setup.ini";
// The control script is held in memory whole; a larger one does not
// inflate.
constexpr uint64_t kMaxScriptBytes = uint64_t{16} << 20;

// A fatal start-up error: the text of its box and the status an installer
// with options ends with.
struct TStartupError {
    uint32_t Text;
    int32_t Status;
};
constexpr TStartupError kScriptNotInflated{65489, kExitScriptNotInflated};
constexpr TStartupError kScriptMissing{65490, kExitScriptMissing};
constexpr TStartupError kArchiveUnavailable{65491, kExitArchiveUnavailable};
constexpr TStartupError kArchiveDamaged{65492, kExitArchiveDamaged};

// Without options an installer ends with 0 after every fatal error. The
// cause goes to the log only.
int32_t Fatal(const TStartupError& error, const std::string& detail, bool takesOptions,
              const std::string& cause = {}) {
    ReportFatalError(ResourceText(error.Text), detail, cause);
    return takesOptions ? error.Status : 0;
}

// Makes the host ActiveScript for as long as it lives, so that nothing
// reaches the host through ActiveScript once it is released.
class TActiveScope {
public:
    explicit TActiveScope(TPatcherScript& host) { ActiveScript = &host; }
    ~TActiveScope() { ActiveScript = nullptr; }
    TActiveScope(const TActiveScope&) = delete;
    TActiveScope& operator=(const TActiveScope&) = delete;
};

// q7pack marks an installer whose brand asks for options with a resource,
// and one that runs only its own archive with another.
bool HasMark(const char* mark) { return FindResourceA(nullptr, mark, MAKEINTRESOURCEA(10)) != nullptr; }

// Steps from the loaded table to the end of the installation; fatal errors
// found on the way are reported here, exceptions go to the caller. The
// result is the status the installer ends with.
int32_t InstallFrom(TZLibUnpacker& unpacker, TFileStream& archive, const TRunOptions& options) {
    uint8_t code = unpacker.LoadFileTable(archive);
    bool takes = options.TakesOptions;
    if (code != zaOk) return Fatal(kArchiveUnavailable, TZLibAbstractArchive::ErrorCodeText(code), takes);
    if (unpacker.FileCount() <= 0) return Fatal(kArchiveUnavailable, "", takes);
    const TZLibPackedFile* entry = unpacker.FindFile(kScriptName);
    if (!entry) return Fatal(kScriptMissing, kScriptName, takes);
    TStringStream script;
    TCappedStream capped(script, kMaxScriptBytes);
    code = entry->ExtractTo(&capped);
    if (code != zaOk)
        return Fatal(kScriptNotInflated,
                     std::string(kScriptName) + " - " + TZLibAbstractArchive::ErrorCodeText(code), takes);
    return RunControlScript(unpacker, script.Data, options);
}

// Opens the archive the command line names (the own file when none) and
// installs from it. A branded installer carries its vendor's name and
// signature: unless its brand accepts archive files, it runs no other
// archive than its own.
int32_t OpenAndInstall(TZLibUnpacker& unpacker, const TInvocation& invocation, bool takesOptions) {
    if (invocation.Archive && HasMark(kOwnArchiveResource))
        return Fatal(kArchiveUnavailable, *invocation.Archive, takesOptions);
    bool ownFile = !invocation.Archive;
    std::string name = ownFile ? "" : *invocation.Archive;
    try {
        // An own path Windows cannot tell opens nothing and ends as damaged.
        if (ownFile) name = OwnProgramPath();
        TFileStream archive(name, fmOpenReadShareAll);
        std::optional<int32_t> offset = ownFile ? GetAppendedArchiveOffset() : 0;
        // Reading from anywhere else would load whatever lies there.
        if (!offset || archive.Seek(*offset, soFromBeginning) != *offset)
            return Fatal(kArchiveUnavailable, "", takesOptions);
        return InstallFrom(unpacker, archive, {takesOptions, invocation.Options});
    } catch (const EOsError& e) {
        return Fatal(kArchiveDamaged, "", takesOptions, name + ": " + OsErrorText(e.Code));
    } catch (...) {
        return Fatal(kArchiveDamaged, "", takesOptions);
    }
}

}  // namespace

int32_t RunControlScript(TZLibUnpacker& unpacker, const std::string& scriptText, const TRunOptions& options) {
    // The progress page's bar is a common control.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    TPatcherScript host;
    TActiveScope active(host);
    host.PatcherMemory()->Unpacker = &unpacker;
    host.PatcherMemory()->ScriptText = scriptText;
    host.PatcherMemory()->TakesOptions = options.TakesOptions;
    host.PatcherMemory()->Options = options.Options;
    host.RunEvent(evInitApp, 0, 0);
    return host.PatcherMemory()->ExitCode;
}

void ReportFatalError(const std::string& message, const std::string& detail, const std::string& cause) {
    ShowFatalError(ActiveScript ? ActiveScript->PatcherMemory()->CurrentDialog : nullptr, message, detail, cause);
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

int32_t RunInstaller() {
    TZLibUnpacker unpacker;
    bool takesOptions = HasMark(kOptionsResource);
    int32_t status = 0;
    try {
        TInvocation invocation = ParseInvocation(GetCommandLineA(), takesOptions);
        SetSilentRun(takesOptions && FindOption(invocation.Options, "S"));
        const TOption* logPath = FindOption(invocation.Options, "LOG");
        std::optional<TInstallLog> log;
        if (logPath && !log.emplace(logPath->Value).Opened()) return kExitLogUnavailable;
        LogLine(std::string("started: ") + GetCommandLineA());
        status = OpenAndInstall(unpacker, invocation, takesOptions);
        LogLine("exit code " + IntegerText(status));
    } catch (...) {
        status = Fatal(kArchiveDamaged, "", takesOptions);
    }
    return status;
}
