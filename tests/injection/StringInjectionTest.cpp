// A string workload under failing allocations: every edit either takes
// effect whole or throws bad_alloc with the string as it was.
#include "InjectionLoop.h"

namespace {

class StringWorkload {
public:
    void Act(const InjectedRun&) {
        const WString longer = ZAV_TEXT("a much longer replacement for alpha");
        Edit(ZAV_TEXT("alpha"), [&] { s_.assign(ZAV_TEXT("alpha")); });
        Edit(model_ + Widen(" and its ANSI tail, long enough to grow"), [&] { s_.append(" and its ANSI tail, long enough to grow"); });
        if (model_.size() >= 8) Edit(WString(model_).replace(3, 5, longer), [&] { s_.replace(3, 5, longer.c_str()); });
        Edit(model_, [&] { EXPECT_EQ(s_.ANSIString(), std::string(model_.begin(), model_.end())); });
        for (WCHAR c = 'a'; c < 'a' + 20; ++c) Edit(model_ + c, [&] { s_ += c; });
    }

    // With memory back, a string that lived through the failures still works.
    void Verify(const InjectedRun&) {
        s_.append(ZAV_TEXT(" and more"));
        EXPECT_EQ(Text(s_), model_ + ZAV_TEXT(" and more"));
    }

private:
    // Applies one edit: success gives expected, bad_alloc leaves the text.
    template <typename F>
    void Edit(const WString& expected, F&& edit) {
        try {
            edit();
            EXPECT_EQ(Text(s_), expected);
        } catch (const std::bad_alloc&) {
            EXPECT_EQ(Text(s_), model_) << "a failed edit changed the string";
        }
        model_ = Text(s_);
    }

    ZAVString s_;
    WString model_;
};

TEST_F(InjectionTest, StringWorkload) { Loop<StringWorkload>(); }

}  // namespace
