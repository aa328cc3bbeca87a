/// \file
/// ZAVString: the library's growable UTF-16 string. Its buffers come from the
/// memory manager; capacity grows in steps of 16 characters; positions past
/// the end are clamped rather than rejected (only at() throws for one).
#pragma once

#include "ZAVExport.h"

namespace zav {
struct StringCore;
}

/// A growable UTF-16 string with the members of a standard wide string;
/// lengths beyond max_size() throw length_error.
class ZAVUTIL1_API ZAVString {
public:
    /// "No position": the end in arguments, not found in results.
    static const unsigned npos = 0xFFFFFFFFu;

    /// An empty string without a buffer.
    ZAVString();
    /// A copy of the terminated text (null: empty).
    ZAVString(const zav::win::WCHAR* p);
    /// A copy of count characters at p.
    ZAVString(const zav::win::WCHAR* p, unsigned count);
    /// The terminated ANSI text converted to UTF-16.
    ZAVString(const char* p);
    /// count bytes of ANSI text converted to UTF-16.
    ZAVString(const char* p, unsigned count);
    /// count copies of ch.
    ZAVString(unsigned count, zav::win::WCHAR ch);
    /// A copy of s[pos, pos + count), clamped to s.
    ZAVString(const ZAVString& s, unsigned pos = 0, unsigned count = npos);
    /// A copy of the characters in [first, last).
    ZAVString(const zav::win::WCHAR* first, const zav::win::WCHAR* last);
    /// Releases both buffers; a damaged guarded buffer's LONG 9 from the
    /// memory manager reaches the caller, so the destructor may throw.
    virtual ~ZAVString() noexcept(false);

    // Assignment
    // A null text pointer reads as the empty text; ANSI text is converted.
    ///@{
    /// Replaces the contents by the given text (s[pos, pos + count), count
    /// characters at p, terminated p, count copies of ch, or [first, last)).
    ZAVString& assign(const ZAVString& s, unsigned pos = 0, unsigned count = npos);
    ZAVString& operator=(const ZAVString& s);
    ZAVString& assign(const zav::win::WCHAR* p, unsigned count);
    ZAVString& assign(const zav::win::WCHAR* p);
    ZAVString& operator=(const zav::win::WCHAR* p);
    ZAVString& assign(const char* p, unsigned count);
    ZAVString& assign(const char* p);
    ZAVString& operator=(const char* p);
    ZAVString& assign(unsigned count, zav::win::WCHAR ch);
    ZAVString& operator=(zav::win::WCHAR ch);
    ZAVString& assign(const zav::win::WCHAR* first, const zav::win::WCHAR* last);
    ///@}

    // Appending
    ///@{
    /// Appends the given text (s[pos, pos + count), count characters at p,
    /// terminated p, count copies of ch, or [first, last)).
    ZAVString& append(const ZAVString& s, unsigned pos = 0, unsigned count = npos);
    ZAVString& operator+=(const ZAVString& s);
    ZAVString& append(const zav::win::WCHAR* p, unsigned count);
    ZAVString& append(const zav::win::WCHAR* p);
    ZAVString& operator+=(const zav::win::WCHAR* p);
    ZAVString& append(const char* p, unsigned count);
    ZAVString& append(const char* p);
    ZAVString& operator+=(const char* p);
    ZAVString& append(unsigned count, zav::win::WCHAR ch);
    ZAVString& operator+=(zav::win::WCHAR ch);
    ZAVString& append(const zav::win::WCHAR* first, const zav::win::WCHAR* last);
    ///@}

    // Insertion
    ///@{
    /// Inserts the given text before pos or it; a position past the end means
    /// the end. The iterator forms return nothing or the inserted character.
    ZAVString& insert(unsigned pos, const ZAVString& s, unsigned pos2 = 0, unsigned count = npos);
    ZAVString& insert(unsigned pos, const zav::win::WCHAR* p, unsigned count);
    ZAVString& insert(unsigned pos, const zav::win::WCHAR* p);
    ZAVString& insert(unsigned pos, unsigned count, zav::win::WCHAR ch);
    zav::win::WCHAR* insert(const zav::win::WCHAR* it, zav::win::WCHAR ch);
    void insert(const zav::win::WCHAR* it, unsigned count, zav::win::WCHAR ch);
    void insert(zav::win::WCHAR* it, const zav::win::WCHAR* first, const zav::win::WCHAR* last);
    ///@}

    // Erasure; erasing the last character releases the buffer, so the
    // pointer forms answer null when nothing is left.
    /// Removes min(count, length - pos) characters at pos.
    ZAVString& erase(unsigned pos = 0, unsigned count = npos);
    /// Removes the character at it; answers the position after the removal.
    zav::win::WCHAR* erase(zav::win::WCHAR* it);
    /// Removes [first, last); answers the position after the removal.
    zav::win::WCHAR* erase(zav::win::WCHAR* first, zav::win::WCHAR* last);

