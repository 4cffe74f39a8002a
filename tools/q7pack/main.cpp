// q7pack: the packager's command-line tool. Checks control scripts, builds
// an installer (or a bare archive) from setup.ini and payload files, and
// lists, verifies and extracts existing ones.

#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "archive/uZlibWriter.h"
#include "system/fs/uSafeFolder.h"
#include "tools/q7pack/brand/BrandFile.h"
#include "tools/q7pack/brand/BrandedStub.h"
#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/common/Names.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/common/Shipped.h"
#include "tools/q7pack/pack/LzmaEncoder.h"
#include "tools/q7pack/pack/PackCheck.h"
#include "tools/q7pack/pack/PackCreate.h"
#include "tools/q7pack/pack/PackInputs.h"
#include "tools/q7pack/product/Product.h"
#include "tools/q7pack/product/Winget.h"
#include "tools/q7pack/read/ArchiveCommands.h"
#include "tools/q7pack/try/TryCommand.h"

namespace {

const char kUsage[] =
    "usage: q7pack create -o OUT [--stub STUB.exe | --arch ARCH] [--brand BRAND] [--uninstaller\n"
    "                     UNINSTALL.INI [--uninstaller-name NAME]] [--solid | -l LEVEL] [-j THREADS]\n"
    "                     SETUP.INI [PAYLOAD...]\n"
    "       q7pack create -o OUT.exe [--stub STUB.exe | --arch ARCH] --product PRODUCT.INI | --app PROGRAM\n"
    "                     [--solid | -l LEVEL] [-j THREADS] [PAYLOAD...]\n"
    "       q7pack script PRODUCT.INI -o DIR [--overwrite]\n"
    "       q7pack winget PRODUCT.INI INSTALLER.exe --url URL [-o DIR]\n"
    "       q7pack uninstaller -o OUT.exe --stub STUB.exe [--brand BRAND] --uninstaller UNINSTALL.INI\n"
    "                     [--uninstaller-name NAME] [-l LEVEL] [-j THREADS] SETUP.INI [PAYLOAD...]\n"
    "       q7pack brand --stub STUB.exe BRAND -o OUT.exe\n"
    "       q7pack check [--brand BRAND] SETUP.INI\n"
    "       q7pack list FILE\n"
    "       q7pack verify FILE\n"
    "       q7pack extract [--overwrite] FILE DIR\n"
    "       q7pack try [--lang LANG] [--args ARGS] [--actions FILE] [--shots DIR] [--expect FILE]\n"
    "                  [--scale PERCENT] [--timeout S] [--keep DIR] [--driver EXE] [--times] [--over OLD.exe]...\n"
    "                  INSTALLER [ACTION...]\n"
    "                  [--uninstall [--args ARGS] [--actions FILE] [ACTION...]]\n"
    "       q7pack --help | --version\n";

void PrintHelp() {
    std::printf(
        "q7pack builds, checks and tries q7patcher installers.\n\n%s\n"
        "create  Packs SETUP.INI and the payload into an archive and writes it to OUT.\n"
        "        With --stub, OUT is the installer STUB.exe (q7patcher.exe) with the archive\n"
        "        appended; an archive already appended to the stub is replaced. Without it,\n"
        "        an OUT named *.exe gets the stub installed with q7pack (the shipped i686\n"
        "        build; --arch x86_64 the x86_64 one, --arch i686 the i686 one for any\n"
        "        OUT), and any other OUT is a bare archive, which the installer reads\n"
        "        when it is named as its last command-line argument (an unbranded\n"
        "        installer, or one whose brand sets archive-files = yes).\n"
        "        SETUP.INI is stored first, as setup.ini. Each PAYLOAD is\n"
        "          FILE         stored under its base name;\n"
        "          FOLDER       every file below it, stored under its path relative to\n"
        "                       FOLDER with '\\' between folders, in sorted order; the\n"
        "                       SETUP.INI argument is left out of a folder it lies in;\n"
        "          NAME=PATH    PATH stored under NAME (a folder under NAME\\...); '/' in\n"
        "                       NAME becomes '\\'.\n"
        "        An argument naming an existing file or folder is a path even if it holds '='.\n"
        "        Links: a link named as an argument is followed. Inside a FOLDER,\n"
        "        symbolic links (and Windows junctions) are refused, not followed, as\n"
        "        are FIFOs, sockets and devices: name a link's target as an argument.\n"
        "        Code page: the brand's codepage key (utf-8, 874, 1250 to 1258) chooses\n"
        "        the package's code page: SETUP.INI is then read as UTF-8 and stored in\n"
        "        it, and so are names; a character the code page lacks is refused with\n"
        "        FILE:LINE:COLUMN and its U+ code. Without the key, stored names are\n"
        "        Windows-1250 (on Linux UTF-8 names are converted, a character\n"
        "        Windows-1250 lacks is refused; on Windows names are stored as the ANSI\n"
        "        code page gives them) and SETUP.INI is stored as its bytes are; one\n"
        "        saved as UTF-8 is warned about: the installer reads it as Windows-1250.\n"
        "        Refused, with nothing written: a SETUP.INI that fails the installer's\n"
        "        check (see check), a missing or unreadable input, a name the installer\n"
        "        would not write (one that starts with '\\' or '/', carries a drive\n"
        "        (X:), has a '..' component, a control character, one of : < > \" | ? *,\n"
        "        a device name such as NUL, or a part ending in a dot or space), two\n"
        "        names equal apart from the case of A-Z or '/' against '\\', a name over\n"
        "        65535 bytes, a file of 4 GiB or more, an output of 2 GiB or more, a stub\n"
        "        that is not a Windows executable. OUT is written to a new temporary\n"
        "        file beside it and renamed at the end, so a failure never leaves a\n"
        "        half-written installer; a device or FIFO (/dev/null, NUL) is written\n"
        "        to directly.\n"
        "        --product PRODUCT.INI\n"
        "                    the installer of a product file (see script): q7pack writes\n"
        "                    its brand, SETUP.INI and uninstall script, checks them and\n"
        "                    packs them with the payload, as create --brand brand.ini\n"
        "                    --uninstaller uninstall.ini setup.ini PAYLOAD... of the files\n"
        "                    script writes, byte for byte. Refused besides: a program,\n"
        "                    license or readme that is not a stored entry, a component\n"
        "                    whose files match no stored entry (PRODUCT.INI:LINE).\n"
        "        --app PROGRAM\n"
        "                    the installer of one program and the payload around it, with\n"
        "                    no product file: PROGRAM is the program's stored name, and its\n"
        "                    version information gives the product's name (ProductName,\n"
        "                    else FileDescription), version (ProductVersion, else\n"
        "                    FileVersion) and publisher (CompanyName), as a product file\n"
        "                    of those four keys would. Refused: a program without them, or\n"
        "                    that is not a Windows program.\n"
        "        --brand BRAND\n"
        "                    writes the brand file's title, texts, icon, banner,\n"
        "                    version information and manifest into the stub (see\n"
        "                    brand).\n"
        "        --uninstaller UNINSTALL.INI\n"
        "                    also builds the product's uninstaller and stores it as the\n"
        "                    last payload entry, NAME (--uninstaller-name, default\n"
        "                    uninstall.exe): the same stub and brand with an archive whose\n"
        "                    setup.ini is UNINSTALL.INI, followed by one empty entry for\n"
        "                    every payload name, in the same order, and one for NAME, so\n"
        "                    the uninstall script walks what was installed with\n"
        "                    ArchiveFileCount and ArchiveFileName. UNINSTALL.INI must\n"
        "                    pass the check too.\n"
        "        -l LEVEL    compression level 0 (stored) to %d, default %d (%s)\n"
        "        --solid     the solid format: the payload compressed as a few LZMA blocks\n"
        "                    instead of one zlib stream per file, about half the size for\n"
        "                    typical payloads. Identical files are stored once, the code\n"
        "                    of Windows executables passes a branch-call filter where that\n"
        "                    helps, and like files are stored side by side. Installing\n"
        "                    holds one segment in memory (at most 256 MiB); installers\n"
        "                    older than this format see an empty archive. -l does not\n"
        "                    apply.\n"
        "        -j THREADS  compressing threads, default: all cores. The output is the\n"
        "                    same bytes whatever the thread count: no times are stored.\n\n"
        "script  Writes DIR/brand.ini, DIR/setup.ini and DIR/uninstall.ini: what a product\n"
        "        file makes of its installer, to change by hand and pack with create.\n"
        "        PRODUCT.INI is a brand file (its sections and keys) with [product]\n"
        "        (name, version, publisher and program needed; id, folder, description,\n"
        "        scope = machine, user or choice, bits = 32 or 64, license, readme,\n"
        "        run-after, license-name, winget-id), [tasks] (start-menu; desktop and\n"
        "        path = yes, no or ask), up to eight [component ID] sections (name,\n"
        "        description, files: stored names or folders separated by ;, selected),\n"
        "        [file-type .EXT] sections (description) and [run-before] (program, a\n"
        "        stored installer run first; arguments; success = exit codes, default\n"
        "        0). docs/packaging.md describes every key. A file that exists in DIR\n"
        "        is refused unless --overwrite is given. Refused with its FILE:LINE:\n"
        "        an unknown section or key, a missing key, a bad value.\n\n"
        "winget  Writes the winget manifests of INSTALLER.exe, built from PRODUCT.INI and\n"
        "        downloaded from URL, into DIR (default: here): ID.yaml, ID.installer.yaml\n"
        "        and ID.locale.LOCALE.yaml (schema 1.10.0), with the installer's SHA-256,\n"
        "        scope, silent switches, exit codes and Apps & features entry. ID is\n"
        "        [product] winget-id, else PUBLISHER.NAME without blanks; the license\n"
        "        is [product] license-name (default Proprietary).\n\n"
        "uninstaller\n"
        "        Writes only the uninstaller that create --uninstaller would store, from\n"
        "        the same arguments, to OUT.exe: sign it, then pack the signed file as the\n"
        "        last payload argument of create (without --uninstaller), under NAME.\n\n"
        "brand   Writes OUT.exe: STUB.exe with the resources that the brand file\n"
        "        BRAND sets (docs/packaging.md lists its keys). An archive appended\n"
        "        to STUB.exe stays behind it. Refused, with nothing written: an\n"
        "        unknown section, key, control, string id or language, text that is\n"
        "        not UTF-8,\n"
        "        a control character (line breaks, \\n, only in texts and strings), a\n"
        "        character the package's code page (Windows-1250 without a codepage\n"
        "        key) lacks, a language it cannot write, a title\n"
        "        over 255 characters or another text over 4095, a brand file, icon or\n"
        "        banner that is not a regular file or is over 16 MiB, an icon or banner\n"
        "        Windows cannot load, a banner not of 612x88, 918x132, 1224x176 or\n"
        "        526x88 pixels; a stub whose sections overlap, whose resources are\n"
        "        damaged or whose manifest cannot be edited.\n\n"
        "Signatures: create and brand drop a signature the stub carries, with its\n"
        "certificate-table entry and checksum: sign the installer last.\n\n"
        "check   Runs the installer's own check of SETUP.INI without running it: the\n"
        "        lexical check and the pass that parses the whole script, every branch\n"
        "        included, against the installer's functions and their argument counts.\n"
        "        It finds syntax errors, malformed numbers and calls of unknown functions or\n"
        "        with a wrong number of arguments; errors that depend on values (a missing\n"
        "        variable, a text that is not a number) show only when the script runs.\n"
        "        The first error is printed as SETUP.INI:LINE:COLUMN: message (the\n"
        "        installer's own text), the line and a caret under the column, and where\n"
        "        q7pack can say more, a note line (the counts a function takes, a name's\n"
        "        right case, a byte-order mark). create runs the same check. With\n"
        "        --brand, SETUP.INI is read in the brand's code page, as create stores it.\n\n"
        "list    Prints packed size, unpacked size, ratio and name of every entry of an\n"
        "        installer or a bare archive; the total counts entry data only, without\n"
        "        headers and names. Names are shown converted from Windows-1250 to the\n"
        "        terminal's code page (UTF-8 on Linux), control bytes as \\xNN; a name\n"
        "        the installer would not write is reported. For an installer it also\n"
        "        shows its title and version (control characters as \\xNN), whether it\n"
        "        runs an archive file named on its command line (a branded installer\n"
        "        does only when its brand sets archive-files = yes) and whether it is\n"
        "        signed.\n\n"
        "verify  Inflates every entry and checks that it is one complete zlib stream\n"
        "        that inflates to exactly its recorded size, and that the installer would\n"
        "        write its name; names every bad entry.\n\n"
        "extract Writes every entry below DIR (made if missing), creating folders for\n"
        "        names with separators; names are converted to the local code page. Names\n"
        "        the installer would not write are refused; of two entries with the same\n"
        "        name only the first (the one the installer finds) is written. Nothing is\n"
        "        written through a link found below DIR. An existing file is kept and\n"
        "        reported unless --overwrite is given. Each file is written beside it\n"
        "        without a name (or under a temporary one) and named only once it is\n"
        "        complete and on disk, so a failed entry leaves nothing behind and\n"
        "        removes nothing. An entry that inflates to\n"
        "        more or fewer bytes than its recorded size is damaged: inflating stops\n"
        "        at that size and nothing of it is written.\n\n"
        "try     Runs INSTALLER headless under Wine, in a throwaway Wine prefix of its own\n"
        "        on a virtual display (Xvfb) of its own, both ended by the process ids\n"
        "        q7pack started; the installer sees the prefix's C: drive and nothing of\n"
        "        this machine. An i686 installer runs under 32-bit Wine, an x86_64 one\n"
        "        under 64-bit Wine (Debian packages: wine, wine64, xvfb; wine32:i386 for\n"
        "        i686 installers). The UI driver does the ACTIONs, one after another:\n"
        "          press:ID      press button ID of the page (the dialog template's id)\n"
        "          check:ID      tick check box or radio button ID unless it is ticked\n"
        "          uncheck:ID    untick check box ID if it is ticked\n"
        "          type:ID:TEXT  replace the text of edit control ID by TEXT\n"
        "          key:esc, key:enter, close   a key on the page, or its close box\n"
        "          answer:ID     press button ID of the message box (1 OK, 2 Cancel,\n"
        "                        4 Retry, 6 Yes, 7 No)\n"
        "          wait:ID       wait for a page with control ID (the result page\n"
        "                        after an installation of unknown length)\n"
        "          progress:ID[:BUTTON]  watch progress bar ID until its page goes,\n"
        "                        pressing BUTTON once the bar has moved\n"
        "          attach:EXE    go on with the running program EXE (the copy of\n"
        "                        itself an uninstaller goes on in)\n"
        "          window-close:TITLE  close the window TITLE of any program (the\n"
        "                        installed program, started at the end)\n"
        "          shot, size:ID, colour:ID[:X:Y]  record the screen, a size, a colour\n"
        "          no-window     wait for the end, failing at any window\n"
        "        Without ACTIONs the run is silent: its arguments come from --args, and\n"
        "        any window fails it. try prints the transcript (every screen an action\n"
        "        acted on: a page's controls with their ids and texts, a box; the exit\n"
        "        status) and then what the installation changed: files and folders\n"
        "        created, changed and removed on C: with their sizes; registry keys and\n"
        "        values added, changed and removed (HKLM with its 32-bit view under\n"
        "        Software\\Wow6432Node, HKCU, HKU\\.Default); shortcuts with their\n"
        "        targets; Apps & features entries. A page without the control an action\n"
        "        names, a box that no action answers, or any wait longer than the\n"
        "        timeout stops the run at once, with the transcript so far and the\n"
        "        reason.\n"
        "        --uninstall     then uninstalls what the installation added to Apps &\n"
        "                        features as Windows does (its UninstallString; without\n"
        "                        ACTIONs its QuietUninstallString where it has one;\n"
        "                        Wine's uninstaller where it has neither), driven by\n"
        "                        the ACTIONs behind --uninstall, carries out what it left\n"
        "                        for the next restart (the restart of wineboot) and\n"
        "                        reports what is left of the installation.\n"
        "        --args ARGS     the installer's arguments, as they are (\"/S /D=C:\\App\");\n"
        "                        behind --uninstall, added to the uninstall command\n"
        "        --actions FILE  the ACTIONs of FILE, one a line (# starts a comment)\n"
        "        --lang LANG     the locale Wine runs in, which sets the code pages:\n"
        "                        de_DE (German, 1252), sk_SK (1250), ru_RU (1251)...;\n"
        "                        it must be installed here. Default C.UTF-8 (English,\n"
        "                        1252)\n"
        "        --scale PERCENT the display's scale, 100 (default) to 300, as Windows'\n"
        "                        display settings set it (150: 144 dots per inch)\n"        "        --shots DIR     a PNG picture of every screen an action acts on, named\n"
        "                        NN-VERB-ID.png (the uninstall's in DIR/uninstall)\n"
        "        --expect FILE   compares the output with FILE, a saved output, and\n"
        "                        names the first line that differs. In FILE, {*} stands\n"
        "                        for any text within a line (a size each build changes)\n"
        "                        and a line {...} for any lines up to the first one that\n"
        "                        matches the line after it\n"
        "        --timeout S     the longest any one wait lasts, in seconds (default 30)\n"
        "        --keep DIR      keeps the prefix and the logs in DIR (new or empty)\n"
        "        --driver EXE    the UI driver, q7uidriver.exe (default: the one\n"
        "                        installed with q7pack)\n"
        "        --over OLD.exe  runs OLD.exe /S first, without a window, and shows\n"
        "                        INSTALLER's changes over what it left: an upgrade over\n"
        "                        an older version. Repeated, they run in order (an older\n"
        "                        version, then an installer of a user's own file).\n"
        "                        --uninstall then reports what is left against the\n"
        "                        prefix before all of them\n"
        "        --times         a line \"# N ms\" behind each action: since the start\n"
        "        The exit status is 0 when every step ran to its end, exited with 0\n"
        "        (with --expect: as saved) and the output is the saved one.\n\n"
        "Progress is shown on standard error when it is a terminal. The exit status is 0\n"
        "on success, 1 when something failed, 2 for a usage error.\n",
        kUsage, MaxCompressionLevel(), DefaultCompressionLevel(), CompressorName());
}

struct UsageError {
    std::string Message;
};

int ParseNumber(const std::string& option, const char* text, int low, int high) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < low || value > high)
        throw UsageError{option + " takes a number from " + std::to_string(low) + " to " +
                         std::to_string(high)};
    return static_cast<int>(value);
}

