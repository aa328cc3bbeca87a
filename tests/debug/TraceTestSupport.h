// Helpers for the trace tests: scratch directories and trace files read back
// with their time fields masked.
#pragma once

#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FreshProcess.h"
#include "ScratchDirectory.h"
#include "ZAVUtil1.h"
#include "WString.h"

// Every line with its time, elapsed time and date replaced by "T", "E" and
// "D", and the header's ids by "#"; lines keep their CR LF.
inline std::string Masked(const std::string& text) {
    static const std::regex message("(^|\n)[0-9]{2}:[0-9]{2}:[0-9]{2}  *-?[0-9]+\\.[0-9]{3} ");
    static const std::regex date("Date=[0-9]{2}/[0-9]{2}/[0-9]{2}={80}");
    static const std::regex ids("ProcessId=[0-9]+, ThreadId=[0-9]+");
    static const std::regex duration("Dur=[0-9]+\\.[0-9]{3} msecs");
    std::string out = std::regex_replace(text, message, "$1T E ");
    out = std::regex_replace(out, date, "Date=D");
    out = std::regex_replace(out, ids, "ProcessId=#, ThreadId=#");
    return std::regex_replace(out, duration, "Dur=X msecs");
}

inline std::string LogonId() {
    const ZAVString id = ZAV_GetLogonId();
    return std::string(id.c_str(), id.c_str() + id.length());
}

// The masked header a trace file named path begins with.
inline std::string Header(const std::string& path) {
    return "Date=D\r\nT E Trace Started. UserId=" + LogonId() + ", ProcessId=#, ThreadId=#, Log File=" + path + "\r\n";
}
