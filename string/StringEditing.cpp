// The modifying members of ZAVString: assign, append, insert, erase,
// replace and resize. Each family funnels into one StringCore step.
#include <stdexcept>

#include "AnsiText.h"
#include "MemoryBlock.h"
#include "StringCore.h"
#include "WideText.h"

using zav::StringCore;

namespace zav {

const char kAppendLength[] = "ZAVString::append invalid length parameter";
const char kInsertLength[] = "ZAVString::insert invalid length parameter";
const char kReplaceLength[] = "ZAVString::replace invalid length parameter";

namespace {

unsigned Smaller(unsigned a, unsigned b) { return a < b ? a : b; }

unsigned TerminatedLength(const WCHAR* p) {
    const size_t length = WideLength(p);
    return length < 0xFFFFFFFFu ? static_cast<unsigned>(length) : 0xFFFFFFFFu;
}

// The characters of s from pos, at most count; none when pos is past its end.
struct Source {
    const WCHAR* text;
    unsigned count;
    Source(const ZAVString& s, unsigned pos, unsigned count)
        : text(s.c_str()), count(pos <= s.length() ? Smaller(s.length() - pos, count) : 0) {
        if (this->count != 0) text += pos;
    }
};

// A temporary wide copy of ANSI text, from the memory manager.
class ConvertedAnsi {
public:
    explicit ConvertedAnsi(const char* text)
        : bytes_(text != nullptr ? strlen(text) : 0), chars_(2 * bytes_ + 2), count_(AnsiToWide(text, chars_.get(), bytes_)) {}

    const WCHAR* chars() const { return chars_.get(); }
    // Characters of the converted text available for a request of count.
    unsigned Take(unsigned count) const { return count_ < count ? static_cast<unsigned>(count_) : count; }

private:
    size_t bytes_;
    MemoryBlock<WCHAR> chars_;
    size_t count_;
};

}  // namespace

// Room for count characters when none of the old text survives, so that a
// reallocation need not carry it; a failure leaves the string as it was.
// False when the result has no characters.
bool StringCore::GrowDiscarding(ZAVString& s, unsigned count) {
    const unsigned oldLength = s.m_Length;
    s.m_Length = 0;
    try {
        return s._Grow(count, false);
    } catch (...) {
        s.m_Length = oldLength;
        throw;
    }
}

void StringCore::CheckTotal(unsigned length, unsigned count, const char* message) {
    if (count > 0xFFFFFFFFu - length) throw std::length_error(message);
}

WCHAR* StringCore::Splice(ZAVString& s, unsigned pos, unsigned removed, unsigned count) {
    const unsigned oldLength = s.m_Length;
    const unsigned newLength = oldLength - removed + count;
    if (!s._Grow(newLength, false)) return nullptr;
    MoveChars(s.m_Buffer + pos + count, s.m_Buffer + pos + removed, oldLength - pos - removed);
    return s.m_Buffer + pos;
}

ZAVString& StringCore::Assign(ZAVString& s, const WCHAR* p, unsigned count) {
    if (p == nullptr) count = 0;
    if (count != 0 && Overlaps(s, p)) {
        const ZAVString copy(p, count);
        return Assign(s, copy.m_Buffer, count);
    }
    if (!GrowDiscarding(s, count)) return s;
    CopyChars(s.m_Buffer, p, count);
    s._NullTermString(count);
    return s;
}

ZAVString& StringCore::AssignFill(ZAVString& s, unsigned count, WCHAR ch) {
    if (count == ZAVString::npos) throw std::length_error("ZAVString::assign invalid length parameter");
    if (!GrowDiscarding(s, count)) return s;
    FillChars(s.m_Buffer, ch, count);
    s._NullTermString(count);
    return s;
}

ZAVString& StringCore::Replace(ZAVString& s, unsigned pos, unsigned n, const WCHAR* p, unsigned count,
                               const char* message) {
    if (p == nullptr) count = 0;
    pos = Smaller(pos, s.m_Length);
    const unsigned removed = Smaller(s.m_Length - pos, n);
    CheckTotal(s.m_Length - removed, count, message);
    if (removed == 0 && count == 0) return s;
    if (count != 0 && Overlaps(s, p)) {
        const ZAVString copy(p, count);
        return Replace(s, pos, removed, copy.m_Buffer, count, message);
    }
    const unsigned newLength = s.m_Length - removed + count;
    if (WCHAR* gap = Splice(s, pos, removed, count)) {
        CopyChars(gap, p, count);
        s._NullTermString(newLength);
    }
    return s;
}

ZAVString& StringCore::ReplaceFill(ZAVString& s, unsigned pos, unsigned n, unsigned count, WCHAR ch,
                                   const char* message) {
    pos = Smaller(pos, s.m_Length);
    const unsigned removed = Smaller(s.m_Length - pos, n);
    CheckTotal(s.m_Length - removed, count, message);
    if (removed == 0 && count == 0) return s;
    const unsigned newLength = s.m_Length - removed + count;
    if (WCHAR* gap = Splice(s, pos, removed, count)) {
        FillChars(gap, ch, count);
        s._NullTermString(newLength);
    }
    return s;
}

// Converted before the string changes, so the source may be the string's
// own ANSI form. The count is in converted characters; text that converts
// to fewer gives only what it has.
// The ANSI forms run the growth check before they convert anything.
ZAVString& StringCore::AssignAnsi(ZAVString& s, const char* p, unsigned count) {
    CheckGrowth(count);
    if (count == 0 || p == nullptr) return Assign(s, nullptr, 0);
    const ConvertedAnsi text(p);
    return Assign(s, text.chars(), text.Take(count));
}

ZAVString& StringCore::AppendAnsi(ZAVString& s, const char* p, unsigned count) {
    CheckTotal(s.m_Length, count, kAppendLength);
    if (count == 0) return s;
    CheckGrowth(s.m_Length + count);
    if (p == nullptr) return s;
    const ConvertedAnsi text(p);
    return Replace(s, s.m_Length, 0, text.chars(), text.Take(count), kAppendLength);
}

}  // namespace zav

