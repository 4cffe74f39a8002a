// The MinGW start-up code applies "pseudo-relocations", which the linker
// makes when a program reads data a DLL exports as if it were its own. The
// installer reads none, so its list is empty; the runtime's relocator would
// still bring about 1.7 KiB and its error printing into the installer. As
// an object of the program this takes its place, and ends the program at
// once should a change ever give the list an entry, so that the omission
// cannot go unnoticed.
#include <cstdlib>

extern "C" char __RUNTIME_PSEUDO_RELOC_LIST__, __RUNTIME_PSEUDO_RELOC_LIST_END__;

extern "C" void _pei386_runtime_relocator() {
    if (&__RUNTIME_PSEUDO_RELOC_LIST__ != &__RUNTIME_PSEUDO_RELOC_LIST_END__) std::abort();
}
