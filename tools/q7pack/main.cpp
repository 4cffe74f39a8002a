// q7pack: the packager's command-line tool. Checks control scripts, builds
// an installer (or a bare archive) from setup.ini and payload files, and
// lists, verifies and extracts existing ones.

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "archive/uZlibWriter.h"
#include "tools/q7pack/ArchiveCommands.h"
#include "tools/q7pack/PackCheck.h"
#include "tools/q7pack/PackCreate.h"
#include "tools/q7pack/PackError.h"
#include "tools/q7pack/PackInputs.h"

namespace {

const char kUsage[] =
    "usage: q7pack create -o OUT [--stub STUB.exe [--brand BRAND]] [-l LEVEL] [-j THREADS] SETUP.INI [PAYLOAD...]\n"
    "       q7pack brand --stub STUB.exe BRAND -o OUT.exe\n"
    "       q7pack check SETUP.INI\n"
    "       q7pack list FILE\n"
    "       q7pack verify FILE\n"
    "       q7pack extract FILE DIR\n"
    "       q7pack --help | --version\n";

void PrintHelp() {
    std::printf(
        "q7pack builds and checks q7patcher installers.\n\n%s\n"
        "create  Packs SETUP.INI and the payload into an archive and writes it to OUT.\n"
        "        With --stub, OUT is the installer STUB.exe (q7patcher.exe) with the archive\n"
        "        appended; an archive already appended to the stub is replaced. Without it,\n"
        "        OUT is a bare archive, which the installer reads when it is named as its\n"
        "        last command-line argument.\n"
        "        SETUP.INI is stored first, as setup.ini. Each PAYLOAD is\n"
        "          FILE         stored under its base name;\n"
        "          FOLDER       every file below it, stored under its path relative to\n"
        "                       FOLDER with '\\' between folders, in sorted order;\n"
        "          NAME=PATH    PATH stored under NAME (a folder under NAME\\...).\n"
        "        An argument naming an existing file or folder is a path even if it holds '='.\n"
        "        Refused, with nothing written: a SETUP.INI that fails the installer's\n"
        "        check (see check), a missing or unreadable input, a name that starts\n"
        "        with '\\' or '/', carries a drive (X:) or has a '..' component, two names\n"
        "        equal apart from the case of A-Z, a name over 65535 bytes, a file of\n"
        "        4 GiB or more, an output of 2 GiB or more, a stub that is not a Windows\n"
        "        executable. OUT is written to a temporary file beside it and renamed at\n"
        "        the end, so a failure never leaves a half-written installer.\n"
        "        --brand BRAND\n"
        "                    writes the brand file's title, texts, icon, banner, version\n"
        "                    information and manifest into the stub (see brand).\n"
        "        -l LEVEL    compression level 0 (stored) to %d, default %d (%s)\n"
        "        -j THREADS  compressing threads, default: all cores. The output is the\n"
        "                    same bytes whatever the thread count: no times are stored.\n\n"
        "brand   Writes OUT.exe: STUB.exe with the resources the brand file BRAND sets\n"
        "        (docs/packaging.md lists its keys). An archive appended to STUB.exe stays\n"
        "        behind it. Refused, with nothing written: an unknown section, key, control\n"
        "        or string id, a text with a character that Windows-1250 (the installer's\n"
        "        code page) lacks, a title over 255 characters, an icon or banner Windows\n"
        "        cannot load, a banner other than 526 by 88 pixels.\n\n"
        "Signatures: create and brand drop a signature the stub carries (with its\n"
        "certificate-table entry and checksum); sign the installer last, after packing.\n\n"
        "check   Runs the installer's own check of SETUP.INI without running it: the\n"
        "        lexical check and the pass that parses the whole script, every branch\n"
        "        included, against the installer's functions and their argument counts.\n"
        "        It finds syntax errors, malformed numbers and calls of unknown functions or\n"
        "        with a wrong number of arguments; errors that depend on values (a missing\n"
        "        variable, a text that is not a number) show only when the script runs.\n"
        "        The first error is printed as SETUP.INI:LINE:COLUMN: message, followed by\n"
        "        the line and a caret under the column; create runs the same check.\n\n"
        "list    Prints name, packed size, unpacked size and ratio of every entry of an\n"
        "        installer or a bare archive; for an installer also its title, version and\n"
        "        whether it is signed.\n\n"
        "verify  Inflates every entry and checks that it is one complete zlib stream that\n"
        "        inflates to exactly its recorded size; names every bad entry.\n\n"
        "extract Writes every entry below DIR, creating folders for names with separators.\n"
        "        Names that would leave DIR are refused; of two entries with the same name\n"
        "        only the first (the one the installer finds) is written.\n\n"
        "Progress is shown on standard error when it is a terminal. The exit status is 0\n"
        "on success, 1 when something failed, 2 for a usage error.\n",
        kUsage, MaxCompressionLevel(), DefaultCompressionLevel(), CompressorName());
}

struct UsageError {
    std::string message;
};

int ParseNumber(const std::string& option, const char* text, int low, int high) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < low || value > high)
        throw UsageError{option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high)};
    return static_cast<int>(value);
}