// assign

ZAVString& ZAVString::assign(const ZAVString& s, unsigned pos, unsigned count) {
    if (&s == this) {
        // Keeps the range in place: first the tail behind it, then the head.
        const unsigned n = pos <= m_Length ? zav::Smaller(m_Length - pos, count) : 0;
        erase(pos + n, npos);
        erase(0, pos);
        return *this;
    }
    const zav::Source source(s, pos, count);
    return StringCore::Assign(*this, source.text, source.count);
}

ZAVString& ZAVString::operator=(const ZAVString& s) { return assign(s, 0, npos); }
ZAVString& ZAVString::assign(const WCHAR* p, unsigned count) { return StringCore::Assign(*this, p, count); }
ZAVString& ZAVString::assign(const WCHAR* p) { return StringCore::Assign(*this, p, zav::TerminatedLength(p)); }
ZAVString& ZAVString::operator=(const WCHAR* p) { return assign(p); }
ZAVString& ZAVString::assign(const char* p, unsigned count) { return StringCore::AssignAnsi(*this, p, count); }

ZAVString& ZAVString::assign(const char* p) {
    const size_t bytes = p != nullptr ? strlen(p) : 0;
    return StringCore::AssignAnsi(*this, p, bytes < npos ? static_cast<unsigned>(bytes) : npos - 1);
}

ZAVString& ZAVString::operator=(const char* p) { return assign(p); }
ZAVString& ZAVString::assign(unsigned count, WCHAR ch) { return StringCore::AssignFill(*this, count, ch); }
ZAVString& ZAVString::operator=(WCHAR ch) { return assign(1, ch); }

ZAVString& ZAVString::assign(const WCHAR* first, const WCHAR* last) {
    return StringCore::Assign(*this, first, _Pdif(last, first));
}

// append

ZAVString& ZAVString::append(const ZAVString& s, unsigned pos, unsigned count) {
    const zav::Source source(s, pos, count);
    return StringCore::Replace(*this, m_Length, 0, source.text, source.count, zav::kAppendLength);
}

ZAVString& ZAVString::operator+=(const ZAVString& s) { return append(s, 0, npos); }

ZAVString& ZAVString::append(const WCHAR* p, unsigned count) {
    return StringCore::Replace(*this, m_Length, 0, p, count, zav::kAppendLength);
}

ZAVString& ZAVString::append(const WCHAR* p) { return append(p, zav::TerminatedLength(p)); }
ZAVString& ZAVString::operator+=(const WCHAR* p) { return append(p); }
ZAVString& ZAVString::append(const char* p, unsigned count) { return StringCore::AppendAnsi(*this, p, count); }

ZAVString& ZAVString::append(const char* p) {
    const size_t bytes = p != nullptr ? strlen(p) : 0;
    return StringCore::AppendAnsi(*this, p, bytes < npos ? static_cast<unsigned>(bytes) : npos);
}

ZAVString& ZAVString::operator+=(const char* p) { return append(p); }

ZAVString& ZAVString::append(unsigned count, WCHAR ch) {
    return StringCore::ReplaceFill(*this, m_Length, 0, count, ch, zav::kAppendLength);
}

ZAVString& ZAVString::operator+=(WCHAR ch) { return append(1, ch); }

