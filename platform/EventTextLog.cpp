#include "EventTextLog.h"

#include <time.h>

#include "Conversion.h"
#include "StateFolder.h"
#include "SystemQueries.h"
#include "ZAVPlatform.h"
#include "ZAVProgramFiles.h"

namespace zavplatform {
namespace {

// The stand-in's own file calls, so the library's text log and this one
// share the same file the same way (others may read, not write).
HANDLE OpenTextLog(const std::string& path) {
    const std::u16string widePath = FromUtf8(path);
    return CreateFileW(widePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::string EventTextLogPath() {
    std::string path = ProgramFile();
    path.erase(path.rfind('/') + 1);  // npos + 1 clears a path without a folder
    return path + "EventLog.txt";
}

bool AppendEventTextLog(const std::string& path, const std::u16string& text, std::string* writtenTo) {
    *writtenTo = path;
    HANDLE file = OpenTextLog(path);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (ZAVPlatform_OpeningRefused(error)) {
            const std::string moved = InStateFolder(path);
            if (!moved.empty()) {
                *writtenTo = moved;
                file = OpenTextLog(moved);
                error = GetLastError();
            }
        }
        if (file == INVALID_HANDLE_VALUE) {
            ZAVPlatform_ReportUnopenedFile(FromUtf8(*writtenTo).c_str(), error);
            return false;
        }
    }
    const time_t now = time(nullptr);
    const WCHAR* stamp = _wctime(&now);
    std::u16string line(stamp != nullptr ? stamp : u"", stamp != nullptr ? 24 : 0);
    line += u' ';
    line += text;
    line += u"\r\n";
    const std::string bytes = ToAnsi(line);
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

}  // namespace zavplatform
