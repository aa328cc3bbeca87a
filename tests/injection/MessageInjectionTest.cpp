// Message records under failing allocations: creation throws 8 and queues
// nothing, an insertion answers 8 and leaves the record as it was, an export
// throws 8 and puts the record back, logging fails silently; the list's lock
// is free afterwards.
#include <string.h>

#include <thread>

#include "InjectionLoop.h"

namespace {

using zavtest::InjectedRun;
using zavtest::InjectionTest;

// The insertion strings of a list, each with its terminator.
WString InsertionList(const ZAVMsg& msg, const unsigned char* base) {
    if (msg.InsertionBytes == 0) return WString();
    const WCHAR* list = base != nullptr ? reinterpret_cast<const WCHAR*>(base + reinterpret_cast<uintptr_t>(msg.pInsertions))
                                        : msg.pInsertions;
    return WString(list, msg.InsertionBytes / sizeof(WCHAR));
}

// Whether another thread can take the lock: a path that left it held
// would block every other user of the list.
bool LockIsFree(CRITICAL_SECTION* lock) {
    bool free = false;
    std::thread([&] {
        free = TryEnterCriticalSection(lock) != FALSE;
        if (free) LeaveCriticalSection(lock);
    }).join();
    return free;
}

class MessageWorkload {
public:
    explicit MessageWorkload(InjectedRun&) {
        InitializeCriticalSection(&lock_);
        ZAV_LinkInitAnchor(&list_, &lock_);
    }
    ~MessageWorkload() { DeleteCriticalSection(&lock_); }

    void Act() {
        ZAVDebug trace;  // inactive: its routine stack alone names the routine
        try {
            trace.RoutinePush(ZAV_TEXT("Injected"), ZAV_TEXT("Messages"), nullptr, 1);
        } catch (const std::bad_alloc&) {
        }
        WString routine;
        try {
            routine = Text(trace.ActiveRoutine());
        } catch (const std::bad_alloc&) {
        }
        for (DWORD id = 1; id <= 3; ++id) Create(id, id == 2 ? &trace : nullptr);
        for (ZAVLink* l = list_.pFirst; l != nullptr; l = l->pNext) {
            ZAVMsg* msg = reinterpret_cast<ZAVMsg*>(l);
            AddInsertion(msg, [&] { return ZAV_MsgAddInsertion(msg, ZAV_TEXT("first insertion")); });
            AddInsertion(msg, [&] { return ZAV_MsgAddInsertion(msg, -1234, 16); });
            // A text taken from the record's own list.
            AddInsertion(msg, [&] { return ZAV_MsgAddInsertion(msg, msg->pInsertions); });
        }
        if (ZAVLink* l = list_.pFirst) {
            ZAV_LogEvent(*reinterpret_cast<ZAVMsg*>(l), ZAV_TEXT("Injected event %1, %2 and %3"),
                         ZAV_TEXT("ZAVInjection"));
        }
        ZAV_LogEvent(ZAVCatWarning50, ZAV_TEXT("A record-less event"), 7, nullptr);
        Export();
        Export();
        if (!routine.empty()) {
            EXPECT_EQ(routine, ZAV_TEXT("Injected.Messages"));
        }
    }

    void Verify() {
        EXPECT_TRUE(LockIsFree(&lock_)) << "the list's lock was left held";
        EXPECT_EQ(list_.Count, created_ - exported_);
        // The list still takes records.
        ZAVMsg* msg = ZAV_MsgCreate(&list_, 99, ZAVCatInfo6, 0, 0, 0, 0, nullptr);
        EXPECT_EQ(ZAV_MsgAddInsertion(msg, ZAV_TEXT("later")), 0u);
        EXPECT_EQ(reinterpret_cast<ZAVMsg*>(list_.pLast), msg);
        ZAV_MsgDestroyAll(&list_);
        EXPECT_EQ(list_.Count, 0u);
        EXPECT_TRUE(LockIsFree(&lock_));
    }

private:
    void Create(DWORD id, ZAVDebug* trace) {
        const DWORD count = list_.Count;
        try {
            ZAVMsg* msg = ZAV_MsgCreate(&list_, id, ZAVCatError70, 1, 2, 3, 4, trace);
            EXPECT_EQ(list_.Count, count + 1);
            EXPECT_EQ(msg->MsgId, id);
            ++created_;
        } catch (DWORD code) {
            EXPECT_EQ(code, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
            EXPECT_EQ(list_.Count, count) << "a failed creation queued a record";
        }
    }

    template <typename F>
    void AddInsertion(ZAVMsg* msg, F&& add) {
        const WString before = InsertionList(*msg, nullptr);
        const DWORD result = add();
        if (result != 0) {
            EXPECT_EQ(result, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
            EXPECT_EQ(InsertionList(*msg, nullptr), before) << "a failed insertion changed the record";
        } else {
            EXPECT_GT(msg->InsertionBytes, before.size() * sizeof(WCHAR));
        }
    }

    void Export() {
        ZAVMsg* first = reinterpret_cast<ZAVMsg*>(list_.pFirst);
        if (first == nullptr) return;
        const WString insertions = InsertionList(*first, nullptr);
        const DWORD id = first->MsgId, count = list_.Count;
        try {
            ZAVMsg* flat = ZAV_MsgExport(&list_);
            ++exported_;
            EXPECT_EQ(flat->MsgId, id);
            EXPECT_EQ(InsertionList(*flat, reinterpret_cast<unsigned char*>(flat)), insertions);
            EXPECT_EQ(list_.Count, count - 1);
            ZAV_MsgDestroy(nullptr, flat);
        } catch (DWORD code) {
            EXPECT_EQ(code, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
            EXPECT_EQ(reinterpret_cast<ZAVMsg*>(list_.pFirst), first) << "the record went back to the head";
            EXPECT_EQ(list_.Count, count);
        }
    }

    CRITICAL_SECTION lock_;
    ZAVLinkAnchor list_;
    DWORD created_ = 0, exported_ = 0;
};

TEST_F(InjectionTest, MessageRecords) { Loop<MessageWorkload>("message records"); }

}  // namespace
