#include "tools/q7pack/SafeFiles.h"

#include <cstdio>

std::string TemporaryName() {
    unsigned char bytes[8] = {};
    FillRandom(bytes, sizeof bytes);
    std::string name = ".q7pack-";
    char digits[3];
    for (unsigned char b : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        name += digits;
    }
    return name + ".tmp";
}
