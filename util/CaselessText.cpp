// Caseless equality and ordering.
#include <ctype.h>

#include <locale>
#include <string>

#include "WideText.h"
#include "ZAVTextUtil.h"

namespace {


int MatchCounted(const WCHAR* a, unsigned lengthA, const WCHAR* b, unsigned lengthB) {
    if (lengthA != lengthB) return 0;
    for (unsigned i = 0; i < lengthA; ++i)
        if (a[i] != b[i] && zav::MapUnit<toupper>(a[i]) != zav::MapUnit<toupper>(b[i])) return 0;
    return 1;
}

unsigned Length(const WCHAR* text) { return static_cast<unsigned>(lstrlenW(text)); }

// The collate facet exists for wchar_t only; on POSIX each UTF-16 unit is
// widened as it stands, which keeps the order by code unit.
std::wstring Collatable(const ZAVString& s) {
    ZAVString upper(s);
    upper.UCase();
    return std::wstring(upper.c_str(), upper.c_str() + upper.length());
}

}  // namespace

int ZAV_MatchCaseless(const ZAVString& a, const ZAVString& b) {
    return MatchCounted(a.c_str(), a.length(), b.c_str(), b.length());
}

int ZAV_MatchCaseless(const ZAVString& a, const WCHAR* b) {
    return MatchCounted(a.c_str(), a.length(), b, Length(b));
}

int ZAV_MatchCaseless(const WCHAR* a, const WCHAR* b) { return MatchCounted(a, Length(a), b, Length(b)); }

LONG ZAV_CompareCaseless(const ZAVString& a, const ZAVString& b) {
    const std::wstring left = Collatable(a), right = Collatable(b);
    const auto& collate = std::use_facet<std::collate<wchar_t>>(std::locale());
    const int order = collate.compare(left.data(), left.data() + left.size(), right.data(), right.data() + right.size());
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}
