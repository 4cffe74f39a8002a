#pragma once
// Shell links (.lnk files) for the installer library (Windows only), written
// through the shell's IShellLinkA and IPersistFile. COM is initialised on
// the first shortcut and released when the program ends.

#include <string>

struct TShortcut {
    std::string Link;       // the .lnk file to write
    std::string Target;     // what it starts
    std::string Arguments;  // its command-line arguments
    std::string Folder;     // the working folder, empty for none
    std::string Icon;       // the file holding the icon, empty for the target's
    int IconIndex = 0;
    std::string Description;  // the tooltip
};

// Writes the shortcut, replacing an existing file of that name. Creates no
// folders. True when the shell saved it.
bool WriteShortcut(const TShortcut& shortcut);