// Prints the warning and the report of a script that fails the
// installer's check to stderr.
bool ScriptPasses(const std::string& setupIni, std::optional<uint32_t> codePage) {
    ScriptCheck check = CheckScriptFile(setupIni, codePage);
    std::fputs(check.Warning.c_str(), stderr);
    std::fputs(check.Report.c_str(), stderr);
    return check.Report.empty();
}

// The package's code page from the brand file, if one is given.
std::optional<uint32_t> PackageCodePage(const std::string& brandFile) {
    std::optional<uint32_t> codePage = brandFile.empty() ? std::nullopt : ReadBrandFile(brandFile).CodePage;
    SetPackageCodePage(codePage);
    return codePage;
}

int Check(const std::vector<std::string>& args) {
    bool branded = args.size() == 3 && args[0] == "--brand";
    if (args.size() != 1 && !branded) throw UsageError{"check takes [--brand BRAND] SETUP.INI"};
    const std::string& setupIni = args.back();
    if (!ScriptPasses(setupIni, PackageCodePage(branded ? args[1] : ""))) return 1;
    std::printf("%s: passes the installer's check\n", setupIni.c_str());
    return 0;
}

void PrintSummary(const CreateOptions& options, const CreateSummary& s) {
    std::printf(
        "%s: %s: %llu bytes of files compressed to %llu bytes of entry data, an archive of %llu bytes "
        "with headers and names%s\n",
        options.Output.c_str(), CountOf(s.Entries, "entry", "entries").c_str(),
        static_cast<unsigned long long>(s.UnpackedBytes), static_cast<unsigned long long>(s.PackedBytes),
        static_cast<unsigned long long>(s.ArchiveBytes),
        options.Stub.empty() ? " (bare archive)"
                             : (", behind a " + std::to_string(s.StubBytes) + "-byte installer").c_str());
}

