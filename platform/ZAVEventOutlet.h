/// \file
/// Where the POSIX stand-in's event log put a process's last report, so a
/// host can tell its operator where to look. The outlet is chosen when an
/// event source is registered: the systemd journal (its native protocol on
/// /run/systemd/journal/socket) when it listens, else the syslog socket
/// /dev/log (the traditional line syslog(3) writes), else the text log
/// EventLog.txt beside the program (in `$XDG_STATE_HOME/<program>/` when the
/// program's folder refuses it). Not on Windows, whose event log it is.
#pragma once

#ifndef _WIN32
#include <stddef.h>

#include "ZAVWin32Types.h"

#ifdef __cplusplus
extern "C" {
#endif

/// The outlets of the event log on POSIX.
typedef enum ZAVEventOutlet {
    ZAVEventOutletNone = 0,     ///< no report made yet
    ZAVEventOutletJournal = 1,  ///< the systemd journal
    ZAVEventOutletSyslog = 2,   ///< a syslog daemon's socket
    ZAVEventOutletTextLog = 3   ///< EventLog.txt beside the program or in the state folder
} ZAVEventOutlet;

/// The outlet of the process's last ReportEventW; its socket or file path
/// (UTF-8, cut to fit, terminated) in where when size is not 0; whether the
/// outlet took the entry in *taken when taken is not null.
ZAV_VISIBLE ZAVEventOutlet ZAVPlatform_LastEventReport(char* where, size_t size, int* taken);

#ifdef __cplusplus
}
#endif
#endif