    // Replacement
    ///@{
    /// Replaces min(length - pos, n) characters at pos, or [first, last), by
    /// the given text.
    ZAVString& replace(unsigned pos, unsigned n, const ZAVString& s, unsigned pos2 = 0, unsigned count = npos);
    ZAVString& replace(unsigned pos, unsigned n, const zav::win::WCHAR* p, unsigned count);
    ZAVString& replace(unsigned pos, unsigned n, const zav::win::WCHAR* p);
    ZAVString& replace(unsigned pos, unsigned n, unsigned count, zav::win::WCHAR ch);
    ZAVString& replace(zav::win::WCHAR* first, zav::win::WCHAR* last, const ZAVString& s);
    ZAVString& replace(zav::win::WCHAR* first, zav::win::WCHAR* last, const zav::win::WCHAR* p, unsigned count);
    ZAVString& replace(zav::win::WCHAR* first, zav::win::WCHAR* last, const zav::win::WCHAR* p);
    ZAVString& replace(zav::win::WCHAR* first, zav::win::WCHAR* last, unsigned count, zav::win::WCHAR ch);
    ZAVString& replace(zav::win::WCHAR* first, zav::win::WCHAR* last, const zav::win::WCHAR* first2, const zav::win::WCHAR* last2);
    ///@}

    /// Cuts to n characters or fills up to n with ch; 0 releases the buffer.
    void resize(unsigned n, zav::win::WCHAR ch);
    /// As resize(n, 0).
    void resize(unsigned n);

    // Access. Without a buffer, c_str() and the element references designate
    // the shared empty string, which must never be written.
    /// The length in characters, terminator not counted.
    unsigned size() const;
    /// The length in characters, terminator not counted.
    unsigned length() const;
    /// True when the length is 0.
    bool empty() const;
    /// Characters the buffer holds besides the terminator.
    unsigned capacity() const;
    /// The longest possible length, 0x7FFFFFFD.
    unsigned max_size() const;
    /// The terminated text; never null (the shared empty string without a buffer).
    const zav::win::WCHAR* c_str() const;
    /// As c_str().
    const zav::win::WCHAR* data() const;
    /// As c_str(), writable when the string has a buffer.
    zav::win::WCHAR* UnicodeString();
    /// The first character; null without a buffer.
    const zav::win::WCHAR* begin() const;
    /// The first character; null without a buffer.
    zav::win::WCHAR* begin();
    /// Past the last character; null without a buffer.
    const zav::win::WCHAR* end() const;
    /// Past the last character; null without a buffer.
    zav::win::WCHAR* end();
    /// The character at pos; past the end, the shared empty string.
    const zav::win::WCHAR& operator[](unsigned pos) const;
    /// The character at pos; past the end, the shared empty string (never write it).
    zav::win::WCHAR& operator[](unsigned pos);
    /// The character at pos (pos = length: the terminator); out_of_range beyond.
    const zav::win::WCHAR& at(unsigned pos) const;
    /// The character at pos (pos = length: the terminator); out_of_range beyond.
    zav::win::WCHAR& at(unsigned pos);
    /// Copies min(length - pos, count) characters from pos without a terminator; answers how many.
    unsigned copy(zav::win::WCHAR* dest, unsigned count, unsigned pos = 0) const;
    /// As copy(), then a terminator; dest needs room for count + 1 characters.
    unsigned CopyTString(zav::win::WCHAR* dest, unsigned count, unsigned pos = 0) const;
    /// The ANSI form of the whole string, owned by the string: valid until the
    /// next call, a reallocation, an erasure to empty, swap or destruction.
    char* ANSIString();
    /// Grows the capacity to at least n, keeping the text; never shrinks.
    void reserve(unsigned n = 0);
    /// Sets the length to n and nothing else: n must not exceed the capacity,
    /// and the caller writes the characters and the terminator.
    void SetSize(unsigned n);
    /// Exchanges the contents (buffers, length, capacity) with other.
    void swap(ZAVString& other);

