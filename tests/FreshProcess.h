// Runs a block in a freshly started copy of the test program, where the
// library's once-per-process caches are still empty. Assertion failures in
// the block turn into a non-zero exit and are reported with its output.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#define ZAV_IN_FRESH_PROCESS(...)                                                       \
    do {                                                                                \
        GTEST_FLAG_SET(death_test_style, "threadsafe");                                 \
        EXPECT_EXIT(                                                                    \
            {                                                                           \
                __VA_ARGS__;                                                            \
                fflush(nullptr);                                                        \
                _exit(::testing::Test::HasFailure() ? 1 : 0);                           \
            },                                                                          \
            ::testing::ExitedWithCode(0), "");                                          \
    } while (0)
