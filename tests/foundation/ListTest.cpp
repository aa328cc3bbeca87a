#include "MemoryFixture.h"

namespace {

class List : public ::testing::Test {
protected:
    void SetUp() override { ZAV_LinkInitAnchor(&anchor, nullptr); }
    std::vector<int> Walk(bool forward) {
        std::vector<int> out;
        for (ZAVLink* l = forward ? anchor.pFirst : anchor.pLast; l != nullptr;
             l = forward ? ZAV_LinkNext(&anchor, l) : ZAV_LinkPrior(&anchor, l))
            out.push_back(ValueOf(l));
        return out;
    }
    ZAVLinkAnchor anchor;
    ListItem items[6] = {{{}, 0}, {{}, 1}, {{}, 2}, {{}, 3}, {{}, 4}, {{}, 5}};
};

// Insertions at both ends, removals from anywhere (also of links not in the
// list) and pops against a deque. Both directions are walked, and each call
// but an empty pop clears the last error.
TEST_F(List, RandomOperationsMatchADeque) {
    std::deque<int> model;
    std::mt19937 rng(7);
    for (int step = 0; step < 3000; ++step) {
        const int i = static_cast<int>(rng() % 6);
        const bool in = std::count(model.begin(), model.end(), i) != 0, empty = model.empty();
        const unsigned op = in ? rng() % 2 + 2 : rng() % 4;  // a link in the list is not inserted again
        SetLastError(77);
        if (op < 2) {
            ASSERT_EQ(op == 0 ? ZAV_LinkToHead(&anchor, &items[i].link) : ZAV_LinkToTail(&anchor, &items[i].link), 0u);
            op == 0 ? model.push_front(i) : model.push_back(i);
        } else if (op == 2) {
            ASSERT_EQ(ZAV_LinkRemove(&anchor, &items[i].link),
                      in ? 0u : empty ? ZAV_LINK_REMOVE_EMPTY : ZAV_LINK_REMOVE_NOT_FIRST);
            model.erase(std::remove(model.begin(), model.end(), i), model.end());
        } else {
            ZAVLink* popped = ZAV_LinkPopFirst(&anchor);
            ASSERT_EQ(popped != nullptr ? ValueOf(popped) : -1, empty ? -1 : model.front());
            if (!empty) model.pop_front();
        }
        ASSERT_EQ(GetLastError(), op == 3 && empty ? 77u : 0u);
        ASSERT_EQ(Walk(true), std::vector<int>(model.begin(), model.end()));
        ASSERT_EQ(Walk(false), std::vector<int>(model.rbegin(), model.rend()));
        ASSERT_EQ(anchor.Count, model.size());
    }
}

// Refused: links whose neighbours disagree, the list left as it was (a pop
// throws the removal's code), and null arguments, with their codes and the
// caller's last error kept. The throws for null anchors are checked in a
// fresh process, so that they are its first: the C++ runtime sets itself up
// then, on Windows through calls that clear the last error.
TEST_F(List, RefusedCallsLeaveTheListAndTheLastErrorAlone) {
    ListItem &one = items[1], &two = items[2], &three = items[3];
    for (ListItem* i : {&one, &two, &three}) ZAV_LinkToTail(&anchor, &i->link);
    ListItem liar{{nullptr, &one.link}, 8};  // claims one as prior, but one points on to two
    EXPECT_EQ(ZAV_LinkRemove(&anchor, &liar.link), ZAV_LINK_REMOVE_PRIOR_BROKEN);
    ListItem tailless{{nullptr, &three.link}, 7};
    three.link.pNext = &tailless.link;  // damage: three points on, the anchor's last is still three
    EXPECT_EQ(ZAV_LinkRemove(&anchor, &tailless.link), ZAV_LINK_REMOVE_NOT_LAST);
    three.link.pNext = nullptr;
    ListItem backless{{&two.link, &one.link}, 6};
    one.link.pNext = &backless.link;
    EXPECT_EQ(ZAV_LinkRemove(&anchor, &backless.link), ZAV_LINK_REMOVE_NEXT_BROKEN);
    one.link.pNext = &two.link;
    SetLastError(77);
    EXPECT_EQ(ZAV_LinkToHead(nullptr, &one.link), ZAV_LINK_HEAD_NULL_ARG);
    EXPECT_EQ(ZAV_LinkToHead(&anchor, nullptr), ZAV_LINK_HEAD_NULL_ARG);
    EXPECT_EQ(ZAV_LinkRemove(&anchor, nullptr), ZAV_LINK_REMOVE_NULL_ARG);
    EXPECT_EQ(GetLastError(), 77u);
    EXPECT_EQ(ZAV_LinkNext(&anchor, nullptr), nullptr) << "not the first link";
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(Walk(true), (std::vector<int>{1, 2, 3}));
    ZAV_IN_FRESH_PROCESS({  // on Windows the child runs this test up to here: no throw may come first
        SetLastError(77);
        EXPECT_EQ(ThrownCode<DWORD>([] { ZAV_LinkPopFirst(nullptr); }), ZAV_LINK_POP_NULL_ANCHOR);
        EXPECT_EQ(GetLastError(), 77u);
        EXPECT_EQ(ThrownCode<DWORD>([] { ZAV_LinkNext(nullptr, nullptr); }), ZAV_LINK_NEXT_NULL_ANCHOR);
        EXPECT_EQ(ThrownCode<DWORD>([] { ZAV_LinkPrior(nullptr, nullptr); }), ZAV_LINK_PRIOR_NULL_ANCHOR);
        EXPECT_EQ(GetLastError(), 77u);
    });
    one.link.pPrior = &three.link;  // damage to the first link
    EXPECT_EQ(ThrownCode<DWORD>([&] { ZAV_LinkPopFirst(&anchor); }), ZAV_LINK_REMOVE_PRIOR_BROKEN);
}

}  // namespace