bool EndsWithExe(const std::string& name) {
    std::string end = name.size() >= 4 ? name.substr(name.size() - 4) : "";
    for (char& ch : end) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return end == ".exe";
}

// The stub installed with q7pack for arch (i686 when none is named).
std::string ShippedStub(const std::string& arch) {
    std::string name = StubName(arch.empty() ? "i686" : arch), stub = ShippedFile(name);
    if (stub.empty())
        throw UsageError{name + " is not installed with q7pack (in " + ShippedFolder() +
                         "); give --stub STUB.exe, or an OUT not named *.exe for a bare archive"};
    return stub;
}

// What create and uninstaller read from their command line.
struct CreateCommand {
    CreateOptions Options;
    UninstallerOptions Uninstaller;
    std::vector<std::string> Positional;
    std::string Product;  // --product: the product file that makes the brand and both scripts
    std::string App;      // --app: the stored name of a program that is a product alone
};

CreateCommand ParseCreate(const std::vector<std::string>& args) {
    CreateCommand c;
    CreateOptions& options = c.Options;
    std::string arch;
    options.Level = DefaultCompressionLevel();
    options.Threads = std::max(1u, std::thread::hardware_concurrency());
    bool optionsDone = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (optionsDone || a.empty() || a[0] != '-') {
            c.Positional.push_back(a);
        } else if (a == "--") {
            optionsDone = true;
        } else if ((a == "-o" || a == "--stub" || a == "--arch" || a == "--brand" || a == "-l" || a == "-j" ||
                    a == "--uninstaller" || a == "--uninstaller-name" || a == "--product" || a == "--app") &&
                   !hasValue) {
            throw UsageError{a + " needs a value"};
        } else if (a == "-o") {
            options.Output = args[++i];
        } else if (a == "--stub") {
            options.Stub = args[++i];
        } else if (a == "--arch") {
            arch = args[++i];
            if (StubName(arch).empty()) throw UsageError{"--arch takes i686 or x86_64"};
        } else if (a == "--brand") {
            options.Brand = args[++i];
        } else if (a == "--uninstaller") {
            c.Uninstaller.Script = args[++i];
        } else if (a == "--uninstaller-name") {
            c.Uninstaller.Name = args[++i];
        } else if (a == "--solid") {
            options.Solid = true;
        } else if (a == "--product") {
            c.Product = args[++i];
        } else if (a == "--app") {
            c.App = args[++i];
        } else if (a == "-l") {
            options.Level = ParseNumber(a, args[++i].c_str(), 0, MaxCompressionLevel());
        } else if (a == "-j") {
            options.Threads = static_cast<unsigned>(ParseNumber(a, args[++i].c_str(), 1, 256));
        } else {
            throw UsageError{"unknown option " + a};
        }
    }
    if (options.Output.empty()) throw UsageError{"-o OUT is missing"};
    if (!arch.empty() && !options.Stub.empty()) throw UsageError{"give --stub or --arch, not both"};
    if (options.Stub.empty() && (!arch.empty() || EndsWithExe(options.Output)))
        options.Stub = ShippedStub(arch);
    if (!options.Brand.empty() && options.Stub.empty())
        throw UsageError{"--brand needs --stub: a bare archive has no resources"};
    if (!c.Uninstaller.Script.empty() && options.Stub.empty())
        throw UsageError{"--uninstaller needs --stub: the uninstaller is an installer"};
    if (!c.Product.empty() && !c.App.empty()) throw UsageError{"give --product or --app, not both"};
    if (!c.App.empty()) c.Product = "--app";
    if (!c.Product.empty() && (!options.Brand.empty() || !c.Uninstaller.Script.empty()))
        throw UsageError{"--product writes the brand and the uninstall script itself: leave out --brand and --uninstaller"};
    if (!c.Product.empty() && options.Stub.empty())
        throw UsageError{"--product needs --stub (or --arch, or an OUT named *.exe): a product is an installer"};
    if (c.Positional.empty() && c.Product.empty()) throw UsageError{"SETUP.INI is missing"};
    if (options.Solid && !LzmaEncoderAvailable())
        throw UsageError{"--solid: this build of q7pack has no LZMA encoder; it writes the zlib format only"};
    return c;
}

