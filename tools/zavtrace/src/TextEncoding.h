// Trace files are 8-bit text in the writer's code page: UTF-8 under a UTF-8
// locale, one byte per character (Latin-1) under the C locale. Text that is
// valid UTF-8 is taken as such; any other byte as the Latin-1 character.
#pragma once

#include <string>
#include <string_view>

namespace zavtrace {

std::string ToUtf8(std::string_view text);
// Appends text as the inside of a JSON string.
void AppendJsonString(std::string& out, std::string_view text);
// Appends text with XML's special characters escaped.
void AppendXmlText(std::string& out, std::string_view text);

}  // namespace zavtrace
