// The user and computer names: from the system, and kept; on POSIX also
// under the stand-in's identity controls, where each comes from, which
// answers are kept and which are asked again.
#include "FreshProcess.h"
#include "UtilTestSupport.h"
#ifndef _WIN32
#include "ZAVPlatformTest.h"
#endif

namespace {

// The stand-in's own answers (upper case, 15 characters at most) are the
// platform tests'.
TEST(LogonId, AndTheComputerNameAreTheSystemsNamesWithoutPadding) {
    WCHAR user[257] = {}, computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD userSize = 257, computerSize = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetUserNameW(user, &userSize) && GetComputerNameW(computer, &computerSize));
    const WString expectedUser(user), expectedComputer(computer);
    ZAV_IN_FRESH_PROCESS({
        EXPECT_EQ(Text(ZAV_GetLogonId()), expectedUser);
        EXPECT_EQ(Text(ZAV_GetComputerName()), expectedComputer);
        EXPECT_EQ(Text(ZAV_GetLogonId()), expectedUser);
    });
}

#ifndef _WIN32
// One fresh process per row: the system's answer is set, asked for, changed
// to `later`, asked for again.
TEST(LogonId, SourcesAndWhatIsKeptOfItAndOfTheComputerName) {
    const struct {
        const char* what;
        bool computer, oldFamily;  // the computer's name; the "A" forms outside the NT family
        const WCHAR* network;      // the network provider's user; null: it knows none
        const WCHAR* name;         // null: the system's query fails
        const WCHAR *later, *first, *second;
    } cases[] = {
        {"the network user first", false, false, ZAV_TEXT("DOMAIN\\carol"), ZAV_TEXT("local"), ZAV_TEXT("x"),
         ZAV_TEXT("DOMAIN\\carol"), ZAV_TEXT("DOMAIN\\carol")},
        {"Unknown is kept", false, false, nullptr, nullptr, ZAV_TEXT("late"), ZAV_TEXT("Unknown"), ZAV_TEXT("Unknown")},
        {"ANSI form, failing", false, true, nullptr, nullptr, ZAV_TEXT("x"), ZAV_TEXT("Unknown"), ZAV_TEXT("Unknown")},
        {"a computer name too long: empty, asked again", true, false, nullptr, ZAV_TEXT("SIXTEEN-CHARS-XX"),
         ZAV_TEXT("FIFTEEN-CHARS-X"), ZAV_TEXT(""), ZAV_TEXT("FIFTEEN-CHARS-X")},
        {"a computer name, ANSI form, too long", true, true, nullptr, ZAV_TEXT("NAME-LONGER-THAN-15"), ZAV_TEXT("OTHER"),
         ZAV_TEXT(""), ZAV_TEXT("OTHER")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto set = [&c](const WCHAR* name) {
            c.computer ? ZAVPlatformTest_SetComputerName(name) : ZAVPlatformTest_FailUserName(name == nullptr);
            if (!c.computer && name != nullptr) ZAVPlatformTest_SetUserName(name);
        };
        const auto ask = [&c] { return Text(c.computer ? ZAV_GetComputerName() : ZAV_GetLogonId()); };
        ZAV_IN_FRESH_PROCESS({
            if (c.oldFamily) ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000);
            if (c.network != nullptr) ZAVPlatformTest_SetNetworkUser(c.network);
            set(c.name);
            EXPECT_EQ(ask(), c.first);
            // The provider, then the system, unless the provider knew the user.
            if (!c.computer && !c.oldFamily && c.name != nullptr && c.name[0] != 0) {
                EXPECT_EQ(ZAVPlatformTest_IdentityQueries(), c.network != nullptr ? 1u : 2u);
            }
            const DWORD asked = ZAVPlatformTest_IdentityQueries();
            set(c.later);
            EXPECT_EQ(ask(), c.second);
            if (WString(c.first) == c.second) {
                EXPECT_EQ(ZAVPlatformTest_IdentityQueries(), asked) << "asked again";
            }
        });
    }
}

#endif

}  // namespace