// The inputs of the installer, its scripts checked; with --uninstaller,
// the uninstaller's bytes in uninstaller.
std::vector<PackInput> InstallerInputs(const CreateCommand& c, std::string& uninstaller) {
    const std::vector<std::string>& p = c.Positional;
    std::optional<uint32_t> codePage = PackageCodePage(c.Options.Brand);
    std::vector<PackInput> inputs = CollectInputs(p[0], std::vector<std::string>(p.begin() + 1, p.end()));
    if (codePage) {
        inputs[0].Content = StoredScript(p[0], ReadInputFile(p[0]), codePage);
        inputs[0].Size = inputs[0].Content->size();
    }
    if (!ScriptPasses(p[0], codePage))
        throw PackError(c.Options.Output, "not written: the control script does not pass the check");
    if (c.Uninstaller.Script.empty()) return inputs;
    if (!ScriptPasses(c.Uninstaller.Script, codePage))
        throw PackError(c.Options.Output, "not written: the uninstall script does not pass the check");
    uninstaller = BuildUninstaller(inputs, c.Uninstaller, c.Options);
    return inputs;
}

// create --product: the product's three files, written to scratch, become
// the brand, SETUP.INI and the uninstall script of an ordinary create.
// create --app: the product that the program's version information names;
// the payload is collected once to find the program's file.
TProduct AppProduct(const CreateCommand& c, const std::string& folder) {
    WriteOutputFile(folder + "/app.ini", "");
    std::string wanted = NameKey(StoredName(c.App, "--app"));
    for (const PackInput& input : CollectInputs(folder + "/app.ini", c.Positional))
        if (NameKey(input.Name) == wanted) return ParseProduct(AppProductText(c.App, input.Path), "--app " + c.App);
    throw PackError("--app " + c.App, "no file of the payload is stored under this name");
}

