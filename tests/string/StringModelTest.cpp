// Long random sequences of edits and queries, run on ZAVString and on a
// WString model. Where the two classes differ by contract (clamped
// positions, empty sets, Right past the length, ASCII-only case mapping, the
// fixed growth step) the model applies the rule.
#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

using Model = WString;
const unsigned npos = ZAVString::npos;

unsigned Narrow(size_t pos) { return pos == Model::npos ? npos : static_cast<unsigned>(pos); }
int Sign(int v) { return (v > 0) - (v < 0); }
// A slice past the end of a text is empty.
Model Slice(const Model& text, size_t pos, size_t n) { return pos <= text.size() ? text.substr(pos, n) : Model(); }
// The default locale's bytes: a unit below 0x100 is the byte of its value,
// any other '?'. Ansi is the text that comes back from them.
Model Ansi(Model text) {
    for (auto& ch : text) ch = ch < 0x100 ? ch : ZAV_TEXT('?');
    return text;
}
std::string Bytes(const Model& text) {
    const Model ansi = Ansi(text);
    return std::string(ansi.begin(), ansi.end());
}

class Differential {
public:
    explicit Differential(unsigned seed) : rng_(seed) {}

    void Step() {
        const Model text = RandomText();
        const ZAVString source(text.c_str());
        const unsigned pos = RandomPosition(), count = RandomCount(), from = rng_() % 8, form = rng_() % 4;
        const unsigned at = static_cast<unsigned>(std::min<size_t>(pos, model_.size()));
        const Model sliced = Slice(text, from, count);  // a source sliced past its end reads as empty
        switch (rng_() % 17) {
            case 0:
                if (form == 0) s_ += text.c_str();
                if (form == 1) s_ += source;
                if (form == 2) s_.append(source, from, count);
                if (form == 3) s_ += Bytes(text).c_str();
                Grow(model_ + (form == 2 ? sliced : form == 3 ? Ansi(text) : text));
                break;
            case 1:
                if (count == npos) {  // too long for any string: refused, nothing changes
                    EXPECT_THROW(s_.append(count, ZAV_TEXT('#')), std::length_error);
                    break;
                }
                if (count == 1) s_ += ZAV_TEXT('#');
                if (count == 2) s_.replace(s_.end(), s_.end(), 2u, ZAV_TEXT('#'));
                if (count > 2 || count == 0) s_.append(count, ZAV_TEXT('#'));
                Grow(model_ + Model(count, ZAV_TEXT('#')));
                break;
            case 2:
                form % 2 ? s_.insert(pos, text.c_str()) : s_.insert(pos, source, from, count);
                Grow(Model(model_).insert(at, form % 2 ? text : sliced));
                break;
            case 3:
                form % 2 ? s_.replace(pos, count, text.c_str()) : s_.replace(pos, count, source, from, count);
                Grow(Model(model_).replace(at, count, form % 2 ? text : sliced));
                break;
            case 4:  // past the end nothing happens
                form % 2 ? s_.erase(pos, count) : s_.assign(s_, pos, count);
                Shrink(form % 2 ? Model(model_).erase(at, pos < model_.size() ? count : 0) : Slice(model_, pos, count));
                break;
            case 5:  // an ANSI count past the text takes the text
                if (form == 0) s_.assign(text.c_str());
                if (form == 1) from % 2 ? s_ = source : s_ = Bytes(text).c_str();
                if (form == 2) s_.assign(Bytes(text).c_str(), count % 8);
                if (form == 3) s_.assign(text.c_str(), text.c_str() + text.size());
                model_ = form == 2 ? Ansi(text.substr(0, count % 8)) : form == 1 && from % 2 == 0 ? Ansi(text) : text;
                Request(model_.size());
                break;
            case 6:
                if (form == 0) {  // reserve never shrinks
                    s_.reserve(count % 60);
                    Request(count % 60);
                    break;
                }
                s_.resize(count % 60, ZAV_TEXT('~'));
                if (count % 60 > model_.size()) Grow(model_ + Model(count % 60 - model_.size(), ZAV_TEXT('~')));
                Shrink(model_.substr(0, count % 60));
                break;
            case 7:  // its own text as the source
                s_.insert(pos, s_);
                Grow(Model(model_).insert(at, model_));
                break;
            case 8: {
                const unsigned n = static_cast<unsigned>(std::min<size_t>(count, model_.size() - at));
                const WCHAR* const first = text.c_str();
                WCHAR* const begin = s_.begin() + at;
                if (form == 0) s_.insert(begin, first, first + text.size());
                if (form == 1) s_.replace(begin, begin + n, first, first + text.size());
                if (form == 2) s_.replace(begin, begin + n, source);
                if (form == 3) s_.replace(begin, begin + n, first, Narrow(text.size()));
                Grow(Model(model_).replace(at, form == 0 ? 0 : n, text));
                break;
            }
            case 9:
                EditFromInside(pos, count, at);
                break;
            case 10: {  // blanks are spaces only
                const size_t first = model_.find_first_not_of(ZAV_TEXT(' '));
                const size_t last = model_.find_last_not_of(ZAV_TEXT(' '));
                const size_t begin = form == 1 ? 0 : first, end = form == 0 ? model_.size() : last + 1;
                form == 0 ? s_.LTrim() : form == 1 ? s_.RTrim() : s_.Trim();
                Shrink(first == Model::npos ? Model() : model_.substr(begin, end - begin));
                break;
            }
            case 11:
                form % 2 ? s_.UCase() : s_.LCase();
                for (auto& ch : model_) {
                    if (ch >= (form % 2 ? 'a' : 'A') && ch <= (form % 2 ? 'z' : 'Z')) ch ^= 0x20;
                }
                break;
            case 12:
                form % 2 ? s_.ForcePrefix(source) : s_.ForceSuffix(ZAV_TEXT(' '));
                if (form % 2 && model_.compare(0, text.size(), text) != 0) Grow(text + model_);
                if (form % 2 == 0 && (model_.empty() || model_.back() != ZAV_TEXT(' '))) Grow(model_ + ZAV_TEXT(' '));
                break;
            case 13: {  // the pointer forms answer where the characters are now
                const unsigned n = std::min(form == 2 ? 1 : count % 4, static_cast<unsigned>(model_.size() - at));
                WCHAR* result = s_.begin() + at;
                if (form == 0) result = s_.insert(result, ZAV_TEXT('+'));
                if (form == 1) s_.insert(result, from, ZAV_TEXT('-'));
                if (form == 2 && n == 1) result = s_.erase(result);
                if (form == 3) result = s_.erase(result, result + n);
                if (form <= 1) Grow(Model(model_).insert(at, form ? from : 1, form ? ZAV_TEXT('-') : ZAV_TEXT('+')));
                if (form >= 2) Shrink(Model(model_).erase(at, n));
                EXPECT_TRUE(form == 1 || s_.begin() + at == result);
                break;
            }
            case 14: {
                ZAVString other(source);
                s_.swap(other);
                EXPECT_EQ(model_, Text(other));
                EXPECT_EQ(capacity_, other.capacity());
                model_ = text;
                capacity_ = text.empty() ? 0 : text.size() | 15;
                break;
            }
            default:
                CheckQueries(text, pos, count);
                break;
        }
        ASSERT_EQ(model_, Text(s_));
        ASSERT_EQ(model_.size(), s_.empty() ? 0u : s_.length());
        ASSERT_EQ(capacity_, s_.capacity()) << "length " << model_.size();
        ASSERT_EQ(0, s_.c_str()[s_.size()]);
    }

private:
    // Short texts over a small alphabet, so that searches often succeed: a
    // space, both cases, units above ASCII and one with the top bit.
    Model RandomText() {
        static const WCHAR alphabet[] = {ZAV_TEXT('a'), ZAV_TEXT('B'), ZAV_TEXT(' '), 0xE9, 0xFFFF};
        Model text(rng_() % 6, ZAV_TEXT('a'));
        for (auto& ch : text) ch = alphabet[rng_() % 5];
        return text;
    }
    unsigned RandomPosition() {
        const unsigned r = rng_() % 10;
        if (r == 0) return npos;
        if (r == 1) return static_cast<unsigned>(model_.size()) + rng_() % 3;
        return model_.empty() ? 0 : rng_() % (model_.size() + 1);
    }
    unsigned RandomCount() { return rng_() % 8 == 0 ? npos : rng_() % 12; }

