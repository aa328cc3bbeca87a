// A Windows host that includes commdlg.h after the library's header: the
// header leaves no configuration macro behind that hides what it needs.
#include <ZAVUtil1/ZAVUtil1.h>
#include <commdlg.h>

#ifdef WIN32_LEAN_AND_MEAN
#error "the library's header left WIN32_LEAN_AND_MEAN defined"
#endif
#ifdef NOMINMAX
#error "the library's header left NOMINMAX defined"
#endif

DWORD Use(HWND owner) {
    WCHAR file[MAX_PATH] = {0};
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    return dialog.lStructSize;
}
