// Message records when the memory manager has no block: the functions keep
// their promise of the code 8 and lose nothing already queued.
#include <gtest/gtest.h>

#include "ZAVPlatformTest.h"
#include "ZAVUtil1.h"
#include "WString.h"

namespace {

class MessageFailureTest : public ::testing::Test {
protected:
    void TearDown() override {
        ZAVPlatformTest_FailAllocation(0, FALSE);
        ZAV_MsgDestroyAll(&list_);
    }

    // The DWORD the call threw; 0 when it threw nothing.
    template <typename Call>
    static DWORD ThrownCode(Call call) {
        try {
            call();
        } catch (DWORD code) {
            return code;
        }
        return 0;
    }

    ZAVLinkAnchor list_ = {};
};

// Every allocation of a create with the trace's routine fails in turn: each
// failure is the code 8 with nothing queued (a leaked header shows in the
// asan run), until the create gets all it needs.
TEST_F(MessageFailureTest, CreateThrowsTheCode8AtEveryAllocationItMakes) {
    ZAVDebug trace;
    trace.RoutinePush(ZAV_TEXT("Owner"), ZAV_TEXT("Routine"), ZAV_TEXT(""), 0);
    DWORD nth = 1;
    for (;; ++nth) {
        ASSERT_LT(nth, 20u);
        ZAVPlatformTest_FailAllocation(nth, FALSE);
        const DWORD code = ThrownCode([&] { ZAV_MsgCreate(&list_, 7, ZAVCatInfo6, 0, 0, 0, 0, &trace); });
        const DWORD refused = ZAVPlatformTest_AllocationsRefused();
        ZAVPlatformTest_FailAllocation(0, FALSE);
        if (refused == 0) break;
        EXPECT_EQ(code, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)) << "allocation " << nth;
        EXPECT_EQ(list_.Count, 0u) << "allocation " << nth;
    }
    EXPECT_GE(nth, 3u);  // the header, the routine's name, its copy
    ASSERT_EQ(list_.Count, 1u);
    EXPECT_EQ(WString(reinterpret_cast<ZAVMsg*>(list_.pFirst)->pRoutine), ZAV_TEXT("Owner.Routine"));
    trace.RoutinePop(-1, 0);
}

TEST_F(MessageFailureTest, ExportWithoutMemoryThrowsTheCode8AndKeepsTheRecordFirst) {
    ZAVMsg* first = ZAV_MsgCreate(&list_, 1, ZAVCatInfo6, 0, 0, 0, 0, nullptr);
    ASSERT_EQ(ZAV_MsgAddInsertion(first, ZAV_TEXT("kept")), 0u);
    ZAV_MsgCreate(&list_, 2, ZAVCatInfo6, 0, 0, 0, 0, nullptr);
    ZAVPlatformTest_FailAllocation(1, FALSE);
    EXPECT_EQ(ThrownCode([&] { ZAV_MsgExport(&list_); }), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    ZAVPlatformTest_FailAllocation(0, FALSE);
    EXPECT_EQ(list_.Count, 2u);
    EXPECT_EQ(list_.pFirst, &first->Link);
    ZAVMsg* flat = ZAV_MsgExport(&list_);
    ASSERT_NE(flat, nullptr);
    EXPECT_EQ(flat->MsgId, 1u);
    ZAV_MsgDestroy(nullptr, flat);
}

}  // namespace
