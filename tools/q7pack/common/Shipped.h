#pragma once
// What is installed with q7pack (make install, the Debian package): the
// installer stubs and the UI driver in PREFIX/lib/q7patcher beside
// PREFIX/bin/q7pack, so that create needs no --stub and try no --driver.

#include <string>

// The shipped file name: in ../lib/q7patcher from q7pack's own folder, or
// in that folder itself; "" when neither holds it.
std::string ShippedFile(const std::string& name);

// Where ShippedFile looks first, for messages.
std::string ShippedFolder();

// The file name of the shipped installer stub for arch, "i686" (the
// shipped build) or "x86_64"; "" for another arch.
std::string StubName(const std::string& arch);
