#pragma once
// The installer library: the script functions over INI files and the
// registry (uPatcherRegistry.cpp), files, directories and programs
// (uPatcherFiles.cpp), the installer's own archive
// (uPatcherArchiveFunctions.cpp) and what it learns of the machine
// (uPatcherEnvironment.cpp). Each handler reads its arguments, calls
// one routine of the OS layer and turns the outcome into a script value;
// none raises a script error of its own, only argument conversion does.
// Windows only, like the host that binds them.

#include <cstddef>
#include <memory>

#include "scriptlib/uPatcherScript.h"

// A handler of the installer library; memory is the installer memory that
// owns it (for CurrentDialog and Unpacker).
using TLibraryHandler = void (*)(TPatcherMemory& memory, TScript& script, TValue& result);

template <TLibraryHandler Handler>
void CallLibraryHandler(void* owner, TScript& script, TValue& result) {
    Handler(*static_cast<TPatcherMemory*>(owner), script, result);
}

struct TLibraryFunction {
    const char* Name;
    TFunctionHandler::TRoutine Routine;
};

// The functions of each unit, by script name.
struct TLibraryFunctions {
    const TLibraryFunction* Items;
    size_t Count;
};
extern const TLibraryFunctions RegistryFunctions;
extern const TLibraryFunctions FileFunctions;
extern const TLibraryFunctions ArchiveFunctions;
extern const TLibraryFunctions EnvironmentFunctions;
extern const TLibraryFunctions OptionFunctions;
extern const TLibraryFunctions InstallFunctions;

// The routine of the installer-library function of that name; null when
// name is none of them.
TFunctionHandler::TRoutine LibraryHandlerOf(const char* name);

// handler as it is, or, for a function that the installation log records,
// a handler that calls it and then logs the call; calls keeps what the
// latter refers to and must outlive it.
TFunctionHandler LoggedHandler(const char* name, TFunctionHandler inner,
                               std::vector<std::unique_ptr<TLoggedCall>>& calls);
