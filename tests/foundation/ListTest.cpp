#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "FreshProcess.h"
#include "ZAVUtil1.h"

namespace {

struct Item {
    ZAVLink link;  // first member: the item's address is its link's
    int value;
};

ZAVLink* L(Item& item) { return &item.link; }
int ValueOf(ZAVLink* link) { return reinterpret_cast<Item*>(link)->value; }

template <typename F>
DWORD ThrownCode(F&& f) {
    try {
        f();
    } catch (DWORD code) {
        return code;
    }
    return 0;
}

class List : public ::testing::Test {
protected:
    void SetUp() override { ZAV_LinkInitAnchor(&anchor, nullptr); }
    std::vector<int> Forward() {
        std::vector<int> out;
        for (ZAVLink* l = anchor.pFirst; l != nullptr; l = ZAV_LinkNext(&anchor, l)) out.push_back(ValueOf(l));
        return out;
    }
    std::vector<int> Backward() {
        std::vector<int> out;
        for (ZAVLink* l = anchor.pLast; l != nullptr; l = ZAV_LinkPrior(&anchor, l)) out.push_back(ValueOf(l));
        return out;
    }
    ZAVLinkAnchor anchor;
    Item one{{}, 1}, two{{}, 2}, three{{}, 3};
};

TEST_F(List, EmptyListPopsNull) {
    EXPECT_EQ(ZAV_LinkPopFirst(&anchor), nullptr);
    EXPECT_EQ(anchor.Count, 0u);
    ZAVLinkAnchor zeroFilled{};
    EXPECT_EQ(ZAV_LinkPopFirst(&zeroFilled), nullptr);
}

TEST_F(List, HeadInsertionsLinkBothWays) {
    ASSERT_EQ(ZAV_LinkToHead(&anchor, L(one)), 0u);
    EXPECT_EQ(anchor.pFirst, L(one));
    EXPECT_EQ(anchor.pLast, L(one));
    EXPECT_EQ(one.link.pNext, nullptr);
    EXPECT_EQ(one.link.pPrior, nullptr);
    EXPECT_EQ(anchor.Count, 1u);
    ZAV_LinkToHead(&anchor, L(two));
    EXPECT_EQ(anchor.pFirst, L(two));
    EXPECT_EQ(one.link.pPrior, L(two));
    EXPECT_EQ((std::vector<int>{2, 1}), Forward());
}

TEST_F(List, TailOrderForwardAndBackward) {
    for (Item* i : {&one, &two, &three}) ZAV_LinkToTail(&anchor, L(*i));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), Forward());
    EXPECT_EQ((std::vector<int>{3, 2, 1}), Backward());
    EXPECT_EQ(ValueOf(ZAV_LinkPopFirst(&anchor)), 1);
    EXPECT_EQ(ValueOf(ZAV_LinkPopFirst(&anchor)), 2);
    EXPECT_EQ(ValueOf(ZAV_LinkPopFirst(&anchor)), 3);
    EXPECT_EQ(ZAV_LinkPopFirst(&anchor), nullptr);
    EXPECT_EQ(anchor.pFirst, nullptr);
    EXPECT_EQ(anchor.pLast, nullptr);
}

TEST_F(List, RemovingTheOnlyLinkEmptiesTheList) {
    ZAV_LinkToTail(&anchor, L(one));
    EXPECT_EQ(ZAV_LinkRemove(&anchor, L(one)), 0u);
    EXPECT_EQ(anchor.pFirst, nullptr);
    EXPECT_EQ(anchor.pLast, nullptr);
    EXPECT_EQ(anchor.Count, 0u);
    EXPECT_EQ(one.link.pNext, nullptr);
    EXPECT_EQ(one.link.pPrior, nullptr);
}

