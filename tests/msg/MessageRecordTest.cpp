// Message records: queued, filled with insertions, flattened into one block
// and released. Without memory they are tried in tests/injection.
#include <string.h>

#include <iterator>
#include <tuple>

#include <gtest/gtest.h>

#include "WString.h"
#include "ZAVUtil1.h"

namespace {

const uintptr_t kHeader = sizeof(ZAVMsg);

// The DWORD a call threw; 0 when it threw nothing.
template <typename Call>
DWORD ThrownCode(Call call) {
    try {
        call();
    } catch (DWORD code) {
        return code;
    }
    return 0;
}

// The insertion strings a reader sees: up to the first empty one.
size_t Readable(const WCHAR* list) {
    size_t n = 0;
    for (const WCHAR* s = list; s != nullptr && *s != 0; s += lstrlenW(s) + 1) ++n;
    return n;
}

class MessageTest : public ::testing::Test {
protected:
    void TearDown() override { ZAV_MsgDestroyAll(&list_); }
    ZAVMsg* Create(DWORD id, ZAVMsgCategory category = ZAVCatInfo6) {
        return ZAV_MsgCreate(&list_, id, category, 7, 8, 9, 10, nullptr);
    }
    ZAVLinkAnchor list_ = {};
};

TEST_F(MessageTest, QueueAtTheEndAndTakeOff) {
    ZAVMsg *a = Create(1), *b = Create(2, static_cast<ZAVMsgCategory>(40));  // any category is kept
    EXPECT_EQ(std::make_tuple(list_.pLast, list_.Count, b->Category), std::make_tuple(&b->Link, 2u, 40));
    ZAV_MsgAddInsertion(a, ZAV_TEXT("text"));
    ZAV_MsgDestroy(&list_, a);
    EXPECT_EQ(std::make_tuple(list_.pFirst, list_.Count), std::make_tuple(&b->Link, 1u));
    ZAV_MsgDestroyAll(&list_);
    EXPECT_EQ(list_.pFirst, nullptr);
    EXPECT_EQ(ThrownCode([] { ZAV_MsgCreate(nullptr, 1, ZAVCatInfo6, 0, 0, 0, 0, nullptr); }), 20002u);
    EXPECT_EQ(ThrownCode([] { ZAV_MsgDestroyAll(nullptr); }), 20011u);
}

// Insertions of text, of numbers as _ltow writes them and of text from the
// record's own list (which the call replaces) against a model of the list;
// an export puts the list behind the header and the routine's name after it.
TEST_F(MessageTest, InsertionsAgainstAModelAndTheirExport) {
    const struct { LONG value; DWORD radix; const char* text; } numbers[] = {
        {255, 16, "0xff"}, {-5, 10, "-5"}, {-1, 8, "37777777777"}, {0, 10, "0"}, {-1, 16, "0xffffffff"}, {35, 36, "z"},
        {-2147483647 - 1, 10, "-2147483648"}, {5, 2, "101"}, {-1, 2, "11111111111111111111111111111111"}};
    ZAVMsg* msg = Create(5, ZAVCatError70);
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
    EXPECT_EQ(Readable(msg->pInsertions), 3 + std::size(numbers));
    msg->pRoutine = static_cast<WCHAR*>(ZAV_MemoryGet(8, 0));  // a routine's name as the trace stores it
    memcpy(msg->pRoutine, ZAV_TEXT("Run"), 8);
    Create(6);
    DWORD id = 5;
    for (ZAVMsg* flat; (flat = ZAV_MsgExport(&list_)) != nullptr; ZAV_MsgDestroy(nullptr, flat)) {
        const bool first = flat->MsgId == 5;
        EXPECT_EQ(std::make_tuple(flat->MsgId, flat->Category), std::make_tuple(id++, first ? ZAVCatError70 : ZAVCatInfo6));
        EXPECT_EQ(std::make_tuple(flat->Link.pNext, flat->Link.pPrior, flat->AuxWord, flat->Reserved, flat->Aux1, flat->Aux2, flat->Aux3),
                  std::make_tuple(nullptr, nullptr, WORD{7}, WORD{0}, 8u, 9u, 10u));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(flat->pInsertions), first ? kHeader : 0);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(flat->pRoutine), first ? kHeader + flat->InsertionBytes : 0);
        if (first) {  // offsets, so the block may be copied or sent as it is
            EXPECT_EQ(WString(reinterpret_cast<const WCHAR*>(reinterpret_cast<unsigned char*>(flat) + kHeader), model.size() + 1 + 4),
                      model + WCHAR(0) + ZAV_TEXT("Run") + WCHAR(0));
        }
    }
    EXPECT_EQ(list_.Count, 0u);
}


}  // namespace
