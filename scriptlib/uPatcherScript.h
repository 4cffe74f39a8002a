#pragma once
// The installer host: the script memory with the installer's constants and
// functions, the raising of script events, and the dialog procedure of
// every wizard page. Windows only.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "script/uScript.h"
#include "scriptlib/installer/uEntrySelection.h"
#include "scriptlib/installer/uOptions.h"
#include "scriptlib/uScriptLib.h"

class TZLibUnpacker;

// The status an installer with options ends with after a script error or an
// unexpected fault during the installation (docs/packaging.md).
constexpr int32_t kExitScriptFailed = 6;

// A library function bound so that the installation log records its calls
// (host/uInstallLogBinding.cpp).
struct TPatcherFunctionSpec;
struct TLoggedCall {
    const TPatcherFunctionSpec* Function;
    TFunctionHandler Inner;
};

// Event codes: the value of MESSAGE during an evaluation.
constexpr uint8_t evDestroy = 0;
constexpr uint8_t evInitApp = 1;
constexpr uint8_t evInitDialog = 2;
constexpr uint8_t evClose = 3;
constexpr uint8_t evCommand = 4;

class TPatcherMemory : public TBaseLibMemory {
public:
    // The base library, then the constants, then the installer functions,
    // each in table order (scriptlib/installer/uPatcherTable.h); made where
    // the functions are bound (scriptlib/host/uPatcherLibrary.cpp).
    TPatcherMemory();

    void AddConstant(const char* name, int32_t value) { AddVariable(name, IntegerValue(value)); }

    // Saves current on DialogStack and makes window current.
    void PushDialog(HWND& current, HWND window);
    // Restores the last saved value (no window when the stack is empty).
    void PopDialog(HWND& current);

    TZLibUnpacker* Unpacker = nullptr;  // not owned
    bool ScriptChecked = false;
    HWND CurrentDialog = nullptr;
    std::string ScriptText;
    std::vector<HWND> DialogStack;

    // The command line's options; TakesOptions when the brand asked for
    // them, which also makes failures end with a status of their own.
    bool TakesOptions = false;
    std::vector<TOption> Options;
    // The status the installer ends with (SetExitCode).
    int32_t ExitCode = 0;
    std::vector<std::unique_ptr<TLoggedCall>> LoggedCalls;
    // The entries ArchiveInstall leaves out (ArchiveSelect).
    TLeftOut LeftOut;
    // ArchiveInstall is running; ArchiveInstallCancel asks it to stop.
    bool Installing = false;
    bool InstallCancelled = false;
    // The registry view that keys named by a path are in (RegSetView).
    uint32_t RegistryView = 0;
    // Why the last function that changes the machine failed (GetLastFailure);
    // empty when it succeeded. The log's binding (uPatcherLog.cpp) clears
    // it before each such call and, unless the function said more, makes it
    // from the OS's reason once the call failed.
    std::string LastFailure;
};

class TPatcherScript : public TScript {
public:
    TPatcherScript() { Memory = &memory_; }

    TPatcherMemory* PatcherMemory() { return &memory_; }

    // One evaluation of the whole script text with MESSAGE, WPARAM and
    // LPARAM set; reports script errors and exceptions in message boxes and
    // lets nothing out.
    void RunEvent(uint8_t event, int32_t wparam, int32_t lparam) noexcept;

private:
    void Evaluate(uint8_t event, int32_t wparam, int32_t lparam);
    void ShowScriptError();
    void Failed();

    TPatcherMemory memory_;
};

// The one running installer host while the installation runs (start-up sets
// it); empty before the host is created and again once it is released.
extern TPatcherScript* ActiveScript;

// The dialog procedure of every page: turns the page's messages into
// events of ActiveScript and answers the colour messages from COLORDLG.
INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