std::optional<TProduct> UseProductFile(CreateCommand& c, std::optional<TProductScratch>& scratch) {
    if (c.Product.empty()) return std::nullopt;
    const std::string& folder = scratch.emplace().Folder();
    TProduct product = c.App.empty() ? ReadProductFile(c.Product) : AppProduct(c, folder);
    WriteProductFiles(GenerateProduct(product), folder, false);
    c.Options.Brand = folder + "/brand.ini";
    c.Uninstaller.Script = folder + "/uninstall.ini";
    c.Positional.insert(c.Positional.begin(), folder + "/setup.ini");
    return product;
}

int Create(const std::vector<std::string>& args) {
    CreateCommand c = ParseCreate(args);
    std::optional<TProductScratch> scratch;
    std::optional<TProduct> product = UseProductFile(c, scratch);
    std::string uninstaller;
    std::vector<PackInput> inputs = InstallerInputs(c, uninstaller);
    if (product) CheckProductPayload(*product, inputs);
    if (!c.Uninstaller.Script.empty()) {
        inputs.push_back(UninstallerEntry(uninstaller, c.Uninstaller));
        CheckStoredNames(inputs);
    }
    PrintSummary(c.Options, CreateArchive(inputs, c.Options));
    return 0;
}

// The uninstaller alone, from create's arguments, to be signed before it is
// packed as a payload file.
int Uninstaller(const std::vector<std::string>& args) {
    CreateCommand c = ParseCreate(args);
    if (c.Uninstaller.Script.empty()) throw UsageError{"uninstaller needs --uninstaller UNINSTALL.INI"};
    std::string bytes;
    InstallerInputs(c, bytes);
    WriteOutputFile(c.Options.Output, bytes);
    std::printf("%s: the uninstaller, %llu bytes; pack it as %s\n", c.Options.Output.c_str(),
                static_cast<unsigned long long>(bytes.size()), c.Uninstaller.Name.c_str());
    return 0;
}

