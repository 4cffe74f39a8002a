#pragma once
// The language an installer built with several languages shows its pages
// and string table in. The resource lookup of Windows would fall back to
// whichever language comes first when none matches the user's, so the
// language is chosen once, at the first page or text, from the user's UI
// language, and every page and text is then looked up in it.

#include <cstdint>
#include <vector>

// The best of available for a user whose UI language is user: the same
// language id, else the same primary language (de-AT finds de-DE), else
// English (United States), else the first one.
uint16_t ChooseLanguage(uint16_t user, const std::vector<uint16_t>& available);

// Windows only: the language chosen for this executable, 0 when its first
// page comes in one language only (then the ordinary lookup is used, as
// in every single-language installer).
uint16_t ResourceLanguage();

// Windows only: the data of resource type/name (as FindResource takes
// them) in ResourceLanguage(), with its size; nullptr when there is none.
const void* LanguageResource(const char* type, const char* name, uint32_t& size);
