// The event log over the system log: one RFC 5424 datagram per report.
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "Conversion.h"
#include "Handles.h"
#include "TestControls.h"
#include "ZAVPlatformTest.h"

using zavplatform::Controls;

namespace {

class EventSource : public zavplatform::HandleObject {
public:
    static const zavplatform::HandleKind kKind = zavplatform::HandleKind::EventSource;
    explicit EventSource(std::string name) : HandleObject(kKind), name_(std::move(name)) {}
    const std::string& name() const { return name_; }

private:
    std::string name_;
};

// RFC 5424 severities: error 3, warning 4, notice 5, informational 6.
int Severity(WORD type) {
    switch (type) {
        case EVENTLOG_ERROR_TYPE:
        case EVENTLOG_AUDIT_FAILURE: return 3;
        case EVENTLOG_WARNING_TYPE: return 4;
        case EVENTLOG_AUDIT_SUCCESS: return 5;
        default: return 6;
    }
}

// PRINTUSASCII without blanks, at most max characters; "-" when empty.
std::string HeaderField(const std::string& value, size_t max) {
    std::string field;
    for (char c : value)
        if (c > 32 && c < 127 && field.size() < max) field += c;
    return field.empty() ? "-" : field;
}

std::string Timestamp() {
    struct timeval now;
    gettimeofday(&now, nullptr);
    struct tm utc;
    gmtime_r(&now.tv_sec, &utc);
    char text[64];
    snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06ldZ", utc.tm_year + 1900, utc.tm_mon + 1,
             utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<long>(now.tv_usec));
    return text;
}

std::string Datagram(const EventSource& source, WORD type, DWORD eventId, WORD count, LPCWSTR* strings) {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::string message;
    for (WORD i = 0; i < count; ++i) {
        if (i != 0) message += ' ';
        message += zavplatform::ToUtf8(strings != nullptr ? strings[i] : nullptr);
    }
    const int facilityUser = 1;
    return "<" + std::to_string(facilityUser * 8 + Severity(type)) + ">1 " + Timestamp() + " " +
           HeaderField(host, 255) + " " + HeaderField(source.name(), 48) + " " + std::to_string(getpid()) + " " +
           std::to_string(eventId) + " - " + message;
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
    return zavplatform::AsHandle(new EventSource(zavplatform::ToUtf8(source)));
}

extern "C" BOOL WINAPI ReportEventW(HANDLE source, WORD type, WORD, DWORD eventId, PSID, WORD stringCount, DWORD,
                                    LPCWSTR* strings, LPVOID) {
    const EventSource* events = zavplatform::HandleAs<EventSource>(source);
    if (events == nullptr) return FALSE;
    const std::string datagram = Datagram(*events, type, eventId, stringCount, strings);

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    {
        std::lock_guard<std::mutex> hold(Controls().eventLogLock);
        const std::string& path = Controls().eventLogSocket;
        if (path.size() >= sizeof address.sun_path) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        path.copy(address.sun_path, path.size());
    }
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    const ssize_t sent = sendto(fd, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&address), sizeof address);
    close(fd);
    if (sent != static_cast<ssize_t>(datagram.size())) {
        SetLastError(1502);  // ERROR_LOG_FILE_FULL: the log did not take the entry
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL WINAPI DeregisterEventSource(HANDLE source) {
    EventSource* events = zavplatform::HandleAs<EventSource>(source);
    if (events == nullptr) return FALSE;
    delete events;
    return TRUE;
}

extern "C" void ZAVPlatformTest_SetEventLogSocket(const char* path) {
    std::lock_guard<std::mutex> hold(Controls().eventLogLock);
    Controls().eventLogSocket = path != nullptr ? path : "/dev/log";
}

extern "C" void ZAVPlatformTest_FailRegisterEventSource(BOOL fail) { Controls().failRegisterEventSource = fail != FALSE; }
