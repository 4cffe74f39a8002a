#include "system/uSystemRegistry.h"

#include <gtest/gtest.h>

namespace {

// The rest of the registry layer is covered through the scripts that use
// it, in scriptlib/uPatcherLibrary_test.cpp.
TEST(Registry, RootNumbersAreThePredefinedHandles) {
    EXPECT_EQ(KeyFromNumber(-2147483648), HKEY_CLASSES_ROOT);
    EXPECT_EQ(KeyFromNumber(-2147483647), HKEY_CURRENT_USER);
    EXPECT_EQ(KeyFromNumber(-2147483646), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(KeyFromNumber(-2147483645), HKEY_USERS);
}

}  // namespace
