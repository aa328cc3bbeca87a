// Storage, growth, construction and access of ZAVString.
#include <stdexcept>

#include "AnsiText.h"
#include "MemoryBlock.h"
#include "StringCore.h"
#include "WideText.h"
#include "ZAVMemory.h"

using zav::StringCore;

const unsigned ZAVString::npos;

namespace zav {

void StringCore::CheckGrowth(unsigned n) {
    if (n >= kLimit) throw std::length_error("ZAVString::_Grow invalid length parameter");
}

bool StringCore::Overlaps(const ZAVString& s, const WCHAR* p) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(p);
    const uintptr_t start = reinterpret_cast<uintptr_t>(s.m_Buffer);
    return s.m_Buffer != nullptr && at >= start && at <= start + s.m_Capacity * sizeof(WCHAR);
}

}  // namespace zav

ZAVString::ZAVString() : m_Buffer(nullptr), m_Length(0), m_Capacity(0), m_ANSIBuffer(nullptr) {}

ZAVString::ZAVString(const WCHAR* p) : ZAVString() { assign(p); }

ZAVString::ZAVString(const WCHAR* p, unsigned count) : ZAVString() { assign(p, count); }

ZAVString::ZAVString(const char* p) : ZAVString() { assign(p); }

ZAVString::ZAVString(const char* p, unsigned count) : ZAVString() { assign(p, count); }

ZAVString::ZAVString(unsigned count, WCHAR ch) : ZAVString() { assign(count, ch); }

ZAVString::ZAVString(const ZAVString& s, unsigned pos, unsigned count) : ZAVString() { assign(s, pos, count); }

ZAVString::ZAVString(const WCHAR* first, const WCHAR* last) : ZAVString() { assign(first, last); }

ZAVString::~ZAVString() noexcept(false) { _Tidy(true); }

bool ZAVString::_Grow(unsigned n, bool trim) {
    StringCore::CheckGrowth(n);
    if (n > 0) {
        if (trim) {
            _Tidy(true);
        } else if (n < m_Capacity) {
            return true;
        }
        _Copy(n, true);
        return true;
    }
    if (trim) {
        _Tidy(true);
    } else if (m_Buffer != nullptr) {
        _NullTermString(0);
    }
    return false;
}

void ZAVString::_Copy(unsigned n, bool release) {
    if (n == 0) {
        _Tidy(release);
        return;
    }
    unsigned capacity = n | 15;
    if (capacity >= StringCore::kLimit) capacity = n;
    // Obtained before anything changes, so a failure leaves the string as it was.
    WCHAR* fresh = static_cast<WCHAR*>(zav::ObtainBlock(2 * static_cast<size_t>(capacity) + 2));
    const unsigned kept = m_Length < capacity ? m_Length : capacity;
    if (m_Buffer != nullptr) zav::CopyChars(fresh, m_Buffer, kept);
    zav::ReleaseBlock(m_Buffer);
    zav::ReleaseBlock(m_ANSIBuffer);
    m_ANSIBuffer = nullptr;
    m_Buffer = fresh;
    m_Capacity = capacity;
    m_Length = kept;
    m_Buffer[kept] = 0;
}

void ZAVString::_Tidy(bool release) {
    WCHAR* buffer = m_Buffer;
    char* ansi = m_ANSIBuffer;
    m_Buffer = nullptr;
    m_Length = 0;
    m_Capacity = 0;
    m_ANSIBuffer = nullptr;
    if (!release) return;
    // The ANSI buffer goes back even when the text buffer's guard words
    // are found damaged; that failure is then passed on.
    try {
        zav::ReleaseBlock(buffer);
    } catch (...) {
        zav::ReleaseBlock(ansi);
        throw;
    }
    zav::ReleaseBlock(ansi);
}

void ZAVString::_NullTermString(unsigned n) {
    if (m_Buffer == nullptr) return;
    m_Length = n;
    m_Buffer[n] = 0;
}

unsigned ZAVString::_Pdif(const WCHAR* p2, const WCHAR* p1) {
    return p2 == nullptr ? 0 : static_cast<unsigned>(p2 - p1);
}

const WCHAR* ZAVString::_Nullstr() {
    static const WCHAR Character = 0;
    return &Character;
}

