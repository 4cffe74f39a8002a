#pragma once
// POSIX builds only: installer paths separate their parts with backslashes;
// the OS gets them with slashes.

#include <algorithm>
#include <string>

inline std::string PosixPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}
