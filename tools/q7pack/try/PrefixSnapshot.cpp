#include "tools/q7pack/try/PrefixSnapshot.h"

#include <algorithm>
#include <filesystem>

#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/common/PackError.h"

namespace fs = std::filesystem;

namespace {

// Larger files are no shortcut and no registry file Wine wrote.
constexpr uint64_t kLargestShortcut = 1 << 20, kLargestRegistryFile = uint64_t{1} << 30;

// The registry files of a prefix and the roots their keys lie under.
const std::pair<const char*, const char*> kRegistryFiles[] = {
    {"system.reg", "HKLM"}, {"user.reg", "HKCU"}, {"userdef.reg", "HKU\\.Default"}};

std::string WindowsPath(const fs::path& relative) {
    std::string path = "C:\\" + relative.generic_string();
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

TFileEntry Entry(const fs::directory_entry& entry, uint32_t codePage) {
    TFileEntry file;
    std::error_code error;
    fs::file_status status = entry.symlink_status(error);
    file.Folder = fs::is_directory(status);
    if (fs::is_regular_file(status)) file.Size = entry.file_size(error);
    file.Modified = static_cast<int64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(entry.last_write_time(error).time_since_epoch())
            .count());
    std::string name = entry.path().filename().string();
    bool shortcut = name.size() > 4 && (name.compare(name.size() - 4, 4, ".lnk") == 0 ||
                                        name.compare(name.size() - 4, 4, ".LNK") == 0);
    if (shortcut && fs::is_regular_file(status) && file.Size <= kLargestShortcut)
        file.Link = ReadShellLink(ReadInputFile(entry.path().string(), kLargestShortcut), codePage);
    return file;
}

}  // namespace

uint32_t AnsiCodePage(const TRegistry& registry) {
    auto key = registry.find("HKLM\\System\\CurrentControlSet\\Control\\Nls\\Codepage");
    auto value = key == registry.end() ? TRegValues::const_iterator() : key->second.find("ACP");
    std::vector<std::string> texts;
    if (key != registry.end() && value != key->second.end()) texts = RegTexts(value->second);
    return texts.empty() ? 1252 : static_cast<uint32_t>(std::strtoul(texts[0].c_str(), nullptr, 10));
}

TPrefixSnapshot SnapshotPrefix(const std::string& prefix) {
    TPrefixSnapshot snapshot;
    for (const auto& [file, root] : kRegistryFiles) {
        std::string path = prefix + "/" + file;
        ReadRegistryText(ReadInputFile(path, kLargestRegistryFile), root, path, snapshot.Registry);
    }
    uint32_t codePage = AnsiCodePage(snapshot.Registry);
    fs::path drive = fs::path(prefix) / "drive_c";
    std::error_code error;
    for (fs::recursive_directory_iterator it(drive, fs::directory_options::skip_permission_denied, error),
         end;
         !error && it != end; it.increment(error))
        snapshot.Files[WindowsPath(it->path().lexically_relative(drive))] = Entry(*it, codePage);
    if (error) throw PackError(drive.string(), "cannot be read: " + error.message());
    return snapshot;
}
