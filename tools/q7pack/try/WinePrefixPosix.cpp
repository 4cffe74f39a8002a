#include <fcntl.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "tools/q7pack/try/WinePrefix.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// The longest a new prefix may take to boot: seconds here, minutes where
// QEMU runs 32-bit Wine.
constexpr unsigned kBootSeconds = 600;

// A stop asked for by a signal; the waits notice it and unwind, so the
// prefix's programs and the display are ended before q7pack ends.
volatile sig_atomic_t g_stop = 0;

[[noreturn]] void Fail(const std::string& message) { throw ETryFailed(message); }

// The first of candidates that is an executable file ("" for none); a bare
// name is looked up in PATH.
std::string Executable(std::initializer_list<std::string> candidates) {
    for (const std::string& candidate : candidates) {
        if (candidate.find('/') != std::string::npos) {
            if (access(candidate.c_str(), X_OK) == 0) return candidate;
            continue;
        }
        const char* path = std::getenv("PATH");
        std::string dirs = path ? path : "/usr/bin:/bin";
        for (size_t at = 0; at <= dirs.size();) {
            size_t end = std::min(dirs.find(':', at), dirs.size());
            std::string file = dirs.substr(at, end - at) + "/" + candidate;
            if (end > at && access(file.c_str(), X_OK) == 0) return file;
            at = end + 1;
        }
    }
    return {};
}

struct TTools {
    std::string Wine, Wineserver, Xvfb;
};

TTools FindTools(bool i686) {
    TTools tools{Executable({"/usr/lib/wine/wine64", "wine64"}),
                 Executable({"wineserver", "/usr/lib/wine/wineserver64", "/usr/lib/wine/wineserver"}),
                 Executable({"Xvfb"})};
    std::string missing = std::string(tools.Wine.empty() || tools.Wineserver.empty() ? " wine wine64" : "") +
                          (tools.Xvfb.empty() ? " xvfb" : "");
    if (!missing.empty())
        Fail("needs Wine and a virtual display; install the Debian packages" + missing + " (apt-get install" +
             missing + ")");
    if (i686 && Executable({"/usr/lib/wine/wine"}).empty())
        Fail(
            "the installer is a 32-bit program, which needs 32-bit Wine; install it (Debian: dpkg "
            "--add-architecture i386 && apt-get update && apt-get install wine32:i386)");
    return tools;
}

// A locale of this machine for Wine, which takes the installer's code pages
// from it: "de_DE" means de_DE.UTF-8.
std::string Locale(std::string lang) {
    if (lang.empty()) lang = "C";
    if (lang.find('.') == std::string::npos) lang += ".UTF-8";
    locale_t found = newlocale(LC_ALL_MASK, lang.c_str(), nullptr);
    if (!found)
        Fail("the locale " + lang +
             " is not installed on this machine (Debian: add it to /etc/locale.gen and run "
             "locale-gen)");
    freelocale(found);
    return lang;
}

// The environment of every Wine process: the caller's, without what would
// lead Wine (or the programs) out of the throwaway folder.
std::vector<std::string> Environment(const std::vector<std::pair<std::string, std::string>>& own) {
    static const char* const kDropped[] = {
        "WINE", "DISPLAY=", "XAUTHORITY=", "HOME=", "USER=", "LOGNAME=", "LANG=", "LANGUAGE=", "LC_", "XDG_"};
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        bool dropped = false;
        for (const char* prefix : kDropped)
            dropped = dropped || std::strncmp(*e, prefix, std::strlen(prefix)) == 0;
        if (!dropped) env.push_back(*e);
    }
    for (const auto& [name, value] : own) env.push_back(name + "=" + value);
    return env;
}

// A process q7pack started: ended by its id when dropped while it runs.
class TChild {
public:
    // Starts argv with env in folder, stdin from /dev/null, its output
    // appended to log; fd, when given, becomes the child's descriptor 3. The child
    // gets a process group of its own, so a Ctrl+C reaches only q7pack,
    // which ends it in order.
    TChild(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& log,
           const std::string& folder, int fd = -1)
        : name_(argv[0]) {
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (fd >= 0) posix_spawn_file_actions_adddup2(&actions, fd, 3);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        std::vector<char*> args, envs;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        for (const std::string& e : env) envs.push_back(const_cast<char*>(e.c_str()));
        args.push_back(nullptr);
        envs.push_back(nullptr);
        int error = posix_spawn(&pid_, argv[0].c_str(), &actions, &attributes, args.data(), envs.data());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        if (error != 0) Fail("cannot start " + name_ + ": " + std::strerror(error));
    }
    ~TChild() { End(Grace); }
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

