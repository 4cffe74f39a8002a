// The installer's replacements of the C++ library's fault helpers: each
// fault still raises, catchable as a std::exception that names the failed
// operation, and allocation faults stay std::bad_alloc.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

volatile size_t huge = SIZE_MAX / 4;
const char* volatile none = nullptr;

struct Fault {
    const char* name;
    std::function<void()> raise;
    const char* text;  // in what(); empty for std::bad_alloc
};

TEST(LibraryFaults, RaiseSmallExceptionsThatNameTheOperation) {
    const Fault faults[] = {
        {"substr past the end", [] { (void)std::string("ab").substr(3); }, "basic_string::substr"},
        {"string_view substr", [] { (void)std::string_view("ab").substr(3); }, "basic_string_view::substr"},
        {"at past the end", [] { (void)std::vector<int>(2).at(5); }, "vector::_M_range_check"},
        {"string past max_size", [] { std::string().reserve(huge * 4 + 1); }, "basic_string::_M_create"},
        {"vector past max_size", [] { std::vector<int>().reserve(huge); }, "vector::reserve"},
        {"string from null", [] { std::string text(none); }, "construction from null"},
        {"number from no digits", [] { (void)std::stoi("x"); }, "stoi"},
        {"allocation too large", [] { (void)std::allocator<int64_t>().allocate(huge); }, ""},
    };
    for (const Fault& fault : faults) {
        try {
            fault.raise();
            ADD_FAILURE() << fault.name << ": nothing raised";
        } catch (const std::bad_alloc&) {
            EXPECT_STREQ(fault.text, "") << fault.name << ": raised std::bad_alloc";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find(fault.text), std::string::npos) << fault.name << ": " << e.what();
            EXPECT_NE(*fault.text, '\0') << fault.name << ": not std::bad_alloc";
            EXPECT_EQ(dynamic_cast<const std::logic_error*>(&e), nullptr) << fault.name << ": the library's own class";
        }
    }
}

}  // namespace
