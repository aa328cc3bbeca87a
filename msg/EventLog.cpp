// Message text formatted with the record's insertions, written to the
// system's event log on the NT family and to EventLog.txt beside the program
// elsewhere, under the flood limit.
#include <time.h>

#include "AnsiText.h"
#include "MemoryBlock.h"
#include "ProgramPaths.h"
#include "ZAVEventLog.h"
#include "ZAVFrame.h"
#include "ZAVGlobals.h"
#include "ZAVMemory.h"

namespace {

const WCHAR kDefaultSource[] = {'Z', 'A', 'V', 'M', 's', 'g', 0};
const char kNotice[] = "**** Process terminated due to too many error messages. ****";
const UINT kFloodExitCode = 112;
const DWORD kEventId = 1;
const DWORD kMinimumBuffer = 80;

const char kLogName[] = "EventLog.txt";
const char kLogSuffix[] = ZAV_PATH_SEP "EventLog.txt";
const char kDevelopmentHost[] = ZAV_PATH_SEP "vb6.exe";

ZAVUInt64 TimerSeconds() { return (ZAV_TimerValue() + 999999) / 1000000; }

WORD EventType(ZAVMsgCategory category) {
    switch (category) {
        case ZAVCatInfo6:
        case ZAVCatInfo10:
        case ZAVCatInfo20:
        case ZAVCatInfo30: return EVENTLOG_INFORMATION_TYPE;
        case ZAVCatWarning50: return EVENTLOG_WARNING_TYPE;
        default: return EVENTLOG_ERROR_TYPE;
    }
}

// Pointers to the insertion strings up to the first empty one, then nulls:
// room for every insert number, so a template that names more inserts than
// the record has reads a null string, never past the array.
class InsertionArray {
public:
    explicit InsertionArray(const ZAVMsg& msg) {
        if (msg.InsertionBytes == 0) return;
        size_t count = 0;
        for (const WCHAR* s = msg.pInsertions; s != nullptr && *s != 0; s += lstrlenW(s) + 1) ++count;
        const size_t slots = count + kSpare;
        slots_.Obtain(slots * sizeof(DWORD_PTR));
        DWORD_PTR* slot = slots_.get();
        for (const WCHAR* s = msg.pInsertions; s != nullptr && *s != 0; s += lstrlenW(s) + 1)
            *slot++ = reinterpret_cast<DWORD_PTR>(s);
        while (slot != slots_.get() + slots) *slot++ = 0;
    }

