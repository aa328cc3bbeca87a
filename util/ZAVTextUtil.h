/// \file
/// Free functions over wide text: caseless matching, field parsing with
/// quotes, replacement, trimming and resizing of memory-manager buffers.
/// Caseless means the runtime's narrow toupper on both sides; under the
/// default locale only a-z and A-Z fold.
#pragma once

#include "ZAVString.h"

/// 1 when a and b are equal caselessly, else 0. A null pointer is empty.
ZAVUTIL1_API int ZAV_MatchCaseless(const ZAVString& a, const ZAVString& b);
/// As above, with b a terminated text.
ZAVUTIL1_API int ZAV_MatchCaseless(const ZAVString& a, const zav::win::WCHAR* b);
/// As above, with both terminated texts.
ZAVUTIL1_API int ZAV_MatchCaseless(const zav::win::WCHAR* a, const zav::win::WCHAR* b);
/// -1, 0 or +1: the upper-cased copies under the global locale's collation.
ZAVUTIL1_API zav::win::LONG ZAV_CompareCaseless(const ZAVString& a, const ZAVString& b);

/// Takes the first field of text into token and removes it and its delimiter
/// from text. delimiters null means ","; wholeDelimiter makes the whole
/// string one delimiter rather than a set of characters; trimBlanks trims
/// spaces from text and token. Double quotes protect delimiters; a token that
/// begins and ends with one loses them, and doubled quotes inside become one.
ZAVUTIL1_API void ZAV_ParseDelimitedString(ZAVString& text, const zav::win::WCHAR* delimiters, ZAVString& token,
                                           int wholeDelimiter, int trimBlanks);
/// Buffer form: token needs room for text's length and a terminator.
ZAVUTIL1_API void ZAV_ParseDelimitedString(zav::win::WCHAR* text, const zav::win::WCHAR* delimiters, zav::win::WCHAR* token,
                                           int wholeDelimiter, int trimBlanks);

/// Replaces occurrences of find, left to right and without overlaps, at most
/// maxCount of them (0: all); *count tells how many. 87 for an empty find.
ZAVUTIL1_API zav::win::DWORD ZAV_ReplaceString(ZAVString& text, const zav::win::WCHAR* find, const zav::win::WCHAR* replacement,
                                     zav::win::DWORD* count, zav::win::DWORD reserved, zav::win::DWORD maxCount);
/// Buffer form: *bufferLength is the buffer's size in characters with the
/// terminator. When the result does not fit: 8, the needed size in
/// *bufferLength, buffer untouched.
ZAVUTIL1_API zav::win::DWORD ZAV_ReplaceString(zav::win::WCHAR* buffer, zav::win::DWORD* bufferLength, const zav::win::WCHAR* find,
                                     const zav::win::WCHAR* replacement, zav::win::DWORD* count, zav::win::DWORD reserved, zav::win::DWORD maxCount);

/// Removes leading and trailing spaces in place.
ZAVUTIL1_API void ZAV_Trim(zav::win::WCHAR* text);
/// Copies count characters front to back, so destination may lie before
/// source in one buffer; writes no terminator. destination is written.
ZAVUTIL1_API void ZAV_OverlappedStringCopy(const zav::win::WCHAR* destination, const zav::win::WCHAR* source, zav::win::DWORD count);

// Replace a memory-manager buffer by one of the new size, keeping what fits;
// 14 and the old buffer kept when there is no memory.
/// Makes *text a memory-manager buffer of newLength characters and a
/// terminator, keeping what fits; 0, or 14 with the old buffer kept.
ZAVUTIL1_API zav::win::DWORD ZAV_ResizeString(zav::win::WCHAR** text, zav::win::DWORD newLength);
/// Makes *buffer a memory-manager buffer of newSize bytes, keeping what fits,
/// and sets *size; 0, or 14 with the old buffer kept.
ZAVUTIL1_API zav::win::DWORD ZAV_ResizeBuffer(zav::win::BYTE** buffer, zav::win::DWORD* size, zav::win::DWORD newSize);

/// Ordinal comparison (-1, 0, +1) of a[startA, startA + countA) with
/// b[startB, startB + countB). A negative count runs to the terminator;
/// ranges are clamped to their texts; a null text is empty.
ZAVUTIL1_API zav::win::LONG ZAV_SubStrCompare(zav::win::WCHAR* a, zav::win::LONG countA, zav::win::LONG startA, zav::win::WCHAR* b, zav::win::LONG countB, zav::win::LONG startB);

/// The first min(n, length) characters.
ZAVUTIL1_API ZAVString ZAV_Left(const ZAVString& s, unsigned n);
/// The last n characters; empty when n exceeds the length.
ZAVUTIL1_API ZAVString ZAV_Right(const ZAVString& s, unsigned n);
