// A private, empty directory for one test, under the system's temporary
// folder, removed with everything in it at the end. Works on both platforms.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "WString.h"

namespace zavtest {

// Scratch directories of the running process. A fresh-process child leaves
// by _Exit, past every destructor, so it removes its own before it goes.
inline std::vector<std::filesystem::path>& ScratchDirectories() {
    static std::vector<std::filesystem::path> directories;
    return directories;
}

// Removes a tree, also where a test took the write permission away.
inline void RemoveTree(const std::filesystem::path& root) {
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    std::filesystem::permissions(root, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(root, ignored);
}

inline void RemoveScratchDirectories() {
    for (const std::filesystem::path& d : ScratchDirectories()) RemoveTree(d);
}

}  // namespace zavtest

class ScratchDirectory {
public:
    explicit ScratchDirectory(const char* prefix = "zavtest") {
        std::random_device seed;
        std::mt19937 random(seed());
        std::error_code error;
        const std::filesystem::path temp = std::filesystem::temp_directory_path();
        do path_ = temp / (prefix + std::to_string(random()));
        while (!std::filesystem::create_directory(path_, error));
        zavtest::ScratchDirectories().push_back(path_);
    }
    ~ScratchDirectory() { zavtest::RemoveTree(path_); }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    // The directory, and a name in it, as the platform writes paths.
    std::string path() const { return path_.string(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // A name in it as wide text, for the library's wide-path calls.
    WString Wide(const std::string& name) const { return Widen(File(name)); }
    bool Exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }

private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
