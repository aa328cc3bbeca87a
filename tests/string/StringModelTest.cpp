// Long random sequences of edits and searches, run on ZAVString and on a
// WString model. Where the two classes differ by contract (clamped
// positions, empty sets, the fixed growth step) the model applies the rule.
#include <random>
#include <stdexcept>
#include <string>

#include "StringTestSupport.h"

namespace {

using Model = WString;
const unsigned npos = ZAVString::npos;

size_t Wide(unsigned pos) { return pos == npos ? Model::npos : pos; }
unsigned Narrow(size_t pos) { return pos == Model::npos ? npos : static_cast<unsigned>(pos); }
int Sign(int v) { return (v > 0) - (v < 0); }

// Capacity as the contract defines it: 16k - 1 from the requested length,
// kept while it suffices (a request equal to it reallocates to the same).
class CapacityModel {
public:
    void Request(size_t length) {
        if (length != 0 && length >= capacity_) capacity_ = length | 15;
    }
    void Release() { capacity_ = 0; }
    size_t value() const { return capacity_; }

private:
    size_t capacity_ = 0;
};

class Differential {
public:
    explicit Differential(unsigned seed) : rng_(seed) {}

    void Step() {
        const Model text = RandomText();
        const unsigned pos = RandomPosition(), count = RandomCount();
        switch (rng_() % 13) {
            case 0:
                s_.append(text.c_str(), Narrow(text.size()));
                Grow(model_ + text);
                break;
            case 1:
                if (count == npos) {  // too long for any string: refused, nothing changes
                    EXPECT_THROW(s_.append(count, ZAV_TEXT('#')), std::length_error);
                    break;
                }
                s_.append(count, ZAV_TEXT('#'));
                Grow(model_ + Model(count, ZAV_TEXT('#')));
                break;
            case 2:
                s_.insert(pos, text.c_str());
                Grow(Model(model_).insert(Clamp(pos), text));
                break;
            case 3: {
                const size_t at = Clamp(pos);
                s_.replace(pos, count, text.c_str(), Narrow(text.size()));
                Grow(Model(model_).replace(at, count, text));
                break;
            }
            case 4: {
                if (pos >= model_.size()) {
                    s_.erase(pos, count);  // nothing happens
                    break;
                }
                s_.erase(pos, count);
                Model next = Model(model_).erase(pos, count);
                if (next.empty()) capacity_.Release();
                model_ = next;
                break;
            }
            case 5:
                s_.assign(text.c_str());
                model_ = text;
                capacity_.Request(text.size());
                break;
            case 6: {
                const unsigned n = count % 60;
                s_.resize(n, ZAV_TEXT('~'));
                if (n > model_.size()) {
                    Grow(model_ + Model(n - model_.size(), ZAV_TEXT('~')));
                } else if (n < model_.size()) {
                    model_.resize(n);
                    if (n == 0) capacity_.Release();
                }
                break;
            }
            case 7: {  // its own text as the source
                const ZAVString copy(s_);
                const size_t at = Clamp(pos);
                s_.insert(pos, s_);
                Grow(Model(model_).insert(at, model_));
                EXPECT_EQ(Text(copy), Model(Text(s_)).erase(at, copy.size()));
                break;
            }
            case 8: {
                const unsigned at = static_cast<unsigned>(Clamp(pos));
                const Model removed = model_.substr(at, count);
                s_.replace(s_.begin() + at, s_.begin() + at + removed.size(), text.c_str(),
                           text.c_str() + text.size());
                Grow(Model(model_).replace(at, removed.size(), text));
                break;
            }
            case 9:
                EditFromInside(pos, count);
                break;
            default:
                CheckSearches(text, pos);
                break;
        }
        ASSERT_EQ(model_, Text(s_));
        ASSERT_EQ(capacity_.value(), s_.capacity()) << "length " << model_.size();
        ASSERT_EQ(0, s_.c_str()[s_.size()]);
    }

private:
    // Short texts over a small alphabet, so that searches often succeed.
    Model RandomText() {
        Model text(rng_() % 6, ZAV_TEXT('a'));
        for (auto& ch : text) ch = static_cast<WCHAR>(ZAV_TEXT('a') + rng_() % 3);
        return text;
    }
    unsigned RandomPosition() {
        const unsigned r = rng_() % 10;
        if (r == 0) return npos;
        if (r == 1) return static_cast<unsigned>(model_.size()) + rng_() % 3;
        return model_.empty() ? 0 : rng_() % (model_.size() + 1);
    }
    unsigned RandomCount() { return rng_() % 8 == 0 ? npos : rng_() % 12; }
    size_t Clamp(unsigned pos) const { return pos < model_.size() ? pos : model_.size(); }

    void Grow(const Model& next) {
        if (next == model_ && next.empty()) return;
        capacity_.Request(next.size());
        model_ = next;
    }

    // A source inside the string itself, which the edit may move or reallocate.
    void EditFromInside(unsigned pos, unsigned count) {
        const unsigned from = model_.empty() ? 0 : rng_() % model_.size();
        const unsigned n = static_cast<unsigned>(model_.empty() ? 0 : rng_() % (model_.size() - from + 1));
        const Model source = model_.substr(from, n);
        const WCHAR* inside = s_.c_str() + from;
        switch (rng_() % 4) {
            case 0:
                s_.append(inside, n);
                Grow(model_ + source);
                break;
            case 1:
                s_.insert(pos, inside, n);
                Grow(Model(model_).insert(Clamp(pos), source));
                break;
            case 2:
                s_.replace(pos, count, inside, n);
                Grow(Model(model_).replace(Clamp(pos), count, source));
                break;
            default:
                s_.assign(inside);  // to the terminator
                model_ = model_.substr(from);
                capacity_.Request(model_.size());
                break;
        }
    }

    void CheckSearches(const Model& text, unsigned pos) {
        const ZAVString pattern(text.c_str());
        const size_t at = Wide(pos);
        EXPECT_EQ(Narrow(model_.find(text, at)), s_.find(pattern, pos));
        EXPECT_EQ(Narrow(model_.rfind(text, at)), s_.rfind(pattern, pos));
        EXPECT_EQ(Narrow(model_.find_first_of(text, at)), s_.find_first_of(pattern, pos));
        EXPECT_EQ(Narrow(model_.find_last_of(text, at)), s_.find_last_of(pattern, pos));
        if (!text.empty()) {  // with an empty set the contract answers npos
            EXPECT_EQ(Narrow(model_.find_first_not_of(text, at)), s_.find_first_not_of(pattern, pos));
            EXPECT_EQ(Narrow(model_.find_last_not_of(text, at)), s_.find_last_not_of(pattern, pos));
        }
        EXPECT_EQ(Sign(model_.compare(text)), s_.compare(pattern));
        if (pos <= model_.size()) {
            EXPECT_EQ(Sign(model_.compare(pos, 3, text)), s_.compare(pos, 3, pattern));
            EXPECT_EQ(model_.substr(pos, 4), Text(s_.substr(pos, 4)));
        }
    }

    std::mt19937 rng_;
    ZAVString s_;
    Model model_;
    CapacityModel capacity_;
};

TEST(StringModel, RandomSequencesAgreeWithTheStandardStringAndTheGrowthRule) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        Differential run(seed);
        for (int step = 0; step < 2500 && !::testing::Test::HasFatalFailure(); ++step) run.Step();
        ASSERT_FALSE(::testing::Test::HasFatalFailure()) << "seed " << seed;
    }
}

}  // namespace
