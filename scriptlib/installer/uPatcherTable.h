#pragma once
// The installer's named constants and installer functions, in the order the
// installer memory enters them: what the installer host (which binds each
// function to its handler) and q7pack's script check share. The functions
// come from the one list, scriptlib/installer/uPatcherFunctions.inc.

#include <cstddef>
#include <cstdint>
#include <iterator>

struct TPatcherConstant {
    const char* Name;
    int32_t Value;
};

// How the installation log records a call (uPatcherFunctions.inc).
enum TFunctionLog : uint8_t { lgNo, lgTrueFalse, lgResult, lgEntry, lgCode };

struct TPatcherFunctionSpec {
    const char* Name;
    int32_t MinArgs;
    int32_t MaxArgs;  // -1: no upper limit
    TFunctionLog Log;
};

extern const TPatcherConstant PatcherConstants[];
extern const size_t PatcherConstantCount;

// The installer functions that follow the base library, in registration
// order.
inline constexpr TPatcherFunctionSpec PatcherFunctions[] = {
#define Q7_FUNCTION(name, minArgs, maxArgs, handler, log) {name, minArgs, maxArgs, log},
#include "scriptlib/installer/uPatcherFunctions.inc"
#undef Q7_FUNCTION
};
inline constexpr size_t PatcherFunctionCount = std::size(PatcherFunctions);
