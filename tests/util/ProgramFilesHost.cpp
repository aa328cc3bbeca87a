// A host that the program-files tests install into folders of their own and
// run as an ordinary user. Its arguments are steps, done in order:
//   sockets JOURNAL SYSLOG  where the event log looks for its daemons ("" nowhere)
//   win9x                   poses as Windows 98 (first step only): the library's own text log
//   limit N                 the event log's flood limit
//   trace NAME              starts a trace (named after the program when NAME is -),
//                           writes a line, prints "trace 1" or "trace 0", stops it
//   event TEXT              logs TEXT as an error event, prints where it went
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "ZAVEventOutlet.h"
#include "ZAVPlatformTest.h"
#include "ZAVUtil1.h"

static std::u16string Wide(const char* text) { return std::u16string(text, text + strlen(text)); }

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : "";
        if (step == "sockets" && i + 2 < argc) {
            ZAVPlatformTest_SetEventLogSockets(argv[i + 1], argv[i + 2]);
            i += 2;
        } else if (step == "win9x") {
            ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
        } else if (step == "limit") {
            g_LogEntriesMax = atoi(next);
            ++i;
        } else if (step == "trace") {
            ZAVDebug trace;
            std::u16string name = Wide(next);
            if (name == u"-")
                trace.TraceStart();
            else
                trace.TraceStart(&name[0], 0);
            ++i;
            trace.InsertMsg(ZAV_TEXT("from the installed host"));
            printf("trace %d\n", trace.TraceActive());
            trace.TraceStop(1);
        } else if (step == "event") {
            ZAV_LogEvent(ZAVCatError90, Wide(next).c_str(), 0, ZAV_TEXT("ProgramFilesHost"));
            char where[4096] = "";
            BOOL taken = FALSE;
            ZAVPlatform_LastEventReport(where, sizeof where, &taken);
            printf("event %s %d\n", where, taken);
            ++i;
        } else {
            fprintf(stderr, "unknown step %s\n", argv[i]);
            return 2;
        }
        fflush(stdout);
    }
    return 0;
}
