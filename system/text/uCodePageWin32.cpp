// The code pages' byte tables from the system's conversion.

#include <windows.h>

#include "system/text/uCodePage.h"

std::array<uint32_t, 256> SystemCodePageTable(uint32_t codePage) {
    std::array<uint32_t, 256> table;
    table.fill(kNoCharacter);
    for (int b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        WCHAR out[2];
        if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &in, 1, out, 2) == 1) table[b] = out[0];
    }
    return table;
}

