// ZAVString: the library's growable UTF-16 string. Its buffers come from the
// memory manager; capacity grows in steps of 16 characters; positions past
// the end are clamped rather than rejected (only at() throws for one).
#pragma once

#include "ZAVExport.h"

namespace zav {
struct StringCore;
}

class ZAVUTIL1_API ZAVString {
public:
    static const unsigned npos = 0xFFFFFFFFu;

    ZAVString();
    ZAVString(const WCHAR* p);
    ZAVString(const WCHAR* p, unsigned count);
    ZAVString(const char* p);
    ZAVString(const char* p, unsigned count);
    ZAVString(unsigned count, WCHAR ch);
    ZAVString(const ZAVString& s, unsigned pos = 0, unsigned count = npos);
    ZAVString(const WCHAR* first, const WCHAR* last);
    virtual ~ZAVString();

    // Assignment. A null text pointer reads as the empty text.
    ZAVString& assign(const ZAVString& s, unsigned pos = 0, unsigned count = npos);
    ZAVString& operator=(const ZAVString& s);
    ZAVString& assign(const WCHAR* p, unsigned count);
    ZAVString& assign(const WCHAR* p);
    ZAVString& operator=(const WCHAR* p);
    ZAVString& assign(const char* p, unsigned count);
    ZAVString& assign(const char* p);
    ZAVString& operator=(const char* p);
    ZAVString& assign(unsigned count, WCHAR ch);
    ZAVString& operator=(WCHAR ch);
    ZAVString& assign(const WCHAR* first, const WCHAR* last);

    // Appending.
    ZAVString& append(const ZAVString& s, unsigned pos = 0, unsigned count = npos);
    ZAVString& operator+=(const ZAVString& s);
    ZAVString& append(const WCHAR* p, unsigned count);
    ZAVString& append(const WCHAR* p);
    ZAVString& operator+=(const WCHAR* p);
    ZAVString& append(const char* p, unsigned count);
    ZAVString& append(const char* p);
    ZAVString& operator+=(const char* p);
    ZAVString& append(unsigned count, WCHAR ch);
    ZAVString& operator+=(WCHAR ch);
    ZAVString& append(const WCHAR* first, const WCHAR* last);

    // Insertion; a position past the end means the end.
    ZAVString& insert(unsigned pos, const ZAVString& s, unsigned pos2 = 0, unsigned count = npos);
    ZAVString& insert(unsigned pos, const WCHAR* p, unsigned count);
    ZAVString& insert(unsigned pos, const WCHAR* p);
    ZAVString& insert(unsigned pos, unsigned count, WCHAR ch);
    WCHAR* insert(const WCHAR* it, WCHAR ch);
    void insert(const WCHAR* it, unsigned count, WCHAR ch);
    void insert(WCHAR* it, const WCHAR* first, const WCHAR* last);

    // Erasure; erasing the last character releases the buffer, so the
    // pointer forms answer null when nothing is left.
    ZAVString& erase(unsigned pos = 0, unsigned count = npos);
    WCHAR* erase(WCHAR* it);
    WCHAR* erase(WCHAR* first, WCHAR* last);

    // Replacement of min(length - pos, n) characters at pos.
    ZAVString& replace(unsigned pos, unsigned n, const ZAVString& s, unsigned pos2 = 0, unsigned count = npos);
    ZAVString& replace(unsigned pos, unsigned n, const WCHAR* p, unsigned count);
    ZAVString& replace(unsigned pos, unsigned n, const WCHAR* p);
    ZAVString& replace(unsigned pos, unsigned n, unsigned count, WCHAR ch);
    ZAVString& replace(WCHAR* first, WCHAR* last, const ZAVString& s);
    ZAVString& replace(WCHAR* first, WCHAR* last, const WCHAR* p, unsigned count);
    ZAVString& replace(WCHAR* first, WCHAR* last, const WCHAR* p);
    ZAVString& replace(WCHAR* first, WCHAR* last, unsigned count, WCHAR ch);
    ZAVString& replace(WCHAR* first, WCHAR* last, const WCHAR* first2, const WCHAR* last2);

    void resize(unsigned n, WCHAR ch);
    void resize(unsigned n);

