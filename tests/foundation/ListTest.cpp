#include <algorithm>
#include <deque>
#include <random>
#include <vector>

#include "FoundationTest.h"
#include "FreshProcess.h"

namespace {

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

// Random insertions at both ends, removals from anywhere (also of links not
// in the list) and pops, against a deque; both directions are walked and a
// link out of the list is left unlinked.
TEST_F(List, RandomOperationsMatchADeque) {
    std::vector<Item> items(6);
    for (int i = 0; i < 6; ++i) items[i].value = i;
    std::vector<bool> in(6);
    std::deque<int> model;
    std::mt19937 rng(7);
    for (int step = 0; step < 3000; ++step) {
        const int i = static_cast<int>(rng() % 6);
        switch (rng() % 4) {
            case 0:
                if (in[i]) continue;
                ASSERT_EQ(ZAV_LinkToHead(&anchor, L(items[i])), 0u);
                model.push_front(i);
                in[i] = true;
                break;
            case 1:
                if (in[i]) continue;
                ASSERT_EQ(ZAV_LinkToTail(&anchor, L(items[i])), 0u);
                model.push_back(i);
                in[i] = true;
                break;
            case 2:
                ASSERT_EQ(ZAV_LinkRemove(&anchor, L(items[i])),
                          in[i] ? 0u : model.empty() ? ZAV_LINK_REMOVE_EMPTY : ZAV_LINK_REMOVE_NOT_FIRST);
                if (in[i]) model.erase(std::find(model.begin(), model.end(), i));
                in[i] = false;
                break;
            default:
                ZAVLink* popped = ZAV_LinkPopFirst(&anchor);
                ASSERT_EQ(popped == nullptr, model.empty());
                if (popped == nullptr) break;
                ASSERT_EQ(ValueOf(popped), model.front());
                in[model.front()] = false;
                model.pop_front();
        }
        ASSERT_EQ(Forward(), std::vector<int>(model.begin(), model.end()));
        ASSERT_EQ(Backward(), std::vector<int>(model.rbegin(), model.rend()));
        ASSERT_EQ(anchor.Count, model.size());
        for (int k = 0; k < 6; ++k)
            if (!in[k]) ASSERT_TRUE(items[k].link.pNext == nullptr && items[k].link.pPrior == nullptr);
    }
}

TEST_F(List, RemovalChecksEveryNeighbourAndChangesNothingOnFailure) {
    for (Item* i : {&one, &two, &three}) ZAV_LinkToTail(&anchor, L(*i));
    Item liar{{nullptr, L(one)}, 8};  // claims one as prior, but one points on to two
    EXPECT_EQ(ZAV_LinkRemove(&anchor, L(liar)), ZAV_LINK_REMOVE_PRIOR_BROKEN);
    Item tailless{{nullptr, L(three)}, 7};
    three.link.pNext = L(tailless);  // damage: three points on, the anchor's last is still three
    EXPECT_EQ(ZAV_LinkRemove(&anchor, L(tailless)), ZAV_LINK_REMOVE_NOT_LAST);
    three.link.pNext = nullptr;
    Item backless{{L(two), L(one)}, 6};
    one.link.pNext = L(backless);
    EXPECT_EQ(ZAV_LinkRemove(&anchor, L(backless)), ZAV_LINK_REMOVE_NEXT_BROKEN);
    one.link.pNext = L(two);
    EXPECT_EQ(Forward(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(anchor.Count, 3u);
    ZAVLinkAnchor zeroFilled{};
    EXPECT_EQ(ZAV_LinkPopFirst(&zeroFilled), nullptr);
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
        EXPECT_EQ(ThrownCode<DWORD>([] { ZAV_LinkPopFirst(nullptr); }), ZAV_LINK_POP_NULL_ANCHOR);
        EXPECT_EQ(GetLastError(), 77u);
        EXPECT_EQ(ThrownCode<DWORD>([] { ZAV_LinkNext(nullptr, nullptr); }), ZAV_LINK_NEXT_NULL_ANCHOR);
        EXPECT_EQ(ThrownCode<DWORD>([] { ZAV_LinkPrior(nullptr, nullptr); }), ZAV_LINK_PRIOR_NULL_ANCHOR);
        EXPECT_EQ(GetLastError(), 77u);
    });
}

TEST_F(List, PopThrowsTheCodeOfADamagedFirstLink) {
    ZAV_LinkToTail(&anchor, L(one));
    ZAV_LinkToTail(&anchor, L(two));
    one.link.pPrior = L(three);  // damage
    three.link.pNext = nullptr;
    EXPECT_EQ(ThrownCode<DWORD>([&] { ZAV_LinkPopFirst(&anchor); }), ZAV_LINK_REMOVE_PRIOR_BROKEN);
}

}  // namespace
