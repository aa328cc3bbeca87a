// The inserts of FormatMessage: which argument each one takes, and the text
// a printf-style insert format makes of it.
#pragma once

#include <stdarg.h>
#include <stdint.h>

#include <string>

#include "ZAVPlatform.h"

namespace zavplatform {

// The values behind %1..%99, from an array of DWORD_PTR or a caller's
// va_list. Windows' numbering, with its quirks: an insert takes its own
// number; each '*' in its format takes that number first and then the
// argument after the highest one used so far; and in the va_list form the
// value that follows the '*' values is read from the list into the slot of
// the last of them (arguments are counted as they are read).
class MessageArguments {
public:
    // An insert and its '*' fields never reach past this argument.
    static const unsigned kMaxArgument = 101;

    MessageArguments(bool isArray, va_list* list);

    bool present() const { return array_ != nullptr || list_ != nullptr; }

    // The '*' values in order, then the insert's value, in values[0..stars].
    // False when there are no arguments or the numbering runs past
    // kMaxArgument.
    bool Take(unsigned number, unsigned stars, bool value64, uint64_t* values);

private:
    bool Fetch(unsigned number, bool value64, uint64_t& value);

    const DWORD_PTR* array_;
    va_list* list_;
    unsigned last_ = 0;  // the highest argument used (array) or read (va_list)
    uint64_t read_[kMaxArgument] = {};
};

// An insert's text as pieces, so that a huge width or precision costs no
// memory before it meets the output's bound.
template <typename Char>
struct InsertText {
    uint64_t leading = 0;  // fill before, of fill
    Char fill = ' ';
    std::basic_string<Char> head;  // sign and radix prefix
    uint64_t zeros = 0;
    std::basic_string<Char> body;  // digits or text
    uint64_t trailing = 0;  // blanks after
};

// Formats insert number from its format text (between the '!', "s" when
// there is none). Lower-case s and c are the function's own width (Char),
// upper case the other one; h names narrow text, l and w wide. False for a
// format the runtime's printf would refuse, or when the arguments fail.
template <typename Char>
bool FormatInsert(unsigned number, const std::string& format, MessageArguments& arguments,
                  InsertText<Char>& text);

}  // namespace zavplatform