int Brand(const std::vector<std::string>& args) {
    std::string stub, output;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--stub" || args[i] == "-o") && i + 1 == args.size())
            throw UsageError{args[i] + " needs a value"};
        if (args[i] == "--stub")
            stub = args[++i];
        else if (args[i] == "-o")
            output = args[++i];
        else if (args[i].size() > 1 && args[i][0] == '-')
            throw UsageError{"unknown option " + args[i]};
        else
            positional.push_back(args[i]);
    }
    if (stub.empty() || output.empty() || positional.size() != 1)
        throw UsageError{"brand needs --stub STUB.exe, one BRAND file and -o OUT.exe"};
    uint64_t size = WriteBrandedStub(stub, positional[0], output);
    std::printf("%s: %s branded with %s, %llu bytes\n", output.c_str(), stub.c_str(), positional[0].c_str(),
                static_cast<unsigned long long>(size));
    return 0;
}

// A command that takes exactly count file arguments.
// A reading command over one FILE.
template <int (*Command)(const std::string&)>
int OnOneFile(const std::vector<std::string>& args) {
    if (args.size() != 1) throw UsageError{"wrong number of arguments: FILE expected"};
    return Command(args[0]);
}

int Extract(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    bool overwrite = false;
    for (const std::string& a : args) {
        if (a == "--overwrite")
            overwrite = true;
        else
            files.push_back(a);
    }
    if (files.size() != 2) throw UsageError{"extract takes FILE and DIR"};
    return ExtractArchive(files[0], files[1], overwrite);
}

