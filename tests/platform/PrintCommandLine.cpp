// Writes GetCommandLineW as UTF-16 code units in hex, one per line, so the
// test that starts it can check the quoting exactly.
#include <stdio.h>

#include "ZAVPlatform.h"

int main() {
    for (const WCHAR* p = GetCommandLineW(); *p != 0; ++p) printf("%04x\n", static_cast<unsigned>(*p));
    return 0;
}
