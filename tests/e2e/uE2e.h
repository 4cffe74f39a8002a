#pragma once
// Helpers of the end-to-end scenarios, which run under Wine: pack an
// archive with q7pack.exe, run the installer through the UI driver, and
// build the transcript lines the driver writes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/TempDir.h"

// A path of the Linux build or source tree as Wine sees it, and back: the
// Linux path of a Windows path, for the Linux tools a test starts through
// Wine (empty when Wine cannot say).
std::string WinePath(std::string unixPath);
std::string UnixPath(const std::string& path);

// True when a file or folder is there.
bool PathExists(const std::string& path);

// The built programs, as Windows paths. The installer under test is the
// x86_64 build of this tree, or the one the environment variable
// Q7_E2E_INSTALLER names as a Linux path (the i686 lane runs the shipped
// build so).
std::string InstallerExe();
std::string PackerExe();

// Everything the scenarios expect differently of the shipped i686 installer
// than of the x86_64 one, in this one place. Under WoW64 a 32-bit program
// sees the 32-bit view of HKLM\Software (Software\WOW6432Node in the
// 64-bit view), so its keys land there and its ProgramFilesDir value names
// Program Files (x86). Everything else is the same: the transcripts, the
// texts, the files and HKCU, which WoW64 shares between both views.
struct TInstallerBuild {
    bool I686;
    const char* ProgramFiles;
    // KEY_WOW64_32KEY or KEY_WOW64_64KEY: the view of HKLM\Software that
    // the installer's keys are in.
    unsigned long RegistryView;
};
const TInstallerBuild& InstallerBuild();

// A file or folder of examples/ (relative, "/"-separated) as Wine sees it.
std::string Example(const std::string& relative);

// The value name of key under root (in registry view, KEY_WOW64_*, or the
// default one for 0) as UTF-8 text or decimal number; "(none)" when absent.
std::string RegText(void* root, const std::string& key, const char* name, unsigned long view = 0);
bool RegKeyExists(void* root, const std::string& key, unsigned long view = 0);

// An installer packed by q7pack at path from the arguments behind
// "create -o PATH --stub INSTALLER"; fails the test when q7pack refuses.
std::string PackInstaller(const std::string& path, const std::vector<std::string>& args);

// Runs a program with arguments and returns its exit status.
int RunProgram(const std::string& exe, const std::vector<std::string>& args);

// Writes script as dir/setup.ini (bytes as given, Windows-1250) and packs it
// with the payload files (NAME and content, written into dir/payload) into
// dir/name: a bare archive, or an installer when stub is set (branded by
// the brand file when one is named). Fails the test when q7pack refuses.
struct PayloadFile {
    std::string name, content;
};
std::string Pack(const TempDir& dir, const std::string& name, const std::string& script,
                 const std::vector<PayloadFile>& payload = {}, bool stub = false,
                 const std::string& brand = {});

// A bare archive dir/name holding script as setup.ini, written without
// q7pack, which refuses a script that fails the installer's check: for the
// scenarios of the installer's own report of such scripts.
std::string PackUnchecked(const TempDir& dir, const std::string& name, const std::string& script);

// Runs the installer with args (then line, as it is) through the driver
// doing actions, and returns the transcript (UTF-8), the free space the
// folder page shows written as "(size)".
std::string Drive(const std::vector<std::string>& actions, const std::string& installer,
                  const std::vector<std::string>& args = {}, const std::string& line = {});

// Packs script into a bare archive and runs the installer on it through
// the driver doing actions; returns the transcript.
std::string RunScript(const std::string& script, const std::vector<std::string>& actions);

// Test outcomes: text holds part; transcript ends with the installer's
// usual end (kEnd). A failure shows the text.
::testing::AssertionResult Contains(const std::string& text, const std::string& part);
::testing::AssertionResult EndsWell(const std::string& transcript);

// The lines the driver recorded for action in transcript: the screen it
// acted on.
std::string Screen(const std::string& transcript, const std::string& action);

// The transcript of one action: its line and the screen the driver saw
// before acting; and of a run whose last screen was box, answered with OK,
// to its end with status.
std::string Step(const std::string& action, const std::string& screen);
std::string Answered(const std::string& box, int status = 0);

// Transcript lines: a message box of the installer (caption 65519) with
// the error icon and an OK button, and the end of a run.
std::string ErrorBox(const std::string& text);
// The box of a script error at line and column (the text of string 65488,
// a line break and the position), as the transcript escapes it.
std::string ScriptErrorBox(int line, int column, const std::string& message);
// A box of MessageBox with one argument: the installer's caption, the
// information icon and OK.
std::string InfoBox(const std::string& text);
std::string Box(const std::string& caption, const std::string& icon, const std::string& text,
                const std::string& buttons);
extern const char kEnd[];

// The transcript of wizard page 101, 102 or 103 as its template shows it,
// with changes: the first line that starts with first (such as "  212 ")
// replaced by second, or, when second starts with "+", kept with the rest of
// second added at its end.
using TLineChanges = std::vector<std::pair<std::string, std::string>>;
std::string PageText(int page, const TLineChanges& changes = {});

// Replaces bytes of a file at offset.
void PatchFile(const std::string& path, size_t offset, const std::string& bytes);
