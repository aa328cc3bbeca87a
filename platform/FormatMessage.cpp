// FormatMessageW/A over a string source: the message-format language with
// numbered inserts and printf-style insert formats.
#include <string.h>

#include <string>
#include <vector>

#include "Conversion.h"

namespace {

// The inserts' values, numbered from 1: an array of DWORD_PTR or the
// caller's va_list, read in order as pointer-sized slots.
class Arguments {
public:
    Arguments(bool isArray, va_list* list)
        : array_(isArray ? reinterpret_cast<const DWORD_PTR*>(list) : nullptr), list_(isArray ? nullptr : list) {}

    bool Get(unsigned number, uint64_t& value) {
        if (number == 0) return false;
        if (array_ != nullptr) {
            value = array_[number - 1];
            return true;
        }
        if (list_ == nullptr) return false;
        while (fetched_.size() < number) fetched_.push_back(va_arg(*list_, uintptr_t));
        value = fetched_[number - 1];
        return true;
    }

private:
    const DWORD_PTR* array_;
    va_list* list_;
    std::vector<uint64_t> fetched_;
};

struct Spec {
    bool left = false, plus = false, blank = false, alternate = false, zero = false;
    int width = 0;
    int precision = -1;
    int bits = 32;        // of an integer argument
    int text = 0;         // for s and c: 0 the function's own width, 1 narrow, 2 wide
    char conversion = 's';
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Parses "flags width .precision length conversion"; '*' takes the next
// insert. Answers false for anything the language does not have.
bool ParseSpec(const std::string& text, unsigned& number, Arguments& arguments, Spec& spec) {
    size_t i = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '-') spec.left = true;
        else if (c == '+') spec.plus = true;
        else if (c == ' ') spec.blank = true;
        else if (c == '#') spec.alternate = true;
        else if (c == '0') spec.zero = true;
        else break;
    }
    auto count = [&](int& target) {
        uint64_t value = 0;
        if (i < text.size() && text[i] == '*') {
            ++i;
            if (!arguments.Get(number++, value)) return false;
            target = static_cast<int32_t>(value);
            return true;
        }
        target = 0;
        for (; i < text.size() && IsDigit(text[i]); ++i) target = target * 10 + (text[i] - '0');
        return true;
    };
    if (!count(spec.width)) return false;
    if (spec.width < 0) {
        spec.left = true;
        spec.width = -spec.width;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (!count(spec.precision)) return false;
    }
    const std::string rest = text.substr(i);
    static const struct {
        const char* prefix;
        int bits, text;
    } kLengths[] = {{"I64", 64, 0}, {"I32", 32, 0}, {"ll", 64, 0}, {"hh", 8, 1}, {"h", 16, 1},
                    {"l", 32, 2},   {"w", 32, 2},   {"I", 8 * static_cast<int>(sizeof(void*)), 0},
                    {"z", 8 * static_cast<int>(sizeof(size_t)), 0}, {"", 32, 0}};
    for (const auto& length : kLengths) {
        const size_t n = strlen(length.prefix);
        if (rest.compare(0, n, length.prefix) != 0) continue;
        if (rest.size() != n + 1) return false;
        spec.conversion = rest[n];
        spec.bits = length.bits;
        spec.text = length.text;
        break;
    }
    if (strchr("sScCdiuxXop", spec.conversion) == nullptr || spec.conversion == 0) return false;
    if (spec.conversion == 'p') spec.bits = 8 * static_cast<int>(sizeof(void*));
    return true;
}

std::string Digits(uint64_t value, unsigned radix, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[value % radix]);
        value /= radix;
    } while (value != 0);
    return out;
}

