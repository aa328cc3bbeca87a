// A string workload under failing allocations: every edit either takes
// effect whole or throws bad_alloc with the string as it was.
#include "InjectionLoop.h"

namespace {

class StringWorkload {
public:
    explicit StringWorkload(zavtest::InjectedRun&) {}

    void Act() {
        try {
            ZAVString s(ZAV_TEXT("alpha")), copy;
            model_ = ZAV_TEXT("alpha");
            const WString longer = ZAV_TEXT("a much longer replacement for alpha");
            Edit(s, model_ + ZAV_TEXT(" beta gamma delta"), [&] { s.append(ZAV_TEXT(" beta gamma delta")); });
            Edit(s, ZAV_TEXT(">> ") + model_, [&] { s.insert(0, ZAV_TEXT(">> ")); });
            Edit(s, WString(model_).replace(3, 5, longer), [&] { s.replace(3, 5, longer.c_str()); });
            Edit(s, model_ + WString(40, 'x'), [&] { s.append(40, 'x'); });
            Edit(s, Widen("ansi text of thirty characters"), [&] { s.assign("ansi text of thirty characters"); });
            Edit(s, model_ + Widen(" and its ANSI tail, long enough to grow"), [&] { s.append(" and its ANSI tail, long enough to grow"); });
            Edit(s, model_, [&] { EXPECT_EQ(s.ANSIString(), std::string(model_.begin(), model_.end())); });
            try {
                copy = s;
                EXPECT_EQ(Text(copy), model_);
            } catch (const std::bad_alloc&) {
                EXPECT_TRUE(copy.empty());
            }
            Edit(s, model_ + Text(copy), [&] { s += copy; });
            Edit(s, model_ + WString(20, '-'), [&] { s.resize(static_cast<unsigned>(model_.size()) + 20, '-'); });
            for (WCHAR c = 'a'; c < 'a' + 20; ++c) Edit(s, model_ + c, [&] { s += c; });
            Edit(s, model_.substr(0, 4) + model_.substr(8), [&] { s.erase(4, 4); });
            Edit(s, model_.substr(0, 4), [&] { s.resize(4); });
            kept_ = model_;
        } catch (const std::bad_alloc&) {
            EXPECT_TRUE(model_.empty()) << "an edit's bad_alloc escaped";  // only the constructor's may
        }
    }

    // With memory back, a string that lived through the failures still works.
    void Verify() {
        ZAVString s(kept_.c_str(), static_cast<unsigned>(kept_.size()));
        s.append(ZAV_TEXT(" and more"));
        EXPECT_EQ(Text(s), kept_ + ZAV_TEXT(" and more"));
    }

private:
    // Applies one edit: success gives expected, bad_alloc leaves the text.
    template <typename F>
    void Edit(ZAVString& s, const WString& expected, F&& edit) {
        const WString before = Text(s);
        try {
            edit();
            EXPECT_EQ(Text(s), expected);
        } catch (const std::bad_alloc&) {
            EXPECT_EQ(Text(s), before) << "a failed edit changed the string";
        }
        model_ = Text(s);
    }

    WString model_, kept_;
};

using zavtest::InjectionTest;

TEST_F(InjectionTest, StringWorkload) { Loop<StringWorkload>("string workload"); }

}  // namespace
