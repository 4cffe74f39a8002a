// The C++ runtime keeps each thread's exceptions in flight in a record it
// finds through thread-local storage, which on this platform brings the
// emulated TLS of libgcc (about 1.5 KiB) into the installer. As objects of
// the program these take the runtime's place with a slot of Windows' own
// thread-local storage: each thread's record is made on its first
// exception. ArchiveInstall's workers throw and catch on threads of their
// own (a damaged entry, a file that cannot be written) while the page's
// thread may do the same, so one record for all would mix their
// exceptions up.
//
// The record's layout is the C++ ABI's __cxa_eh_globals: the chain of
// caught exceptions and the count of uncaught ones.
#include <windows.h>

namespace {

struct TExceptionGlobals {
    void* caughtExceptions;
    unsigned int uncaughtExceptions;
};

// For a thread whose record cannot be made (no memory, no slot): shared,
// which is what every thread had before threads threw.
TExceptionGlobals fallback;
volatile LONG slot = -1;  // TLS_OUT_OF_INDEXES until the first exception

DWORD Slot() {
    if (slot == -1) {
        DWORD made = TlsAlloc();
        // Two threads asking at once: the first slot stays, the other goes.
        if (InterlockedCompareExchange(&slot, static_cast<LONG>(made), -1) != -1 && made != TLS_OUT_OF_INDEXES)
            TlsFree(made);
    }
    return static_cast<DWORD>(slot);
}

}  // namespace

extern "C" void* __cxa_get_globals() noexcept {
    DWORD key = Slot();
    if (key == TLS_OUT_OF_INDEXES) return &fallback;
    void* globals = TlsGetValue(key);
    if (!globals) {
        globals = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TExceptionGlobals));
        if (!globals || !TlsSetValue(key, globals)) return &fallback;
    }
    return globals;
}

extern "C" void* __cxa_get_globals_fast() noexcept { return __cxa_get_globals(); }
