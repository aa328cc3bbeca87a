// The timer on counters the stand-in makes old or takes away.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "FreshProcess.h"
#include "ZAVPlatformTest.h"
#include "ZAVUtil1.h"

namespace {

TEST(Timer, LongUptimeOnAGigahertzCounter) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_SetPerformanceCounterOffset(5LL * 365 * 86400 * 1000000000);
        ZAVUInt64 a = ZAV_TimerValue();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ZAVUInt64 b = ZAV_TimerValue();
        EXPECT_GT(a, 5ull * 365 * 86400 * 1000000);
        EXPECT_GE(b - a, 20000u);
        EXPECT_LT(b - a, 1000000u);
    });
}

TEST(Timer, TickPathWhenTheCounterIsMissingSurvivesTheWrap) {
    ZAV_IN_FRESH_PROCESS({
        ZAVPlatformTest_FailPerformanceFrequency(TRUE);
        DWORD now = GetTickCount();
        ZAVPlatformTest_SetTickCountOffset(0xFFFFFFFFu - now - 30);  // 30 ms before the wrap
        ZAVUInt64 before = ZAV_TimerValue();
        EXPECT_EQ(before % 1000, 0u) << "milliseconds in microseconds";
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        EXPECT_LT(GetTickCount(), 1000u) << "the tick count has wrapped";
        ZAVUInt64 after = ZAV_TimerValue();
        EXPECT_GT(after, before);
        EXPECT_GE(after - before, 80000u);
        EXPECT_LT(after - before, 1000000u);
        // A counter that comes back later is not used: the choice is made once.
        ZAVPlatformTest_FailPerformanceFrequency(FALSE);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(ZAV_TimerValue() % 1000, 0u);
            std::this_thread::sleep_for(std::chrono::microseconds(1300));
        }
    });
}

}  // namespace
