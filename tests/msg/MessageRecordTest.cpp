#include <string.h>

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "ZAVUtil1.h"
#include "WString.h"

namespace {

const uintptr_t kHeader = sizeof(ZAVMsg);

// The insertion strings a reader sees: up to the first empty one.
std::vector<WString> Insertions(const WCHAR* list) {
    std::vector<WString> out;
    for (const WCHAR* s = list; s != nullptr && *s != 0; s += lstrlenW(s) + 1) out.emplace_back(s);
    return out;
}

class MessageTest : public ::testing::Test {
protected:
    void TearDown() override { ZAV_MsgDestroyAll(&list_); }
    ZAVLinkAnchor list_ = {};
};

// The stored fields show in the export below.
TEST_F(MessageTest, CreateQueuesAtTheEndKeepsAnyCategoryAndRefusesANullList) {
    ZAV_MsgCreate(&list_, 1, ZAVCatInfo6, 0, 0, 0, 0, nullptr);
    ZAVMsg* msg = ZAV_MsgCreate(&list_, 2, static_cast<ZAVMsgCategory>(40), 0, 0, 0, 0, nullptr);
    EXPECT_EQ(list_.pLast, &msg->Link);
    EXPECT_EQ(list_.Count, 2u);
    EXPECT_EQ(msg->Category, 40);
    EXPECT_EQ(msg->pInsertions, nullptr);
    try {
        ZAV_MsgCreate(nullptr, 1, ZAVCatInfo6, 0, 0, 0, 0, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (DWORD code) {
        EXPECT_EQ(code, 20002u);
    }
}

TEST_F(MessageTest, InsertionListGrowsWithItsTerminators) {
    ZAVMsg* msg = ZAV_MsgCreate(&list_, 1, ZAVCatInfo10, 0, 0, 0, 0, nullptr);
    EXPECT_EQ(ZAV_MsgAddInsertion(msg, ZAV_TEXT("ab")), 0u);
    EXPECT_EQ(msg->InsertionBytes, 8u);
    EXPECT_EQ(ZAV_MsgAddInsertion(msg, ZAV_TEXT("c")), 0u);
    EXPECT_EQ(msg->InsertionBytes, 12u);
    EXPECT_EQ(memcmp(msg->pInsertions, ZAV_TEXT("ab\0c\0"), 12), 0);
    EXPECT_EQ(Insertions(msg->pInsertions), (std::vector<WString>{ZAV_TEXT("ab"), ZAV_TEXT("c")}));
    // An empty insertion is stored and ends the list for readers.
    EXPECT_EQ(ZAV_MsgAddInsertion(msg, ZAV_TEXT("")), 0u);
    EXPECT_EQ(ZAV_MsgAddInsertion(msg, ZAV_TEXT("hidden")), 0u);
    EXPECT_EQ(msg->InsertionBytes, 12u + 2 + 14);
    EXPECT_EQ(Insertions(msg->pInsertions).size(), 2u);
}

// The text may live in the record's own list, which the call replaces: a
// copy of the first insertion and of the tail of the second.
TEST_F(MessageTest, InsertionFromTheRecordsOwnList) {
    ZAVMsg* msg = ZAV_MsgCreate(&list_, 1, ZAVCatInfo10, 0, 0, 0, 0, nullptr);
    ASSERT_EQ(ZAV_MsgAddInsertion(msg, ZAV_TEXT("first insertion text")), 0u);
    ASSERT_EQ(ZAV_MsgAddInsertion(msg, ZAV_TEXT("second")), 0u);
    ASSERT_EQ(ZAV_MsgAddInsertion(msg, msg->pInsertions), 0u);
    ASSERT_EQ(ZAV_MsgAddInsertion(msg, msg->pInsertions + 21 + 3), 0u);
    EXPECT_EQ(Insertions(msg->pInsertions),
              (std::vector<WString>{ZAV_TEXT("first insertion text"), ZAV_TEXT("second"),
                                    ZAV_TEXT("first insertion text"), ZAV_TEXT("ond")}));
}

TEST_F(MessageTest, NumbersAsLtowWritesThem) {
    struct Case {
        LONG value;
        DWORD radix;
        const WCHAR* text;
    };
    const Case cases[] = {{255, 16, ZAV_TEXT("0xff")},  {-5, 10, ZAV_TEXT("-5")},          {-1, 8, ZAV_TEXT("37777777777")},
                          {0, 10, ZAV_TEXT("0")},      {-1, 16, ZAV_TEXT("0xffffffff")}, {35, 36, ZAV_TEXT("z")},
                          {-2147483647 - 1, 10, ZAV_TEXT("-2147483648")},       {5, 2, ZAV_TEXT("101")},
                          {-1, 2, ZAV_TEXT("11111111111111111111111111111111")}};
    for (const Case& c : cases) {
        ZAVMsg* msg = ZAV_MsgCreate(&list_, 1, ZAVCatInfo10, 0, 0, 0, 0, nullptr);
        ASSERT_EQ(ZAV_MsgAddInsertion(msg, c.value, c.radix), 0u);
        EXPECT_EQ(WString(msg->pInsertions), c.text);
    }
    ZAVMsg* msg = ZAV_MsgCreate(&list_, 1, ZAVCatInfo10, 0, 0, 0, 0, nullptr);
    EXPECT_EQ(ZAV_MsgAddInsertion(msg, 5, 1), 87u);
    EXPECT_EQ(msg->InsertionBytes, 0u);
}

TEST_F(MessageTest, ExportFlattensInOrderAndDestroyReleasesOneBlock) {
    for (DWORD id = 1; id <= 3; ++id) {
        ZAVMsg* msg = ZAV_MsgCreate(&list_, id, ZAVCatError70, 7, 8, 9, 10, nullptr);
        ZAV_MsgAddInsertion(msg, ZAV_TEXT("ab"));
    }
    // A routine name as the trace stores it: a block of its own.
    ZAVMsg* first = reinterpret_cast<ZAVMsg*>(list_.pFirst);
    first->pRoutine = static_cast<WCHAR*>(ZAV_MemoryGet(8, 0));
    memcpy(first->pRoutine, ZAV_TEXT("Run"), 8);

    for (DWORD id = 1; id <= 3; ++id) {
        ZAVMsg* flat = ZAV_MsgExport(&list_);
        ASSERT_NE(flat, nullptr);
        EXPECT_EQ(flat->Link.pNext, nullptr);
        EXPECT_EQ(flat->Link.pPrior, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(flat->pInsertions), kHeader);
        EXPECT_EQ(std::make_tuple(flat->MsgId, flat->Category, flat->AuxWord, flat->Reserved, flat->Aux1, flat->Aux2,
                                  flat->Aux3, flat->InsertionBytes),
                  std::make_tuple(id, ZAVCatError70, WORD{7}, WORD{0}, 8u, 9u, 10u, 8u));
        const unsigned char* base = reinterpret_cast<const unsigned char*>(flat);
        EXPECT_EQ(memcmp(base + kHeader, ZAV_TEXT("ab\0"), 8), 0);
        if (id == 1) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(flat->pRoutine), kHeader + 8);
            EXPECT_EQ(WString(reinterpret_cast<const WCHAR*>(base + kHeader + 8)), ZAV_TEXT("Run"));
        } else {
            EXPECT_EQ(flat->pRoutine, nullptr);
        }
        // A copy of the block is as good as the block.
        std::vector<unsigned char> copy(base, base + kHeader + 8);
        EXPECT_EQ(Insertions(reinterpret_cast<const WCHAR*>(copy.data() + kHeader)).front(), ZAV_TEXT("ab"));
        ZAV_MsgDestroy(nullptr, flat);  // the sanitizer run sees a leak or a bad free
    }
    EXPECT_EQ(ZAV_MsgExport(&list_), nullptr);
    EXPECT_EQ(list_.Count, 0u);
}

TEST_F(MessageTest, DestroyTakesALinkedRecordOffItsList) {
    ZAVMsg* a = ZAV_MsgCreate(&list_, 1, ZAVCatInfo6, 0, 0, 0, 0, nullptr);
    ZAVMsg* b = ZAV_MsgCreate(&list_, 2, ZAVCatInfo6, 0, 0, 0, 0, nullptr);
    ZAV_MsgAddInsertion(a, ZAV_TEXT("text"));
    ZAV_MsgDestroy(&list_, a);
    EXPECT_EQ(list_.Count, 1u);
    EXPECT_EQ(list_.pFirst, &b->Link);
    ZAV_MsgDestroyAll(&list_);
    EXPECT_EQ(list_.pFirst, nullptr);
    try {
        ZAV_MsgDestroyAll(nullptr);
        FAIL() << "no exception";
    } catch (DWORD code) {
        EXPECT_EQ(code, 20011u);
    }
}

}  // namespace
