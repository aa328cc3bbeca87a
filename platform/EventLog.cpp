// The event log over the system's log: each registered source picks the
// first outlet that listens (the journal, the syslog socket) or falls back
// to the text log, and every report returns within a bounded time.
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <mutex>
#include <set>
#include <string>

#include "Conversion.h"
#include "DatagramSocket.h"
#include "ErrorCodes.h"
#include "EventLogEntries.h"
#include "EventTextLog.h"
#include "Handles.h"
#include "StateFolder.h"
#include "SystemQueries.h"
#include "TestControls.h"
#include "ZAVEventOutlet.h"
#include "ZAVProgramFiles.h"

using zavplatform::Controls;
using zavplatform::DatagramSocket;

namespace {

const char kJournalSocket[] = "/run/systemd/journal/socket";
const char kSyslogSocket[] = "/dev/log";
// The longest a report may hold its caller while the daemon's queue is full.
const std::chrono::milliseconds kSendBound(100);

const DWORD kErrorTimeout = 1460;     // ERROR_TIMEOUT
const DWORD kErrorLogFileFull = 1502;  // ERROR_LOG_FILE_FULL

class EventSource : public zavplatform::HandleObject {
public:
    static const zavplatform::HandleKind kKind = zavplatform::HandleKind::EventSource;
    explicit EventSource(std::string name) : HandleObject(kKind), name(std::move(name)) {}

    const std::string name;  // UTF-8
    ZAVEventOutlet outlet = ZAVEventOutletNone;
    std::string where;      // socket or file path
    DatagramSocket socket;  // connected for the two daemons
};

struct LastReport {
    ZAVEventOutlet outlet = ZAVEventOutletNone;
    std::string where;
    bool taken = false;
};

LastReport& TheLastReport() {
    static LastReport last;
    return last;
}

// Daemons that stopped reading: a report to one of them is tried once,
// without waiting, until a send goes through again. A stalled daemon then
// costs the host one bounded wait, not one per entry, which would stall a
// host that logs often (or a trace reporting lost lines) for good.
class StalledOutlets {
public:
    bool Holds(const std::string& where) {
        std::lock_guard<std::mutex> hold(lock_);
        return outlets_.count(where) != 0;
    }
    void Note(const std::string& where, DatagramSocket::Result result) {
        std::lock_guard<std::mutex> hold(lock_);
        if (result == DatagramSocket::Result::TimedOut)
            outlets_.insert(where);
        else if (result == DatagramSocket::Result::Sent)
            outlets_.erase(where);
    }

private:
    std::mutex lock_;
    std::set<std::string> outlets_;
};

// Never destroyed: reports may come from other threads while the process ends.
StalledOutlets& Stalled() {
    static StalledOutlets* const stalled = new StalledOutlets;
    return *stalled;
}

// The first daemon that listens, else the text log.
void ChooseOutlet(EventSource& source) {
    std::string journal, syslog;
    {
        std::lock_guard<std::mutex> hold(Controls().eventLogLock);
        journal = Controls().journalSocket.value_or(kJournalSocket);
        syslog = Controls().eventLogSocket.value_or(kSyslogSocket);
    }
    if (source.socket.Connect(journal)) {
        source.outlet = ZAVEventOutletJournal;
        source.where = journal;
    } else if (source.socket.Connect(syslog)) {
        source.outlet = ZAVEventOutletSyslog;
        source.where = syslog;
    } else {
        source.outlet = ZAVEventOutletTextLog;
        source.where = zavplatform::EventTextLogPath();
    }
}

// Paths already reported as unopened. Never destroyed, as Stalled().
class ReportedPaths {
public:
    // True the first time only.
    bool First(const std::string& path) {
        std::lock_guard<std::mutex> hold(lock_);
        return paths_.insert(path).second;
    }

private:
    std::mutex lock_;
    std::set<std::string> paths_;
};

ReportedPaths& Reported() {
    static ReportedPaths* const reported = new ReportedPaths;
    return *reported;
}

// The system's text for error, a Win32 code, when the last failed opening
// on this thread gave it; else the code.
std::string OpeningErrorText(DWORD error) {
    const int cause = zavplatform::FailedOpeningCause(error);
    if (cause != 0) {
        char text[256];
        return strerror_r(cause, text, sizeof text);
    }
    return "Win32 error " + std::to_string(error);
}

DatagramSocket::Result SendJournal(EventSource& source, const zavplatform::EventEntry& entry,
                                   DatagramSocket::Deadline deadline) {
    const std::string datagram = zavplatform::JournalEntry(entry);
    DatagramSocket::Result result = source.socket.Send(datagram.data(), datagram.size(), -1, deadline);
    if (result != DatagramSocket::Result::TooLarge) return result;
    // Too large for one datagram: the entry travels in a sealed memory file.
    const int memory = zavplatform::SealedMemoryFile(datagram);
    if (memory < 0) return DatagramSocket::Result::Failed;
    result = source.socket.Send(nullptr, 0, memory, deadline);
    close(memory);
    return result;
}

DatagramSocket::Result SendSyslog(EventSource& source, const zavplatform::EventEntry& entry,
                                  DatagramSocket::Deadline deadline) {
    const std::string line = zavplatform::SyslogLine(entry, time(nullptr));
    size_t size = line.size();
    DatagramSocket::Result result = source.socket.Send(line.data(), size, -1, deadline);
    // Too large: cut to what the socket takes, on a character boundary.
    for (size_t limit = source.socket.Capacity(); result == DatagramSocket::Result::TooLarge && size > 1; limit = size / 2) {
        size = zavplatform::Utf8Prefix(line, limit < size ? limit : size - 1);
        result = source.socket.Send(line.data(), size, -1, deadline);
    }
    return result;
}

// Sends entry to source's daemon, waiting at most kSendBound, and not at all
// for a daemon that stopped reading until it takes an entry again.
DatagramSocket::Result SendEntry(EventSource& source, const zavplatform::EventEntry& entry) {
    const DatagramSocket::Deadline deadline =
        std::chrono::steady_clock::now() + (Stalled().Holds(source.where) ? std::chrono::milliseconds(0) : kSendBound);
    const DatagramSocket::Result result = source.outlet == ZAVEventOutletJournal ? SendJournal(source, entry, deadline)
                                                                                 : SendSyslog(source, entry, deadline);
    Stalled().Note(source.where, result);
    return result;
}

std::u16string JoinedStrings(WORD count, LPCWSTR* strings) {
    std::u16string text;
    for (WORD i = 0; i < count; ++i) {
        if (i != 0) text += u' ';
        if (strings != nullptr && strings[i] != nullptr) text += strings[i];
    }
    return text;
}

}  // namespace

