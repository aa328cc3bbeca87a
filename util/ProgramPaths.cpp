#include "ProgramPaths.h"

#include "MemoryBlock.h"
#include "ZAVPathUtil.h"
#include "ZAVTextUtil.h"
#ifndef _WIN32
#include "ZAVProgramFiles.h"
#endif

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

#ifdef _WIN32

ZAVString RefusedFileHome(const ZAVString&, DWORD) { return ZAVString(); }

void ReportUnopenedFile(const ZAVString&, DWORD) {}

#else

ZAVString RefusedFileHome(const ZAVString& path, DWORD error) {
    ZAVString home;
    if (!ZAVPlatform_OpeningRefused(error)) return home;
    const unsigned slash = path.rfind(kPathSeparator);
    const ZAVString name(path, slash == ZAVString::npos ? 0 : slash + 1);
    if (name.empty()) return home;
    const DWORD size = ZAVPlatform_StateFolder(nullptr, 0);
    if (size == 0) return home;
    const MemoryBlock<WCHAR> folder(size * sizeof(WCHAR));
    const DWORD length = ZAVPlatform_StateFolder(folder.get(), size);
    if (length == 0 || length >= size) return home;  // gone, or moved, since it was measured
    home = folder.get();
    home += name;
    return home;
}

void ReportUnopenedFile(const ZAVString& path, DWORD error) { ZAVPlatform_ReportUnopenedFile(path.c_str(), error); }

#endif

bool DevelopmentTreePresent() { return ZAV_TestFileExists(InDevelopmentTree("ZAVAgent.dll")) == 0; }

}  // namespace zav