    // Its exit status, once it ended within seconds; std::nullopt (and it
    // still runs) when it did not. A stop asked for by a signal raises.
    std::optional<int> Wait(unsigned seconds) {
        for (unsigned waited = 0;; ++waited) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (g_stop) Fail("stopped by signal " + std::to_string(g_stop));
            if (waited >= seconds * 50) return std::nullopt;
            usleep(20000);
        }
    }

    // Asks it to end (SIGTERM), gives it seconds, then ends it (SIGKILL).
    void End(unsigned seconds) {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        for (unsigned waited = 0; waited < seconds * 50; ++waited, usleep(20000))
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) return (void)(pid_ = 0);
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

    // The seconds it gets to end when dropped while it runs.
    unsigned Grace = 0;

private:
    std::string name_;
    pid_t pid_ = 0;
};

// While it lives, SIGINT, SIGTERM and SIGHUP only ask for a stop; as it
// goes, the handlers before come back, and a stop asked for ends q7pack
// as the signal would have.
class TStopOnSignal {
public:
    TStopOnSignal() {
        struct sigaction stop {};
        stop.sa_handler = [](int signal) { g_stop = signal; };
        for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &stop, &saved_[i]);
    }
    ~TStopOnSignal() {
        for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &saved_[i], nullptr);
        if (g_stop) raise(g_stop);
    }

private:
    static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction saved_[3];
};

// The folder of one run: the prefix, its home, drive Q: and the logs;
// removed as it goes unless the caller keeps it.
class TRunFolder {
public:
    explicit TRunFolder(const std::string& keep) : keep_(!keep.empty()) {
        if (keep_) {
            std::error_code error;
            if (fs::exists(keep) && !fs::is_empty(keep, error))
                Fail("--keep " + keep + ": the folder exists and is not empty");
            fs::create_directories(keep);
            path_ = fs::absolute(keep).string();
        } else {
            const char* tmp = std::getenv("TMPDIR");
            std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/q7pack-try-XXXXXX";
            if (!mkdtemp(pattern.data()))
                Fail("cannot make a folder like " + pattern + ": " + std::strerror(errno));
            path_ = pattern;
        }
        for (const char* sub : {"/home", "/q/shots"}) fs::create_directories(path_ + sub);
    }
    ~TRunFolder() {
        std::error_code ignored;
        if (!keep_) fs::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    bool keep_;
    std::string path_;
};

}  // namespace

class TWinePrefix::TImpl {
public:
    explicit TImpl(const TWineSetup& setup)
        : setup_(setup), tools_(FindTools(setup.I686)), folder_(setup.Keep), env_(WineEnvironment()) {
        std::error_code error;
        fs::copy_file(setup_.Driver, Folder() + "/q/q7uidriver.exe", error);
        if (error) Fail("cannot copy the UI driver " + setup_.Driver + ": " + error.message());
        StartDisplay();
        Boot();
    }

    std::string Prefix() const { return Folder() + "/prefix"; }

    std::string Place(const std::string& file) {
        std::string name = fs::path(file).filename().string();
        std::error_code error;
        fs::copy_file(file, Folder() + "/q/" + name, fs::copy_options::overwrite_existing, error);
        if (error) Fail("cannot copy " + file + " into the prefix: " + error.message());
        return "Q:\\" + name;
    }

