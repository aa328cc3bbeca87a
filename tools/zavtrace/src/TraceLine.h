// One line of a trace file, recognised and taken apart. Lines arrive without
// their CR LF; nothing here allocates.
#pragma once

#include <cstdint>
#include <string_view>

namespace zavtrace {

enum class LineKind {
    Message,   // time prefix, elapsed field, indentation, text
    Push,      // a message line whose text is "Push Owner.Routine[  extra]"
    Pop,       // a message line whose text is "Pop  Owner.Routine[ Return Code=n]  Dur=x msecs"
    Date,      // "Date=MM/DD/YY" and 80 '='
    Memory,    // "...Memory use changed. Internal Pool=..."
    RollOver,  // the last line of a file that grew past its limit
    WrapBegin, // opening marker of a wrap dump
    WrapEnd,   // closing marker of a wrap dump
    Garbled,   // none of the above
};

struct ParsedLine {
    LineKind kind = LineKind::Garbled;
    // Message, Push, Pop
    int timeOfDay = 0;       // seconds since midnight
    int64_t elapsedUs = 0;   // the elapsed field, in microseconds
    int indent = 0;          // blanks between the prefix and the text
    std::string_view text;   // Message: the text; Push/Pop: the routine's name (empty for a bare "Pop  ")
    std::string_view message;  // Message, Push, Pop: the whole text after the indentation
    bool hasRc = false;
    int32_t rc = 0;
    bool hasDur = false;
    bool badDur = false;     // a Dur= field whose number is out of any range
    int64_t durUs = 0;
    // Date: days since 1970-01-01
    int64_t day = 0;
    // Memory: pool bytes and process bytes with their changes
    int64_t pool = 0, poolChange = 0, processBytes = 0, processChange = 0;
};

ParsedLine ParseLine(std::string_view line);

// "Trace Started. UserId=..., ProcessId=p, ThreadId=t, Log File=..." gives p
// and t; false for any other text.
bool ParseHeader(std::string_view text, uint32_t& processId, uint32_t& threadId);

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);

}  // namespace zavtrace
