#pragma once
// q7pack try: an installer run headless under Wine in a throwaway prefix,
// driven through its pages (or silent), its transcript and what it changed
// printed, then on request its uninstall, and the whole output compared
// with a saved one.

#include <stdexcept>
#include <string>
#include <vector>

// A command line try cannot take; main() prints it with the usage.
struct TTryUsage : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One step: the installer's run, or the uninstall's.
struct TTryStep {
    std::vector<std::string> Actions;  // none: a silent run, failing at any window
    std::string Args;                  // added to the command line as they are
};

struct TTryOptions {
    std::string Installer;
    // Installers run silently (/S) before it, in order: an older version, a
    // user's own file; what they leave is the ground its changes are shown on.
    std::vector<std::string> Over;
    TTryStep Install, Uninstall;
    bool Uninstalls = false;
    std::string Lang, Shots, Expect, Keep, Driver;
    unsigned TimeoutSeconds = 30, Scale = 100;
    bool Times = false;
};

// The options of the words behind "try"; raises TTryUsage.
TTryOptions ParseTry(const std::vector<std::string>& args);

// The action's fault for a usage message ("" when the driver can do it).
std::string ActionFault(const std::string& action);

// Runs it all; the exit status: 0 when every step ran to its end (and
// exited 0 when nothing is expected) and the output is the expected one.
int RunTry(const TTryOptions& options);