    TDriven Drive(const std::vector<std::string>& driverArgs, size_t actions, const std::string& shots) {
        std::string transcript = Folder() + "/q/transcript.txt";
        fs::remove(transcript);
        std::vector<std::string> argv = {tools_.Wine, "Q:\\q7uidriver.exe",
                                         "--out",     "Q:\\transcript.txt",
                                         "--timeout", std::to_string(setup_.TimeoutSeconds * 1000)};
        if (!shots.empty()) argv.insert(argv.end(), {"--shots", "Q:\\shots"});
        argv.insert(argv.end(), driverArgs.begin(), driverArgs.end());
        TChild driver(argv, env_, Log(), QDrive());
        // The driver bounds each of its waits; a progress page may take four.
        unsigned bound = static_cast<unsigned>((actions + 2) * 4) * setup_.TimeoutSeconds + 60;
        std::optional<int> status = driver.Wait(bound);
        if (!status) Fail("the UI driver did not end within " + std::to_string(bound) + " s; see " + Log());
        if (!AllEnded(setup_.TimeoutSeconds))
            std::fprintf(stderr,
                         "q7pack: try: programs of the installer still ran %u s after it ended; ended them\n",
                         setup_.TimeoutSeconds);
        if (!shots.empty()) CopyShots(shots);
        std::ifstream in(transcript, std::ios::binary);
        if (!in)
            Fail("the UI driver wrote no transcript (exit status " + std::to_string(*status) + "); see " +
                 Log());
        return {std::string(std::istreambuf_iterator<char>(in), {}), *status == 0};
    }

    void Restart() {
        Run({tools_.Wine, "wineboot", "--restart"}, setup_.TimeoutSeconds,
            "Wine's restart (wineboot --restart)");
        if (!AllEnded(setup_.TimeoutSeconds)) Fail("programs still ran after the restart; see " + Log());
    }

private:
    // Ends every program of the prefix, and its server, as it goes.
    struct TServerGuard {
        TImpl& wine;
        ~TServerGuard() {
            if (!fs::exists(wine.Prefix())) return;
            TChild kill({wine.tools_.Wineserver, "-k"}, wine.env_, wine.Log(), wine.QDrive());
            if (!kill.Wait(10)) kill.End(1);
        }
    };

    const std::string& Folder() const { return folder_.Path(); }
    std::string Log() const { return Folder() + "/wine.log"; }
    // Drive Q: on this side; Wine programs start in it.
    std::string QDrive() const { return Folder() + "/q"; }

    std::vector<std::string> WineEnvironment() const {
        std::string lang = Locale(setup_.Lang), home = Folder() + "/home";
        return Environment({{"WINEPREFIX", Prefix()},
                            {"WINEARCH", "win64"},
                            {"WINEDEBUG", "-all"},
                            // No Mono or Gecko downloads, no menu entries on the machine's desktop.
                            {"WINEDLLOVERRIDES", "mscoree=;mshtml=;winemenubuilder.exe=d"},
                            {"LANG", lang},
                            {"LC_ALL", lang},
                            {"HOME", home},
                            {"XDG_CONFIG_HOME", home + "/.config"},
                            {"XDG_DATA_HOME", home + "/.local/share"},
                            {"XDG_CACHE_HOME", home + "/.cache"},
                            // The profile folder's name, C:\users\user, the same on every machine.
                            {"USER", "user"},
                            {"LOGNAME", "user"}});
    }

