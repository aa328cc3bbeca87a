// Shared helpers for the ZAVString tests.
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "ZAVUtil1.h"
#include "WString.h"


// Runs the callable and checks that it throws E with exactly this message.
template <typename E, typename F>
::testing::AssertionResult ThrowsWithMessage(F&& f, const char* message) {
    try {
        f();
    } catch (const E& e) {
        if (std::string(e.what()) == message) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "message was \"" << e.what() << "\"";
    } catch (...) {
        return ::testing::AssertionFailure() << "threw another type";
    }
    return ::testing::AssertionFailure() << "did not throw";
}

// Exposes the protected members for tests, as a host's derived class may.
class InspectableString : public ZAVString {
public:
    using ZAVString::ZAVString;
    using ZAVString::_Grow;
    using ZAVString::_Nullstr;
    const WCHAR* buffer() const { return m_Buffer; }
    const char* ansiBuffer() const { return m_ANSIBuffer; }
};
