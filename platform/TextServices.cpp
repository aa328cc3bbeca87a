#include "ZAVPlatform.h"

extern "C" int WINAPI lstrlenW(LPCWSTR text) {
    if (text == nullptr) return 0;
    LPCWSTR end = text;
    while (*end != 0) ++end;
    return static_cast<int>(end - text);
}

extern "C" LPWSTR WINAPI lstrcpyW(LPWSTR dest, LPCWSTR source) {
    if (dest == nullptr) return nullptr;
    LPWSTR out = dest;
    if (source != nullptr)
        while ((*out = *source++) != 0) ++out;
    else
        *out = 0;
    return dest;
}

extern "C" LPWSTR WINAPI lstrcpynW(LPWSTR dest, LPCWSTR source, int count) {
    if (dest == nullptr || count <= 0) return dest;
    int i = 0;
    if (source != nullptr)
        for (; i < count - 1 && source[i] != 0; ++i) dest[i] = source[i];
    dest[i] = 0;
    return dest;
}

extern "C" int WINAPI CompareStringW(LCID, DWORD, LPCWSTR a, int countA, LPCWSTR b, int countB) {
    if ((a == nullptr && countA != 0) || (b == nullptr && countB != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (countA < 0) countA = lstrlenW(a);
    if (countB < 0) countB = lstrlenW(b);
    const int common = countA < countB ? countA : countB;
    for (int i = 0; i < common; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
    return countA < countB ? CSTR_LESS_THAN : countA > countB ? CSTR_GREATER_THAN : CSTR_EQUAL;
}

extern "C" LPWSTR WINAPI CharNextW(LPCWSTR current) {
    if (current != nullptr && *current != 0) ++current;
    return const_cast<LPWSTR>(current);
}

extern "C" LPWSTR WINAPI CharPrevW(LPCWSTR start, LPCWSTR current) {
    if (current != nullptr && current > start) --current;
    return const_cast<LPWSTR>(current);
}
