#pragma once
// An extended dialog template (DIALOGEX) taken apart far enough to change
// its caption and the texts of its controls, and put back together. What
// is not edited keeps its bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "pe/uPeFile.h"

struct TDialogItem {
    std::string Fixed;      // help id, styles, position and size
    int32_t Id = 0;         // DIALOGEX ids are 32-bit; -1 for the unnumbered ones
    std::string ClassName;  // sz_Or_Ord bytes as stored
    bool TitleIsText = false;
    std::u16string Title;      // when titleIsText
    std::string TitleOrdinal;  // sz_Or_Ord bytes otherwise (a bitmap or icon number)
    std::string Extra;         // creation data with its count
};

struct TDialogTemplate {
    std::string Head;  // fixed header, menu and class
    std::u16string Caption;
    std::string Font;  // font block when the style asks for one
    std::vector<TDialogItem> Items;
};

// Raises EPeFormat for a template that is not DIALOGEX or is damaged.
TDialogTemplate ParseDialog(const std::string& data);
std::string WriteDialog(const TDialogTemplate& dialog);
