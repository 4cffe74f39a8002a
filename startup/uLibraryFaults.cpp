// The C++ library reports its own faults (a string grown past its largest
// size, a position past the end, an allocation too large to ask for)
// through the std::__throw_* helpers defined here. The library's own
// versions throw the standard exception classes, which carry their message
// in a reference-counted string of the library's older string kind; that
// brings a second implementation of std::string, the exception classes and
// their unwind tables (about 50 KiB) into the installer. The installer
// treats every exception alike at its boundaries (start-up, each script
// event, the dialog procedure), so these helpers throw one small
// std::exception that keeps the library's text, and std::bad_alloc where
// the library does.

#include <cstdarg>
#include <cstring>
#include <new>
#include <stdexcept>
#include <typeinfo>

namespace {

class ELibraryFault final : public std::exception {
public:
    // The library passes texts that live as long as the program.
    explicit ELibraryFault(const char* text) : text_(text) {}
    const char* what() const noexcept override { return text_; }

private:
    const char* text_;
};

}  // namespace

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_alloc(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_logic_error(const char* text) { throw ELibraryFault(text); }
void __throw_domain_error(const char* text) { throw ELibraryFault(text); }
void __throw_invalid_argument(const char* text) { throw ELibraryFault(text); }
void __throw_length_error(const char* text) { throw ELibraryFault(text); }
void __throw_out_of_range(const char* text) { throw ELibraryFault(text); }
// The text names the operation: the format's first argument where the
// format starts with it ("%s: __pos ..."), else the format itself; the
// positions in it are left out.
void __throw_out_of_range_fmt(const char* format, ...) {
    const char* text = format;
    if (std::strncmp(format, "%s", 2) == 0) {
        va_list arguments;
        va_start(arguments, format);
        text = va_arg(arguments, const char*);
        va_end(arguments);
    }
    throw ELibraryFault(text);
}
void __throw_runtime_error(const char* text) { throw ELibraryFault(text); }
void __throw_range_error(const char* text) { throw ELibraryFault(text); }
void __throw_overflow_error(const char* text) { throw ELibraryFault(text); }
void __throw_underflow_error(const char* text) { throw ELibraryFault(text); }

}  // namespace std
