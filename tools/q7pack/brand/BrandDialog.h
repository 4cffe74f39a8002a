#pragma once
// An extended dialog template (DIALOGEX) taken apart far enough to change
// its caption and the texts of its controls, and put back together. What
// is not edited keeps its bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "pe/uPeFile.h"

struct TDialogItem {
    std::string fixed;      // help id, styles, position and size
    int32_t id = 0;         // DIALOGEX ids are 32-bit; -1 for the unnumbered ones
    std::string className;  // sz_Or_Ord bytes as stored
    bool titleIsText = false;
    std::u16string title;      // when titleIsText
    std::string titleOrdinal;  // sz_Or_Ord bytes otherwise (a bitmap or icon number)
    std::string extra;         // creation data with its count
};

struct TDialogTemplate {
    std::string head;  // fixed header, menu and class
    std::u16string caption;
    std::string font;  // font block when the style asks for one
    std::vector<TDialogItem> items;
};

// Raises EPeFormat for a template that is not DIALOGEX or is damaged.
TDialogTemplate ParseDialog(const std::string& data);
std::string WriteDialog(const TDialogTemplate& dialog);
