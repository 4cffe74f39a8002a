#pragma once
// The installer's process entry: finds the archive, loads its table,
// extracts the control script and runs the installation in the script host.
// Windows only.

#include <cstdint>
#include <optional>
#include <string>

class TZLibUnpacker;

// The whole run: every step up to the end of the installation. Shows each
// fatal error once in a message box and never raises.
void RunInstaller();

// Where the appended archive begins in the running executable's own file:
// the end of its section data, read from the loaded module's headers.
// std::nullopt when that lies at 2^31 or beyond, where no archive can be
// read (start-up then reports the archive unavailable).
std::optional<int32_t> GetAppendedArchiveOffset();

// The fatal-error box: message immediately followed by detail, the
// installer's caption, the error icon, owned by the page on screen if any.
void ReportFatalError(const std::string& message, const std::string& detail);

// Creates the installer host over the loaded archive and the control
// script, makes it ActiveScript, raises INITAPP and releases the host
// (clearing ActiveScript) when the installation is over.
void RunControlScript(TZLibUnpacker& unpacker, const std::string& scriptText);
