// Shell links over COM: IShellLinkA sets what the link holds, IPersistFile
// saves it (under a UTF-16 name, converted from the ANSI code page).

#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <vector>

#include "system/fs/uFiles.h"
#include "system/io/uDllSearch.h"
#include "system/win/uShortcut.h"

namespace {

// COM for the installer's thread, from the first shortcut until the
// program ends. A thread that already runs COM in another mode keeps it,
// and it is not released here.
class TComApartment {
public:
    constexpr TComApartment() = default;
    ~TComApartment() {
        if (!started_ || FAILED(result_)) return;
        if (auto uninitialize = Q7_SYSTEM_FUNCTION("ole32.dll", CoUninitialize)) uninitialize();
    }
    TComApartment(const TComApartment&) = delete;
    TComApartment& operator=(const TComApartment&) = delete;
    bool Usable() {
        if (!started_) {
            auto initialize = Q7_SYSTEM_FUNCTION("ole32.dll", CoInitialize);
            result_ = initialize ? initialize(nullptr) : E_FAIL;
            started_ = true;
        }
        return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE;
    }

private:
    bool started_ = false;
    HRESULT result_ = E_FAIL;
};

// Constant-initialised, so no guard is needed: the installer has one thread.
TComApartment Com;

// Releases a COM interface when it goes out of scope.
template <typename T>
class TComPtr {
public:
    TComPtr() = default;
    ~TComPtr() {
        if (p_) p_->Release();
    }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    T* operator->() const { return p_; }
    void** Out() { return reinterpret_cast<void**>(&p_); }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// The name in UTF-16 with its closing zero (a vector: the wide string
// class would add its whole library code to the installer); empty when it
// cannot be converted.
std::vector<wchar_t> Wide(const std::string& text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> wide(n > 0 ? static_cast<size_t>(n) : 0);
    if (n <= 0 || MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n) != n) wide.clear();
    return wide;
}

bool Fill(IShellLinkA& link, const TShortcut& s) {
    return SUCCEEDED(link.SetPath(s.Target.c_str())) && SUCCEEDED(link.SetArguments(s.Arguments.c_str())) &&
           SUCCEEDED(link.SetWorkingDirectory(s.Folder.c_str())) &&
           (s.Icon.empty() || SUCCEEDED(link.SetIconLocation(s.Icon.c_str(), s.IconIndex))) &&
           SUCCEEDED(link.SetDescription(s.Description.c_str()));
}

}  // namespace

bool WriteShortcut(const TShortcut& shortcut) {
    // The shell would make no folder either; asking first makes that a rule
    // of ours rather than of the Windows version.
    TFileTarget where;
    if (!ResolveFileTarget(shortcut.Link, where) || where.IsDevice ||
        (!where.Folder.empty() && !IsExistingDirectory(where.Folder)) || shortcut.Target.empty())
        return false;
    std::vector<wchar_t> name = Wide(where.Path);
    auto create = Q7_SYSTEM_FUNCTION("ole32.dll", CoCreateInstance);
    if (!Com.Usable() || name.empty() || !create) return false;
    TComPtr<IShellLinkA> link;
    TComPtr<IPersistFile> file;
    return SUCCEEDED(create(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Out())) &&
           Fill(*link.operator->(), shortcut) &&
           SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Out())) &&
           SUCCEEDED(file->Save(name.data(), TRUE));
}
