#pragma once
// The product file: one file that describes an ordinary product (its name,
// program, components and tasks) and the brand keys of its installer. From
// it q7pack writes the three files a packager would otherwise write by
// hand, the brand, the control script and the uninstall script, which
// `q7pack script` ejects for a human to change and `q7pack create
// --product` packs directly.

#include <string>
#include <vector>

#include "tools/q7pack/pack/PackInputs.h"

struct TProductComponent {
    std::string id;           // the section's name, [component ID]
    std::string name;         // the check box's text
    std::string description;  // the description line while the box has the focus
    std::vector<std::string> prefixes;  // stored names or folders, '\' between folders
    bool selected = true;     // checked when the page first shows
    size_t line = 0;          // of the section header, for errors about it
    size_t filesLine = 0;
};

// A file type the product opens: its extension's key names the product's
// class, whose command starts the program with the file.
struct TProductFileType {
    std::string extension;    // ".kmap"
    std::string description;  // what Explorer calls such a file
    size_t line = 0;
};

// A program the product needs installed first (a runtime's installer):
// a stored entry, installed alone into the product's folder, run, removed.
struct TProductRunBefore {
    std::string program;            // its stored name; empty: no [run-before]
    std::string arguments;          // its command line, as it is
    std::vector<std::string> success = {"0"};  // the exit codes that mean it worked
    size_t line = 0, programLine = 0;
};

struct TProduct {
    std::string path;  // the product file, for errors and relative file names
    std::string name, version, publisher, program, id, folder, description, license, readme;
    std::string wingetId;                    // Publisher.Product for winget; made from both when empty
    std::string licenseName = "Proprietary";  // what the license is called, for package managers
    bool perUser = false;  // scope = user: the user's own folders and HKEY_CURRENT_USER
    bool scopeChoice = false;  // scope = choice: the user chooses on a page, or with /ALLUSERS, /CURRENTUSER
    bool runAfter = true;  // the finish page offers to start the program
    bool startMenu = true;
    bool bits64 = false;   // bits = 64: the 64-bit Program Files and registry view
    // A task is not done, asked on the tasks page (and by an option when
    // silent), or always done.
    enum TTask { kNo, kAsk, kYes };
    TTask desktop = kNo;
    TTask addPath = kNo;  // the installation folder in the Path (the user's or the machine's, by scope)
    std::vector<TProductFileType> fileTypes;
    std::vector<TProductComponent> components;
    TProductRunBefore runBefore;
    std::vector<std::string> languages;  // the brand's language tags; "en" when it names none
    std::string brandText;  // the product file with its product sections blanked, lines kept
    size_t programLine = 0, licenseLine = 0, readmeLine = 0;
};

// Reads and checks the product file at path. Raises PackError naming the
// file and line of the first fault.
TProduct ReadProductFile(const std::string& path);
TProduct ParseProduct(const std::string& text, const std::string& path);

// The product file of a program alone (q7pack create --app): name, version
// and publisher from the version information of file, which is stored as
// storedName. Raises PackError about --app when the program has no product
// name and version to give, or is no Windows program.
std::string AppProductText(const std::string& storedName, const std::string& file);

// Raises PackError, with the product file's line, when the program, the
// license or readme, or a component's prefix names no stored entry.
void CheckProductPayload(const TProduct& product, const std::vector<PackInput>& inputs);

// A file the brand names, copied beside it under name.
struct TProductCopy {
    std::string source, name;
};

struct TProductFiles {
    std::string brand, setup, uninstall;
    std::vector<TProductCopy> copies;  // the brand's icon and banner
};

// The three files, as text, and the icon and banner the brand names.
TProductFiles GenerateProduct(const TProduct& product);

// Writes the three files into folder as brand.ini, setup.ini and
// uninstall.ini, and copies the icon and banner there, each whole or not
// at all. An existing one is refused
// (PackError naming it) unless replace is set: it may be the packager's
// own work.
void WriteProductFiles(const TProductFiles& files, const std::string& folder, bool replace);

// A new private folder in the temporary folder, removed with everything in
// it when the object goes: where create --product writes the three files.
class TProductScratch {
public:
    TProductScratch();
    ~TProductScratch();
    TProductScratch(const TProductScratch&) = delete;
    TProductScratch& operator=(const TProductScratch&) = delete;
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
};
