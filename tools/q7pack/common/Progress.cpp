#include "tools/q7pack/common/Progress.h"

#include <cstdio>

#include "tools/q7pack/common/Platform.h"

Progress::Progress(std::string verb) : verb_(std::move(verb)), shown_(StderrIsTerminal()) {}

Progress::~Progress() {
    if (shown_ && width_ > 0) std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
}

void Progress::Step(size_t done, size_t total, const std::string& name) {
    if (!shown_) return;
    std::string line = verb_ + " " + std::to_string(done) + "/" + std::to_string(total) + " " + name;
    if (line.size() > 78) line = line.substr(0, 75) + "...";
    std::fprintf(stderr, "\r%-*s", static_cast<int>(width_), line.c_str());
    if (line.size() > width_) width_ = line.size();
    std::fflush(stderr);
}