    // Capacity as the contract defines it: 16k - 1 from the requested length,
    // kept while it suffices (a request equal to it reallocates to the same).
    void Request(size_t length) {
        if (length != 0 && length >= capacity_) capacity_ = length | 15;
    }
    void Grow(const Model& next) {
        Request(next.size());
        model_ = next;
    }
    // Removing keeps the buffer, unless nothing is left.
    void Shrink(const Model& next) {
        if (next.empty() && !model_.empty()) capacity_ = 0;
        model_ = next;
    }

    // A source inside the string itself, which the edit may move or reallocate.
    void EditFromInside(unsigned pos, unsigned count, unsigned at) {
        const unsigned from = model_.empty() ? 0 : rng_() % model_.size();
        const unsigned n = static_cast<unsigned>(model_.empty() ? 0 : rng_() % (model_.size() - from + 1));
        const Model source = model_.substr(from, n);
        const WCHAR* inside = s_.c_str() + from;
        switch (rng_() % 4) {
            case 0:
                s_.replace(pos, count, inside, n);
                Grow(Model(model_).replace(at, count, source));
                break;
            case 1:
                s_.append(inside, n);
                Grow(model_ + source);
                break;
            case 2:  // the ANSI form, released on the way
                s_.append(s_.ANSIString() + from);
                Grow(model_ + Ansi(model_.substr(from)));
                break;
            default:
                s_.assign(inside);  // to the terminator
                model_ = model_.substr(from);
                Request(model_.size());
                break;
        }
    }

