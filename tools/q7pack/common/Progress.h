#pragma once
// One self-overwriting progress line on standard error, shown only when
// standard error is a terminal.

#include <cstddef>
#include <string>

class Progress {
public:
    explicit Progress(std::string verb);
    ~Progress();
    void Step(size_t done, size_t total, const std::string& name);

private:
    std::string verb_;
    bool shown_;
    size_t width_ = 0;
};
