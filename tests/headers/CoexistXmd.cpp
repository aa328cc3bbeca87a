// X11's Xmd.h declares BOOL (and more) globally. Compiled with the
// library's header before and after it (ZAV_HEADER_FIRST).
#ifdef ZAV_HEADER_FIRST
#include <ZAVUtil1/ZAVUtil1.h>
#endif
#include <X11/Xmd.h>
#ifndef ZAV_HEADER_FIRST
#include <ZAVUtil1/ZAVUtil1.h>
#endif

int Use(BOOL flag, CARD32 value) {
    ZAVString text(ZAV_TEXT("x11"));
    return static_cast<int>(text.length() + value) + flag;
}
