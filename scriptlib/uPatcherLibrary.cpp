#include "scriptlib/uPatcherLibrary.h"

#include <cstring>

TFunctionHandler::TRoutine LibraryHandlerOf(const char* name) {
    for (const TLibraryFunctions* unit : {&RegistryFunctions, &FileFunctions, &ArchiveFunctions, &EnvironmentFunctions,
                                          &OptionFunctions, &InstallFunctions})
        for (size_t i = 0; i < unit->Count; ++i)
            if (std::strcmp(unit->Items[i].Name, name) == 0) return unit->Items[i].Routine;
    return nullptr;
}
