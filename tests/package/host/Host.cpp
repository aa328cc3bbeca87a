// A host that knows the library only as installed: the public header, the
// library, whose zav::win offers the critical section on every platform.
#include <stdio.h>

#include <ZAVUtil1/ZAVUtil1.h>

namespace {
struct WorkItem {
    ZAVLink Link;
    int Number;
};
}  // namespace

int main() {
    if (fnZAVUtil1() != 42) {
        puts("not the expected library");
        return 1;
    }
    ZAV_MemoryDefine(ZAVMemAllocCRT, 0, ZAVMemOptGuard);

    zav::win::CRITICAL_SECTION lock;
    zav::win::InitializeCriticalSection(&lock);
    ZAVLinkAnchor queue;
    ZAV_LinkInitAnchor(&queue, &lock);
    WorkItem items[3] = {{{}, 1}, {{}, 2}, {{}, 3}};
    for (WorkItem& item : items)
        ZAV_LinkToTail(&queue, &item.Link);
    int sum = 0;
    while (ZAVLink* link = ZAV_LinkPopFirst(&queue))
        sum += reinterpret_cast<WorkItem*>(link)->Number;
    zav::win::DeleteCriticalSection(&lock);

    ZAVString text(ZAV_TEXT("  installed  "));
    text.Trim();
    text.UCase();
    if (sum != 6 || text.compare(ZAV_TEXT("INSTALLED")) != 0) {
        puts("the library answered wrongly");
        return 1;
    }
    printf("%s host: %s\n", HOST_KIND, text.ANSIString());
    return 0;
}
