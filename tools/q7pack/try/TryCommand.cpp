#include "tools/q7pack/try/TryCommand.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "pe/uPeHeaders.h"
#include "system/io/uByteOrder.h"
#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/common/Shipped.h"
#include "tools/q7pack/try/ChangeReport.h"
#include "tools/q7pack/try/Expect.h"
#include "tools/q7pack/try/WinePrefix.h"

namespace {

[[noreturn]] void Fail(const std::string& message) { throw ETryFailed(message); }

// The driver's actions: the verb, how many parts may follow it, which of
// them are numbers (bit n: part n), and whether the last takes the rest
// of the action, colons included.
struct TActionForm {
    const char* verb;
    int least, most;
    unsigned numbers;
    bool rest;
    const char* usage;
};
const TActionForm kActions[] = {
    {"press", 1, 1, 1, false, "press:ID"},
    {"check", 1, 1, 1, false, "check:ID"},
    {"uncheck", 1, 1, 1, false, "uncheck:ID"},
    {"type", 2, 2, 1, true, "type:ID:TEXT"},
    {"key", 1, 1, 0, false, "key:esc or key:enter"},
    {"close", 0, 0, 0, false, "close"},
    {"answer", 1, 1, 1, false, "answer:ID"},
    {"wait", 1, 1, 1, false, "wait:ID"},
    {"shot", 0, 0, 0, false, "shot"},
    {"window-close", 1, 1, 0, true, "window-close:TITLE"},
    {"colour", 1, 3, 7, false, "colour:ID[:X:Y]"},
    {"attach", 1, 1, 0, true, "attach:EXE"},
    {"no-window", 0, 0, 0, false, "no-window"},
    {"size", 1, 1, 1, false, "size:ID"},
    {"progress", 1, 2, 3, false, "progress:ID[:BUTTON]"},
};

bool IsNumber(const std::string& text) {
    size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    return text.size() > start && text.size() < 12 &&
           text.find_first_not_of("0123456789", start) == std::string::npos;
}

// Actions from a file: one a line, blank lines and lines starting with #
// left out.
void ReadActions(const std::string& file, std::vector<std::string>& actions) {
    std::string text = ReadInputFile(file, 1 << 20);
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] != '#') actions.push_back(line);
    }
}

// Everything the output held so far, printed as it grows.
struct TOutput {
    std::string text;
    void Add(const std::string& more) {
        text += more;
        std::fwrite(more.data(), 1, more.size(), stdout);
        std::fflush(stdout);
    }
};

// The status on the transcript's last "exit N" line, -1 for none.
int ExitStatus(const std::string& transcript) {
    size_t at = transcript.rfind("\nexit ");
    return at == std::string::npos ? -1 : std::atoi(transcript.c_str() + at + 6);
}

// True for an i686 program, false for an x86_64 one; refuses others.
bool IsI686(const std::string& installer) {
    RequireRegularFile(installer);
    std::ifstream in(installer, std::ios::binary);
    std::string head(4096, '\0');
    head.resize(static_cast<size_t>(in.read(head.data(), static_cast<std::streamsize>(head.size())).gcount()));
    auto image = reinterpret_cast<const unsigned char*>(head.data());
    std::optional<TPeHeaderLayout> layout = LocatePeHeaders(image, head.size());
    uint32_t machine =
        layout && layout->FileHeader + 2 <= head.size() ? LoadLE16(image + layout->FileHeader) : 0;
    if (machine != 0x14C && machine != 0x8664)
        Fail(installer + " is no Windows program for i686 or x86_64");
    return machine == 0x14C;
}

std::string Driver(const TTryOptions& options) {
    if (!options.Driver.empty()) return options.Driver;
    std::string driver = ShippedFile("q7uidriver.exe");
    if (driver.empty())
        Fail("the UI driver q7uidriver.exe is not installed with q7pack (in " + ShippedFolder() +
             "); give --driver PATH");
    return driver;
}

// The driver's arguments for a step: its actions (a silent one fails at
// any window), then the program, or the command line as it is.
std::vector<std::string> DriverArgs(const TTryOptions& options, const TTryStep& step,
                                    const std::string& program, std::string line) {
    std::vector<std::string> args;
    if (options.Times) args.push_back("--times");
    if (!step.Args.empty()) line += (line.empty() ? "" : " ") + step.Args;
    if (!line.empty()) args.insert(args.end(), {"--line", line});
    args.insert(args.end(), step.Actions.begin(), step.Actions.end());
    if (step.Actions.empty()) args.push_back("no-window");
    args.push_back("--");
    if (!program.empty()) args.push_back(program);
    return args;
}

