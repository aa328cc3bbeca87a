// The event log's last resort when no log daemon listens: EventLog.txt
// beside the program, in the layout the library's own text log has.
#pragma once

#include <string>

namespace zavplatform {

// The log file beside the running program.
std::string EventTextLogPath();

// Appends one line (the 24 ctime characters of now, a blank, the text,
// CR LF) in the ANSI form; false when the file cannot be opened.
bool AppendEventTextLog(const std::string& path, const std::u16string& text);

}  // namespace zavplatform