    // Access. Without a buffer, c_str() and the element references designate
    // the shared empty string, which must never be written.
    unsigned size() const;
    unsigned length() const;
    bool empty() const;
    unsigned capacity() const;
    unsigned max_size() const;
    const WCHAR* c_str() const;
    const WCHAR* data() const;
    WCHAR* UnicodeString();
    const WCHAR* begin() const;
    WCHAR* begin();
    const WCHAR* end() const;
    WCHAR* end();
    const WCHAR& operator[](unsigned pos) const;
    WCHAR& operator[](unsigned pos);
    const WCHAR& at(unsigned pos) const;
    WCHAR& at(unsigned pos);
    unsigned copy(WCHAR* dest, unsigned count, unsigned pos = 0) const;
    unsigned CopyTString(WCHAR* dest, unsigned count, unsigned pos = 0) const;
    // The ANSI form of the whole string, owned by the string: valid until the
    // next call, a reallocation, an erasure to empty, swap or destruction.
    char* ANSIString();
    void reserve(unsigned n = 0);
    void SetSize(unsigned n);
    void swap(ZAVString& other);

    // Searches. The (p, pos, n) form of each is the base: [p, p + n) is the
    // pattern (find, rfind) or the character set (the others).
    unsigned find(const WCHAR* p, unsigned pos, unsigned n) const;
    unsigned find(const ZAVString& s, unsigned pos = 0) const;
    unsigned find(const WCHAR* p, unsigned pos = 0) const;
    unsigned find(WCHAR ch, unsigned pos = 0) const;
    unsigned rfind(const WCHAR* p, unsigned pos, unsigned n) const;
    unsigned rfind(const ZAVString& s, unsigned pos = npos) const;
    unsigned rfind(const WCHAR* p, unsigned pos = npos) const;
    unsigned rfind(WCHAR ch, unsigned pos = npos) const;
    unsigned find_first_of(const WCHAR* p, unsigned pos, unsigned n) const;
    unsigned find_first_of(const ZAVString& s, unsigned pos = 0) const;
    unsigned find_first_of(const WCHAR* p, unsigned pos = 0) const;
    unsigned find_first_of(WCHAR ch, unsigned pos = 0) const;
    unsigned find_last_of(const WCHAR* p, unsigned pos, unsigned n) const;
    unsigned find_last_of(const ZAVString& s, unsigned pos = npos) const;
    unsigned find_last_of(const WCHAR* p, unsigned pos = npos) const;
    unsigned find_last_of(WCHAR ch, unsigned pos = npos) const;
    unsigned find_first_not_of(const WCHAR* p, unsigned pos, unsigned n) const;
    unsigned find_first_not_of(const ZAVString& s, unsigned pos = 0) const;
    unsigned find_first_not_of(const WCHAR* p, unsigned pos = 0) const;
    unsigned find_first_not_of(WCHAR ch, unsigned pos = 0) const;
    unsigned find_last_not_of(const WCHAR* p, unsigned pos, unsigned n) const;
    unsigned find_last_not_of(const ZAVString& s, unsigned pos = npos) const;
    unsigned find_last_not_of(const WCHAR* p, unsigned pos = npos) const;
    unsigned find_last_not_of(WCHAR ch, unsigned pos = npos) const;

    // Comparison by unsigned code units; -1, 0 or +1.
    int compare(unsigned pos, unsigned n0, const WCHAR* p, unsigned n) const;
    int compare(const ZAVString& s) const;
    int compare(const WCHAR* p) const;
    int compare(unsigned pos, unsigned n0, const WCHAR* p) const;
    int compare(unsigned pos, unsigned n0, const ZAVString& s) const;
    int compare(unsigned pos, unsigned n0, const ZAVString& s, unsigned pos2, unsigned n2) const;

    ZAVString substr(unsigned pos = 0, unsigned count = npos) const;
    ZAVString Left(unsigned n) const;
    ZAVString Right(unsigned n) const;

    void UCase();
    void LCase();
    // The blank is the space alone; tabs and line breaks stay.
    void Trim();
    void LTrim();
    void RTrim();
    void ForceSuffix(WCHAR ch);
    void ForcePrefix(const ZAVString& prefix);

protected:
    bool _Grow(unsigned n, bool trim = false);
    void _Copy(unsigned n, bool release);
    void _Tidy(bool release = false);
    void _NullTermString(unsigned n);
    // Inline and exported, so that host and library share one empty string.
    ZAV_SHARED_INLINE static const WCHAR* _Nullstr() {
        static const WCHAR Character = 0;
        return &Character;
    }
    static unsigned _Pdif(const WCHAR* p2, const WCHAR* p1);
    static WCHAR* _Psum(WCHAR* p, unsigned n);
    static const WCHAR* _Psum(const WCHAR* p, unsigned n);

    WCHAR* m_Buffer;      // characters and a zero; null when none is owned
    unsigned m_Length;    // terminator not counted
    unsigned m_Capacity;  // characters besides the terminator; 16k - 1
    char* m_ANSIBuffer;   // the last ANSIString() result

private:
    friend struct zav::StringCore;
};
