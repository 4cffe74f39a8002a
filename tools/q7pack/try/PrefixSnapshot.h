#pragma once
// What a Wine prefix holds at one moment, as q7pack try compares it before
// and after an installation: every file and folder of its C: drive and
// every registry key and value of its three registry files. Read while no
// Wine process runs in the prefix, so the registry files are complete.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "tools/q7pack/try/RegistryText.h"
#include "tools/q7pack/try/ShellLink.h"

struct TFileEntry {
    bool Folder = false;
    uint64_t Size = 0;
    int64_t Modified = 0;            // nanoseconds, to tell a rewritten file
    std::optional<TShellLink> Link;  // of a .lnk file that reads as a shortcut
    bool operator==(const TFileEntry& other) const {
        return Folder == other.Folder && Size == other.Size && Modified == other.Modified;
    }
};

struct TPrefixSnapshot {
    std::map<std::string, TFileEntry, TPathLess> Files;  // by Windows path, "C:\..."
    TRegistry Registry;                                  // HKLM, HKCU, HKU\.Default
};

// The snapshot of the prefix folder prefix. Links below drive_c are taken
// as files (never followed).
TPrefixSnapshot SnapshotPrefix(const std::string& prefix);

// The ANSI code page the prefix's registry names (Nls\Codepage ACP), 1252
// when it names none.
uint32_t AnsiCodePage(const TRegistry& registry);