// Says why a step did not do what it should; false when it did.
bool Faulted(const std::string& what, const TDriven& run, bool statusCounts) {
    if (!run.Done) {
        size_t last = run.Transcript.rfind("!! ");
        std::fprintf(stderr, "q7pack: try: the %s stopped: %s", what.c_str(),
                     last == std::string::npos ? "(no reason given)\n" : run.Transcript.c_str() + last + 3);
        return true;
    }
    if (!statusCounts || ExitStatus(run.Transcript) == 0) return false;
    std::fprintf(stderr, "q7pack: try: the %s ended with exit status %d\n", what.c_str(),
                 ExitStatus(run.Transcript));
    return true;
}

// The uninstall as Windows starts it: the entry's quiet command for a run
// without actions where it has one, else its UninstallString; Wine's own
// uninstaller for an entry without one (a Windows Installer product).
std::string UninstallCommand(const TAppEntry& app, bool quiet) {
    if (quiet && !app.QuietUninstall.empty()) return app.QuietUninstall;
    if (!app.Uninstall.empty()) return app.Uninstall;
    return "uninstaller --remove \"" + app.Key.substr(app.Key.rfind('\\') + 1) + "\"";
}

// Uninstalls what the installations added to the prefix as it was before
// them; the output's sections for it.
bool Uninstall(const TTryOptions& options, TWinePrefix& wine, const TPrefixSnapshot& before,
               const TPrefixSnapshot& installed, TOutput& out) {
    std::vector<TAppEntry> was = AppsAndFeatures(before.Registry), added;
    for (const TAppEntry& app : AppsAndFeatures(installed.Registry)) {
        bool old = false;
        for (const TAppEntry& b : was) old = old || b.Key == app.Key;
        if (!old) added.push_back(app);
    }
    if (added.empty()) Fail("the installation added no Apps & features entry: there is nothing to uninstall");
    std::string command = UninstallCommand(added.front(), options.Uninstall.Actions.empty());
    out.Add("\n== uninstall: " + command +
            (options.Uninstall.Args.empty() ? "" : " " + options.Uninstall.Args) + "\n");
    TDriven run =
        wine.Drive(DriverArgs(options, options.Uninstall, "", command), options.Uninstall.Actions.size(),
                   options.Shots.empty() ? "" : options.Shots + "/uninstall");
    out.Add(run.Transcript);
    bool faulted = Faulted("uninstall", run, options.Expect.empty());
    if (!run.Done) return false;
    TPrefixSnapshot left = SnapshotPrefix(wine.Folder());
    std::vector<std::string> pending = PendingAtRestart(left.Registry);
    if (!pending.empty()) {
        out.Add("\n== due at the next restart\n");
        for (const std::string& line : pending) out.Add("  " + line + "\n");
        wine.Restart();
        left = SnapshotPrefix(wine.Folder());
    }
    out.Add(std::string("\n== left after uninstalling") + (pending.empty() ? "" : " and the restart") + "\n" +
            ChangeReport(before, left));
    return !faulted;
}

}  // namespace

std::string ActionFault(const std::string& action) {
    std::string verb = action.substr(0, action.find(':'));
    for (const TActionForm& form : kActions) {
        if (verb != form.verb) continue;
        std::vector<std::string> parts;
        for (size_t at = verb.size(); at < action.size();) {
            size_t end = form.rest && static_cast<int>(parts.size()) + 1 == form.most
                             ? action.size()
                             : action.find(':', at + 1);
            end = std::min(end, action.size());
            parts.push_back(action.substr(at + 1, end - at - 1));
            at = end;
        }
        bool fits =
            static_cast<int>(parts.size()) >= form.least && static_cast<int>(parts.size()) <= form.most;
        for (size_t i = 0; fits && i < parts.size(); ++i)
            fits = (form.numbers >> i & 1) ? IsNumber(parts[i]) : !parts[i].empty() || verb == "type";
        if (verb == "key") fits = fits && (parts[0] == "esc" || parts[0] == "enter");
        if (verb == "colour") fits = fits && parts.size() != 2;
        return fits ? "" : "the action " + action + " takes the form " + form.usage;
    }
    return "unknown action " + action;
}

