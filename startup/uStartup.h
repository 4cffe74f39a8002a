#pragma once
// The installer's process entry: finds the archive, loads its table,
// extracts the control script and runs the installation in the script host.
// Windows only.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scriptlib/installer/uCommandLine.h"

class TZLibUnpacker;

// The statuses an installer with options ends with when it fails by
// itself (docs/packaging.md lists them); SetExitCode chooses any other.
constexpr int32_t kExitArchiveDamaged = 2;  // cannot be opened, or an unexpected error
constexpr int32_t kExitArchiveUnavailable = 3;
constexpr int32_t kExitScriptMissing = 4;
constexpr int32_t kExitScriptNotInflated = 5;
constexpr int32_t kExitLogUnavailable = 7;

// The whole run: every step up to the end of the installation. Shows each
// fatal error once in a message box and never raises. The result is the
// exit status: the script's (SetExitCode, 0 when it sets none), and in an
// installer with options one of the statuses above for its own failures.
int32_t RunInstaller();

// What start-up hands the host of the command line.
struct TRunOptions {
    bool TakesOptions = false;
    std::vector<TOption> Options;
};

// Where the appended archive begins in the running executable's own file:
// the end of its section data, read from the loaded module's headers.
// std::nullopt when that lies at 2^31 or beyond, where no archive can be
// read (start-up then reports the archive unavailable).
std::optional<int32_t> GetAppendedArchiveOffset();

// The fatal-error box: message immediately followed by detail, the
// installer's caption, the error icon, owned by the page on screen if any;
// none in a silent run. The log adds the cause, when there is one.
void ReportFatalError(const std::string& message, const std::string& detail, const std::string& cause = {});

// Creates the installer host over the loaded archive and the control
// script, makes it ActiveScript, raises INITAPP and releases the host
// (clearing ActiveScript) when the installation is over; the result is the
// status the script chose.
int32_t RunControlScript(TZLibUnpacker& unpacker, const std::string& scriptText, const TRunOptions& options);
