// The registry over the ANSI Win32 calls.

#include "system/win/uRegistry.h"

#include <cstring>
#include <vector>

#include "system/io/uByteOrder.h"

namespace {

int32_t NumberFromKey(HKEY key) { return static_cast<int32_t>(reinterpret_cast<INT_PTR>(key)); }

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

bool IsNumber(DWORD type) { return type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN; }

// Reads text data. The size the first query reports is only an upper bound
// for the ANSI text (the OS may count the stored UTF-16), so the length is
// taken from the read itself; one closing zero byte is dropped.
TRegistryValue ReadText(HKEY key, const std::string& name, DWORD size) {
    TRegistryValue value;
    std::vector<char> data(size + 1u);
    DWORD type = 0, got = size;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) !=
            ERROR_SUCCESS ||
        !IsText(type))
        return value;
    got = got < size ? got : size;
    if (got > 0 && data[got - 1] == '\0') --got;
    value.Kind = TRegistryValue::Text;
    value.Str.assign(data.data(), got);
    return value;
}

// The outcome of a registry call, whose code the thread's last error keeps
// for whoever says why it failed.
bool Done(LSTATUS status) {
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

// A key opened here, closed when it goes out of scope.
struct TOpenKey {
    HKEY Key = nullptr;
    ~TOpenKey() {
        if (Key) RegCloseKey(Key);
    }
};

TRegistryValue ReadNumber(HKEY key, const std::string& name) {
    TRegistryValue value;
    unsigned char data[4] = {};
    DWORD type = 0, got = sizeof data;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, data, &got) != ERROR_SUCCESS || !IsNumber(type))
        return value;
    value.Kind = TRegistryValue::Number;
    value.Int = static_cast<int32_t>(LoadLE32(data));
    return value;
}

}  // namespace

int32_t OpenRegistryKey(int32_t root, const std::string& subkey, uint32_t view) {
    HKEY opened = nullptr;
    if (!Done(RegOpenKeyExA(KeyFromNumber(root), subkey.c_str(), 0, KEY_ALL_ACCESS | view, &opened))) return 0;
    return NumberFromKey(opened);
}

int32_t CreateRegistryKey(int32_t root, const std::string& subkey, uint32_t view) {
    HKEY opened = nullptr;
    DWORD disposition = 0;
    if (!Done(RegCreateKeyExA(KeyFromNumber(root), subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS | view, nullptr, &opened, &disposition)))
        return 0;
    return NumberFromKey(opened);
}

bool CloseRegistryKey(int32_t key) { return RegCloseKey(KeyFromNumber(key)) == ERROR_SUCCESS; }

TRegistryValue QueryRegistryValue(int32_t key, const std::string& name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(KeyFromNumber(key), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    if (IsText(type)) return ReadText(KeyFromNumber(key), name, size);
    if (IsNumber(type)) return ReadNumber(KeyFromNumber(key), name);
    return {};
}

bool SetRegistryText(int32_t key, const std::string& name, const std::string& text, uint32_t type) {
    DWORD existing = REG_NONE;
    if (type == 0)
        type = RegQueryValueExA(KeyFromNumber(key), name.c_str(), nullptr, &existing, nullptr, nullptr) ==
                           ERROR_SUCCESS &&
                       existing == REG_EXPAND_SZ
                   ? REG_EXPAND_SZ
                   : REG_SZ;
    return Done(RegSetValueExA(KeyFromNumber(key), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>(text.size() + 1)));
}

bool SetRegistryNumber(int32_t key, const std::string& name, int32_t number) {
    uint32_t bits = static_cast<uint32_t>(number);
    const BYTE data[4] = {static_cast<BYTE>(bits), static_cast<BYTE>(bits >> 8), static_cast<BYTE>(bits >> 16),
                          static_cast<BYTE>(bits >> 24)};
    return Done(RegSetValueExA(KeyFromNumber(key), name.c_str(), 0, REG_DWORD, data, sizeof data));
}

bool DeleteRegistryValue(int32_t key, const std::string& name) {
    return Done(RegDeleteValueA(KeyFromNumber(key), name.c_str()));
}

namespace {

// The predefined roots are handles with the high bit set: HKEY_CLASSES_ROOT
// (0x80000000) up to the performance keys (0x80000060).
bool IsRoot(int32_t key) {
    uint32_t bits = static_cast<uint32_t>(key);
    return bits >= 0x80000000u && bits <= 0x800000FFu;
}

// The number of named levels of a key path: "Software\\Maker" has 2, "" and
// "\\" have none.
int Levels(const std::string& path) {
    int levels = 0;
    for (size_t i = 0; i < path.size(); ++i)
        if (path[i] != '\\' && (i == 0 || path[i - 1] == '\\')) ++levels;
    return levels;
}

}  // namespace

// Deletes key\path in view, first what is below it when all is set, once
// the key is open with access; a key that is not there counts as deleted.
bool DeleteKeyIn(int32_t key, const std::string& path, uint32_t view, bool all) {
    TOpenKey opened;
    LSTATUS status = RegOpenKeyExA(KeyFromNumber(key), path.c_str(), 0, (all ? KEY_ALL_ACCESS : KEY_READ) | view,
                                   &opened.Key);
    if (status == ERROR_FILE_NOT_FOUND) return Done(ERROR_SUCCESS);
    DWORD keys = 0, values = 0;
    if (status == ERROR_SUCCESS && all) status = RegDeleteTreeA(opened.Key, nullptr);
    if (status == ERROR_SUCCESS && !all)
        status = RegQueryInfoKeyA(opened.Key, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values, nullptr,
                                  nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS && keys + values > 0) status = ERROR_DIR_NOT_EMPTY;
    if (status == ERROR_SUCCESS) status = RegDeleteKeyExA(KeyFromNumber(key), path.c_str(), view, 0);
    return Done(status);
}

// Windows acts on the text up to its first NUL; the guards judge the whole
// text, so a text that goes on behind a NUL is refused.
bool DeleteRegistryKey(int32_t key, const std::string& path, uint32_t view) {
    int levels = Levels(path);
    if (path.find('\0') != std::string::npos || levels == 0 || (levels == 1 && IsRoot(key)))
        return Done(ERROR_INVALID_PARAMETER);
    return DeleteKeyIn(key, path, view, true);
}

bool DeleteEmptyRegistryKey(int32_t key, const std::string& path, uint32_t view) {
    if (path.find('\0') != std::string::npos || Levels(path) == 0) return Done(ERROR_INVALID_PARAMETER);
    return DeleteKeyIn(key, path, view, false);
}
