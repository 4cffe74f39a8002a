#include "tools/q7pack/try/WinePrefix.h"

// q7pack try needs Wine and Xvfb; on Windows, run the installer itself.
class TWinePrefix::TImpl {};

TWinePrefix::TWinePrefix(const TWineSetup&) {
    throw ETryFailed("runs on Linux, under Wine; on Windows, run the installer itself");
}
TWinePrefix::~TWinePrefix() = default;
std::string TWinePrefix::Folder() const { return {}; }
std::string TWinePrefix::Place(const std::string&) { return {}; }
TDriven TWinePrefix::Drive(const std::vector<std::string>&, size_t, const std::string&) { return {}; }
void TWinePrefix::Restart() {}
