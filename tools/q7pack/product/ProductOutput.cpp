// Where a product's generated files go: a folder the packager names
// (q7pack script), or a scratch folder that create --product packs from.

#include <filesystem>
#include <random>
#include <system_error>

#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/pack/PackCreate.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/pack/PackInputs.h"
#include "tools/q7pack/product/Product.h"

void WriteProductFiles(const TProductFiles& files, const std::string& folder, bool replace) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) throw PackError(folder, "cannot create the folder: " + error.message());
    std::vector<std::pair<std::string, std::string>> outputs = {
        {"brand.ini", files.brand}, {"setup.ini", files.setup}, {"uninstall.ini", files.uninstall}};
    for (const TProductCopy& copy : files.copies) outputs.emplace_back(copy.name, ReadInputFile(copy.source, 16 << 20));
    for (const auto& [name, bytes] : outputs) {
        std::string path = (fs::path(folder) / name).string();
        if (!replace && fs::exists(fs::symlink_status(path)))
            throw PackError(path, "exists, and may be your own work: remove it or write to another folder");
    }
    for (const auto& [name, bytes] : outputs) WriteOutputFile((fs::path(folder) / name).string(), bytes);
}

TProductScratch::TProductScratch() {
    namespace fs = std::filesystem;
    std::random_device random;
    for (int attempt = 0; attempt < 100 && folder_.empty(); ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("q7product-" + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            fs::permissions(candidate, fs::perms::owner_all, fs::perm_options::replace, error);
            folder_ = candidate.string();
        }
    }
    if (folder_.empty()) throw PackError(fs::temp_directory_path().string(), "cannot make a scratch folder in it");
}

TProductScratch::~TProductScratch() {
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
}