    // Xvfb on a free display, which it picks and writes to descriptor 3.
    void StartDisplay() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) Fail(std::string("no pipe: ") + std::strerror(errno));
        // Above 3, so that the child's dup2 to 3 is a real one that clears close-on-exec.
        int writer = fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
        close(fds[1]);
        display_ =
            std::make_unique<TChild>(std::vector<std::string>{tools_.Xvfb, "-displayfd", "3", "-nolisten",
                                                              "tcp", "-screen", "0", "1280x1024x24"},
                                     env_, Folder() + "/xvfb.log", Folder(), writer);
        display_->Grace = 5;
        close(writer);
        std::string number;
        char c;
        pollfd wait{fds[0], POLLIN, 0};
        while (poll(&wait, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) Fail("Xvfb did not start within 10 s; see " + Folder() + "/xvfb.log");
        env_.push_back("DISPLAY=:" + number);
    }

    // Runs a Wine program to its end within seconds; what names it.
    void Run(const std::vector<std::string>& argv, unsigned seconds, const std::string& what) {
        TChild child(argv, env_, Log(), QDrive());
        std::optional<int> status = child.Wait(seconds);
        if (!status) Fail(what + " did not end within " + std::to_string(seconds) + " s; see " + Log());
        if (*status != 0) Fail(what + " failed (exit status " + std::to_string(*status) + "); see " + Log());
    }

    // Waits up to seconds for every program of the prefix, and so its
    // server, to end: the server writes the registry files as it ends.
    // False when they had to be ended.
    bool AllEnded(unsigned seconds) {
        TChild wait({tools_.Wineserver, "-w"}, env_, Log(), QDrive());
        if (wait.Wait(seconds)) return true;
        Run({tools_.Wineserver, "-k"}, 10, "ending the prefix's programs (wineserver -k)");
        return false;
    }

    // A new prefix, sealed, then with a window on screen twice: the first
    // program after the seal that draws text drops the fonts Wine found on
    // Z:, the next one finds them again where they are, and no report
    // should show either.
    void Boot() {
        std::time_t start = std::time(nullptr);
        std::fprintf(stderr, "q7pack: try: preparing a Wine prefix for the %s installer in %s...\n",
                     setup_.I686 ? "i686" : "x86_64", Folder().c_str());
        Run({tools_.Wine, "wineboot", "--init"}, kBootSeconds,
            "Wine's preparing the prefix (wineboot --init)");
        if (!AllEnded(60))
            Fail("Wine's programs still ran a minute after the prefix was prepared; see " + Log());
        Seal();
        for (int round = 0; round < 2; ++round) {
            Run({tools_.Wine, "Q:\\q7uidriver.exe", "--out", "Q:\\settle.txt", "close", "--", "notepad"},
                kBootSeconds, "a window of Wine's own in the sealed prefix (notepad)");
            if (!AllEnded(60)) Fail("Wine's programs still ran a minute after notepad; see " + Log());
        }
        std::fprintf(stderr, "q7pack: try: the prefix is ready (%lld s)\n",
                     static_cast<long long>(std::time(nullptr) - start));
    }

    // Only the prefix's C: drive and q7pack's Q: stay; the user folders
    // that Wine links to the machine's become folders of the prefix; and
    // Wine handles its windows itself rather than waiting for a window
    // manager each time one is hidden.
    void Seal() {
        fs::path devices = Prefix() + "/dosdevices";
        for (const auto& entry : fs::directory_iterator(devices)) {
            std::string name = entry.path().filename().string();
            if (name.size() >= 2 && name[1] == ':' && name != "c:") fs::remove(entry.path());
        }
        fs::create_directory_symlink(Folder() + "/q", devices / "q:");
        std::vector<fs::path> links;
        for (const auto& entry : fs::recursive_directory_iterator(Prefix() + "/drive_c/users"))
            if (entry.is_symlink()) links.push_back(entry.path());
        for (const fs::path& link : links) {
            fs::remove(link);
            fs::create_directory(link);
        }
        std::ofstream user(Prefix() + "/user.reg", std::ios::app);
        user << "\n[Software\\\\Wine\\\\X11 Driver]\n\"Managed\"=\"N\"\n";
        // The display's scale: Wine reads the desktop's dots per inch (96
        // at 100 %) when a program starts.
        char dpi[16];
        std::snprintf(dpi, sizeof dpi, "%08x", setup_.Scale * 96 / 100);
        user << "\n[Control Panel\\\\Desktop]\n\"LogPixels\"=dword:" << dpi << "\n";
        if (!user) Fail("cannot write " + Prefix() + "/user.reg");
    }

    void CopyShots(const std::string& shots) {
        std::error_code error;
        fs::create_directories(shots, error);
        for (const auto& entry : fs::directory_iterator(Folder() + "/q/shots")) {
            fs::copy_file(entry.path(), fs::path(shots) / entry.path().filename(),
                          fs::copy_options::overwrite_existing, error);
            if (error) Fail("cannot write the picture into " + shots + ": " + error.message());
            fs::remove(entry.path());
        }
    }

    // Destroyed in the reverse order: the Wine programs end, then the
    // display, then the folder goes, and the signal handlers come back last.
    TStopOnSignal signals_;
    TWineSetup setup_;
    TTools tools_;
    TRunFolder folder_;
    std::vector<std::string> env_;
    std::unique_ptr<TChild> display_;
    TServerGuard server_{*this};
};

TWinePrefix::TWinePrefix(const TWineSetup& setup) : impl_(std::make_unique<TImpl>(setup)) {}
TWinePrefix::~TWinePrefix() = default;
std::string TWinePrefix::Folder() const { return impl_->Prefix(); }
std::string TWinePrefix::Place(const std::string& file) { return impl_->Place(file); }
TDriven TWinePrefix::Drive(const std::vector<std::string>& driverArgs, size_t actions,
                           const std::string& shots) {
    return impl_->Drive(driverArgs, actions, shots);
}
void TWinePrefix::Restart() { impl_->Restart(); }