// An integer insert, in ASCII.
std::string FormatInteger(uint64_t raw, const Spec& spec) {
    const uint64_t mask = spec.bits >= 64 ? ~0ull : (1ull << spec.bits) - 1;
    uint64_t value = raw & mask;
    std::string sign, prefix;
    if (spec.conversion == 'd' || spec.conversion == 'i') {
        const bool negative = spec.bits < 64 ? (value >> (spec.bits - 1)) != 0 : static_cast<int64_t>(value) < 0;
        if (negative) {
            value = (~value + 1) & mask;
            sign = "-";
        } else if (spec.plus) {
            sign = "+";
        } else if (spec.blank) {
            sign = " ";
        }
    }
    std::string digits;
    switch (spec.conversion) {
        case 'x': digits = Digits(value, 16, false); if (spec.alternate && value != 0) prefix = "0x"; break;
        case 'X': digits = Digits(value, 16, true); if (spec.alternate && value != 0) prefix = "0X"; break;
        case 'o': digits = Digits(value, 8, false); if (spec.alternate && value != 0) prefix = "0"; break;
        case 'p': digits = Digits(value, 16, true); digits.insert(0, 2 * sizeof(void*) - digits.size(), '0'); break;
        default: digits = Digits(value, 10, false); break;
    }
    if (spec.precision == 0 && value == 0 && spec.conversion != 'p') digits.clear();
    if (spec.precision > static_cast<int>(digits.size())) digits.insert(0, spec.precision - digits.size(), '0');
    std::string body = sign + prefix + digits;
    const size_t width = static_cast<size_t>(spec.width);
    if (body.size() < width) {
        if (spec.left)
            body.append(width - body.size(), ' ');
        else if (spec.zero && spec.precision < 0)
            body.insert(sign.size() + prefix.size(), width - body.size(), '0');
        else
            body.insert(0, width - body.size(), ' ');
    }
    return body;
}

template <typename Char>
struct Output;

template <>
struct Output<char16_t> {
    static std::u16string Narrow(const char* text) { return zavplatform::FromAnsi(text); }
    static std::u16string Wide(const char16_t* text) { return text; }
    static std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }
    static const bool kWideIsOwn = true;
};

template <>
struct Output<char> {
    static std::string Narrow(const char* text) { return text; }
    static std::string Wide(const char16_t* text) { return zavplatform::ToAnsi(text); }
    static std::string Ascii(const std::string& text) { return text; }
    static const bool kWideIsOwn = false;
};

template <typename Char>
using Text = std::basic_string<Char>;

template <typename Char>
bool FormatInsert(unsigned number, const std::string& specText, Arguments& arguments, Text<Char>& out) {
    Spec spec;
    if (!ParseSpec(specText, number, arguments, spec)) return false;
    uint64_t value = 0;
    if (!arguments.Get(number, value)) return false;
    const bool isString = spec.conversion == 's' || spec.conversion == 'S';
    const bool isChar = spec.conversion == 'c' || spec.conversion == 'C';
    if (!isString && !isChar) {
        out += Output<Char>::Ascii(FormatInteger(value, spec));
        return true;
    }
    // Lower case is the function's own width, upper case the other one;
    // h and l/w name the width outright.
    const bool own = spec.conversion == 's' || spec.conversion == 'c';
    const bool wide = spec.text == 2 || (spec.text == 0 && own == Output<Char>::kWideIsOwn);
    Text<Char> piece;
    if (isChar) {
        const char16_t unit[] = {static_cast<char16_t>(value & 0xFFFF), 0};
        const char byte[] = {static_cast<char>(value & 0xFF), 0};
        piece = wide ? Output<Char>::Wide(unit) : Output<Char>::Narrow(byte);
        if (piece.empty()) piece.push_back(0);
    } else {
        const void* pointer = reinterpret_cast<const void*>(static_cast<uintptr_t>(value));
        if (pointer == nullptr)
            piece = Output<Char>::Ascii("(null)");
        else
            piece = wide ? Output<Char>::Wide(static_cast<const char16_t*>(pointer))
                         : Output<Char>::Narrow(static_cast<const char*>(pointer));
        if (spec.precision >= 0 && piece.size() > static_cast<size_t>(spec.precision)) piece.resize(spec.precision);
    }
    const size_t width = static_cast<size_t>(spec.width);
    if (piece.size() < width) {
        if (spec.left)
            piece.append(width - piece.size(), ' ');
        else
            piece.insert(0, width - piece.size(), spec.zero ? '0' : ' ');
    }
    out += piece;
    return true;
}

