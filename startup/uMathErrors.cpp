// The MinGW start-up code names a handler for the C library's math errors,
// _matherr, and installs it only when the program sets
// _MINGW_INSTALL_DEBUG_MATHERR to 1, which the installer does not. The
// runtime's handler prints to the console with fprintf, which brings about
// 600 bytes into the installer that never run. As an object of the program
// this takes its place; should it ever be installed, it leaves each error
// to the library's default handling, as the runtime's does after printing.
struct _exception;

extern "C" int _matherr(_exception*) { return 0; }
