// The C++ runtime keeps each thread's exceptions in flight in a record it
// finds through thread-local storage, which on this platform brings the
// emulated TLS of libgcc (about 1.5 KiB) into the installer. The installer
// throws and catches on its main thread only (the threads that flush new
// files, system/uSafeFolderWin32.cpp, make system calls and neither throw
// nor catch), so one record serves; as an object of the program this takes
// the place of the runtime's.
//
// The record's layout is the C++ ABI's __cxa_eh_globals: the chain of
// caught exceptions and the count of uncaught ones.

namespace {

struct TExceptionGlobals {
    void* caughtExceptions;
    unsigned int uncaughtExceptions;
};

TExceptionGlobals globals;

}  // namespace

extern "C" void* __cxa_get_globals_fast() noexcept { return &globals; }
extern "C" void* __cxa_get_globals() noexcept { return &globals; }
