#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/product/Winget.h"

#include <filesystem>
#include <map>
#include <sstream>

#include "tools/q7pack/pack/PackCreate.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/pack/PackInputs.h"
#include "tools/q7pack/product/Sha256.h"

namespace {

constexpr char kManifestVersion[] = "1.10.0";

// A YAML text in single quotes, where only the quote itself is escaped.
std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

bool IsIdentifierCharacter(unsigned char c) {
    return c > 0x20 && c != 0x7F && std::string("./\\:*?\"<>|").find(static_cast<char>(c)) == std::string::npos;
}

// Publisher.Name, each part without the characters winget refuses in one.
std::string DefaultIdentifier(const TProduct& p) {
    auto part = [](const std::string& text) {
        std::string out;
        for (char c : text)
            if (IsIdentifierCharacter(static_cast<unsigned char>(c))) out += c;
        return out.substr(0, 32);
    };
    return part(p.publisher) + "." + part(p.name);
}

// winget's rule: two to eight parts of 1 to 32 characters, joined by dots.
void CheckIdentifier(const std::string& id, const std::string& subject) {
    std::istringstream parts(id);
    int count = 0;
    bool good = !id.empty() && id.back() != '.';
    for (std::string part; good && std::getline(parts, part, '.'); ++count) {
        good = !part.empty() && part.size() <= 32;
        for (unsigned char c : part) good = good && IsIdentifierCharacter(c);
    }
    if (!good || count < 2 || count > 8)
        throw PackError(subject, "winget needs an identifier of 2 to 8 parts such as Publisher.Product, not '" + id +
                                     "': set winget-id in [product]");
}

std::string Locale(const TProduct& p) {
    static const std::map<std::string, std::string> locales = {
        {"en", "en-US"}, {"de", "de-DE"}, {"fr", "fr-FR"}, {"es", "es-ES"}, {"it", "it-IT"},
        {"pt-BR", "pt-BR"}, {"pl", "pl-PL"}, {"cs", "cs-CZ"}, {"sk", "sk-SK"}, {"hu", "hu-HU"},
        {"ru", "ru-RU"}, {"uk", "uk-UA"}, {"tr", "tr-TR"}, {"ja", "ja-JP"}, {"zh-CN", "zh-CN"}};
    auto found = locales.find(p.languages.empty() ? "en" : p.languages[0]);
    return found == locales.end() ? "en-US" : found->second;
}

std::string Header(const std::string& id, const TProduct& p) {
    return "# Written by q7pack from " + std::filesystem::path(p.path).filename().string() +
           "\nPackageIdentifier: " + Quoted(id) + "\nPackageVersion: " + Quoted(p.version) + "\n";
}

std::string Footer(const char* type) {
    return std::string("ManifestType: ") + type + "\nManifestVersion: " + kManifestVersion + "\n";
}

std::string InstallerManifest(const std::string& id, const TProduct& p, const std::string& url,
                              const std::string& digest) {
    std::ostringstream out;
    out << Header(id, p) << "InstallerType: exe\nScope: " << (p.perUser ? "user" : "machine")
        << "\nInstallModes:\n- interactive\n- silent\n- silentWithProgress\n"
        << "InstallerSwitches:\n  Silent: /S\n  SilentWithProgress: /S\n"
        << "  InstallLocation: /D=\"<INSTALLPATH>\"\n  Log: /LOG=\"<LOGPATH>\"\n"
        // The installer's own statuses: a damaged package, a log it cannot
        // write. Any other status but 0 is a failed installation.
        << "ExpectedReturnCodes:\n";
    for (int code : {2, 3, 4, 5, 6})
        out << "- InstallerReturnCode: " << code << "\n  ReturnResponse: contactSupport\n";
    out << "- InstallerReturnCode: 7\n  ReturnResponse: invalidParameter\n"
        << "UpgradeBehavior: install\nProductCode: " << Quoted(p.id) << "\nAppsAndFeaturesEntries:\n"
        << "- DisplayName: " << Quoted(p.name) << "\n  Publisher: " << Quoted(p.publisher)
        << "\n  DisplayVersion: " << Quoted(p.version) << "\n  ProductCode: " << Quoted(p.id) << "\n"
        << "Installers:\n- Architecture: " << (p.bits64 ? "x64" : "x86") << "\n  InstallerUrl: " << Quoted(url)
        << "\n  InstallerSha256: " << digest << "\n"
        << Footer("installer");
    return out.str();
}

}  // namespace

void WriteWingetManifests(const TProduct& p, const std::string& installer, const std::string& url,
                          const std::string& folder) {
    std::string id = p.wingetId.empty() ? DefaultIdentifier(p) : p.wingetId;
    CheckIdentifier(id, p.path);
    if (url.rfind("https://", 0) != 0 && url.rfind("http://", 0) != 0)
        throw PackError(url, "the installer's URL starts with https:// (or http://)");
    std::string digest = Sha256Hex(ReadInputFile(installer, uint64_t{1} << 31));
    std::string locale = Locale(p);
    std::string version = Header(id, p) + "DefaultLocale: " + locale + "\n" + Footer("version");
    std::string defaultLocale = Header(id, p) + "PackageLocale: " + locale + "\nPublisher: " + Quoted(p.publisher) +
                                "\nPackageName: " + Quoted(p.name) + "\nLicense: " + Quoted(p.licenseName) +
                                "\nShortDescription: " + Quoted(p.description) + "\n" + Footer("defaultLocale");
    std::filesystem::create_directories(folder);
    namespace fs = std::filesystem;
    WriteOutputFile((fs::path(folder) / (id + ".yaml")).string(), version);
    WriteOutputFile((fs::path(folder) / (id + ".installer.yaml")).string(), InstallerManifest(id, p, url, digest));
    WriteOutputFile((fs::path(folder) / (id + ".locale." + locale + ".yaml")).string(), defaultLocale);
}
