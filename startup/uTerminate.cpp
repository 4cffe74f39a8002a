// The C++ runtime's default handler for an exception that nobody catches
// prints the exception's demangled type name to a console, which the GUI
// installer does not have, and brings the runtime's demangler (about
// 50 KiB) into the executable. The installer catches every exception at its
// boundaries (start-up and each script event); should one escape all the
// same, the process just ends.

#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
