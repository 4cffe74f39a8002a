#include "system/uSystemRegistry.h"

#include <gtest/gtest.h>

#include <random>

namespace {

constexpr int32_t CurrentUser = -2147483647;  // HKEY_CURRENT_USER as scripts hold it

// A key of its own under HKEY_CURRENT_USER\Software, removed afterwards.
class Registry : public ::testing::Test {
protected:
    Registry() : path_("Software\\q7test-" + std::to_string(std::random_device()())) {}
    ~Registry() override { RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str()); }

    // Stores raw data of any type, as other programs may have written it.
    void Raw(HKEY key, const char* name, DWORD type, const std::string& data) {
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }

    const std::string path_;
};

void ExpectText(const TRegistryValue& value, const std::string& text) {
    EXPECT_EQ(value.Kind, TRegistryValue::Text);
    EXPECT_EQ(value.Str, text);
}

void ExpectNumber(const TRegistryValue& value, int32_t number) {
    EXPECT_EQ(value.Kind, TRegistryValue::Number);
    EXPECT_EQ(value.Int, number);
}

TEST_F(Registry, RootNumbersAreThePredefinedHandles) {
    EXPECT_EQ(KeyFromNumber(CurrentUser), HKEY_CURRENT_USER);
    EXPECT_EQ(KeyFromNumber(-2147483648), HKEY_CLASSES_ROOT);
    EXPECT_EQ(KeyFromNumber(-2147483646), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(KeyFromNumber(-2147483645), HKEY_USERS);
}

TEST_F(Registry, CreateMakesEveryLevelAndTwiceOpensTheSameKey) {
    int32_t first = CreateRegistryKey(CurrentUser, path_ + "\\a\\b\\c");
    ASSERT_NE(first, 0);
    int32_t second = CreateRegistryKey(CurrentUser, path_ + "\\a\\b\\c");
    ASSERT_NE(second, 0);
    EXPECT_TRUE(SetRegistryText(first, "mark", "written through the first"));
    ExpectText(QueryRegistryValue(second, "mark"), "written through the first");
    int32_t opened = OpenRegistryKey(CurrentUser, path_ + "\\a\\b");
    EXPECT_NE(opened, 0);
    EXPECT_EQ(OpenRegistryKey(CurrentUser, path_ + "\\missing"), 0);
    EXPECT_TRUE(CloseRegistryKey(first));
    EXPECT_TRUE(CloseRegistryKey(second));
    EXPECT_TRUE(CloseRegistryKey(opened));
}

TEST_F(Registry, ValuesOfEveryTypeReadAsTextNumberOrNothing) {
    int32_t key = CreateRegistryKey(CurrentUser, path_);
    ASSERT_NE(key, 0);
    HKEY handle = KeyFromNumber(key);
    Raw(handle, "sz", REG_SZ, std::string("C:\\Program Files\\Q7\0", 20));
    Raw(handle, "expand", REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15));
    Raw(handle, "multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
    Raw(handle, "empty", REG_SZ, std::string("\0", 1));
    Raw(handle, "unterminated", REG_SZ, "abc");
    Raw(handle, "dword", REG_DWORD, "\xFF\xFF\xFF\xFF");
    Raw(handle, "bigendian", REG_DWORD_BIG_ENDIAN, std::string("\x01\x02\x03\x04", 4));
    Raw(handle, "binary", REG_BINARY, "\x01\x02");
    Raw(handle, "qword", REG_QWORD, std::string(8, '\x01'));

    ExpectText(QueryRegistryValue(key, "sz"), "C:\\Program Files\\Q7");
    ExpectText(QueryRegistryValue(key, "expand"), "%SystemRoot%\\x");
    ExpectText(QueryRegistryValue(key, "multi"), std::string("one\0two\0", 8));
    ExpectText(QueryRegistryValue(key, "empty"), "");
    ExpectText(QueryRegistryValue(key, "unterminated"), "abc");
    ExpectNumber(QueryRegistryValue(key, "dword"), -1);
    ExpectNumber(QueryRegistryValue(key, "bigendian"), 0x04030201);
    EXPECT_EQ(QueryRegistryValue(key, "binary").Kind, TRegistryValue::None);
    EXPECT_EQ(QueryRegistryValue(key, "qword").Kind, TRegistryValue::None);
    EXPECT_EQ(QueryRegistryValue(key, "missing").Kind, TRegistryValue::None);
    CloseRegistryKey(key);
}

TEST_F(Registry, WritesRoundTripAndTheEmptyNameIsTheDefaultValue) {
    int32_t key = CreateRegistryKey(CurrentUser, path_);
    ASSERT_NE(key, 0);
    EXPECT_TRUE(SetRegistryText(key, "text", "123"));
    EXPECT_TRUE(SetRegistryNumber(key, "number", 123));
    EXPECT_TRUE(SetRegistryNumber(key, "negative", INT32_MIN));
    EXPECT_TRUE(SetRegistryText(key, "", "default value"));
    ExpectText(QueryRegistryValue(key, "text"), "123");
    ExpectNumber(QueryRegistryValue(key, "number"), 123);
    ExpectNumber(QueryRegistryValue(key, "negative"), INT32_MIN);
    ExpectText(QueryRegistryValue(key, ""), "default value");

    char data[64] = {};
    LONG size = sizeof data;
    ASSERT_EQ(RegQueryValueA(HKEY_CURRENT_USER, path_.c_str(), data, &size), ERROR_SUCCESS);
    EXPECT_STREQ(data, "default value") << "the unnamed value other programs read";
    CloseRegistryKey(key);
}

TEST_F(Registry, KeyZeroFailsHarmlessly) {
    EXPECT_EQ(QueryRegistryValue(0, "x").Kind, TRegistryValue::None);
    EXPECT_FALSE(SetRegistryText(0, "x", "y"));
    EXPECT_FALSE(SetRegistryNumber(0, "x", 1));
    EXPECT_FALSE(CloseRegistryKey(0));
    EXPECT_EQ(OpenRegistryKey(0, "Software"), 0);
    EXPECT_EQ(CreateRegistryKey(0, "Software\\q7"), 0);
}

}  // namespace
