#pragma once
// What a shortcut (.lnk) leads to, read from its bytes as Windows writes
// them: the target path, its arguments, working folder, icon and
// description. q7pack try shows the shortcuts an installation made. The
// bytes come from a prefix an installer ran in: every offset and count is
// checked before use.

#include <cstdint>
#include <optional>
#include <string>

struct TShellLink {
    std::string Target, Arguments, Folder, Icon, Description;  // UTF-8
    int IconIndex = 0;
};

// The shortcut in bytes; std::nullopt when they are no shortcut or a part
// runs past their end. The target is the link's local path (LinkInfo),
// with the relative path as fallback. Text a link holds in the ANSI code
// page is read in ansiCodePage (874, 1250 to 1258; another shows its bytes
// past ASCII as \xNN).
std::optional<TShellLink> ReadShellLink(const std::string& bytes, uint32_t ansiCodePage);