TTryOptions ParseTry(const std::vector<std::string>& args) {
    TTryOptions o;
    TTryStep* step = &o.Install;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool valued = a == "--lang" || a == "--args" || a == "--shots" || a == "--expect" || a == "--keep" ||
                      a == "--driver" || a == "--timeout" || a == "--actions" || a == "--scale" ||
                      a == "--over";
        if (valued && i + 1 == args.size()) throw TTryUsage(a + " needs a value");
        if (a == "--lang")
            o.Lang = args[++i];
        else if (a == "--args")
            step->Args = args[++i];
        else if (a == "--shots")
            o.Shots = args[++i];
        else if (a == "--expect")
            o.Expect = args[++i];
        else if (a == "--keep")
            o.Keep = args[++i];
        else if (a == "--driver")
            o.Driver = args[++i];
        else if (a == "--over")
            o.Over.push_back(args[++i]);
        else if (a == "--actions")
            ReadActions(args[++i], step->Actions);
        else if (a == "--times")
            o.Times = true;
        else if (a == "--uninstall")
            o.Uninstalls = true, step = &o.Uninstall;
        else if (a == "--scale") {
            const std::string& n = args[++i];
            o.Scale = IsNumber(n) && n.size() < 4 ? static_cast<unsigned>(std::atoi(n.c_str())) : 0;
            if (o.Scale < 100 || o.Scale > 300) throw TTryUsage("--scale takes per cent from 100 to 300");
        } else if (a == "--timeout") {
            const std::string& n = args[++i];
            o.TimeoutSeconds = IsNumber(n) && n.size() < 5 ? static_cast<unsigned>(std::atoi(n.c_str())) : 0;
            if (o.TimeoutSeconds < 1 || o.TimeoutSeconds > 3600)
                throw TTryUsage("--timeout takes seconds from 1 to 3600");
        } else if (a.size() > 1 && a[0] == '-')
            throw TTryUsage("unknown option " + a);
        else if (o.Installer.empty() && step == &o.Install)
            o.Installer = a;
        else
            step->Actions.push_back(a);
    }
    if (o.Installer.empty()) throw TTryUsage("try needs the INSTALLER");
    for (const TTryStep* s : {&o.Install, &o.Uninstall})
        for (const std::string& action : s->Actions)
            if (std::string fault = ActionFault(action); !fault.empty()) throw TTryUsage(fault);
    return o;
}

// The installers --over names, each silently with /S and to a good end.
void RunEarlier(const TTryOptions& options, TWinePrefix& wine) {
    for (const std::string& earlier : options.Over) {
        TDriven run = wine.Drive(DriverArgs(options, TTryStep{{}, "/S"}, wine.Place(earlier), ""), 0, "");
        if (Faulted("earlier installer " + earlier, run, true)) Fail("the installation of " + earlier + " failed");
    }
}

int RunTry(const TTryOptions& options) {
    std::string expected = options.Expect.empty() ? "" : ReadInputFile(options.Expect);
    TWinePrefix wine(
        {IsI686(options.Installer), options.Lang, options.Keep, Driver(options), options.TimeoutSeconds, options.Scale});
    // The uninstall is measured against the fresh prefix: after an upgrade
    // it removes what both versions installed, and the user's file stays.
    TPrefixSnapshot fresh = SnapshotPrefix(wine.Folder());
    RunEarlier(options, wine);
    TPrefixSnapshot before = options.Over.empty() ? fresh : SnapshotPrefix(wine.Folder());
    TOutput out;
    TDriven run = wine.Drive(DriverArgs(options, options.Install, wine.Place(options.Installer), ""),
                             options.Install.Actions.size(), options.Shots);
    out.Add(run.Transcript);
    bool fine = !Faulted("installer", run, options.Expect.empty());
    if (!run.Done) return 1;
    TPrefixSnapshot installed = SnapshotPrefix(wine.Folder());
    out.Add("\n== the installation changed\n" + ChangeReport(before, installed));
    if (options.Uninstalls) fine = Uninstall(options, wine, fresh, installed, out) && fine;
    if (options.Expect.empty()) return fine ? 0 : 1;
    std::optional<TDifference> difference = CompareOutput(expected, out.text);
    if (!difference) return fine ? 0 : 1;
    std::fprintf(stderr, "q7pack: try: the output differs from %s: %s", options.Expect.c_str(),
                 ShowDifference(*difference).c_str());
    return 1;
}
