#pragma once
// The fuzz targets' check: a broken promise stops the run where the fuzzer
// (or the corpus replay) sees it.
inline void Require(bool condition) {
    if (!condition) __builtin_trap();
}