// Prints the report of a script that fails the installer's check to stderr.
bool ScriptPasses(const std::string& setupIni) {
    std::string report = CheckScriptFile(setupIni);
    std::fputs(report.c_str(), stderr);
    return report.empty();
}

int Check(const std::string& setupIni) {
    if (!ScriptPasses(setupIni)) return 1;
    std::printf("%s: passes the installer's check\n", setupIni.c_str());
    return 0;
}

int Create(const std::vector<std::string>& args) {
    CreateOptions options;
    options.level = DefaultCompressionLevel();
    options.threads = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::string> positional;
    bool optionsDone = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (optionsDone || a.empty() || a[0] != '-') {
            positional.push_back(a);
        } else if (a == "--") {
            optionsDone = true;
        } else if ((a == "-o" || a == "--stub" || a == "--brand" || a == "-l" || a == "-j") && !hasValue) {
            throw UsageError{a + " needs a value"};
        } else if (a == "-o") {
            options.output = args[++i];
        } else if (a == "--stub") {
            options.stub = args[++i];
        } else if (a == "--brand") {
            options.brand = args[++i];
        } else if (a == "-l") {
            options.level = ParseNumber(a, args[++i].c_str(), 0, MaxCompressionLevel());
        } else if (a == "-j") {
            options.threads = static_cast<unsigned>(ParseNumber(a, args[++i].c_str(), 1, 256));
        } else {
            throw UsageError{"unknown option " + a};
        }
    }
    if (options.output.empty()) throw UsageError{"create needs -o OUT"};
    if (!options.brand.empty() && options.stub.empty()) throw UsageError{"--brand needs --stub: a bare archive has no resources"};
    if (positional.empty()) throw UsageError{"create needs SETUP.INI"};

    std::vector<PackInput> inputs =
        CollectInputs(positional[0], std::vector<std::string>(positional.begin() + 1, positional.end()));
    if (!ScriptPasses(positional[0]))
        throw PackError(options.output, "not written: the control script does not pass the check");
    CreateSummary s = CreateArchive(inputs, options);
    std::printf("%s: %zu entries, %llu bytes packed to %llu%s\n", options.output.c_str(), s.entries,
                static_cast<unsigned long long>(s.unpackedBytes), static_cast<unsigned long long>(s.archiveBytes),
                options.stub.empty() ? " (bare archive)"
                                     : (", behind a " + std::to_string(s.stubBytes) + "-byte installer").c_str());
    return 0;
}

int Brand(const std::vector<std::string>& args) {
    std::string stub, output;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--stub" || args[i] == "-o") && i + 1 == args.size()) throw UsageError{args[i] + " needs a value"};
        if (args[i] == "--stub") stub = args[++i];
        else if (args[i] == "-o") output = args[++i];
        else if (args[i].size() > 1 && args[i][0] == '-') throw UsageError{"unknown option " + args[i]};
        else positional.push_back(args[i]);
    }
    if (stub.empty() || output.empty() || positional.size() != 1)
        throw UsageError{"brand needs --stub STUB.exe, one BRAND file and -o OUT.exe"};
    uint64_t size = WriteBrandedStub(stub, positional[0], output);
    std::printf("%s: %s branded with %s, %llu bytes\n", output.c_str(), stub.c_str(), positional[0].c_str(),
                static_cast<unsigned long long>(size));
    return 0;
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError{"no command given"};
    const std::string& command = args[0];
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        PrintHelp();
        return 0;
    }
    if (command == "--version") {
        std::printf("q7pack 5.1.0 (%s)\n", CompressorName());
        return 0;
    }
    if (command == "create") return Create(rest);
    if (command == "brand") return Brand(rest);
    if (command == "check" && rest.size() == 1) return Check(rest[0]);
    if (command == "list" && rest.size() == 1) return ListArchive(rest[0]);
    if (command == "verify" && rest.size() == 1) return VerifyArchive(rest[0]);
    if (command == "extract" && rest.size() == 2) return ExtractArchive(rest[0], rest[1]);
    if (command == "check" || command == "list" || command == "verify" || command == "extract")
        throw UsageError{"wrong number of arguments for " + command};
    throw UsageError{"unknown command " + command};
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "q7pack: %s\n%s(q7pack --help tells more)\n", e.message.c_str(), kUsage);
        return 2;
    } catch (const PackError& e) {
        std::fprintf(stderr, "q7pack: %s: %s\n", e.Subject().c_str(), e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "q7pack: %s\n", e.what());
        return 1;
    }
}