extern "C" HANDLE WINAPI RegisterEventSourceW(LPCWSTR server, LPCWSTR source) {
    if (Controls().failRegisterEventSource.load() || source == nullptr || source[0] == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (server != nullptr && server[0] != 0) {
        SetLastError(53);  // ERROR_BAD_NETPATH: only the local computer has a log here
        return nullptr;
    }
    EventSource* events = new EventSource(zavplatform::ToUtf8(source));
    ChooseOutlet(*events);
    return zavplatform::AsHandle(events);
}

extern "C" BOOL WINAPI ReportEventW(HANDLE source, WORD type, WORD, DWORD eventId, PSID, WORD stringCount, DWORD,
                                    LPCWSTR* strings, LPVOID) {
    EventSource* events = zavplatform::HandleAs<EventSource>(source);
    if (events == nullptr) return FALSE;
    const std::u16string text = JoinedStrings(stringCount, strings);
    bool taken = false;
    DWORD error = kErrorLogFileFull;
    std::string where = events->where;
    if (events->outlet == ZAVEventOutletTextLog) {
        taken = zavplatform::AppendEventTextLog(events->where, text, &where);
    } else {
        const zavplatform::EventEntry entry = {events->name, zavplatform::ToUtf8(text.c_str(), text.size()), type,
                                               eventId, static_cast<DWORD>(getpid())};
        const DatagramSocket::Result result = SendEntry(*events, entry);
        taken = result == DatagramSocket::Result::Sent;
        if (result == DatagramSocket::Result::TimedOut) error = kErrorTimeout;
    }
    {
        std::lock_guard<std::mutex> hold(Controls().eventLogLock);
        LastReport& last = TheLastReport();
        last.outlet = events->outlet;
        last.where = where;
        last.taken = taken;
    }
    if (!taken) SetLastError(error);
    return taken ? TRUE : FALSE;
}

extern "C" BOOL WINAPI DeregisterEventSource(HANDLE source) {
    EventSource* events = zavplatform::HandleAs<EventSource>(source);
    if (events == nullptr) return FALSE;
    delete events;
    return TRUE;
}

// Not through ReportEventW: the text log is no place to report that a file
// could not be opened, as it may be that very file.
extern "C" void ZAVPlatform_ReportUnopenedFile(LPCWSTR path, DWORD error) {
    const DWORD lastError = GetLastError();
    const std::string file = zavplatform::ToUtf8(path);
    if (Reported().First(file)) {
        EventSource source(zavplatform::ProgramName());
        ChooseOutlet(source);
        const std::string message = "cannot open " + file + ": " + OpeningErrorText(error);
        bool sent = false;
        if (source.outlet != ZAVEventOutletTextLog) {
            const zavplatform::EventEntry entry = {source.name, message, EVENTLOG_ERROR_TYPE, 0,
                                                   static_cast<DWORD>(getpid())};
            sent = SendEntry(source, entry) == DatagramSocket::Result::Sent;
        }
        if (!sent) {
            const std::string line = source.name + ": " + message + "\n";
            const ssize_t ignored = write(STDERR_FILENO, line.data(), line.size());
            (void)ignored;
        }
    }
    SetLastError(lastError);
}

ZAVEventOutlet zavplatform::LastEventReport(char* where, size_t size, BOOL* taken) {
    std::lock_guard<std::mutex> hold(Controls().eventLogLock);
    const LastReport& last = TheLastReport();
    if (size != 0) {
        const size_t n = last.where.copy(where, size - 1);
        where[n] = 0;
    }
    if (taken != nullptr) *taken = last.taken ? TRUE : FALSE;
    return last.outlet;
}
