// Plain wide buffers: trimming and copying in place, resizing blocks of the
// memory manager, ranges compared, and the left and right parts of a string.
#include <string.h>

#include "ZAVMemory.h"
#include "ZAVTextUtil.h"

namespace {

const WCHAR kBlank = 0x20;

// The part of a text a range selects: a negative count runs to the
// terminator, and the range is clamped to the text.
struct Range {
    const WCHAR* chars;
    LONG count;
    Range(const WCHAR* text, LONG count, LONG start) : chars(text), count(0) {
        const LONG length = lstrlenW(text);
        if (start < 0) start = 0;
        if (start >= length) return;
        chars = text + start;
        this->count = count < 0 || count > length - start ? length - start : count;
    }
};

}  // namespace

void ZAV_Trim(WCHAR* text) {
    if (text == nullptr) return;
    DWORD length;
    if (*text == kBlank) {
        const WCHAR* first = text;
        while (*first == kBlank) first = CharNextW(first);
        length = static_cast<DWORD>(lstrlenW(first));
        ZAV_OverlappedStringCopy(text, first, length);
    } else {
        length = static_cast<DWORD>(lstrlenW(text));
    }
    if (length == 0) {
        *text = 0;
        return;
    }
    const WCHAR* last = text + length - 1;
    while (*last == kBlank && last != text) last = CharPrevW(text, last);
    text[*last == kBlank ? 0 : last - text + 1] = 0;
}

void ZAV_OverlappedStringCopy(const WCHAR* destination, const WCHAR* source, DWORD count) {
    WCHAR* to = const_cast<WCHAR*>(destination);
    for (DWORD i = 0; i < count; ++i) {
        *to = *source;
        to = CharNextW(to);
        source = CharNextW(source);
    }
}

DWORD ZAV_ResizeString(WCHAR** text, DWORD newLength) {
    if (text == nullptr) return ERROR_INVALID_PARAMETER;
    if (newLength > (0xFFFFFFFFu - 2) / 2) return ERROR_OUTOFMEMORY;
    WCHAR* fresh = static_cast<WCHAR*>(ZAV_MemoryGet(2 * newLength + 2, 0));
    if (fresh == nullptr) return ERROR_OUTOFMEMORY;
    WCHAR* old = *text;
    if (old == nullptr || *old == 0)
        *fresh = 0;
    else
        lstrcpynW(fresh, old, static_cast<int>(newLength + 1));
    if (old != nullptr) ZAV_MemoryFree(old);
    *text = fresh;
    return ERROR_SUCCESS;
}

DWORD ZAV_ResizeBuffer(BYTE** buffer, DWORD* size, DWORD newSize) {
    if (buffer == nullptr || size == nullptr) return ERROR_INVALID_PARAMETER;
    BYTE* fresh = static_cast<BYTE*>(ZAV_MemoryGet(newSize, 0));
    if (fresh == nullptr) return ERROR_OUTOFMEMORY;
    if (*buffer != nullptr) {
        const DWORD kept = *size < newSize ? *size : newSize;
        if (kept != 0) memcpy(fresh, *buffer, kept);
        ZAV_MemoryFree(*buffer);
    }
    *buffer = fresh;
    *size = newSize;
    return ERROR_SUCCESS;
}

LONG ZAV_SubStrCompare(WCHAR* a, LONG countA, LONG startA, WCHAR* b, LONG countB, LONG startB) {
    const Range left(a, countA, startA), right(b, countB, startB);
    const LONG common = left.count < right.count ? left.count : right.count;
    for (LONG i = 0; i < common; ++i)
        if (left.chars[i] != right.chars[i]) return left.chars[i] < right.chars[i] ? -1 : 1;
    return left.count < right.count ? -1 : left.count > right.count ? 1 : 0;
}

ZAVString ZAV_Left(const ZAVString& s, unsigned n) { return s.Left(n); }

ZAVString ZAV_Right(const ZAVString& s, unsigned n) { return s.Right(n); }
