// MinGW's start-up code calls __mingw_TLScallback when the process starts
// and as each thread and the process end, to run the destructors that code
// registered for its thread-local keys through ___w64_mingwthr_add_key_dtor
// (libgcc's thread primitives did). Nothing in the installer registers any,
// so the runtime's callback (tlsthrd.o: the list, its critical section and
// their imports, about 1 KiB) has nothing to do. As an object of the program
// this takes its place; should a library piece ever register a destructor,
// it brings tlsthrd.o back and the link fails on the second definition.
#include <windows.h>

extern "C" WINBOOL __mingw_TLScallback(HANDLE, DWORD, LPVOID) { return TRUE; }
