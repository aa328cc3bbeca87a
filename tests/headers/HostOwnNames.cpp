// A host's own names that Win32 also uses, as constants, enumerators and
// functions of its own.
#include <ZAVUtil1/ZAVUtil1.h>

enum { INFINITE = -1 };
enum { CREATE_NEW = 7 };
static int GetLastError() { return 42; }
static int CloseHandle(int handle) { return handle; }

int Use(unsigned char* bytes) {
    zav::win::DWORD crc = ZAV_CRCCompute(0, bytes, 3);
    return INFINITE + CREATE_NEW + GetLastError() + CloseHandle(1) + static_cast<int>(crc & 1);
}
