// The read-only side of ZAVString: the six searches and the comparisons.
// Plain linear scans; a character set is tested against every member.
#include "StringCore.h"
#include "WideText.h"

namespace {

unsigned TerminatedLength(const WCHAR* p) { return static_cast<unsigned>(zav::WideLength(p)); }

bool InSet(const WCHAR* set, unsigned n, WCHAR ch) { return zav::FindChar(set, n, ch) != nullptr; }

}  // namespace

unsigned ZAVString::find(const WCHAR* p, unsigned pos, unsigned n) const {
    if (n == 0) return pos <= m_Length ? pos : npos;
    if (pos >= m_Length || n > m_Length - pos) return npos;
    const WCHAR* const text = m_Buffer;
    const WCHAR* candidate = text + pos;
    const WCHAR* const lastStart = text + (m_Length - n);
    while (candidate <= lastStart) {
        candidate = zav::FindChar(candidate, static_cast<size_t>(lastStart - candidate) + 1, p[0]);
        if (candidate == nullptr) return npos;
        if (zav::CompareChars(candidate + 1, p + 1, n - 1) == 0) return static_cast<unsigned>(candidate - text);
        ++candidate;
    }
    return npos;
}

unsigned ZAVString::rfind(const WCHAR* p, unsigned pos, unsigned n) const {
    if (n > m_Length) return npos;
    if (n == 0) return pos < m_Length ? pos : m_Length;
    for (unsigned i = pos < m_Length - n ? pos : m_Length - n;; --i) {
        if (m_Buffer[i] == p[0] && zav::CompareChars(m_Buffer + i + 1, p + 1, n - 1) == 0) return i;
        if (i == 0) return npos;
    }
}

unsigned ZAVString::find_first_of(const WCHAR* p, unsigned pos, unsigned n) const {
    if (n == 0 || pos >= m_Length) return npos;
    for (unsigned i = pos; i < m_Length; ++i)
        if (InSet(p, n, m_Buffer[i])) return i;
    return npos;
}

unsigned ZAVString::find_last_of(const WCHAR* p, unsigned pos, unsigned n) const {
    if (n == 0 || m_Length == 0) return npos;
    for (unsigned i = pos < m_Length - 1 ? pos : m_Length - 1;; --i) {
        if (InSet(p, n, m_Buffer[i])) return i;
        if (i == 0) return npos;
    }
}

unsigned ZAVString::find_first_not_of(const WCHAR* p, unsigned pos, unsigned n) const {
    if (n == 0 || pos >= m_Length) return npos;
    for (unsigned i = pos; i < m_Length; ++i)
        if (!InSet(p, n, m_Buffer[i])) return i;
    return npos;
}

unsigned ZAVString::find_last_not_of(const WCHAR* p, unsigned pos, unsigned n) const {
    if (n == 0 || m_Length == 0) return npos;
    for (unsigned i = pos < m_Length - 1 ? pos : m_Length - 1;; --i) {
        if (!InSet(p, n, m_Buffer[i])) return i;
        if (i == 0) return npos;
    }
}

// The overloads: a string's characters, a terminated text, one character.
#define ZAV_SEARCH_OVERLOADS(name)                                                                      \
    unsigned ZAVString::name(const ZAVString& s, unsigned pos) const { return name(s.c_str(), pos, s.m_Length); } \
    unsigned ZAVString::name(const WCHAR* p, unsigned pos) const { return name(p, pos, TerminatedLength(p)); } \
    unsigned ZAVString::name(WCHAR ch, unsigned pos) const { return name(&ch, pos, 1); }

ZAV_SEARCH_OVERLOADS(find)
ZAV_SEARCH_OVERLOADS(rfind)
ZAV_SEARCH_OVERLOADS(find_first_of)
ZAV_SEARCH_OVERLOADS(find_last_of)
ZAV_SEARCH_OVERLOADS(find_first_not_of)
ZAV_SEARCH_OVERLOADS(find_last_not_of)

#undef ZAV_SEARCH_OVERLOADS

// A position past the end compares as an empty range.
int ZAVString::compare(unsigned pos, unsigned n0, const WCHAR* p, unsigned n) const {
    const unsigned available = pos <= m_Length ? m_Length - pos : 0;
    const unsigned mine = available < n0 ? available : n0;
    const int order = zav::CompareChars(c_str() + (mine != 0 ? pos : 0), p, mine < n ? mine : n);
    if (order != 0) return order;
    return mine < n ? -1 : mine > n ? 1 : 0;
}

int ZAVString::compare(const ZAVString& s) const { return compare(0, m_Length, s.c_str(), s.m_Length); }

int ZAVString::compare(const WCHAR* p) const { return compare(0, m_Length, p, TerminatedLength(p)); }

int ZAVString::compare(unsigned pos, unsigned n0, const WCHAR* p) const {
    return compare(pos, n0, p, TerminatedLength(p));
}

int ZAVString::compare(unsigned pos, unsigned n0, const ZAVString& s) const {
    return compare(pos, n0, s.c_str(), s.m_Length);
}

int ZAVString::compare(unsigned pos, unsigned n0, const ZAVString& s, unsigned pos2, unsigned n2) const {
    const unsigned available = pos2 <= s.m_Length ? s.m_Length - pos2 : 0;
    const unsigned theirs = available < n2 ? available : n2;
    return compare(pos, n0, s.c_str() + (theirs != 0 ? pos2 : 0), theirs);
}
