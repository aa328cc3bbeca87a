// Replacement of every occurrence of a substring, in a string or a buffer.
#include "ZAVTextUtil.h"

DWORD ZAV_ReplaceString(ZAVString& text, const WCHAR* find, const WCHAR* replacement, DWORD* count, DWORD,
                        DWORD maxCount) {
    DWORD replaced = 0;
    if (count == nullptr) count = &replaced;
    *count = 0;
    const unsigned f = static_cast<unsigned>(lstrlenW(find));
    const unsigned r = static_cast<unsigned>(lstrlenW(replacement));
    if (f == 0) return ERROR_INVALID_PARAMETER;

    // The search runs on the terminated text: nothing past an embedded zero
    // is matched, though it is kept.
    const unsigned length = text.length();
    const unsigned searchable = static_cast<unsigned>(lstrlenW(text.c_str()));
    ZAVString result;
    result.reserve(length);
    unsigned pos = 0;
    while (pos < length && (maxCount == 0 || *count < maxCount)) {
        const unsigned hit = text.find(find, pos, f);
        if (hit == ZAVString::npos || hit + f > searchable) break;
        result.append(text.c_str() + pos, hit - pos);
        if (r != 0) result.append(replacement, r);
        ++*count;
        pos = hit + f;
    }
    result.append(text.c_str() + pos, length - pos);
    text = result;
    return ERROR_SUCCESS;
}

DWORD ZAV_ReplaceString(WCHAR* buffer, DWORD* bufferLength, const WCHAR* find, const WCHAR* replacement,
                        DWORD* count, DWORD reserved, DWORD maxCount) {
    if (buffer == nullptr || bufferLength == nullptr) return ERROR_INVALID_PARAMETER;
    ZAVString text(buffer);
    const DWORD result = ZAV_ReplaceString(text, find, replacement, count, reserved, maxCount);
    if (result != ERROR_SUCCESS) return result;
    const DWORD needed = text.length() + 1;
    if (needed > *bufferLength) {
        *bufferLength = needed;
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    lstrcpyW(buffer, text.c_str());
    return ERROR_SUCCESS;
}
