#include "ProgramPaths.h"

#include "ZAVPathUtil.h"
#include "ZAVTextUtil.h"

namespace zav {

ZAVString ProgramPath() {
    ZAVString line(GetCommandLineW()), program;
    const WCHAR blank[] = {' ', 0};
    ZAV_ParseDelimitedString(line, blank, program, 0, 1);
    return program;
}

bool EndsWithCaseless(const ZAVString& text, const char* ending) {
    const ZAVString suffix(ending);
    return ZAV_MatchCaseless(text.Right(suffix.length()), suffix) != 0;
}

ZAVString InDevelopmentTree(const char* name) {
    ZAVString path(kDevelopmentTree);
    path += name;
    return path;
}

bool DevelopmentTreePresent() { return ZAV_TestFileExists(InDevelopmentTree("ZAVAgent.dll")) == 0; }

}  // namespace zav