TEST_F(List, RemovalChecksEveryNeighbourAndChangesNothingOnFailure) {
    EXPECT_EQ(ZAV_LinkRemove(&anchor, L(one)), ZAV_LINK_REMOVE_EMPTY);
    for (Item* i : {&one, &two, &three}) ZAV_LinkToTail(&anchor, L(*i));
    Item stranger{{nullptr, nullptr}, 9};
    EXPECT_EQ(ZAV_LinkRemove(&anchor, L(stranger)), ZAV_LINK_REMOVE_NOT_FIRST);

    EXPECT_EQ(ZAV_LinkRemove(&anchor, L(two)), 0u);
    EXPECT_EQ(ZAV_LinkRemove(&anchor, L(two)), ZAV_LINK_REMOVE_NOT_FIRST) << "a middle link removed twice";
    EXPECT_EQ((std::vector<int>{1, 3}), Forward());

    Item liar{{nullptr, L(one)}, 8};  // claims one as prior, but one points on to three
    EXPECT_EQ(ZAV_LinkRemove(&anchor, L(liar)), ZAV_LINK_REMOVE_PRIOR_BROKEN);
    Item tailless{{nullptr, L(three)}, 7};
    three.link.pNext = L(tailless);  // damage: three points on, the anchor's last is still three
    EXPECT_EQ(ZAV_LinkRemove(&anchor, L(tailless)), ZAV_LINK_REMOVE_NOT_LAST);
    three.link.pNext = nullptr;
    Item backless{{L(three), L(one)}, 6};
    one.link.pNext = L(backless);
    EXPECT_EQ(ZAV_LinkRemove(&anchor, L(backless)), ZAV_LINK_REMOVE_NEXT_BROKEN);
    one.link.pNext = L(three);
    EXPECT_EQ((std::vector<int>{1, 3}), Forward());
    EXPECT_EQ(anchor.Count, 2u);
}

TEST_F(List, NullArgumentsAndTheLastErrorValue) {
    SetLastError(77);
    EXPECT_EQ(ZAV_LinkToHead(nullptr, L(one)), ZAV_LINK_HEAD_NULL_ARG);
    EXPECT_EQ(ZAV_LinkToHead(&anchor, nullptr), ZAV_LINK_HEAD_NULL_ARG);
    EXPECT_EQ(ZAV_LinkToTail(nullptr, L(one)), ZAV_LINK_TAIL_NULL_ARG);
    EXPECT_EQ(ZAV_LinkRemove(&anchor, nullptr), ZAV_LINK_REMOVE_NULL_ARG);
    EXPECT_EQ(GetLastError(), 77u) << "untouched by rejected arguments";

    ZAV_LinkToTail(&anchor, L(one));
    EXPECT_EQ(GetLastError(), 0u);
    SetLastError(77);
    EXPECT_EQ(ZAV_LinkNext(&anchor, nullptr), nullptr) << "not the first link";
    EXPECT_EQ(GetLastError(), 0u);
    SetLastError(77);
    ZAV_LinkPopFirst(&anchor);
    EXPECT_EQ(GetLastError(), 0u) << "cleared by the inner removal";
    SetLastError(77);
    ZAV_LinkPopFirst(&anchor);
    EXPECT_EQ(GetLastError(), 77u) << "an empty pop removes nothing";
}

// In a fresh process, so that these are its first throws: the C++ runtime
// sets itself up then, on Windows through calls that clear the last error.
TEST(ListThrows, LeaveTheLastErrorUntouched) {
    ZAV_IN_FRESH_PROCESS({
        SetLastError(77);
        EXPECT_EQ(ThrownCode([] { ZAV_LinkPopFirst(nullptr); }), ZAV_LINK_POP_NULL_ANCHOR);
        EXPECT_EQ(GetLastError(), 77u);
        EXPECT_EQ(ThrownCode([] { ZAV_LinkNext(nullptr, nullptr); }), ZAV_LINK_NEXT_NULL_ANCHOR);
        EXPECT_EQ(ThrownCode([] { ZAV_LinkPrior(nullptr, nullptr); }), ZAV_LINK_PRIOR_NULL_ANCHOR);
        EXPECT_EQ(GetLastError(), 77u);
    });
}

TEST_F(List, PopThrowsTheCodeOfADamagedFirstLink) {
    ZAV_LinkToTail(&anchor, L(one));
    ZAV_LinkToTail(&anchor, L(two));
    one.link.pPrior = L(three);  // damage
    three.link.pNext = nullptr;
    EXPECT_EQ(ThrownCode([&] { ZAV_LinkPopFirst(&anchor); }), ZAV_LINK_REMOVE_PRIOR_BROKEN);
}

}  // namespace
