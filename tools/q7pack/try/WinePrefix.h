#pragma once
// The throwaway Windows q7pack try runs an installer in: a Wine prefix of
// its own, on a virtual display (Xvfb) of its own, with the UI driver. The
// installer sees the prefix's C: drive and q7pack's own drive Q: (the
// installer, the driver, their output), nothing of the machine: no Z:
// drive, the user folders real folders of the prefix, HOME inside it, and
// no menu entries written for the desktop. Linux only; on Windows the
// constructor refuses.

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// A failure of q7pack try, which main() prints as "q7pack: try: WHAT".
struct ETryFailed : std::runtime_error {
    explicit ETryFailed(const std::string& what) : std::runtime_error("try: " + what) {}
};

struct TWineSetup {
    bool I686 = false;        // the installer is a 32-bit program: 32-bit Wine runs it
    std::string Lang;         // a locale such as de_DE.UTF-8; it sets the code pages
    std::string Keep;         // keep the prefix in this new folder ("": throw it away)
    std::string Driver;       // the UI driver, q7uidriver.exe
    unsigned TimeoutSeconds;  // every wait of the driver
    unsigned Scale = 100;     // the display's scale in per cent, as Windows' settings offer it
};

// What a run of the driver gave: its transcript, and whether every action
// was done (false: the transcript's last line says why not).
struct TDriven {
    std::string Transcript;
    bool Done = false;
};

class TWinePrefix {
public:
    // Finds Wine and Xvfb (or raises naming the Debian packages that bring
    // them), starts the display and prepares the prefix. Every wait is
    // bounded; a failure names what was waited for and where its log is.
    explicit TWinePrefix(const TWineSetup& setup);
    // Ends the prefix's programs and the display, by the process ids
    // started, and removes the folder unless it is kept.
    ~TWinePrefix();
    TWinePrefix(const TWinePrefix&) = delete;
    TWinePrefix& operator=(const TWinePrefix&) = delete;

    // The prefix's folder (drive_c and the registry files).
    std::string Folder() const;
    // Copies file to drive Q: under its own name; its Windows path.
    std::string Place(const std::string& file);
    // Runs the driver with driverArgs (its options and actions, "--" and
    // the program), waits for it and for every program of the prefix to
    // end (those still running after the timeout are ended, and said so),
    // and leaves the registry written. With shots, the pictures are copied
    // into that folder.
    TDriven Drive(const std::vector<std::string>& driverArgs, size_t actions, const std::string& shots);
    // What a restart of Windows does: the renames and deletions waiting
    // for it, the RunOnce programs.
    void Restart();

    class TImpl;

private:
    std::unique_ptr<TImpl> impl_;
};
