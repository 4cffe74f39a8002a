#pragma once
// The installer library: one handler per line of the list of installer
// functions (scriptlib/installer/uPatcherFunctions.inc), declared here from
// that list and defined beside it in scriptlib/host/: the dialog and message
// functions (uDialogFunctions.cpp), INI files (uIniFunctions.cpp), the
// registry (uRegistryFunctions.cpp), files, directories and programs
// (uFileFunctions.cpp), the installer's own archive
// (uPatcherArchiveFunctions.cpp, uPatcherInstallFunctions.cpp), what it
// learns of the machine (uEnvironmentFunctions.cpp) and the command line's
// options (uOptionsFunctions.cpp). Each handler reads its arguments, calls
// one routine below it and turns the outcome into a script value; none
// raises a script error of its own, only argument conversion does.
// Windows only, like the host that binds them.

#include <memory>
#include <vector>

#include "scriptlib/installer/uPatcherTable.h"
#include "scriptlib/uPatcherScript.h"

// memory is the installer memory that owns the function (for CurrentDialog,
// Unpacker and the options).
#define Q7_FUNCTION(name, minArgs, maxArgs, handler, log) \
    void handler(TPatcherMemory& memory, TScript& script, TValue& result);
#include "scriptlib/installer/uPatcherFunctions.inc"
#undef Q7_FUNCTION

// inner as it is, or, for a function that the installation log records
// (function.Log), a handler that calls it and then logs the call; calls
// keeps what the latter refers to and must outlive it.
TFunctionHandler LoggedHandler(const TPatcherFunctionSpec& function, TFunctionHandler inner,
                               std::vector<std::unique_ptr<TLoggedCall>>& calls);
