// Message records under failing allocations: creation throws 8 and queues
// nothing, an insertion answers 8 and leaves the record as it was, an export
// throws 8 and puts the record back, logging fails silently; the list's lock
// is free afterwards.
#include <thread>

#include "InjectionLoop.h"

namespace {

// The insertion strings of a record, each with its terminator.
WString Insertions(const ZAVMsg& msg) { return WString(msg.pInsertions, msg.InsertionBytes / sizeof(WCHAR)); }

class MessageWorkload {
public:
    MessageWorkload() {
        InitializeCriticalSection(&lock_);
        ZAV_LinkInitAnchor(&list_, &lock_);
    }
    ~MessageWorkload() { DeleteCriticalSection(&lock_); }

    void Act(const InjectedRun&) {
        ZAVDebug trace;  // inactive: its routine stack alone names the routine
        try {
            trace.RoutinePush(ZAV_TEXT("Injected"), ZAV_TEXT("Messages"), nullptr, 1);
        } catch (const std::bad_alloc&) {
        }
        for (DWORD id = 1; id <= 3; ++id) {
            const DWORD count = list_.Count;
            try {
                ZAVMsg* msg = ZAV_MsgCreate(&list_, id, ZAVCatError70, 1, 2, 3, 4, id == 2 ? &trace : nullptr);
                EXPECT_EQ(list_.Count - count + msg->MsgId, 1 + id);
                EXPECT_TRUE(msg->pRoutine == nullptr || WString(msg->pRoutine) == ZAV_TEXT("Injected.Messages"));
            } catch (DWORD code) {
                EXPECT_EQ(code, ERROR_NOT_ENOUGH_MEMORY);
                EXPECT_EQ(list_.Count, count) << "a failed creation queued a record";
            }
        }
        for (ZAVLink* l = list_.pFirst; l != nullptr; l = l->pNext) {
            ZAVMsg* msg = reinterpret_cast<ZAVMsg*>(l);
            for (int step = 0; step < 3; ++step) {
                const WString before = Insertions(*msg);
                const DWORD result = step == 0   ? ZAV_MsgAddInsertion(msg, ZAV_TEXT("first insertion"))
                                     : step == 1 ? ZAV_MsgAddInsertion(msg, -1234, 16)
                                                 : ZAV_MsgAddInsertion(msg, msg->pInsertions);  // from its own list
                EXPECT_TRUE(result == 0 ? msg->InsertionBytes > before.size() * sizeof(WCHAR)
                                        : result == ERROR_NOT_ENOUGH_MEMORY && Insertions(*msg) == before) << "insertion " << step;
            }
        }
        // Export's content is tested in tests/msg; here, that a failure puts the record back.
        for (ZAVMsg* first; (first = reinterpret_cast<ZAVMsg*>(list_.pFirst)) != nullptr;) {
            ZAV_LogEvent(*first, ZAV_TEXT("Injected event %1, %2 and %3"), ZAV_TEXT("ZAVInjection"));
            const DWORD count = list_.Count;
            try {
                ZAV_MsgDestroy(nullptr, ZAV_MsgExport(&list_));
            } catch (DWORD code) {
                EXPECT_EQ(code, ERROR_NOT_ENOUGH_MEMORY);
                EXPECT_EQ(std::make_pair(reinterpret_cast<ZAVMsg*>(list_.pFirst), list_.Count), std::make_pair(first, count));
                break;
            }
        }
    }

    // The list still takes records, also from another thread: a path that
    // left its lock held would block that thread until the run's bound.
    void Verify(const InjectedRun&) {
        std::thread([&] {
            ZAVMsg* msg = ZAV_MsgCreate(&list_, 99, ZAVCatInfo6, 0, 0, 0, 0, nullptr);
            EXPECT_EQ(ZAV_MsgAddInsertion(msg, ZAV_TEXT("later")), 0u);
            EXPECT_EQ(reinterpret_cast<ZAVMsg*>(list_.pLast), msg);
        }).join();
        ZAV_MsgDestroyAll(&list_);
    }

private:
    CRITICAL_SECTION lock_;
    ZAVLinkAnchor list_;
};

TEST_F(InjectionTest, MessageRecords) { Loop<MessageWorkload>(); }

}  // namespace
