// Runs a block in a freshly started copy of the test program (a gtest death
// test: forked on Linux, the program started again on Windows), where the
// library's once-per-process caches are still empty. EXPECT failures in the
// block are echoed to the parent and turn into a non-zero exit. (ASSERT
// would leave the block early: use EXPECT inside it.)
#pragma once

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <cstdlib>

#include "ScratchDirectory.h"

namespace zavtest {

// The parent sees only the child's stderr.
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
                std::_Exit(zavCode);                                                                        \
            },                                                                                      \
            ::testing::ExitedWithCode(0), "");                                                      \
    } while (0)
