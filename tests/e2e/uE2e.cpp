#include "tests/e2e/uE2e.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "archive/uZlibWriter.h"
#include "system/io/uByteOrder.h"

namespace {

// One argument as the C runtime reads it back: quotes inside and the
// backslashes before them escaped.
std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t slashes = 0;
    for (char c : arg) {
        if (c == '"') out.append(slashes + 1, '\\');
        slashes = c == '\\' ? slashes + 1 : 0;
        out += c;
    }
    return out.append(slashes, '\\') + "\"";
}

// A wait of usual milliseconds, stretched by the factor in Q7_E2E_SLOW: the
// i686 lane sets it where QEMU runs 32-bit Wine, which starts every process
// a hundred times slower.
DWORD Stretched(DWORD usual) {
    const char* factor = std::getenv("Q7_E2E_SLOW");
    int times = factor ? std::atoi(factor) : 1;
    return usual * static_cast<DWORD>(times > 1 && times < 100 ? times : 1);
}

struct ProcessHandles {
    PROCESS_INFORMATION info{};
    ~ProcessHandles() {
        if (info.hProcess) CloseHandle(info.hProcess);
        if (info.hThread) CloseHandle(info.hThread);
    }
};

}  // namespace

const char kEnd[] = "@ end\nexit 0\n";

std::string WinePath(std::string unixPath) {
    for (char& c : unixPath)
        if (c == '/') c = '\\';
    return "Z:" + unixPath;
}

