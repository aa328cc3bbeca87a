// The user and computer names come from the system and are kept.
#include "FreshProcess.h"
#include "UtilTestSupport.h"

namespace {

WString SystemUserName() {
    WCHAR name[257] = {};
    DWORD size = 257;
    return GetUserNameW(name, &size) ? WString(name) : WString();
}

WString SystemComputerName() {
    WCHAR name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? WString(name) : WString();
}

TEST(LogonId, TheSystemsUserName) {
    const WString expected = SystemUserName();
    ASSERT_FALSE(expected.empty());
    ZAV_IN_FRESH_PROCESS({
        EXPECT_EQ(Text(ZAV_GetLogonId()), expected);
        EXPECT_EQ(Text(ZAV_GetLogonId()), expected);
    });
}

TEST(ComputerName, TheSystemsNameWithoutPadding) {
    const WString expected = SystemComputerName();
    ASSERT_FALSE(expected.empty());
    ASSERT_LE(expected.size(), 15u);
    ZAV_IN_FRESH_PROCESS({
        const ZAVString name = ZAV_GetComputerName();
        EXPECT_EQ(Text(name), expected);
        EXPECT_EQ(name.length(), expected.size());
    });
}

}  // namespace
