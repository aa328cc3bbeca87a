#include <pwd.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "FreshProcess.h"
#include "UtilTestSupport.h"
#include "ZAVPlatformTest.h"

namespace {

TEST(LogonId, AskedOnceThenKept) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_SetUserName(ZAV_TEXT("alice"));
        EXPECT_EQ(Text(ZAV_GetLogonId()), ZAV_TEXT("alice"));
        const DWORD asked = ZAVPlatformTest_IdentityQueries();
        EXPECT_EQ(asked, 2u);  // the network provider, then the system
        ZAVPlatformTest_SetUserName(ZAV_TEXT("bob"));
        EXPECT_EQ(Text(ZAV_GetLogonId()), ZAV_TEXT("alice"));
        EXPECT_EQ(ZAVPlatformTest_IdentityQueries(), asked);
    });
}

TEST(LogonId, RealUserWithoutOverrides) {
    const struct passwd* entry = getpwuid(geteuid());
    if (entry == nullptr) GTEST_SKIP() << "no passwd entry for this user";
    const WString expected = Widen(entry->pw_name);
    ZAV_IN_FRESH_PROCESS({ EXPECT_EQ(Text(ZAV_GetLogonId()), expected); });
}

TEST(LogonId, NetworkUserComesFirst) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_SetNetworkUser(ZAV_TEXT("DOMAIN\\carol"));
        ZAVPlatformTest_SetUserName(ZAV_TEXT("local"));
        EXPECT_EQ(Text(ZAV_GetLogonId()), ZAV_TEXT("DOMAIN\\carol"));
        EXPECT_EQ(ZAVPlatformTest_IdentityQueries(), 1u);
    });
    // A provider that knows no user falls through to the system.
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_SetNetworkUser(nullptr);
        ZAVPlatformTest_SetUserName(ZAV_TEXT("local"));
        EXPECT_EQ(Text(ZAV_GetLogonId()), ZAV_TEXT("local"));
    });
}

TEST(LogonId, UnknownIsKeptAndAnEmptyNameIsAskedAgain) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_FailUserName(TRUE);
        EXPECT_EQ(Text(ZAV_GetLogonId()), ZAV_TEXT("Unknown"));
        ZAVPlatformTest_FailUserName(FALSE);
        ZAVPlatformTest_SetUserName(ZAV_TEXT("late"));
        const DWORD asked = ZAVPlatformTest_IdentityQueries();
        EXPECT_EQ(Text(ZAV_GetLogonId()), ZAV_TEXT("Unknown"));
        EXPECT_EQ(ZAVPlatformTest_IdentityQueries(), asked);
    });
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_SetUserName(ZAV_TEXT(""));
        EXPECT_EQ(Text(ZAV_GetLogonId()), ZAV_TEXT(""));
        ZAVPlatformTest_SetUserName(ZAV_TEXT("second"));
        EXPECT_EQ(Text(ZAV_GetLogonId()), ZAV_TEXT("second"));
    });
}

TEST(LogonId, AnsiFormsOutsideTheNtFamily) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000);
        ZAVPlatformTest_SetUserName(ZAV_TEXT("dave"));
        EXPECT_EQ(Text(ZAV_GetLogonId()), ZAV_TEXT("dave"));
        ZAVPlatformTest_SetComputerName(ZAV_TEXT("OLDBOX"));
        EXPECT_EQ(Text(ZAV_GetComputerName()), ZAV_TEXT("OLDBOX"));
    });
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000);
        ZAVPlatformTest_FailUserName(TRUE);
        EXPECT_EQ(Text(ZAV_GetLogonId()), ZAV_TEXT("Unknown"));
        ZAVPlatformTest_SetComputerName(ZAV_TEXT("NAME-LONGER-THAN-15"));
        EXPECT_EQ(Text(ZAV_GetComputerName()), ZAV_TEXT(""));
    });
}

TEST(ComputerName, HostLabelUpperCaseWithoutPadding) {
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    std::string label(host);
    label = label.substr(0, label.find('.')).substr(0, 15);
    for (auto& c : label) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    const WString expected = Widen(label);
    ZAV_IN_FRESH_PROCESS({
        const ZAVString name = ZAV_GetComputerName();
        EXPECT_EQ(Text(name), expected);
        EXPECT_EQ(name.length(), expected.size());
    });
}

TEST(ComputerName, TooLongIsEmptyAndAskedAgain) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_SetComputerName(ZAV_TEXT("SIXTEEN-CHARS-XX"));
        EXPECT_EQ(Text(ZAV_GetComputerName()), ZAV_TEXT(""));
        ZAVPlatformTest_SetComputerName(ZAV_TEXT("FIFTEEN-CHARS-X"));
        EXPECT_EQ(Text(ZAV_GetComputerName()), ZAV_TEXT("FIFTEEN-CHARS-X"));
        ZAVPlatformTest_SetComputerName(ZAV_TEXT("OTHER"));
        EXPECT_EQ(Text(ZAV_GetComputerName()), ZAV_TEXT("FIFTEEN-CHARS-X"));
    });
}

}  // namespace
