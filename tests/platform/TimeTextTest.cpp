// The runtime's time texts: _wctime keeps the Windows runtime's English
// 24-character layout under any LC_TIME.
#include <locale.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "ScratchDirectory.h"
#include "ZAVPlatform.h"

namespace {

std::string Narrow(const WCHAR* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) out += static_cast<char>(*text);
    return out;
}

// Local time is UTC while it lives.
class UtcZone {
public:
    UtcZone() {
        const char* old = getenv("TZ");
        hadZone_ = old != nullptr;
        if (hadZone_) old_ = old;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    ~UtcZone() {
        if (hadZone_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool hadZone_ = false;
    std::string old_;
};

void ExpectEnglishLayout() {
    const time_t epoch = 0, leap = 1709251149, later = 1767323045;
    EXPECT_EQ("Thu Jan 01 00:00:00 1970\n", Narrow(_wctime(&epoch)));
    EXPECT_EQ("Thu Feb 29 23:59:09 2024\n", Narrow(_wctime(&leap)));
    const WCHAR* text = _wctime(&later);
    EXPECT_EQ("Fri Jan 02 03:04:05 2026\n", Narrow(text));
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(0, text[25]);
}

TEST(TimeText, CtimeHasTheRuntimesEnglishLayout) {
    UtcZone utc;
    ExpectEnglishLayout();
    const time_t before1970 = -1;
    EXPECT_EQ(nullptr, _wctime(&before1970));
    EXPECT_EQ(nullptr, _wctime(nullptr));
}

// A German LC_TIME names the days "Do", "Fr", ...: the text log's 24
// characters would then end inside the line break.
TEST(TimeText, CtimeIgnoresLcTime) {
    ScratchDirectory scratch;
    const std::string dir = scratch.path();
    const std::string build = "localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (access("/usr/share/i18n/locales/de_DE", R_OK) != 0 || system(build.c_str()) != 0)
        GTEST_SKIP() << "no German locale can be built here";
    setenv("LOCPATH", dir.c_str(), 1);
    const bool german = setlocale(LC_TIME, "de_DE.UTF-8") != nullptr;
    {
        UtcZone utc;
        if (german) {
            char probe[32];
            const time_t epoch = 0;
            strftime(probe, sizeof probe, "%a", gmtime(&epoch));
            EXPECT_STREQ("Do", probe) << "the locale is in force";
            ExpectEnglishLayout();
        }
    }
    setlocale(LC_TIME, "C");
    unsetenv("LOCPATH");
    if (!german) GTEST_SKIP() << "the German locale did not load";
}

}  // namespace
