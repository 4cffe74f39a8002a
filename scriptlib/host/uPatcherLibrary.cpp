// The installer memory's constructor: the base library, then the constants
// and the installer functions of the list, each function bound to its
// handler and, where the installation log records it, to the log.

#include <iterator>

#include "scriptlib/host/uPatcherLibrary.h"

namespace {

// A handler of the list as the script memory calls it: owner is the
// installer memory that registered it.
template <void (*Handler)(TPatcherMemory&, TScript&, TValue&)>
void CallHandler(void* owner, TScript& script, TValue& result) {
    Handler(*static_cast<TPatcherMemory*>(owner), script, result);
}

// The handler of each installer function, in the order of PatcherFunctions:
// both are made from the one list.
constexpr TFunctionHandler::TRoutine kHandlers[] = {
#define Q7_FUNCTION(name, minArgs, maxArgs, handler, log) &CallHandler<handler>,
#include "scriptlib/installer/uPatcherFunctions.inc"
#undef Q7_FUNCTION
};
static_assert(std::size(kHandlers) == PatcherFunctionCount);

}  // namespace

TPatcherMemory::TPatcherMemory() {
    for (size_t i = 0; i < PatcherConstantCount; ++i)
        AddConstant(PatcherConstants[i].Name, PatcherConstants[i].Value);
    for (size_t i = 0; i < PatcherFunctionCount; ++i) {
        const TPatcherFunctionSpec& f = PatcherFunctions[i];
        RegisterFunction(f.Name, f.MinArgs, f.MaxArgs,
                         LoggedHandler(f, TFunctionHandler{kHandlers[i], this}, LoggedCalls));
    }
}
