#include "TraceLine.h"

#include <charconv>

namespace zavtrace {
namespace {

constexpr std::string_view kRollOver = "--Trace closed and re-opened due to trace size.";
constexpr std::string_view kWrapBegin = "---- Wrap trace of saved events.";
constexpr std::string_view kWrapEnd = "---- End of wrap trace.";
constexpr std::string_view kMemory = "...Memory use changed. Internal Pool=";
constexpr std::string_view kProcess = ". Process Bytes Allocated=";
constexpr std::string_view kReturnCode = " Return Code=";
constexpr std::string_view kDuration = "  Dur=";
constexpr std::string_view kMsecs = " msecs";

constexpr int64_t kLargestMs = int64_t(9) << 40;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int TwoDigits(const char* p) { return (p[0] - '0') * 10 + (p[1] - '0'); }

// A whole field of a signed decimal integer.
template <typename T>
bool WholeInteger(std::string_view s, T& value) {
    if (s.empty()) return false;
    const char* end = s.data() + s.size();
    auto [ptr, ec] = std::from_chars(s.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// "[-]digits.ddd" as microseconds; the three decimals are required.
bool Milliseconds(std::string_view s, int64_t& us) {
    const size_t point = s.find('.');
    if (point == std::string_view::npos || s.size() - point != 4) return false;
    int64_t whole = 0;
    const bool negative = !s.empty() && s[0] == '-';
    // Up to about 285 years: no sum of a trace's fields can overflow then.
    if (!WholeInteger(s.substr(0, point), whole) || whole > kLargestMs || whole < -kLargestMs) return false;
    int fraction = 0;
    for (size_t i = point + 1; i < s.size(); ++i) {
        if (!IsDigit(s[i])) return false;
        fraction = fraction * 10 + (s[i] - '0');
    }
    us = negative ? whole * 1000 - fraction : whole * 1000 + fraction;
    return true;
}

bool ParseDate(std::string_view line, ParsedLine& out) {
    // "Date=" + MM/DD/YY + 80 '='
    if (line.size() != 5 + 8 + 80) return false;
    const char* d = line.data() + 5;
    if (!IsDigit(d[0]) || !IsDigit(d[1]) || d[2] != '/' || !IsDigit(d[3]) || !IsDigit(d[4]) || d[5] != '/' ||
        !IsDigit(d[6]) || !IsDigit(d[7]))
        return false;
    for (size_t i = 13; i < line.size(); ++i)
        if (line[i] != '=') return false;
    const int month = TwoDigits(d), dayOfMonth = TwoDigits(d + 3), year = TwoDigits(d + 6);
    if (month < 1 || month > 12 || dayOfMonth < 1 || dayOfMonth > 31) return false;
    // Two-digit years as the C runtime's date text gives them: 70..99 are 19xx.
    out.day = DaysFromCivil(year >= 70 ? 1900 + year : 2000 + year, month, dayOfMonth);
    out.kind = LineKind::Date;
    return true;
}

// "a, b" as two integers.
template <typename T>
bool Pair(std::string_view s, T& first, T& second) {
    const size_t comma = s.find(", ");
    return comma != std::string_view::npos && WholeInteger(s.substr(0, comma), first) &&
           WholeInteger(s.substr(comma + 2), second);
}

bool ParseMemory(std::string_view line, ParsedLine& out) {
    std::string_view rest = line.substr(kMemory.size());
    const size_t process = rest.find(kProcess);
    if (process == std::string_view::npos) return false;
    // The process counter is as wide as the writer's addresses: 64 bits in a 64-bit host.
    if (!Pair(rest.substr(0, process), out.pool, out.poolChange) ||
        !Pair(rest.substr(process + kProcess.size()), out.processBytes, out.processChange))
        return false;
    out.kind = LineKind::Memory;
    return true;
}

// The routine line texts; anything that does not fit stays a message line.
void ParseRoutineText(ParsedLine& out) {
    std::string_view text = out.text;
    if (StartsWith(text, "Push ")) {
        if (out.indent % 4 != 0) return;
        std::string_view name = text.substr(5);
        const size_t extra = name.find("  ");
        if (extra != std::string_view::npos) name = name.substr(0, extra);
        // The library writes "Owner.Routine": text without such a dot is a message.
        const size_t dot = name.find('.');
        if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return;
        out.text = name;
        out.kind = LineKind::Push;
        return;
    }
    if (!StartsWith(text, "Pop  ") || out.indent % 4 != 0) return;
    std::string_view name = text.substr(5);
    // A pop whose composition failed keeps what it had; the parts are optional.
    const size_t dur = name.rfind(kDuration);
    if (dur != std::string_view::npos) {
        std::string_view value = name.substr(dur + kDuration.size());
        if (value.size() > kMsecs.size() && value.substr(value.size() - kMsecs.size()) == kMsecs) {
            // A number out of all range is still this line's duration, just not believed.
            out.hasDur = Milliseconds(value.substr(0, value.size() - kMsecs.size()), out.durUs);
            out.badDur = !out.hasDur;
            name = name.substr(0, dur);
        }
    }
    const size_t rc = name.rfind(kReturnCode);
    if (rc != std::string_view::npos && WholeInteger(name.substr(rc + kReturnCode.size()), out.rc)) {
        out.hasRc = true;
        name = name.substr(0, rc);
    }
    out.text = name;
    out.kind = LineKind::Pop;
}

bool ParseMessage(std::string_view line, ParsedLine& out) {
    // "HH:MM:SS" + blank + " %#8.3f" + blank + indentation + text
    if (line.size() < 19) return false;
    const char* p = line.data();
    if (!IsDigit(p[0]) || !IsDigit(p[1]) || p[2] != ':' || !IsDigit(p[3]) || !IsDigit(p[4]) || p[5] != ':' ||
        !IsDigit(p[6]) || !IsDigit(p[7]) || p[8] != ' ' || p[9] != ' ')
        return false;
    const int hours = TwoDigits(p), minutes = TwoDigits(p + 3), seconds = TwoDigits(p + 6);
    if (hours > 23 || minutes > 59 || seconds > 60) return false;
    size_t start = 10;
    while (start < 18 && p[start] == ' ') ++start;
    const size_t end = line.find(' ', start);
    if (end == std::string_view::npos || end < 18) return false;
    if (!Milliseconds(line.substr(start, end - start), out.elapsedUs)) return false;
    size_t text = end + 1;
    while (text < line.size() && line[text] == ' ') ++text;
    out.timeOfDay = hours * 3600 + minutes * 60 + seconds;
    out.indent = static_cast<int>(text - end - 1);
    out.text = line.substr(text);
    out.message = out.text;
    out.kind = LineKind::Message;
    if (!out.text.empty() && (out.text[0] == 'P')) ParseRoutineText(out);
    return true;
}

}  // namespace

int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

ParsedLine ParseLine(std::string_view line) {
    ParsedLine out;
    out.text = line;  // what a garbled line holds
    if (line.empty()) return out;
    switch (line[0]) {
    case '0': case '1': case '2':
        ParseMessage(line, out);
        break;
    case 'D':
        if (StartsWith(line, "Date=")) ParseDate(line, out);
        break;
    case '.':
        if (StartsWith(line, kMemory)) ParseMemory(line, out);
        break;
    case '-':
        if (line == kRollOver) out.kind = LineKind::RollOver;
        else if (line == kWrapBegin) out.kind = LineKind::WrapBegin;
        else if (line == kWrapEnd) out.kind = LineKind::WrapEnd;
        break;
    default:
        break;
    }
    return out;
}

bool ParseHeader(std::string_view text, uint32_t& processId, uint32_t& threadId) {
    if (!StartsWith(text, "Trace Started. UserId=")) return false;
    const size_t pid = text.find(", ProcessId=");
    if (pid == std::string_view::npos) return false;
    std::string_view rest = text.substr(pid + 12);
    const size_t tid = rest.find(", ThreadId=");
    // Written with "%d": a large id shows as negative.
    int64_t process = 0, thread = 0;
    if (tid == std::string_view::npos || !WholeInteger(rest.substr(0, tid), process)) return false;
    rest = rest.substr(tid + 11);
    const size_t file = rest.find(", Log File=");
    if (file == std::string_view::npos || !WholeInteger(rest.substr(0, file), thread)) return false;
    processId = static_cast<uint32_t>(process);
    threadId = static_cast<uint32_t>(thread);
    return true;
}

}  // namespace zavtrace
