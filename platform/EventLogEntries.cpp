#include "EventLogEntries.h"

#include <stdint.h>
#include <stdio.h>

namespace zavplatform {

namespace {

void AppendField(std::string& entry, const char* key, const std::string& value) {
    entry += key;
    if (value.find('\n') == std::string::npos) {
        entry += '=';
    } else {
        entry += '\n';
        const uint64_t size = value.size();
        for (int i = 0; i < 8; ++i) entry += static_cast<char>((size >> (8 * i)) & 0xFF);
    }
    entry += value;
    entry += '\n';
}

}  // namespace

int EventSeverity(WORD type) {
    switch (type) {
        case EVENTLOG_ERROR_TYPE:
        case EVENTLOG_AUDIT_FAILURE: return 3;
        case EVENTLOG_WARNING_TYPE: return 4;
        case EVENTLOG_AUDIT_SUCCESS: return 5;
        default: return 6;
    }
}

std::string JournalEntry(const EventEntry& entry) {
    std::string text;
    text.reserve(entry.message.size() + entry.source.size() + 128);
    AppendField(text, "MESSAGE", entry.message);
    AppendField(text, "PRIORITY", std::to_string(EventSeverity(entry.type)));
    AppendField(text, "SYSLOG_FACILITY", std::to_string(kEventFacility));
    AppendField(text, "SYSLOG_IDENTIFIER", entry.source);
    AppendField(text, "SYSLOG_PID", std::to_string(entry.processId));
    AppendField(text, "EVENT_ID", std::to_string(entry.eventId));
    return text;
}

std::string SyslogIdentifier(const std::string& source) {
    std::string ident(source);
    for (char& c : ident) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 0x7F || c == ':' || c == '[' || c == ']') c = '_';
    }
    return ident;
}

std::string SyslogLine(const EventEntry& entry, time_t moment) {
    // The month in the C locale whatever the host's, as syslog(3) writes it.
    static const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    struct tm local = {};
    localtime_r(&moment, &local);
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%s %2d %02d:%02d:%02d ", kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour,
             local.tm_min, local.tm_sec);
    std::string line = "<" + std::to_string(kEventFacility * 8 + EventSeverity(entry.type)) + ">";
    line += stamp;
    line += SyslogIdentifier(entry.source);
    line += "[" + std::to_string(entry.processId) + "]: ";
    line += entry.message;
    return line;
}

size_t Utf8Prefix(const std::string& text, size_t limit) {
    if (limit >= text.size()) return text.size();
    size_t size = limit;
    while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
    return size;
}

}  // namespace zavplatform
