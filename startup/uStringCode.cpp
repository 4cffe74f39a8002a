// The installer's own copy of std::string's out-of-line code. The library
// declares the string's members as instantiated in its archive, so any one
// of them that the installer calls links the archive's whole explicit
// instantiation (about 33 KiB with its unwind tables, which keep every
// function alive). Instantiated here instead and linked with link-time
// optimisation, only the members the installer calls remain.
#include <string>

template class std::basic_string<char>;
