// Where the POSIX stand-in's event log put a process's last report, so a
// host can tell its operator where to look. The outlet is chosen when an
// event source is registered: the journal (its native protocol on
// /run/systemd/journal/socket) when it listens, else the syslog socket
// /dev/log (the traditional line syslog(3) writes), else the text log
// EventLog.txt beside the program.
#pragma once

#ifndef _WIN32
#include <stddef.h>

#include "ZAVPlatform.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum ZAVEventOutlet {
    ZAVEventOutletNone = 0,  // no report yet
    ZAVEventOutletJournal = 1,
    ZAVEventOutletSyslog = 2,
    ZAVEventOutletTextLog = 3
} ZAVEventOutlet;

// The outlet of the process's last ReportEventW; its socket or file path
// (UTF-8, cut to fit, terminated) in where when size is not 0; whether the
// outlet took the entry in *taken when taken is not null.
ZAVPLATFORM_API ZAVEventOutlet ZAVPlatform_LastEventReport(char* where, size_t size, BOOL* taken);

#ifdef __cplusplus
}
#endif
#endif