std::string UnixPath(const std::string& path) {
    using Convert = char*(CDECL*)(const WCHAR*);
    auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    std::wstring wide(path.begin(), path.end());
    char* unix = convert ? convert(wide.c_str()) : nullptr;
    std::string out = unix ? unix : "";
    if (unix) HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

bool PathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string InstallerExe() {
    const char* other = std::getenv("Q7_E2E_INSTALLER");
    return WinePath(other && *other ? other : Q7_E2E_INSTALLER);
}

namespace {

// The machine field of the installer's PE file header.
WORD InstallerMachine() {
    std::string image = ReadFileBytes(InstallerExe());
    if (image.size() < 0x40) return 0;
    uint32_t header = LoadLE32(reinterpret_cast<const unsigned char*>(image.data()) + 0x3C);
    if (header > image.size() - 6 || image.compare(header, 4, std::string("PE\0\0", 4)) != 0) return 0;
    return LoadLE16(reinterpret_cast<const unsigned char*>(image.data()) + header + 4);
}

}  // namespace

const TInstallerBuild& InstallerBuild() {
    static const TInstallerBuild x64 = {false, "C:\\Program Files", KEY_WOW64_64KEY};
    static const TInstallerBuild i686 = {true, "C:\\Program Files (x86)", KEY_WOW64_32KEY};
    static const WORD machine = InstallerMachine();
    if (machine != IMAGE_FILE_MACHINE_I386 && machine != IMAGE_FILE_MACHINE_AMD64)
        ADD_FAILURE() << InstallerExe() << " is no i686 or x86_64 Windows program (machine " << machine
                      << ")";
    return machine == IMAGE_FILE_MACHINE_I386 ? i686 : x64;
}

std::string PackerExe() { return WinePath(Q7_E2E_PACKER); }

std::string Example(const std::string& relative) {
    return WinePath(Q7_E2E_SOURCE_DIR "/examples/" + relative);
}

std::string RegText(void* root, const std::string& key, const char* name, unsigned long view) {
    wchar_t data[4096] = {};
    DWORD size = sizeof data - 4, type = 0;
    HKEY opened;
    if (RegOpenKeyExA(static_cast<HKEY>(root), key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return "(none)";
    LSTATUS status = RegQueryValueExW(opened, std::wstring(name, name + strlen(name)).c_str(), nullptr, &type,
                                      reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS) return "(none)";
    if (type == REG_DWORD) {
        DWORD number;
        std::memcpy(&number, data, sizeof number);
        return std::to_string(number);
    }
    int chars = type == REG_MULTI_SZ ? static_cast<int>(size / 2) : static_cast<int>(wcslen(data));
    std::string text(static_cast<size_t>(chars) * 3, '\0');
    text.resize(static_cast<size_t>(
        WideCharToMultiByte(CP_UTF8, 0, data, chars, text.data(), chars * 3, nullptr, nullptr)));
    return text;
}

bool RegKeyExists(void* root, const std::string& key, unsigned long view) {
    HKEY opened;
    if (RegOpenKeyExA(static_cast<HKEY>(root), key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

std::string PackInstaller(const std::string& path, const std::vector<std::string>& args) {
    std::vector<std::string> all = {"create", "-o", path, "--stub", InstallerExe()};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_EQ(RunProgram(PackerExe(), all), 0) << "q7pack refused to pack " << path;
    return path;
}

int RunProgram(const std::string& exe, const std::vector<std::string>& args) {
    std::string line = Quote(exe);
    for (const auto& a : args) line += " " + Quote(a);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    ProcessHandles process;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process.info))
        return -1;
    if (WaitForSingleObject(process.info.hProcess, Stretched(120000)) != WAIT_OBJECT_0) {
        TerminateProcess(process.info.hProcess, 99);
        return -2;
    }
    DWORD status = 0;
    GetExitCodeProcess(process.info.hProcess, &status);
    return static_cast<int>(status);
}

std::string Pack(const TempDir& dir, const std::string& name, const std::string& script,
                 const std::vector<PayloadFile>& payload, bool stub, const std::string& brand) {
    WriteFileBytes(dir / "setup.ini", script);
    std::vector<std::string> args = {"create", "-o", dir / name};
    if (stub) args.insert(args.end(), {"--stub", InstallerExe()});
    if (!brand.empty()) args.insert(args.end(), {"--brand", brand});
    args.push_back(dir / "setup.ini");
    std::filesystem::create_directories(dir.Path() / "payload");
    for (const auto& file : payload) {
        WriteFileBytes(dir / ("payload\\" + file.name), file.content);
        args.push_back(dir / ("payload\\" + file.name));
    }
    EXPECT_EQ(RunProgram(PackerExe(), args), 0) << "q7pack refused to pack " << name;
    return dir / name;
}

std::string PackUnchecked(const TempDir& dir, const std::string& name, const std::string& script) {
    TFileStream out(dir / name, CreateMode);
    TZLibArchiveWriter writer(out);
    EXPECT_EQ(writer.AppendEntry("setup.ini", CompressZlib(script, 9), static_cast<uint32_t>(script.size())),
              0);
    EXPECT_EQ(writer.WriteEnd(), 0);
    return dir / name;
}

// The free space the folder page shows (224) changes with the disk: its
// size is written as "(size)", so that transcripts compare.
std::string WithoutFreeSpace(std::string t) {
    const std::string line = "\n  224 Static \"";
    for (size_t at = t.find(line); at != std::string::npos; at = t.find(line, at + 1)) {
        size_t end = t.find("\"\n", at + line.size()), colon = t.rfind(": ", end);
        if (end != std::string::npos && colon != std::string::npos && colon > at)
            t.replace(colon + 2, end - colon - 2, "(size)");
    }
    return t;
}

std::string Drive(const std::vector<std::string>& actions, const std::string& installer,
                  const std::vector<std::string>& args, const std::string& line) {
    TempDir scratch;
    std::string out = scratch / "transcript.txt";
    std::vector<std::string> driverArgs = {"--out", out, "--timeout", std::to_string(Stretched(15000))};
    if (!line.empty()) driverArgs.insert(driverArgs.end(), {"--line", line});
    driverArgs.insert(driverArgs.end(), actions.begin(), actions.end());
    driverArgs.push_back("--");
    driverArgs.push_back(installer);
    driverArgs.insert(driverArgs.end(), args.begin(), args.end());
    RunProgram(WinePath(Q7_E2E_DRIVER), driverArgs);
    return WithoutFreeSpace(ReadFileBytes(out));
}

std::string RunScript(const std::string& script, const std::vector<std::string>& actions) {
    TempDir dir;
    return Drive(actions, InstallerExe(), {Pack(dir, "setup.q7", script)});
}

// The lines the driver recorded for action (the screen it acted on).
std::string Screen(const std::string& transcript, const std::string& action) {
    size_t start = transcript.find("@ " + action + "\n");
    if (start == std::string::npos) return "(no action " + action + ")";
    start = transcript.find('\n', start) + 1;
    return transcript.substr(start, transcript.find("@ ", start) - start);
}

::testing::AssertionResult Contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no\n" << part << "\nin\n" << text;
}

::testing::AssertionResult EndsWell(const std::string& transcript) {
    const std::string end = kEnd;
    if (transcript.size() >= end.size() &&
        transcript.compare(transcript.size() - end.size(), end.size(), end) == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "not ended with exit 0:\n" << transcript;
}

std::string Step(const std::string& action, const std::string& screen) {
    return "@ " + action + "\n" + screen;
}

std::string Answered(const std::string& box, int status) {
    return Step("answer:1", box) + "@ end\nexit " + std::to_string(status) + "\n";
}

std::string Box(const std::string& caption, const std::string& icon, const std::string& text,
                const std::string& buttons) {
    return "box \"" + caption + "\" icon=" + icon + " \"" + text + "\" [" + buttons + "]\n";
}

std::string ErrorBox(const std::string& text) { return Box("Inštalácia modulu Q7", "error", text, "1"); }

std::string ScriptErrorBox(int line, int column, const std::string& message) {
    return ErrorBox(
        "Inštalačný skript programu generoval chybu. Za nepríjemnosti sa Vám ospravedlňujeme.\\r\\nLine " +
        std::to_string(line) + "; pos. " + std::to_string(column) + ": " + message);
}

std::string InfoBox(const std::string& text) { return Box("Inštalácia modulu Q7", "information", text, "1"); }

std::string PageText(int page, const TLineChanges& changes) {
    const char* controls = nullptr;
    switch (page) {
        case 101:
            controls =
                "  202 Static icon=own\n"
                "  211 Static \"Vitajte v sprievodcovi inštaláciou programu Q7 Zápisník 5.1.\"\n"
                "  212 Static \"Sprievodca nainštaluje do počítača Q7 Zápisník, jednoduchý zápisník na "
                "poznámky. "
                "Pred pokračovaním prosím zatvorte všetky spustené programy.\"\n"
                "  213 Static \"\"\n"
                "  281 Button \"< Späť\" disabled\n"
                "  282 Button \"Ďalej >\" default\n"
                "  280 Button \"Zrušiť\"\n";
            break;
        case 102:
            controls =
                "  283 Button \"Inštalovať\" default\n"
                "  280 Button \"Zrušiť\"\n"
                "  220 Static \"Zadajte prosím adresár, do ktorého má byť aplikácia nainštalovaná.\"\n"
                "  221 Edit \"\"\n"
                "  222 Button \"...\"\n"
                "  281 Button \"< Späť\"\n";
            break;
        case 103:
            controls =
                "  231 Static icon=own\n"
                "  232 Static \"result\"\n"
                "  281 Button \"< Späť\" disabled\n"
                "  280 Button \"Dokončiť\" default\n"
                "  280 Button \"Zrušiť\" disabled\n";
            break;
        default:
            ADD_FAILURE() << "no page " << page;
            return {};
    }
    std::string text = std::string("page \"Inštalácia programu Q7 Zápisník\"\n  -1 Static bitmap\n") +
                       controls + "  -1 Static \"Q7 Zápisník 5.1 · Q7 Software\" disabled\n";
    // The heading and sub-heading, and on the folder page the space a bare
    // archive's entries need (none: setup.ini is not installed) and the
    // space free (none while 221 names no folder).
    if (page != 101) text += "  290 Static \"\"\n  291 Static \"\"\n";
    if (page == 102) text += "  223 Static \"Potrebné miesto: 0 bytes\"\n  224 Static \"\"\n";
    for (const auto& [from, to] : changes) {
        size_t at = text.find("\n" + from), end = text.find('\n', at + 1);
        if (at == std::string::npos) {
            ADD_FAILURE() << "page " << page << " has no line " << from;
            continue;
        }
        if (to[0] == '+')
            text.insert(end, to.substr(1));
        else
            text.replace(at + 1, end - at - 1, to);
    }
    return text;
}

void PatchFile(const std::string& path, size_t offset, const std::string& bytes) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << "cannot patch " << path;
}
