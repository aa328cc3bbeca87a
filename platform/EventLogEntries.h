// The two wire forms of an event-log entry on POSIX: the journal's native
// protocol and the traditional syslog line that glibc's syslog(3) sends.
#pragma once

#include <time.h>

#include <string>

#include "ZAVEventOutlet.h"
#include "ZAVPlatform.h"

namespace zavplatform {

struct EventEntry {
    std::string source;   // UTF-8
    std::string message;  // UTF-8
    WORD type;            // EVENTLOG_*_TYPE
    DWORD eventId;
    DWORD processId;
};

// Syslog severity of an event type: error 3, warning 4, notice 5, information 6.
int EventSeverity(WORD type);

// Facility "user", as syslog(3) uses without openlog.
const int kEventFacility = 1;

// KEY=value lines; a value holding a newline goes as KEY, newline, its
// length as 64-bit little-endian, the bytes, newline.
std::string JournalEntry(const EventEntry& entry);

// "<PRI>Mmm dd hh:mm:ss IDENT[PID]: MESSAGE" at the local time of moment.
std::string SyslogLine(const EventEntry& entry, time_t moment);

// The identifier as the syslog line can carry it: blanks, control
// characters and the delimiters ':', '[' and ']' become '_'.
std::string SyslogIdentifier(const std::string& source);

// The longest prefix of text no longer than limit bytes that ends on a
// whole UTF-8 character.
size_t Utf8Prefix(const std::string& text, size_t limit);

// Behind ZAVPlatform_LastEventReport, which the library exports.
ZAVEventOutlet LastEventReport(char* where, size_t size, BOOL* taken);

}  // namespace zavplatform
