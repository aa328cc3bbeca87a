// The path tests' scratch directory: a file and a sub-directory in it.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "ScratchDirectory.h"
#include "UtilTestSupport.h"

class PathTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(dir_.File("file.txt")) << "x";
        ASSERT_TRUE(std::filesystem::create_directory(dir_.File("sub")));
    }
    // A name in the directory; "" is the directory itself.
    ZAVString Path(const std::string& rest) const { return Z(rest.empty() ? Widen(dir_.path()) : dir_.Wide(rest)); }

    ScratchDirectory dir_;
};
