#include "TextEncoding.h"

#include <cstdint>

namespace zavtrace {
namespace {

// Length of the UTF-8 sequence at text[i], or 0 when it is not one.
size_t Utf8Sequence(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t c = byte(i);
    size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    if (length == 3 && ((c == 0xE0 && byte(i + 1) < 0xA0) || (c == 0xED && byte(i + 1) >= 0xA0))) return 0;
    if (length == 4 && ((c == 0xF0 && byte(i + 1) < 0x90) || (c == 0xF4 && byte(i + 1) >= 0x90))) return 0;
    return length;
}

// Calls plain(c) for each ASCII byte and appends everything else as UTF-8.
template <typename Plain>
void Transcode(std::string& out, std::string_view text, Plain plain) {
    size_t i = 0;
    while (i < text.size()) {
        const uint8_t c = static_cast<uint8_t>(text[i]);
        if (c < 0x80) {
            plain(static_cast<char>(c));
            ++i;
        } else if (size_t length = Utf8Sequence(text, i)) {
            out.append(text.data() + i, length);
            i += length;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
            ++i;
        }
    }
}

}  // namespace

std::string ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    Transcode(out, text, [&](char c) { out += c; });
    return out;
}

void AppendJsonString(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    // Most text needs no escaping and no transcoding: take it whole.
    size_t plain = 0;
    while (plain < text.size()) {
        const uint8_t c = static_cast<uint8_t>(text[plain]);
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') break;
        ++plain;
    }
    out.append(text.data(), plain);
    text.remove_prefix(plain);
    Transcode(out, text, [&](char c) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F) {
                out += "\\u00";
                out += kHex[(c >> 4) & 0xF];
                out += kHex[c & 0xF];
            } else {
                out += c;
            }
        }
    });
}

void AppendXmlText(std::string& out, std::string_view text) {
    Transcode(out, text, [&](char c) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            // XML 1.0 allows no other control characters.
            out += static_cast<uint8_t>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r' ? '?' : c;
        }
    });
}

}  // namespace zavtrace
