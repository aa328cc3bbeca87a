// What the tests of every folder share: the platform's wide text as a
// standard string, scratch directories, and blocks run in a fresh process.
#pragma once

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "ZAVUtil1.h"

// The platform's wide text (WCHAR: char16_t on POSIX, wchar_t on Windows) as
// a standard string, for readable comparisons in tests of both platforms.
using WString = std::basic_string<WCHAR>;

// ASCII text widened unit by unit.
inline WString Widen(const std::string& ascii) { return WString(ascii.begin(), ascii.end()); }

// The text of a library string, for readable comparisons.
inline WString Text(const ZAVString& s) { return WString(s.c_str(), s.size()); }

inline ZAVString Z(const WString& s) { return ZAVString(s.c_str(), static_cast<unsigned>(s.size())); }

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

// A private, empty directory for one test, under the system's temporary
// folder, removed with everything in it at the end. Works on both platforms.
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

namespace zavtest {

// A fresh-process child's failures, written where its parent sees them (its
// stderr); its exit code.
inline int ReportChildResults(const ::testing::TestPartResultArray& results) {
    int failures = 0;
    for (int i = 0; i < results.size(); ++i) {
        const ::testing::TestPartResult& r = results.GetTestPartResult(i);
        if (!r.failed()) continue;
        ++failures;
        fprintf(stderr, "%s:%d: %s\n", r.file_name() ? r.file_name() : "?", r.line_number(), r.message());
    }
    fflush(nullptr);
    return failures == 0 ? 0 : 1;
}

}  // namespace zavtest

// Runs a block in a freshly started copy of the test program (a gtest death
// test: forked on Linux, the program started again on Windows), where the
// library's once-per-process caches are still empty. EXPECT failures in the
// block are echoed to the parent and turn into a non-zero exit. (ASSERT
// would leave the block early: use EXPECT inside it.)
#define ZAV_IN_FRESH_PROCESS(...)                                                                   \
    do {                                                                                            \
        GTEST_FLAG_SET(death_test_style, "threadsafe");                                             \
        EXPECT_EXIT(                                                                                \
            {                                                                                       \
                ::testing::TestPartResultArray zavResults;                                          \
                {                                                                                   \
                    ::testing::ScopedFakeTestPartResultReporter zavReporter(                        \
                        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &zavResults); \
                    __VA_ARGS__;                                                                    \
                }                                                                                   \
                const int zavCode = ::zavtest::ReportChildResults(zavResults);                      \
                ::zavtest::RemoveScratchDirectories();                                              \
                std::_Exit(zavCode);                                                                \
            },                                                                                      \
            ::testing::ExitedWithCode(0), "");                                                      \
    } while (0)
