#pragma once
// What the installer does on its pages beside the script (uPatcherPages.cpp),
// called by the pages' dialog procedure. Windows only.

#include "scriptlib/uPatcherScript.h"

// Before the page's INITDIALOG: the title bar's small icon at the display's
// size, the banner resampled to its control's size, the heading (290) bold.
void PageCreated(HWND page);
// Once the page has been laid out for another display scale (it moved to
// another monitor): the banner and the heading's font made for it.
void PageRescaled(HWND page);
// After the page's INITDIALOG: the check boxes of the choices and finish
// pages (261 to 268, 272, 273) still without a text are hidden.
void PageFilled(HWND page);
// After each event of the page: the space the chosen entries need (223,
// 260) and the space free where the folder in 221 lies (224), each after
// its string-table text (7, 8).
void PageEventDone(const TPatcherMemory& memory, HWND page);
// When the page goes: what PageCreated made.
void PageDestroyed(HWND page);