ZAVString& ZAVString::append(const WCHAR* first, const WCHAR* last) {
    return replace(end(), end(), first, last);
}

// insert

ZAVString& ZAVString::insert(unsigned pos, const ZAVString& s, unsigned pos2, unsigned count) {
    const zav::Source source(s, pos2, count);
    return StringCore::Replace(*this, pos, 0, source.text, source.count, zav::kInsertLength);
}

ZAVString& ZAVString::insert(unsigned pos, const WCHAR* p, unsigned count) {
    return StringCore::Replace(*this, pos, 0, p, count, zav::kInsertLength);
}

ZAVString& ZAVString::insert(unsigned pos, const WCHAR* p) { return insert(pos, p, zav::TerminatedLength(p)); }

ZAVString& ZAVString::insert(unsigned pos, unsigned count, WCHAR ch) {
    return StringCore::ReplaceFill(*this, pos, 0, count, ch, zav::kInsertLength);
}

WCHAR* ZAVString::insert(const WCHAR* it, WCHAR ch) {
    const unsigned pos = _Pdif(it, m_Buffer);
    insert(pos, 1, ch);
    return _Psum(m_Buffer, pos);
}

void ZAVString::insert(const WCHAR* it, unsigned count, WCHAR ch) { insert(_Pdif(it, m_Buffer), count, ch); }

void ZAVString::insert(WCHAR* it, const WCHAR* first, const WCHAR* last) { replace(it, it, first, last); }

// erase

ZAVString& ZAVString::erase(unsigned pos, unsigned count) {
    if (pos >= m_Length) return *this;
    const unsigned n = zav::Smaller(m_Length - pos, count);
    if (n == 0) return *this;
    const unsigned newLength = m_Length - n;
    if (newLength == 0) {
        _Tidy(true);
        return *this;
    }
    zav::MoveChars(m_Buffer + pos, m_Buffer + pos + n, m_Length - pos - n);
    _NullTermString(newLength);
    return *this;
}

WCHAR* ZAVString::erase(WCHAR* it) {
    const unsigned pos = _Pdif(it, m_Buffer);
    erase(pos, 1);
    return _Psum(m_Buffer, pos);
}

WCHAR* ZAVString::erase(WCHAR* first, WCHAR* last) {
    const unsigned pos = _Pdif(first, m_Buffer);
    erase(pos, _Pdif(last, first));
    return _Psum(m_Buffer, pos);
}

// replace

ZAVString& ZAVString::replace(unsigned pos, unsigned n, const ZAVString& s, unsigned pos2, unsigned count) {
    const zav::Source source(s, pos2, count);
    return StringCore::Replace(*this, pos, n, source.text, source.count, zav::kReplaceLength);
}

ZAVString& ZAVString::replace(unsigned pos, unsigned n, const WCHAR* p, unsigned count) {
    return StringCore::Replace(*this, pos, n, p, count, zav::kReplaceLength);
}

ZAVString& ZAVString::replace(unsigned pos, unsigned n, const WCHAR* p) {
    return replace(pos, n, p, zav::TerminatedLength(p));
}

ZAVString& ZAVString::replace(unsigned pos, unsigned n, unsigned count, WCHAR ch) {
    return StringCore::ReplaceFill(*this, pos, n, count, ch, zav::kReplaceLength);
}

ZAVString& ZAVString::replace(WCHAR* first, WCHAR* last, const ZAVString& s) {
    return replace(_Pdif(first, m_Buffer), _Pdif(last, first), s, 0, npos);
}

ZAVString& ZAVString::replace(WCHAR* first, WCHAR* last, const WCHAR* p, unsigned count) {
    return replace(_Pdif(first, m_Buffer), _Pdif(last, first), p, count);
}

ZAVString& ZAVString::replace(WCHAR* first, WCHAR* last, const WCHAR* p) {
    return replace(_Pdif(first, m_Buffer), _Pdif(last, first), p);
}

ZAVString& ZAVString::replace(WCHAR* first, WCHAR* last, unsigned count, WCHAR ch) {
    return replace(_Pdif(first, m_Buffer), _Pdif(last, first), count, ch);
}

ZAVString& ZAVString::replace(WCHAR* first, WCHAR* last, const WCHAR* first2, const WCHAR* last2) {
    return replace(_Pdif(first, m_Buffer), _Pdif(last, first), first2, _Pdif(last2, first2));
}

// resize

void ZAVString::resize(unsigned n, WCHAR ch) {
    if (n > m_Length)
        append(n - m_Length, ch);
    else
        erase(n, npos);
}

void ZAVString::resize(unsigned n) { resize(n, 0); }