// Ejects a product file's brand, control script and uninstall script.
int Script(const std::vector<std::string>& args) {
    std::string output, product;
    bool replace = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size())
            output = args[++i];
        else if (args[i] == "--overwrite")
            replace = true;
        else if (args[i].empty() || args[i][0] == '-' || !product.empty())
            throw UsageError{"script takes PRODUCT.INI, -o DIR and --overwrite"};
        else
            product = args[i];
    }
    if (product.empty() || output.empty()) throw UsageError{"script needs PRODUCT.INI and -o DIR"};
    WriteProductFiles(GenerateProduct(ReadProductFile(product)), output, replace);
    std::optional<uint32_t> codePage = PackageCodePage(output + "/brand.ini");
    if (!ScriptPasses(output + "/setup.ini", codePage) || !ScriptPasses(output + "/uninstall.ini", codePage))
        throw PackError(product, "q7pack wrote a script that fails its own check: please report this");
    std::printf("%s: brand.ini, setup.ini and uninstall.ini of %s\n", output.c_str(), product.c_str());
    return 0;
}

// The winget manifests of a product's installer.
int Winget(const std::vector<std::string>& args) {
    std::string output = ".", url;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size())
            output = args[++i];
        else if (args[i] == "--url" && i + 1 < args.size())
            url = args[++i];
        else if (args[i].empty() || args[i][0] == '-')
            throw UsageError{"winget takes PRODUCT.INI INSTALLER.exe --url URL [-o DIR]"};
        else
            files.push_back(args[i]);
    }
    if (files.size() != 2 || url.empty()) throw UsageError{"winget needs PRODUCT.INI, INSTALLER.exe and --url URL"};
    WriteWingetManifests(ReadProductFile(files[0]), files[1], url, output);
    std::printf("%s: the winget manifests of %s\n", output.c_str(), files[1].c_str());
    return 0;
}

