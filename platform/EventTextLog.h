// The event log's last resort when no log daemon listens: EventLog.txt
// beside the program (or in the user's state folder when the program's
// folder refuses it), in the layout the library's own text log has.
#pragma once

#include <string>

namespace zavplatform {

// The log file beside the running program.
std::string EventTextLogPath();

// Appends one line (the 24 ctime characters of now, a blank, the text,
// CR LF) in the ANSI form to path, or to the same name in the state folder
// when path's folder refuses it; the file written in *writtenTo. False when
// neither can be opened, which the system log is told once per path.
bool AppendEventTextLog(const std::string& path, const std::u16string& text, std::string* writtenTo);

}  // namespace zavplatform
