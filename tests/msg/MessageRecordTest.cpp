// Message records: queued, filled with insertions, flattened into one block
// and released. Without memory they are tried in tests/injection.
#include "TestSupport.h"
#include "foundation/MemoryFixture.h"

namespace {

class MessageTest : public ::testing::Test {
protected:
    void TearDown() override { ZAV_MsgDestroyAll(&list_); }
    ZAVMsg* Create(DWORD id, ZAVMsgCategory category = ZAVCatInfo6) {
        return ZAV_MsgCreate(&list_, id, category, 7, 8, 9, 10, nullptr);
    }
    ZAVLinkAnchor list_ = {};
};

// Records queue at the end and keep any category; one destroyed takes its
// insertions along and leaves the list. Insertions of text, of numbers as
// _ltow writes them and of text from the record's own list (which the call
// replaces) against a model of the list; an export takes the first record
// off and puts its list behind the header and the routine's name after it.
TEST_F(MessageTest, QueueInsertionsAgainstAModelAndExport) {
    const struct { LONG value; DWORD radix; const char* text; } numbers[] = {
        {255, 16, "0xff"}, {-5, 10, "-5"}, {-1, 8, "37777777777"}, {0, 10, "0"}, {-1, 16, "0xffffffff"}, {35, 36, "z"},
        {-2147483647 - 1, 10, "-2147483648"}, {5, 2, "101"}, {-1, 2, "11111111111111111111111111111111"}};
    ZAVMsg *gone = Create(4), *msg = Create(5, ZAVCatError70);
    WString model;  // each string with its terminator
    auto add = [&](const WString& text, DWORD result) {
        EXPECT_EQ(result, 0u);
        model += text + WCHAR(0);
        EXPECT_EQ(WString(msg->pInsertions, msg->InsertionBytes / sizeof(WCHAR)), model + WCHAR(0));
    };
    add(ZAV_TEXT("first insertion text"), ZAV_MsgAddInsertion(msg, ZAV_TEXT("first insertion text")));
    for (const auto& n : numbers) add(Widen(n.text), ZAV_MsgAddInsertion(msg, n.value, n.radix));
    add(ZAV_TEXT("first insertion text"), ZAV_MsgAddInsertion(msg, msg->pInsertions));
    add(ZAV_TEXT("f"), ZAV_MsgAddInsertion(msg, msg->pInsertions + 21 + 3));  // the tail of "0xff"
    EXPECT_EQ(ZAV_MsgAddInsertion(msg, 5, 1), 87u);
    add(WString(), ZAV_MsgAddInsertion(msg, ZAV_TEXT("")));  // stored, and ends the list for readers
    add(ZAV_TEXT("hidden"), ZAV_MsgAddInsertion(msg, ZAV_TEXT("hidden")));
    msg->pRoutine = static_cast<WCHAR*>(ZAV_MemoryGet(8, 0));  // a routine's name as the trace stores it
    memcpy(msg->pRoutine, ZAV_TEXT("Run"), 8);
    ZAVMsg* last = Create(6, static_cast<ZAVMsgCategory>(40));
    ZAV_MsgAddInsertion(gone, ZAV_TEXT("text"));
    ZAV_MsgDestroy(&list_, gone);
    EXPECT_EQ(std::make_tuple(list_.pFirst, list_.pLast, list_.Count), std::make_tuple(&msg->Link, &last->Link, 2u));
    DWORD id = 5;
    for (ZAVMsg* flat; (flat = ZAV_MsgExport(&list_)) != nullptr; ZAV_MsgDestroy(nullptr, flat)) {
        const bool first = flat->MsgId == 5;
        EXPECT_EQ(std::make_tuple(flat->MsgId, flat->Category), std::make_tuple(id++, first ? ZAVCatError70 : 40));
        EXPECT_EQ(std::make_tuple(flat->Link.pNext, flat->Link.pPrior, flat->AuxWord, flat->Reserved, flat->Aux1, flat->Aux2, flat->Aux3),
                  std::make_tuple(nullptr, nullptr, WORD{7}, WORD{0}, 8u, 9u, 10u));
        // Offsets from the header on, so the block may be copied or sent as it is.
        EXPECT_EQ(reinterpret_cast<uintptr_t>(flat->pInsertions), first ? sizeof(ZAVMsg) : 0);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(flat->pRoutine), first ? sizeof(ZAVMsg) + flat->InsertionBytes : 0);
        if (first) {
            EXPECT_EQ(WString(reinterpret_cast<const WCHAR*>(flat + 1), model.size() + 1 + 4),
                      model + WCHAR(0) + ZAV_TEXT("Run") + WCHAR(0));
        }
    }
    EXPECT_EQ(std::make_tuple(list_.pFirst, list_.Count), std::make_tuple(nullptr, 0u));
    EXPECT_EQ(ThrownCode<DWORD>([] { ZAV_MsgCreate(nullptr, 1, ZAVCatInfo6, 0, 0, 0, 0, nullptr); }), 20002u);
    EXPECT_EQ(ThrownCode<DWORD>([] { ZAV_MsgDestroyAll(nullptr); }), 20011u);
}

}  // namespace
