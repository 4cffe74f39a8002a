#pragma once
// The numbers and names by which code finds the installer's own resources:
// q7patcher.rc and uTexts.inc define them, the installer loads them and
// q7pack brands them, so each is written here once.

#include <cstdint>

// The wizard's pages: dialog templates 101 (welcome) to 105 (progress).
constexpr uint32_t kFirstPage = 101;
constexpr uint32_t kLastPage = 105;

// The string-table entry that captions every box of the installer.
constexpr uint32_t kCaptionText = 65519;

// The resource (RT_RCDATA, this name) that q7pack writes into an installer
// whose brand asks for options, and that the installer looks for.
constexpr char kOptionsResource[] = "OPTIONS";
