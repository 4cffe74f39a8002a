#pragma once
// The installer's named constants and installer functions, in the order the
// installer memory enters them: the one list that the installer host (which
// binds each function to its handler) and q7pack's script check share.

#include <cstddef>
#include <cstdint>

struct TPatcherConstant {
    const char* Name;
    int32_t Value;
};

struct TPatcherFunctionSpec {
    const char* Name;
    int32_t MinArgs;
    int32_t MaxArgs;  // -1: no upper limit
};

extern const TPatcherConstant PatcherConstants[];
extern const size_t PatcherConstantCount;

// The installer functions that follow the base library, in registration
// order.
extern const TPatcherFunctionSpec PatcherFunctions[];
extern const size_t PatcherFunctionCount;
