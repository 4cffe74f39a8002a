#pragma once
// What an installation changed in a Wine prefix, told from the snapshots
// before and after it: the lines of q7pack try's change report, and the
// Apps & features entries and restart work its uninstall step needs.

#include <string>
#include <vector>

#include "tools/q7pack/try/PrefixSnapshot.h"

// An Apps & features entry: a subkey of Uninstall in HKLM (either view) or
// HKCU, with the values Windows shows and runs.
struct TAppEntry {
    std::string Key;
    std::string Name, Version, Publisher, Uninstall, QuietUninstall;
};
std::vector<TAppEntry> AppsAndFeatures(const TRegistry& registry);

// The report, one section per kind of change ("files:", "registry:",
// "shortcuts:", "Apps & features:"), each line "+" (created or added), "~"
// (changed) or "-" (removed); "  nothing" when nothing changed. Files show
// their sizes, folders end in '\', a key's changed values follow it
// indented. A file whose size and time stayed is unchanged. What Wine
// writes on its own as any program starts (the display and monitor
// devices under HKLM\System\CurrentControlSet's Control\Class,
// Control\Video and Enum) is left out.
std::string ChangeReport(const TPrefixSnapshot& before, const TPrefixSnapshot& after);

// The file operations the registry holds for the next restart
// (PendingFileRenameOperations), one line each: "delete PATH" or
// "rename PATH to PATH".
std::vector<std::string> PendingAtRestart(const TRegistry& registry);

// The value for the report: "text" for strings ("expand" or "multi" before
// the texts of the other kinds), "dword 17", "qword 17", "hex(N) 00 01" (at
// most 64 bytes shown).
std::string ShowRegValue(const TRegValue& value);

// Text in quotes, with quotes and backslashes escaped by a backslash as in
// the transcript, and control characters as \r, \n, \t or \xNN, so that it
// stays on one line.
std::string Quoted(const std::string& text);

// Text on one line: control characters as \xNN (for names and paths).
std::string OneLine(const std::string& text);