struct CommandEntry {
    const char* Name;
    int (*Run)(const std::vector<std::string>& args);
};

int Try(const std::vector<std::string>& args) {
    TTryOptions options;
    try {
        options = ParseTry(args);
    } catch (const TTryUsage& e) {
        throw UsageError{e.what()};
    }
    return RunTry(options);
}

const CommandEntry kCommands[] = {
    {"create", Create},
    {"uninstaller", Uninstaller},
    {"check", Check},
    {"list", OnOneFile<ListArchive>},
    {"verify", OnOneFile<VerifyArchive>},
    {"extract", Extract},
    {"brand", Brand},
    {"try", Try},
    {"script", Script},
    {"winget", Winget},
};

int Run(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError{"no command given"};
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        PrintHelp();
        return 0;
    }
    if (command == "--version") {
        std::printf("q7pack " Q7_VERSION " (%s)\n", CompressorName());
        return 0;
    }
    for (const CommandEntry& entry : kCommands)
        if (command == entry.Name) return entry.Run(std::vector<std::string>(args.begin() + 1, args.end()));
    throw UsageError{"unknown command " + command};
}

}  // namespace

int main(int argc, char** argv) {
    RemoveTemporaryFilesOnStop();
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "q7pack: %s\n%s(q7pack --help tells more)\n", e.Message.c_str(), kUsage);
        return 2;
    } catch (const PackError& e) {
        std::fprintf(stderr, "q7pack: %s: %s\n", e.Subject().c_str(), e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "q7pack: %s\n", e.what());
        return 1;
    }
}
