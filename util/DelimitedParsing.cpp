// One field at a time off the front of a delimited text, with quoting.
#include "MemoryBlock.h"
#include "ZAVTextUtil.h"

namespace {

const WCHAR kQuote = 0x22;
const WCHAR kDefaultDelimiters[] = {0x2C, 0};  // ","

// A private copy of the delimiters: the caller's may live in text or token.
class DelimiterCopy {
public:
    explicit DelimiterCopy(const WCHAR* delimiters)
        : length_(static_cast<unsigned>(lstrlenW(delimiters))), chars_(2 * static_cast<size_t>(length_) + 2) {
        lstrcpyW(chars_.get(), delimiters);
    }

    const WCHAR* chars() const { return chars_.get(); }
    unsigned length() const { return length_; }

    bool Contains(WCHAR c) const {
        for (unsigned i = 0; i < length_; ++i)
            if (chars_.get()[i] == c) return true;
        return false;
    }

private:
    unsigned length_;
    zav::MemoryBlock<WCHAR> chars_;
};

struct Field {
    unsigned length;    // characters that form the field
    unsigned consumed;  // those and the delimiter that ended it
};

// An empty delimiter never matches, so a text without delimiters is one
// field and every call makes progress.
Field ScanField(const ZAVString& text, const DelimiterCopy& delimiters, bool wholeDelimiter) {
    const WCHAR* chars = text.c_str();
    const unsigned length = text.length();
    const unsigned d = delimiters.length();
    bool quoted = false;
    for (unsigned i = 0; i < length; ++i) {
        const WCHAR c = chars[i];
        if (c == kQuote) {
            quoted = !quoted;
        } else if (!quoted && !wholeDelimiter) {
            if (delimiters.Contains(c)) return {i, i + 1};
        } else if (!quoted && d != 0 && length - i >= d &&
                   CompareStringW(LOCALE_USER_DEFAULT, 0, chars + i, static_cast<int>(d), delimiters.chars(),
                                  static_cast<int>(d)) == CSTR_EQUAL) {
            return {i, i + d};
        }
    }
    return {length, length};
}

}  // namespace

void ZAV_ParseDelimitedString(ZAVString& text, const WCHAR* delimiters, ZAVString& token, int wholeDelimiter,
                              int trimBlanks) {
    Field field;
    {
        // Copied before text or token change: emptying token releases its
        // buffer, and the caller's delimiters may be in it.
        const DelimiterCopy copy(delimiters != nullptr ? delimiters : kDefaultDelimiters);
        if (trimBlanks) text.Trim();
        token.erase();
        if (text.length() > token.capacity()) token.reserve(text.length());
        field = ScanField(text, copy, wholeDelimiter != 0);
    }
    token.assign(text, 0, field.length);

    if (trimBlanks) token.Trim();
    const unsigned n = token.length();
    if (n >= 2 && token[0] == kQuote && token[n - 1] == kQuote) {
        token.erase(n - 1, 1);
        token.erase(0, 1);
        const WCHAR doubled[] = {kQuote, kQuote, 0}, single[] = {kQuote, 0};
        DWORD count = 0;
        ZAV_ReplaceString(token, doubled, single, &count, 0, 0);
    }
    text.erase(0, field.consumed);
}

void ZAV_ParseDelimitedString(WCHAR* text, const WCHAR* delimiters, WCHAR* token, int wholeDelimiter,
                              int trimBlanks) {
    ZAVString rest(text), field;
    ZAV_ParseDelimitedString(rest, delimiters, field, wholeDelimiter, trimBlanks);
    lstrcpyW(text, rest.c_str());
    lstrcpyW(token, field.c_str());
}
