#pragma once
// UTF-8 as the packager and the installer's lower-casing read it.

#include <cstdint>
#include <string>
#include <string_view>

// Decodes one well-formed UTF-8 sequence at text[i] (shortest form, no
// surrogates, nothing above U+10FFFF) and moves i behind it; -1 otherwise,
// leaving i where it was.
int32_t NextUtf8(std::string_view text, size_t& i);
void AppendUtf8(std::string& out, uint32_t character);

// Lowers every well-formed UTF-8 character of text in place by lower(),
// keeping a character whose lower-case form has another UTF-8 length
// (and every byte that is not UTF-8) as it is, so no character is split
// and byte positions stay where they were.
void Utf8LowerInPlace(std::string& text, uint32_t (*lower)(uint32_t));
