#include "system/app/uInstallLog.h"

#include <ctime>

namespace {

TInstallLog* ActiveLog = nullptr;

std::string Stamp() {
    std::time_t now = std::time(nullptr);
    char text[32] = "";
    if (const std::tm* local = std::localtime(&now))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S ", local);
    return text;
}

}  // namespace

TInstallLog::TInstallLog(const std::string& path) : outer_(ActiveLog) {
    handle_ = HandleOpenRegular(path);
    if (Opened()) ActiveLog = this;
}

TInstallLog::~TInstallLog() {
    if (!Opened()) return;
    ActiveLog = outer_;
    HandleClose(handle_);
}

bool LogOpened() { return ActiveLog != nullptr; }

void LogLine(std::string_view text) {
    if (!ActiveLog) return;
    std::string line = Stamp();
    for (char c : text) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b >= 0x20) {
            line += c;
            continue;
        }
        const char hex[] = "0123456789ABCDEF";
        line += {'<', hex[b >> 4], hex[b & 15], '>'};
    }
    line += "\r\n";
    // Behind whatever is there now; a log past 2 GiB takes nothing more.
    if (HandleSeek(ActiveLog->handle_, 0, soFromEnd) < 0) return;
    HandleWrite(ActiveLog->handle_, line.data(), static_cast<int32_t>(line.size()));
}