// Breaks lines longer than width at their last blank (or at width), keeping
// the hard breaks already in the text.
template <typename Char>
Text<Char> Wrap(const Text<Char>& text, size_t width) {
    Text<Char> out;
    size_t lineStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\n') {
            lineStart = out.size();
            continue;
        }
        if (out.size() - lineStart <= width) continue;
        const size_t blank = out.find_last_of(' ', out.size() - 1);
        const Char breakChars[] = {'\r', '\n', 0};
        if (blank != Text<Char>::npos && blank > lineStart) {
            out.replace(blank, 1, breakChars);
            lineStart = blank + 2;
        } else {
            out.insert(out.size() - 1, breakChars);
            lineStart = out.size() - 1;
        }
    }
    return out;
}

template <typename Char>
bool Render(const Char* source, DWORD flags, Arguments& arguments, Text<Char>& out) {
    const DWORD width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    const bool ignoreInserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
    for (const Char* p = source; *p != 0; ++p) {
        if (*p == '\r' || *p == '\n') {
            if (width == 0) {
                out += *p;
            } else if (!(*p == '\n' && p != source && p[-1] == '\r')) {
                out += ' ';  // a line break of the source is a blank
            }
            continue;
        }
        if (*p != '%') {
            out += *p;
            continue;
        }
        const Char c = *++p;
        if (c == 0) break;
        if (c >= '1' && c <= '9') {
            const Char* start = p - 1;
            unsigned number = static_cast<unsigned>(c - '0');
            if (p[1] >= '0' && p[1] <= '9') number = number * 10 + static_cast<unsigned>(*++p - '0');
            std::string spec = "s";
            if (p[1] == '!') {
                const Char* end = p + 2;
                while (*end != 0 && *end != '!') ++end;
                if (*end == 0) return false;
                spec.assign(p + 2, end);
                p = end;
            }
            if (ignoreInserts) {
                out.append(start, p + 1);
            } else if (!FormatInsert<Char>(number, spec, arguments, out)) {
                return false;
            }
            continue;
        }
        switch (c) {
            case '0': return true;
            case 'n': out += '\r'; out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            default: out += c; break;  // "%%", "% ", "%.", "%!" and the rest stand for themselves
        }
    }
    if (width != 0 && width != FORMAT_MESSAGE_MAX_WIDTH_MASK) out = Wrap(out, width);
    return true;
}

template <typename Char>
DWORD Format(DWORD flags, LPCVOID source, Char* buffer, DWORD size, va_list* arguments) {
    if ((flags & FORMAT_MESSAGE_FROM_STRING) == 0) {
        // No message tables here, neither a module's nor the system's.
        SetLastError((flags & (FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM)) != 0
                         ? ERROR_MR_MID_NOT_FOUND
                         : ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (source == nullptr || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Arguments values((flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0, arguments);
    Text<Char> out;
    if (!Render(static_cast<const Char*>(source), flags, values, out)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        Char** target = reinterpret_cast<Char**>(buffer);
        *target = nullptr;
        if (out.empty()) return 0;  // nothing to hand out, nothing to release
        const size_t units = out.size() + 1 > size ? out.size() + 1 : size;
        Char* block = static_cast<Char*>(LocalAlloc(LMEM_FIXED, units * sizeof(Char)));
        if (block == nullptr) return 0;
        memcpy(block, out.c_str(), (out.size() + 1) * sizeof(Char));
        *target = block;
        return static_cast<DWORD>(out.size());
    }
    if (out.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(buffer, out.c_str(), (out.size() + 1) * sizeof(Char));
    return static_cast<DWORD>(out.size());
}

}  // namespace

extern "C" DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD, DWORD, LPWSTR buffer, DWORD size,
                                       va_list* arguments) {
    return Format<char16_t>(flags, source, buffer, size, arguments);
}

extern "C" DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD, DWORD, LPSTR buffer, DWORD size,
                                       va_list* arguments) {
    return Format<char>(flags, source, buffer, size, arguments);
}