    // The formatter's argument list; null without insertions.
    va_list* arguments() const { return reinterpret_cast<va_list*>(slots_.get()); }

private:
    static const size_t kSpare = 100;
    zav::MemoryBlock<DWORD_PTR> slots_;
};

// The formatted text in a LocalAlloc block, or null when there is none.
WCHAR* FormatText(const ZAVMsg& msg, const WCHAR* text) {
    const InsertionArray insertions(msg);
    va_list* arguments = insertions.arguments();
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                        (text != nullptr ? FORMAT_MESSAGE_FROM_STRING : 0);
    if (ZAV_IsWinNT()) {
        WCHAR* formatted = nullptr;
        const DWORD n = FormatMessageW(flags, text, msg.MsgId, 0, reinterpret_cast<LPWSTR>(&formatted),
                                       kMinimumBuffer, arguments);
        if (n == 0 && formatted != nullptr) formatted = static_cast<WCHAR*>(LocalFree(formatted));
        return n != 0 ? formatted : nullptr;
    }
    ZAVString ansiTemplate(text);
    char* formatted = nullptr;
    const DWORD n = FormatMessageA(flags, text != nullptr ? ansiTemplate.ANSIString() : nullptr, msg.MsgId, 0,
                                   reinterpret_cast<LPSTR>(&formatted), kMinimumBuffer, arguments);
    if (n == 0) {
        if (formatted != nullptr) LocalFree(formatted);
        return nullptr;
    }
    const size_t units = zav::AnsiToWide(formatted, nullptr, 0);
    WCHAR* wide = static_cast<WCHAR*>(LocalAlloc(LMEM_FIXED, (units + 1) * sizeof(WCHAR)));
    if (wide != nullptr) wide[zav::AnsiToWide(formatted, wide, units)] = 0;
    LocalFree(formatted);
    return wide;
}

// The flood window and the limit. Answers the text to write, which may be
// the termination notice in place of the message.
//
// Approximate under threads, by design: taking a lock here would make every
// caller wait for the others' event-log writes. The check, the write and
// the count are separate steps, so with T threads logging at once up to T-1
// messages more than the limit (and up to T notices) may be written before
// the process ends, and a window that restarts may keep or lose up to T-1
// entries the other threads count at that moment. With one thread the limit
// is exact.
WCHAR* ApplyLimit(WCHAR* formatted) {
    if (zav::LoadRelaxed(g_LogEntriesCount) == 0)
        zav::StoreRelaxed(g_FirstLogMsgTime, TimerSeconds());
    if (zav::LoadRelaxed(g_LogEntriesCount) < zav::LoadRelaxed(g_LogEntriesMax))
        return formatted;
    if (TimerSeconds() - zav::LoadRelaxed(g_FirstLogMsgTime) <
        zav::LoadRelaxed(g_LogMsgCancelTime)) {
        WCHAR* notice = static_cast<WCHAR*>(LocalAlloc(LMEM_FIXED, 256));
        if (notice == nullptr) return formatted;
        size_t i = 0;
        for (; kNotice[i] != 0; ++i) notice[i] = static_cast<WCHAR>(kNotice[i]);
        notice[i] = 0;
        LocalFree(formatted);
        return notice;
    }
    zav::StoreRelaxed(g_LogEntriesCount, 0);
    zav::StoreRelaxed(g_FirstLogMsgTime, TimerSeconds());
    return formatted;
}

bool WriteToEventLog(ZAVMsgCategory category, const WCHAR* text, const WCHAR* source) {
    HANDLE events = RegisterEventSourceW(nullptr, source != nullptr && source[0] != 0 ? source : kDefaultSource);
    if (events == nullptr) return false;
    LPCWSTR strings[] = {text};
    ReportEventW(events, EventType(category), 0, kEventId, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(events);
    return true;
}

ZAVString LogPath() {
    ZAVString program = zav::ProgramPath();
    if (zav::EndsWithCaseless(program, kDevelopmentHost) && zav::DevelopmentTreePresent())
        program = zav::InDevelopmentTree(kLogName);
    if (zav::EndsWithCaseless(program, kLogSuffix)) return program;
    const unsigned slash = program.rfind(zav::kPathSeparator);
    if (slash == ZAVString::npos) return ZAVString();
    program.erase(slash + 1);
    program += kLogName;
    return program;
}

HANDLE OpenTextLog(ZAVString path) {
    return CreateFileA(path.ANSIString(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// Answers whether the entry counts: the file was opened (or the attempt
// raised an exception). A folder that refuses the file for lack of
// permission hands it to the user's state folder; a file that cannot be
// opened at all is reported, and does not count.
bool WriteToTextLog(const WCHAR* text) {
    HANDLE file = INVALID_HANDLE_VALUE;
    try {
        ZAVString path = LogPath();
        if (path.empty()) return false;
        file = OpenTextLog(path);
        if (!ZAV_ValidHandle(file)) {
            DWORD error = GetLastError();
            const ZAVString home = zav::RefusedFileHome(path, error);
            if (!home.empty()) {
                path = home;
                file = OpenTextLog(path);
                error = GetLastError();
            }
            if (!ZAV_ValidHandle(file)) {
                zav::ReportUnopenedFile(path, error);
                return false;
            }
        }
        SetFilePointer(file, 0, nullptr, FILE_END);
        const time_t now = time(nullptr);
        const WCHAR* stamp = _wctime(&now);
        ZAVString entry(stamp != nullptr ? stamp : ZAV_TEXT(""), stamp != nullptr ? 24 : 0);
        entry += ZAV_TEXT(" ");
        entry += text;
        entry += ZAV_TEXT("\r\n");
        DWORD written = 0;
        WriteFile(file, entry.ANSIString(), entry.length(), &written, nullptr);
    } catch (...) {
    }
    if (ZAV_ValidHandle(file)) CloseHandle(file);
    return true;
}

}  // namespace

void ZAV_LogEvent(ZAVMsg& msg, const WCHAR* text, const WCHAR* source) {
    WCHAR* formatted = nullptr;
    try {
        formatted = FormatText(msg, text);
    } catch (...) {
        return;  // no memory to format with: nothing is written or counted
    }
    if (formatted == nullptr) return;
    formatted = ApplyLimit(formatted);
    const bool written = ZAV_IsWinNT() ? WriteToEventLog(msg.Category, formatted, source) : WriteToTextLog(formatted);
    if (written && InterlockedIncrement(&g_LogEntriesCount) > zav::LoadRelaxed(g_LogEntriesMax))
        ExitProcess(kFloodExitCode);
    LocalFree(formatted);
}

void ZAV_LogEvent(ZAVMsgCategory category, const WCHAR* text, DWORD msgId, const WCHAR* source) {
    ZAVMsg msg = {};
    msg.MsgId = msgId;
    msg.Category = category;
    ZAV_LogEvent(msg, text, source);
}
