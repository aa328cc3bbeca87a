#include "Conversion.h"

#include "AnsiText.h"

#include <langinfo.h>
#include <locale.h>
#include <string.h>

namespace zavplatform {

namespace {

const char32_t kReplacement = 0xFFFD;

void Append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void Append(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 | (c >> 10));
        out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
}

using zav::ansitext::IsSurrogate;
using zav::ansitext::NextCodePoint;

}  // namespace

std::string ToUtf8(const WCHAR* text, size_t count) {
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const char32_t c = NextCodePoint(text, count, i);
        Append(out, IsSurrogate(c) ? kReplacement : c);
    }
    return out;
}

std::string ToUtf8(const WCHAR* text) {
    size_t count = 0;
    if (text != nullptr)
        while (text[count] != 0) ++count;
    return ToUtf8(text, count);
}

std::u16string FromUtf8(const std::string& text) {
    std::u16string out;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            out += static_cast<char16_t>(lead);
            ++i;
            continue;
        }
        const size_t extra = (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : 0;
        char32_t c = lead & (0x3F >> extra);
        bool valid = extra != 0 && i + extra < n;
        for (size_t k = 1; valid && k <= extra; ++k) {
            valid = (p[i + k] & 0xC0) == 0x80;
            c = (c << 6) | (p[i + k] & 0x3F);
        }
        static const char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (!valid || c < kMinimum[extra] || c > 0x10FFFF || IsSurrogate(c)) {
            Append(out, kReplacement);
            ++i;
            continue;
        }
        Append(out, c);
        i += extra + 1;
    }
    return out;
}

namespace {

// The locale the multibyte functions use: the thread's own (uselocale)
// or else the process's. It is the C locale when its encoding is the C
// locale's; the system names that encoding (glibc: "ANSI_X3.4-1968").
bool BytesAreCharacters() {
    static const std::string cCodeset = [] {
        const locale_t c = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
        std::string name = c != static_cast<locale_t>(0) ? nl_langinfo_l(CODESET, c) : "";
        if (c != static_cast<locale_t>(0)) freelocale(c);
        return name;
    }();
    // Asked for every line a trace writes: strcmp, with no length taken.
    return strcmp(cCodeset.c_str(), nl_langinfo(CODESET)) == 0;
}

}  // namespace

std::u16string FromAnsi(const char* text) {
    std::u16string out(zav::AnsiToWide(text, nullptr, 0), u'\0');
    out.resize(zav::AnsiToWide(text, &out[0], out.size()));
    return out;
}

std::string ToAnsi(const std::u16string& text) {
    std::string out(zav::WideToAnsi(text.data(), text.size(), nullptr, 0), '\0');
    out.resize(zav::WideToAnsi(text.data(), text.size(), &out[0], out.size()));
    return out;
}

bool CopyOut(const std::u16string& text, WCHAR* buffer, DWORD capacity, DWORD* size) {
    if (text.size() + 1 > capacity || buffer == nullptr) {
        *size = static_cast<DWORD>(text.size() + 1);
        return false;
    }
    memcpy(buffer, text.data(), text.size() * sizeof(WCHAR));
    buffer[text.size()] = 0;
    *size = static_cast<DWORD>(text.size());
    return true;
}

bool CopyOut(const std::string& text, char* buffer, DWORD capacity, DWORD* size) {
    if (text.size() + 1 > capacity || buffer == nullptr) {
        *size = static_cast<DWORD>(text.size() + 1);
        return false;
    }
    memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = 0;
    *size = static_cast<DWORD>(text.size());
    return true;
}

}  // namespace zavplatform

extern "C" BOOL ZAVPlatform_ByteValuedLocale(void) { return zavplatform::BytesAreCharacters() ? TRUE : FALSE; }
