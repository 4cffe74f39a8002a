#pragma once
// UTF-8 as the project reads and writes it: only well-formed text is
// decoded, so that no overlong form, surrogate or value past U+10FFFF can
// pass a check in disguise (C0 BC is not '<').

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The code point of the well-formed UTF-8 sequence at text[i] (i below
// text.size()), moving i behind it; -1, with i unchanged, for anything
// else: a stray continuation byte, a lead byte C0, C1 or F5 to FF, a
// sequence cut short, an overlong (longer than shortest) form, a surrogate
// (U+D800 to U+DFFF) or a value past U+10FFFF.
int32_t NextUtf8(std::string_view text, size_t& i);

// Appends the UTF-8 form of cp, which must be at most U+10FFFF.
void AppendUtf8(std::string& out, uint32_t cp);

// The UTF-16 form of well-formed UTF-8 text (see NextUtf8); std::nullopt
// for any other bytes. Control characters pass: what a text may hold is
// the caller's rule.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

// The UTF-8 form of UTF-16 text; a surrogate without its partner becomes
// U+FFFD, so the result is always well-formed.
std::string Utf16ToUtf8(std::u16string_view text);

// Lowers every well-formed UTF-8 character of text in place by lower(),
// keeping a character whose lower-case form has another UTF-8 length
// (and every byte that is not UTF-8) as it is, so no character is split
// and byte positions stay where they were.
void Utf8LowerInPlace(std::string& text, uint32_t (*lower)(uint32_t));
