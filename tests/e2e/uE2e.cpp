#include "tests/e2e/uE2e.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    return "\"" + arg + "\"";
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

std::string InstallerExe() { return WinePath(Q7_E2E_INSTALLER); }
std::string PackerExe() { return WinePath(Q7_E2E_PACKER); }

int RunProgram(const std::string& exe, const std::vector<std::string>& args) {
    std::string line = Quote(exe);
    for (const auto& a : args) line += " " + Quote(a);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    ProcessHandles process;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process.info))
        return -1;
    if (WaitForSingleObject(process.info.hProcess, 120000) != WAIT_OBJECT_0) {
        TerminateProcess(process.info.hProcess, 99);
        return -2;
    }
    DWORD status = 0;
    GetExitCodeProcess(process.info.hProcess, &status);
    return static_cast<int>(status);
}

std::string Pack(const TempDir& dir, const std::string& name, const std::string& script,
                 const std::vector<PayloadFile>& payload, bool stub) {
    WriteFileBytes(dir / "setup.ini", script);
    std::vector<std::string> args = {"create", "-o", dir / name};
    if (stub) args.insert(args.end(), {"--stub", InstallerExe()});
    args.push_back(dir / "setup.ini");
    std::filesystem::create_directories(dir.Path() / "payload");
    for (const auto& file : payload) {
        WriteFileBytes(dir / ("payload\\" + file.name), file.content);
        args.push_back(dir / ("payload\\" + file.name));
    }
    EXPECT_EQ(RunProgram(PackerExe(), args), 0) << "q7pack refused to pack " << name;
    return dir / name;
}

std::string Drive(const std::vector<std::string>& actions, const std::string& installer,
                  const std::vector<std::string>& args) {
    TempDir scratch;
    std::string out = scratch / "transcript.txt";
    std::vector<std::string> driverArgs = {"--out", out};
    driverArgs.insert(driverArgs.end(), actions.begin(), actions.end());
    driverArgs.push_back("--");
    driverArgs.push_back(installer);
    driverArgs.insert(driverArgs.end(), args.begin(), args.end());
    RunProgram(WinePath(Q7_E2E_DRIVER), driverArgs);
    return ReadFileBytes(out);
}

std::string Box(const std::string& caption, const std::string& icon, const std::string& text,
                const std::string& buttons) {
    return "box \"" + caption + "\" icon=" + icon + " \"" + text + "\" [" + buttons + "]\n";
}

std::string ErrorBox(const std::string& text) { return Box("Inštalácia modulu Q7", "error", text, "1"); }

void PatchFile(const std::string& path, size_t offset, const std::string& bytes) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << "cannot patch " << path;
}
