#include "MessageInsert.h"

#include <limits.h>
#include <string.h>

#include "Conversion.h"

namespace zavplatform {

MessageArguments::MessageArguments(bool isArray, va_list* list)
    : array_(isArray ? reinterpret_cast<const DWORD_PTR*>(list) : nullptr), list_(isArray ? nullptr : list) {}

// In the va_list form an argument is read once, in order, and kept.
bool MessageArguments::Fetch(unsigned number, bool value64, uint64_t& value) {
    if (number == 0 || number > kMaxArgument) return false;
    while (last_ < number) {
        const bool wide = value64 && last_ + 1 == number;
        read_[last_++] = wide ? va_arg(*list_, uint64_t) : static_cast<uint64_t>(va_arg(*list_, uintptr_t));
    }
    value = read_[number - 1];
    return true;
}

bool MessageArguments::Take(unsigned number, unsigned stars, bool value64, uint64_t* values) {
    if (array_ != nullptr) {
        // The insert's own number gives the first printf argument; the '*'
        // fields move the rest on from the highest argument used.
        unsigned next = number;
        for (unsigned i = 0; i <= stars; ++i) {
            if (next == 0 || next > kMaxArgument) return false;
            values[i] = array_[next - 1];
            if (last_ < next) last_ = next;
            next = last_ + 1;
        }
        return true;
    }
    if (list_ == nullptr) return false;
    uint64_t unused = 0;
    if (number > 1 && !Fetch(number - 1, false, unused)) return false;
    unsigned next = number;
    for (unsigned i = 0; i < stars; ++i) {
        if (!Fetch(next, false, values[i])) return false;
        next = last_ + 1;
    }
    if (stars == 0) return Fetch(number, value64, values[0]);
    // Windows reads the value into the last '*' value's slot.
    --last_;
    return Fetch(last_ + 1, value64, values[stars]);
}

namespace {

struct Spec {
    bool left = false, plus = false, blank = false, alternate = false, zero = false;
    bool widthStar = false, precisionStar = false;
    uint64_t width = 0;
    int64_t precision = -1;  // none
    unsigned bits = 32;      // of an integer
    int text = 0;            // of s and c: 0 the function's own width, 1 narrow, 2 wide
    bool value64 = false;    // the value takes 64 bits of a va_list
    char conversion = 0;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits as the runtime's printf reads them: a count that does not fit its
// int is a format it refuses.
bool ReadCount(const std::string& format, size_t& i, uint64_t& count) {
    count = 0;
    for (; i < format.size() && IsDigit(format[i]); ++i) {
        count = count * 10 + static_cast<unsigned>(format[i] - '0');
        if (count > INT_MAX) return false;
    }
    return true;
}

bool ParseSpec(const std::string& format, Spec& spec) {
    size_t i = 0;
    for (; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '-') spec.left = true;
        else if (c == '+') spec.plus = true;
        else if (c == ' ') spec.blank = true;
        else if (c == '#') spec.alternate = true;
        else if (c == '0') spec.zero = true;
        else break;
    }
    if (i < format.size() && format[i] == '*') {
        spec.widthStar = true;
        ++i;
    } else if (!ReadCount(format, i, spec.width)) {
        return false;
    }
    if (i < format.size() && format[i] == '.') {
        ++i;
        uint64_t precision = 0;
        if (i < format.size() && format[i] == '*') {
            spec.precisionStar = true;
            ++i;
        } else if (!ReadCount(format, i, precision)) {
            return false;
        }
        spec.precision = static_cast<int64_t>(precision);
    }
    static const struct {
        const char* prefix;
        unsigned bits;
        int text;
    } kLengths[] = {{"I64", 64, 0}, {"I32", 32, 0}, {"ll", 64, 0}, {"hh", 8, 1},  {"h", 16, 1},
                    {"l", 32, 2},   {"w", 32, 2},   {"j", 64, 0},  {"I", 8 * sizeof(void*), 0},
                    {"z", 8 * sizeof(size_t), 0},   {"t", 8 * sizeof(ptrdiff_t), 0}};
    for (const auto& length : kLengths) {
        const size_t n = strlen(length.prefix);
        if (format.compare(i, n, length.prefix) != 0) continue;
        spec.bits = length.bits;
        spec.text = length.text;
        i += n;
        break;
    }
    if (i + 1 != format.size() || strchr("sScCdiuxXop", format[i]) == nullptr) return false;
    spec.conversion = format[i];
    if (spec.conversion == 'p') spec.bits = 8 * sizeof(void*);
    spec.value64 = spec.bits == 64;
    return true;
}

template <typename Char>
std::basic_string<Char> Ascii(const std::string& text) {
    return std::basic_string<Char>(text.begin(), text.end());
}

void IntegerInsert(uint64_t raw, const Spec& spec, InsertText<char>& text) {
    const uint64_t mask = spec.bits >= 64 ? ~0ull : (1ull << spec.bits) - 1;
    uint64_t value = raw & mask;
    std::string head;
    if (spec.conversion == 'd' || spec.conversion == 'i') {
        if ((value >> (spec.bits - 1)) != 0) {
            value = (~value + 1) & mask;
            head = "-";
        } else if (spec.plus) {
            head = "+";
        } else if (spec.blank) {
            head = " ";
        }
    }
    unsigned radix = 10;
    const char* digits = "0123456789abcdef";
    switch (spec.conversion) {
        case 'X':
        case 'p': digits = "0123456789ABCDEF"; radix = 16; break;
        case 'x': radix = 16; break;
        case 'o': radix = 8; break;
        default: break;
    }
    std::string body;
    for (uint64_t rest = value; rest != 0; rest /= radix) body.insert(body.begin(), digits[rest % radix]);
    if (body.empty() && (spec.precision != 0 || spec.conversion == 'p')) body = "0";
    uint64_t zeros = spec.precision > static_cast<int64_t>(body.size()) ? spec.precision - body.size() : 0;
    if (spec.conversion == 'p' && body.size() < 2 * sizeof(void*)) zeros = 2 * sizeof(void*) - body.size();
    if (spec.alternate && value != 0 && spec.conversion == 'x') head += "0x";
    if (spec.alternate && value != 0 && spec.conversion == 'X') head += "0X";
    if (spec.alternate && spec.conversion == 'o' && zeros == 0 && (body.empty() || body[0] != '0')) head += "0";
    const uint64_t length = head.size() + zeros + body.size();
    const uint64_t pad = spec.width > length ? spec.width - length : 0;
    if (spec.left)
        text.trailing = pad;
    else if (spec.zero && spec.precision < 0 && spec.conversion != 'p')
        zeros += pad;
    else
        text.leading = pad;
    text.head = head;
    text.zeros = zeros;
    text.body = body;
}

// Text of the other width, converted; of the function's own, as it stands.
template <typename Char>
struct Form;

template <>
struct Form<char16_t> {
    static const bool kOwnIsWide = true;
    static std::u16string FromNarrow(const char* text, size_t n) { return FromAnsi(std::string(text, n).c_str()); }
    static std::u16string FromWide(const char16_t* text, size_t n) { return std::u16string(text, n); }
};

template <>
struct Form<char> {
    static const bool kOwnIsWide = false;
    static std::string FromNarrow(const char* text, size_t n) { return std::string(text, n); }
    static std::string FromWide(const char16_t* text, size_t n) { return ToAnsi(std::u16string(text, n)); }
};

// Units up to the terminator, or up to limit when the text needs no
// conversion (printf reads no further than the precision).
template <typename Unit>
size_t Length(const Unit* text, uint64_t limit) {
    size_t n = 0;
    while (n < limit && text[n] != 0) ++n;
    return n;
}

template <typename Char>
std::basic_string<Char> TextOf(uint64_t value, bool wide, bool isChar, int64_t precision) {
    using F = Form<Char>;
    if (isChar) {
        const char16_t unit = static_cast<char16_t>(value & 0xFFFF);
        const char byte = static_cast<char>(value & 0xFF);
        std::basic_string<Char> piece = wide ? F::FromWide(&unit, 1) : F::FromNarrow(&byte, 1);
        if (piece.empty()) piece.push_back(0);  // the character 0 is written as it is
        return piece;
    }
    const void* pointer = reinterpret_cast<const void*>(static_cast<uintptr_t>(value));
    if (pointer == nullptr) return Ascii<Char>("(null)");
    const bool converts = wide != F::kOwnIsWide;
    const uint64_t limit = precision >= 0 && !converts ? static_cast<uint64_t>(precision) : ~0ull;
    if (wide) {
        const auto* text = static_cast<const char16_t*>(pointer);
        return F::FromWide(text, Length(text, limit));
    }
    const auto* text = static_cast<const char*>(pointer);
    return F::FromNarrow(text, Length(text, limit));
}

}  // namespace

template <typename Char>
bool FormatInsert(unsigned number, const std::string& format, MessageArguments& arguments,
                  InsertText<Char>& text) {
    Spec spec;
    if (!ParseSpec(format, spec)) return false;
    uint64_t values[3] = {};
    const unsigned stars = (spec.widthStar ? 1 : 0) + (spec.precisionStar ? 1 : 0);
    if (!arguments.Take(number, stars, spec.value64, values)) return false;
    unsigned next = 0;
    if (spec.widthStar) {
        // printf's int: a negative width justifies to the left.
        const int64_t width = static_cast<int32_t>(values[next++]);
        if (width < 0) spec.left = true;
        spec.width = static_cast<uint64_t>(width < 0 ? -width : width);
    }
    if (spec.precisionStar) {
        const int64_t precision = static_cast<int32_t>(values[next++]);
        spec.precision = precision < 0 ? -1 : precision;
    }
    const uint64_t value = values[next];

    const bool isString = spec.conversion == 's' || spec.conversion == 'S';
    const bool isChar = spec.conversion == 'c' || spec.conversion == 'C';
    if (!isString && !isChar) {
        InsertText<char> ascii;
        IntegerInsert(value, spec, ascii);
        text.leading = ascii.leading;
        text.head = Ascii<Char>(ascii.head);
        text.zeros = ascii.zeros;
        text.body = Ascii<Char>(ascii.body);
        text.trailing = ascii.trailing;
        return true;
    }
    const bool own = spec.conversion == 's' || spec.conversion == 'c';
    const bool wide = spec.text == 2 || (spec.text == 0 && own == Form<Char>::kOwnIsWide);
    text.body = TextOf<Char>(value, wide, isChar, isChar ? -1 : spec.precision);
    if (isString && spec.precision >= 0 && text.body.size() > static_cast<uint64_t>(spec.precision))
        text.body.resize(static_cast<size_t>(spec.precision));
    const uint64_t pad = spec.width > text.body.size() ? spec.width - text.body.size() : 0;
    if (spec.left) {
        text.trailing = pad;
    } else {
        text.leading = pad;
        if (spec.zero) text.fill = '0';  // the Windows runtime fills text with zeros too
    }
    return true;
}

template bool FormatInsert<char16_t>(unsigned, const std::string&, MessageArguments&, InsertText<char16_t>&);
template bool FormatInsert<char>(unsigned, const std::string&, MessageArguments&, InsertText<char>&);

}  // namespace zavplatform
