#pragma once
// A fresh directory for one test, removed with everything in it when the
// test ends.

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

class TempDir {
public:
    // In the temporary folder, or in base.
    explicit TempDir(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        std::random_device rd;
        do path_ = base / ("q7test-" + std::to_string(rd()));
        while (std::filesystem::exists(path_));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The path of a name inside the directory, as the byte string the
    // stream layer takes.
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Makes a directory the current one (Enter may change it again), and
// restores the one before when it goes.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::filesystem::path& path) : saved_(std::filesystem::current_path()) {
        Enter(path);
    }
    ~CurrentDirectory() { std::filesystem::current_path(saved_); }
    void Enter(const std::filesystem::path& path) { std::filesystem::current_path(path); }

private:
    std::filesystem::path saved_;
};

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every name below root with its bytes ("/" for a folder), names with /
// between their parts.
using Tree = std::map<std::string, std::string>;
inline Tree Snapshot(const std::filesystem::path& root) {
    Tree tree;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root))
        tree[std::filesystem::relative(item.path(), root).generic_string()] =
            item.is_directory() ? "/" : ReadFileBytes(item.path().string());
    return tree;
}
