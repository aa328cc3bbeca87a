// A host that the program-files tests install into folders of their own and
// run as an ordinary user. Its first two arguments are where the event log
// looks for its daemons, the journal and syslog ("" nowhere); the others are
// steps, done in order:
//   win9x                   poses as Windows 98 (first step only): the library's own text log
//   trace NAME              starts a trace (named after the program when NAME is -),
//                           writes a line, prints "trace 1" or "trace 0", stops it
//   event TEXT              logs TEXT as an error event, prints where it went
#include <stdio.h>
#include <string.h>

#include <string>

#include "ZAVEventOutlet.h"
#include "ZAVPlatformTest.h"
#include "ZAVUtil1.h"

static std::u16string Wide(const char* text) { return std::u16string(text, text + strlen(text)); }

int main(int argc, char** argv) {
    ZAVPlatformTest_SetEventLogSockets(argv[1], argv[2]);
    for (int i = 3; i < argc; ++i) {
        const std::string step = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : "";
        if (step == "win9x") {
            ZAVPlatformTest_EmulateVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 2222);
        } else if (step == "trace") {
            ZAVDebug trace;
            std::u16string name = Wide(next);
            name == u"-" ? trace.TraceStart() : trace.TraceStart(&name[0], 0);
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
    }
    return 0;
}