    // Searches
    // The (p, pos, n) form of each is the base: [p, p + n) is the pattern
    // (find, rfind) or the character set (the others); the other forms take
    // it from s, a terminated p or the one character ch. Each answers a
    // position or npos.
    ///@{
    /// The first occurrence of the pattern at or after pos.
    unsigned find(const zav::win::WCHAR* p, unsigned pos, unsigned n) const;
    unsigned find(const ZAVString& s, unsigned pos = 0) const;
    unsigned find(const zav::win::WCHAR* p, unsigned pos = 0) const;
    unsigned find(zav::win::WCHAR ch, unsigned pos = 0) const;
    ///@}
    ///@{
    /// The last occurrence of the pattern that starts at or before pos.
    unsigned rfind(const zav::win::WCHAR* p, unsigned pos, unsigned n) const;
    unsigned rfind(const ZAVString& s, unsigned pos = npos) const;
    unsigned rfind(const zav::win::WCHAR* p, unsigned pos = npos) const;
    unsigned rfind(zav::win::WCHAR ch, unsigned pos = npos) const;
    ///@}
    ///@{
    /// The first character at or after pos that is in the set.
    unsigned find_first_of(const zav::win::WCHAR* p, unsigned pos, unsigned n) const;
    unsigned find_first_of(const ZAVString& s, unsigned pos = 0) const;
    unsigned find_first_of(const zav::win::WCHAR* p, unsigned pos = 0) const;
    unsigned find_first_of(zav::win::WCHAR ch, unsigned pos = 0) const;
    ///@}
    ///@{
    /// The last character at or before pos that is in the set.
    unsigned find_last_of(const zav::win::WCHAR* p, unsigned pos, unsigned n) const;
    unsigned find_last_of(const ZAVString& s, unsigned pos = npos) const;
    unsigned find_last_of(const zav::win::WCHAR* p, unsigned pos = npos) const;
    unsigned find_last_of(zav::win::WCHAR ch, unsigned pos = npos) const;
    ///@}
    ///@{
    /// The first character at or after pos that is not in the set.
    unsigned find_first_not_of(const zav::win::WCHAR* p, unsigned pos, unsigned n) const;
    unsigned find_first_not_of(const ZAVString& s, unsigned pos = 0) const;
    unsigned find_first_not_of(const zav::win::WCHAR* p, unsigned pos = 0) const;
    unsigned find_first_not_of(zav::win::WCHAR ch, unsigned pos = 0) const;
    ///@}
    ///@{
    /// The last character at or before pos that is not in the set.
    unsigned find_last_not_of(const zav::win::WCHAR* p, unsigned pos, unsigned n) const;
    unsigned find_last_not_of(const ZAVString& s, unsigned pos = npos) const;
    unsigned find_last_not_of(const zav::win::WCHAR* p, unsigned pos = npos) const;
    unsigned find_last_not_of(zav::win::WCHAR ch, unsigned pos = npos) const;
    ///@}

    // Comparison
    ///@{
    /// -1, 0 or +1 by unsigned code units: this string, or its range
    /// [pos, pos + n0) clamped, against the given text.
    int compare(unsigned pos, unsigned n0, const zav::win::WCHAR* p, unsigned n) const;
    int compare(const ZAVString& s) const;
    int compare(const zav::win::WCHAR* p) const;
    int compare(unsigned pos, unsigned n0, const zav::win::WCHAR* p) const;
    int compare(unsigned pos, unsigned n0, const ZAVString& s) const;
    int compare(unsigned pos, unsigned n0, const ZAVString& s, unsigned pos2, unsigned n2) const;
    ///@}

    /// A new string of min(count, length - pos) characters at pos.
    ZAVString substr(unsigned pos = 0, unsigned count = npos) const;
    /// The first min(n, length) characters.
    ZAVString Left(unsigned n) const;
    /// The last n characters; empty when n exceeds the length.
    ZAVString Right(unsigned n) const;

    /// Maps each character to upper case (under the default locale, a-z only).
    void UCase();
    /// Maps each character to lower case (under the default locale, A-Z only).
    void LCase();
    // The blank is the space alone; tabs and line breaks stay.
    /// Removes leading and trailing spaces.
    void Trim();
    /// Removes leading spaces.
    void LTrim();
    /// Removes trailing spaces.
    void RTrim();
    /// Appends ch unless the string already ends with it.
    void ForceSuffix(zav::win::WCHAR ch);
    /// Inserts prefix at the front unless the string already begins with it.
    void ForcePrefix(const ZAVString& prefix);

protected:
    /// Prepares room for n characters (trim: discarding the text); answers
    /// whether characters are to be written. length_error from 0x7FFFFFFD on.
    bool _Grow(unsigned n, bool trim = false);
    /// Moves the text into a new buffer for n characters (capacity n | 15).
    void _Copy(unsigned n, bool release);
    /// Clears the fields, releasing both buffers first when release is true.
    void _Tidy(bool release = false);
    /// With a buffer: length n and a terminator at n.
    void _NullTermString(unsigned n);
    /// The shared empty string. Defined in the library only, so that host and
    /// library share one (a DLL's hosts would each get their own copy of an
    /// inline one).
    static const zav::win::WCHAR* _Nullstr();
    /// p2 - p1 in characters; 0 when p2 is null.
    static unsigned _Pdif(const zav::win::WCHAR* p2, const zav::win::WCHAR* p1);
    /// p + n; null when p is null.
    static zav::win::WCHAR* _Psum(zav::win::WCHAR* p, unsigned n);
    /// p + n; null when p is null.
    static const zav::win::WCHAR* _Psum(const zav::win::WCHAR* p, unsigned n);

    zav::win::WCHAR* m_Buffer;      ///< characters and a zero; null when none is owned
    unsigned m_Length;    ///< terminator not counted
    unsigned m_Capacity;  ///< characters besides the terminator; 16k - 1
    char* m_ANSIBuffer;   ///< the last ANSIString() result

private:
    friend struct zav::StringCore;
};
