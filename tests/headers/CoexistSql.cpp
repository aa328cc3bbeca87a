// unixODBC declares its own Win32-style types (WCHAR, ULONG, HINSTANCE, BOOL)
// and macros (TRUE, FALSE) globally. Compiled with the library's header
// before and after it (ZAV_HEADER_FIRST).
#ifdef ZAV_HEADER_FIRST
#include <ZAVUtil1/ZAVUtil1.h>
#endif
#include <sql.h>
#include <sqlext.h>
#ifndef ZAV_HEADER_FIRST
#include <ZAVUtil1/ZAVUtil1.h>
#endif

int Use(SQLHANDLE handle, ULONG count, WCHAR unit) {
    ZAVString text(ZAV_TEXT("odbc"));
    BOOL done = SQL_TRUE;
    return static_cast<int>(text.length() + count + unit + done) + (handle != nullptr);
}
