#include "system/app/uResourceLanguage.h"

#include <algorithm>

uint16_t ChooseLanguage(uint16_t user, const std::vector<uint16_t>& available) {
    constexpr uint16_t kEnglishUs = 0x0409;
    if (available.empty()) return 0;
    if (std::find(available.begin(), available.end(), user) != available.end()) return user;
    for (uint16_t id : available)
        if ((id & 0x3FF) == (user & 0x3FF)) return id;
    if (std::find(available.begin(), available.end(), kEnglishUs) != available.end()) return kEnglishUs;
    return available.front();
}