    void CheckQueries(const Model& text, unsigned pos, unsigned count) {
        const ZAVString pattern(text.c_str());
        const size_t at = pos == npos ? Model::npos : pos;
        EXPECT_EQ(Narrow(model_.find(text, at)), s_.find(pattern, pos));
        EXPECT_EQ(Narrow(model_.rfind(text, at)), s_.rfind(pattern, pos));
        EXPECT_EQ(Narrow(model_.find_first_of(text, at)), s_.find_first_of(pattern, pos));
        EXPECT_EQ(Narrow(model_.find_last_of(text, at)), s_.find_last_of(pattern, pos));
        // With an empty set the contract answers npos, "not in the set" too.
        EXPECT_EQ(text.empty() ? npos : Narrow(model_.find_first_not_of(text, at)), s_.find_first_not_of(pattern, pos));
        EXPECT_EQ(text.empty() ? npos : Narrow(model_.find_last_not_of(text, at)), s_.find_last_not_of(pattern, pos));
        EXPECT_EQ(Sign(model_.compare(text)), s_.compare(pattern));
        EXPECT_EQ(Sign(model_.compare(text)), s_.compare(text.c_str()));
        EXPECT_EQ(Sign(Slice(model_, pos, 3).compare(text)), s_.compare(pos, 3, pattern));
        EXPECT_EQ(Sign(Slice(model_, pos, 3).compare(Slice(text, count, 2))), s_.compare(pos, 3, pattern, count, 2));
        EXPECT_EQ(Slice(model_, pos, 4), Text(s_.substr(pos, 4)));
        EXPECT_EQ(Slice(model_, pos, count), Text(ZAVString(s_, pos, count)));
        EXPECT_EQ(model_.substr(0, count), Text(s_.Left(count)));
        EXPECT_EQ(count <= model_.size() ? model_.substr(model_.size() - count) : Model(), Text(s_.Right(count)));
        EXPECT_EQ(Bytes(model_), s_.ANSIString());
        // [] past the text reads the shared empty string, at() the terminator, then throws.
        EXPECT_EQ(pos < model_.size() ? s_.c_str() + pos : ZAVString().c_str(), &s_[pos]);
        if (pos > model_.size()) {
            EXPECT_THROW(s_.at(pos), std::out_of_range);
        } else {
            EXPECT_EQ(s_.c_str() + pos, &s_.at(pos));
        }
        EXPECT_EQ(capacity_ == 0 ? nullptr : s_.c_str(), s_.begin());
        // copy writes no terminator, CopyTString does.
        WCHAR copied[16], terminated[16];
        std::fill(copied, copied + 16, ZAV_TEXT('#'));
        const Model expected = pos < model_.size() ? model_.substr(pos, count % 12) : Model();
        EXPECT_EQ(expected.size(), s_.copy(copied, count % 12, pos));
        EXPECT_EQ(expected + ZAV_TEXT('#'), Model(copied, expected.size() + 1));
        EXPECT_EQ(expected.size(), s_.CopyTString(terminated, count % 12, pos));
        EXPECT_EQ(expected, Model(terminated));
    }

    std::mt19937 rng_;
    ZAVString s_;
    Model model_;
    size_t capacity_ = 0;
};

TEST(StringModel, RandomSequencesAgreeWithTheStandardStringAndTheGrowthRule) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        Differential run(seed);
        for (int step = 0; step < 2500 && !::testing::Test::HasFatalFailure(); ++step) run.Step();
        ASSERT_FALSE(::testing::Test::HasFatalFailure()) << "seed " << seed;
    }
}

}  // namespace