WCHAR* ZAVString::_Psum(WCHAR* p, unsigned n) { return p == nullptr ? nullptr : p + n; }

const WCHAR* ZAVString::_Psum(const WCHAR* p, unsigned n) { return p == nullptr ? nullptr : p + n; }

unsigned ZAVString::size() const { return m_Length; }
unsigned ZAVString::length() const { return m_Length; }
bool ZAVString::empty() const { return m_Length == 0; }
unsigned ZAVString::capacity() const { return m_Capacity; }
unsigned ZAVString::max_size() const { return StringCore::kLimit; }

const WCHAR* ZAVString::c_str() const { return m_Buffer != nullptr ? m_Buffer : _Nullstr(); }
const WCHAR* ZAVString::data() const { return c_str(); }
WCHAR* ZAVString::UnicodeString() { return const_cast<WCHAR*>(c_str()); }

const WCHAR* ZAVString::begin() const { return m_Buffer; }
WCHAR* ZAVString::begin() { return m_Buffer; }
const WCHAR* ZAVString::end() const { return _Psum(m_Buffer, m_Length); }
WCHAR* ZAVString::end() { return _Psum(m_Buffer, m_Length); }

const WCHAR& ZAVString::operator[](unsigned pos) const {
    return m_Buffer != nullptr && pos < m_Length ? m_Buffer[pos] : *_Nullstr();
}

WCHAR& ZAVString::operator[](unsigned pos) {
    return const_cast<WCHAR&>(static_cast<const ZAVString&>(*this)[pos]);
}

const WCHAR& ZAVString::at(unsigned pos) const {
    if (pos > m_Length) throw std::out_of_range("ZAVString::at invalid position argument");
    return m_Buffer != nullptr ? m_Buffer[pos] : *_Nullstr();
}

WCHAR& ZAVString::at(unsigned pos) { return const_cast<WCHAR&>(static_cast<const ZAVString&>(*this).at(pos)); }

unsigned ZAVString::copy(WCHAR* dest, unsigned count, unsigned pos) const {
    if (pos >= m_Length) return 0;
    const unsigned n = m_Length - pos < count ? m_Length - pos : count;
    zav::CopyChars(dest, m_Buffer + pos, n);
    return n;
}

unsigned ZAVString::CopyTString(WCHAR* dest, unsigned count, unsigned pos) const {
    const unsigned n = copy(dest, count, pos);
    dest[n] = 0;
    return n;
}

char* ZAVString::ANSIString() {
    zav::ReleaseBlock(m_ANSIBuffer);
    m_ANSIBuffer = nullptr;
    const size_t usual = 2 * static_cast<size_t>(m_Length) + 2;
    char* ansi;
    if (zav::ansitext::ByteForByte()) {
        // A byte per unit at most: no measuring pass.
        ansi = static_cast<char*>(zav::ObtainBlock(usual));
        ansi[zav::WideToBytes(c_str(), m_Length, ansi)] = 0;
    } else {
        // Room for text whose ANSI form is longer than its UTF-16 form, too.
        const size_t needed = zav::WideToAnsi(c_str(), m_Length, nullptr, 0);
        ansi = static_cast<char*>(zav::ObtainBlock(needed + 1 > usual ? needed + 1 : usual));
        ansi[zav::WideToAnsi(c_str(), m_Length, ansi, needed)] = 0;
    }
    m_ANSIBuffer = ansi;
    return ansi;
}

void ZAVString::reserve(unsigned n) {
    if (n > m_Capacity) _Grow(n, false);
}

void ZAVString::SetSize(unsigned n) { m_Length = n; }

void ZAVString::swap(ZAVString& other) {
    WCHAR* buffer = m_Buffer;
    const unsigned length = m_Length, capacity = m_Capacity;
    char* ansi = m_ANSIBuffer;
    m_Buffer = other.m_Buffer;
    m_Length = other.m_Length;
    m_Capacity = other.m_Capacity;
    m_ANSIBuffer = other.m_ANSIBuffer;
    other.m_Buffer = buffer;
    other.m_Length = length;
    other.m_Capacity = capacity;
    other.m_ANSIBuffer = ansi;
}
