// The program's command line as Windows hands it out: the arguments joined by
// spaces, quoted so that the Windows runtime would split them back the same.
#include <string>
#include <vector>

#include "Conversion.h"
#include "SystemQueries.h"

namespace {

// Backslashes are literal unless they precede a quote; those before a quote
// (or before the closing quote) are doubled.
void AppendQuoted(std::string& line, const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
        line += argument;
        return;
    }
    line += '"';
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, '\\');
    line += '"';
}

std::u16string BuildCommandLine() {
    const std::string bytes = zavplatform::ProgramArgumentBytes();
    std::string line;
    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find('\0', start);
        if (end == std::string::npos) end = bytes.size();
        if (!line.empty()) line += ' ';
        AppendQuoted(line, bytes.substr(start, end - start));
        start = end + 1;
    }
    return zavplatform::FromUtf8(line);
}

}  // namespace

extern "C" LPWSTR WINAPI GetCommandLineW(void) {
    static std::u16string line = BuildCommandLine();
    return line.data();
}
