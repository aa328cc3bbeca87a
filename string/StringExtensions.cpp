// Substrings, case mapping, trimming and the forced prefix and suffix.
#include <ctype.h>

#include "StringCore.h"
#include "WideText.h"

namespace {

const WCHAR kBlank = 0x20;  // the only blank: tabs and line breaks stay

template <int (*Map)(int)>
void MapCase(WCHAR* text, unsigned length) {
    for (unsigned i = 0; i < length; ++i) text[i] = zav::MapUnit<Map>(text[i]);
}

}  // namespace

ZAVString ZAVString::substr(unsigned pos, unsigned count) const { return ZAVString(*this, pos, count); }

ZAVString ZAVString::Left(unsigned n) const { return ZAVString(*this, 0, n); }

// Unsigned on purpose: n past the length starts past the end, giving "".
ZAVString ZAVString::Right(unsigned n) const { return ZAVString(*this, m_Length - n, n); }

void ZAVString::UCase() { MapCase<toupper>(m_Buffer, m_Length); }

void ZAVString::LCase() { MapCase<tolower>(m_Buffer, m_Length); }

void ZAVString::LTrim() {
    const unsigned first = find_first_not_of(&kBlank, 0, 1);
    erase(0, first);  // npos: all blank, erased whole
}

void ZAVString::RTrim() {
    const unsigned last = find_last_not_of(&kBlank, npos, 1);
    if (last == npos)
        erase(0, npos);
    else
        resize(last + 1);
}

void ZAVString::Trim() {
    RTrim();
    LTrim();
}

void ZAVString::ForceSuffix(WCHAR ch) {
    if (m_Length == 0 || m_Buffer[m_Length - 1] != ch) append(1, ch);
}

void ZAVString::ForcePrefix(const ZAVString& prefix) {
    const unsigned n = prefix.m_Length;
    if (n == 0) return;
    if (m_Length < n || compare(0, n, prefix.c_str(), n) != 0) insert(0, prefix, 0, npos);
}
