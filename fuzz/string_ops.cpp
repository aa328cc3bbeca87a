// A ZAVString operation interpreter checked against a std::u16string model
// of its rules: each step applies one member to both and compares text,
// terminator and the exception. Only length_error and out_of_range may
// leave a member.
#include <stdexcept>

#include "FuzzSupport.h"
#include "ZAVUtil1.h"

namespace {

enum class Thrown { kNone, kLength, kRange };

template <typename Step>
Thrown Run(Step step) {
    try {
        step();
    } catch (const std::length_error&) {
        return Thrown::kLength;
    } catch (const std::out_of_range&) {
        return Thrown::kRange;
    }
    return Thrown::kNone;
}

size_t Model(unsigned position) { return position == ZAVString::npos ? std::u16string::npos : position; }
unsigned Found(size_t position) { return position == std::u16string::npos ? ZAVString::npos : static_cast<unsigned>(position); }
int Sign(int value) { return value < 0 ? -1 : value > 0; }
std::u16string Text(const ZAVString& s) { return std::u16string(s.c_str(), s.length()); }

char16_t Upper(char16_t c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }
char16_t Lower(char16_t c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    ZAVString s;
    std::u16string m;
    for (int step = 0; step < 64 && data.remaining_bytes() > 0; ++step) {
        const int op = data.ConsumeIntegralInRange(0, 20);
        const std::u16string arg = fuzz::TakeWide(data, 24);
        const unsigned pos = fuzz::TakeCount(data, 40);
        const unsigned count = fuzz::TakeCount(data, 40);
        const unsigned n = data.ConsumeIntegralInRange<unsigned>(0, static_cast<unsigned>(arg.size()));
        const char16_t ch = arg.empty() ? u'c' : arg[0];
        const WCHAR* p = arg.c_str();
        Thrown got = Thrown::kNone, want = Thrown::kNone;
        // Positions past the end clamp (insert, replace), do nothing (erase)
        // or give an empty result (substr); only at() rejects one. Source
        // positions past the source are the caller's error, so stay inside.
        const size_t length = m.size();
        const size_t at = pos > length ? length : pos;
        const unsigned source = static_cast<unsigned>(count % (length + 1));
        switch (op) {
            case 0: got = Run([&] { s.assign(p, n); }); m.assign(p, n); break;
            case 1: got = Run([&] { s.append(p, n); }); m.append(p, n); break;
            case 2: got = Run([&] { s.insert(pos, p, n); }); m.insert(at, p, n); break;
            case 3:
                got = Run([&] { s.erase(pos, count); });
                if (pos < length) m.erase(pos, Model(count));
                break;
            case 4: got = Run([&] { s.replace(pos, count, p, n); }); m.replace(at, Model(count), p, n); break;
            case 5: {
                const unsigned to = count % 200;
                got = Run([&] { s.resize(to, ch); });
                m.resize(to, ch);
                break;
            }
            case 6: got = Run([&] { s.append(count % 200, ch); }); m.append(count % 200, ch); break;
            case 7: {
                std::u16string part;
                got = Run([&] { part = Text(s.substr(pos, count)); });
                FUZZ_CHECK(part == (pos > length ? std::u16string() : m.substr(pos, Model(count))));
                break;
            }
            case 8: FUZZ_CHECK(s.find(p, pos) == Found(m.find(arg, Model(pos)))); break;
            case 9: FUZZ_CHECK(s.rfind(p, pos) == Found(m.rfind(arg, Model(pos)))); break;
            case 10: FUZZ_CHECK(s.find_first_of(p, pos) == Found(m.find_first_of(arg, Model(pos)))); break;
            case 11: {
                // An empty set answers npos.
                const size_t expected = arg.empty() ? std::u16string::npos : m.find_last_not_of(arg, Model(pos));
                FUZZ_CHECK(s.find_last_not_of(p, pos) == Found(expected));
                break;
            }
            case 12:
                if (pos <= length) FUZZ_CHECK(Sign(s.compare(pos, count, p)) == Sign(m.compare(pos, Model(count), arg)));
                break;
            case 13: {
                WCHAR c = 0;
                got = Run([&] { c = s.at(pos); });
                if (pos > length) want = Thrown::kRange;
                else FUZZ_CHECK(c == (pos == length ? 0 : m[pos]));
                break;
            }
            case 14:
                if (data.ConsumeBool()) {
                    s.UCase();
                    for (char16_t& c : m) c = Upper(c);
                } else {
                    s.LCase();
                    for (char16_t& c : m) c = Lower(c);
                }
                break;
            case 15: {
                s.Trim();
                const size_t first = m.find_first_not_of(u' ');
                m = first == std::u16string::npos ? u"" : m.substr(first, m.find_last_not_of(u' ') - first + 1);
                break;
            }
            case 16:
                // Past the largest length: the growth check throws before anything changes.
                got = Run([&] { s.append(0x7FFFFFFFu - s.length() + (count % 4), ch); });
                want = Thrown::kLength;
                break;
            case 17: got = Run([&] { s.append(s, source, pos); }); m.append(std::u16string(m), source, Model(pos)); break;
            case 18: got = Run([&] { s.insert(pos, s, source, n); }); m.insert(at, std::u16string(m), source, n); break;
            case 19: got = Run([&] { s.replace(pos, n, s, source, n); }); m.replace(at, n, std::u16string(m), source, n); break;
            default: {
                const char* ansi = s.ANSIString();
                FUZZ_CHECK(ansi != nullptr);
                ZAVString copy(s);
                copy.swap(s);
                break;
            }
        }
        FUZZ_CHECK(got == want);
        FUZZ_CHECK(Text(s) == m);
        FUZZ_CHECK(s.c_str()[s.length()] == 0);
    }
    return 0;
}
