// A host in the manner of the product family's services: it defines the
// memory manager with its diagnostic aids, keeps work items on a locked
// list, times the work and checksums the results.
#include <stdio.h>
#include <string.h>

#include <thread>
#include <vector>

#include "ZAVUtil1.h"

namespace {

struct WorkItem {
    ZAVLink link;  // first member, as the list functions require
    unsigned id;
    DWORD length;
    unsigned char* payload;
};

CRITICAL_SECTION gQueueLock;
ZAVLinkAnchor gQueue;

WorkItem* NewItem(unsigned id, DWORD length) {
    auto* item = static_cast<WorkItem*>(ZAV_MemoryGet(sizeof(WorkItem), ZAVMemOptZeroFill));
    if (item == nullptr) return nullptr;
    item->id = id;
    item->length = length;
    item->payload = static_cast<unsigned char*>(ZAV_MemoryGet(length, 0));
    for (DWORD i = 0; i < length; ++i) item->payload[i] = static_cast<unsigned char>(id * 31 + i);
    return item;
}

DWORD Consume(DWORD* crcOut) {
    DWORD done = 0, crc = 0xFFFFFFFF;
    while (ZAVLink* link = ZAV_LinkPopFirst(&gQueue)) {
        auto* item = reinterpret_cast<WorkItem*>(link);
        crc = ZAV_CRCCompute(crc, item->payload, item->length);
        ZAV_MemoryFree(item->payload);
        ZAV_MemoryFree(item);
        ++done;
    }
    *crcOut = ~crc;
    return done;
}

DWORD LiveRecords() {
    DWORD live = 0;
    for (ZAV_MemCtlBlock* b = g_pZAVMemCtl; b != nullptr; b = b->pNext)
        for (const ZAV_MemCtlEntry& e : b->Entries) live += e.Address != nullptr;
    return live;
}

}  // namespace

int main() {
    printf("ZAVUtil1 check value %d, platform NT=%d XP=%d\n", fnZAVUtil1(), ZAV_IsWinNT(), ZAV_IsWinXP());

    ZAV_MonitorMemory = 1;
    DWORD rc = ZAV_MemoryDefine(ZAVMemAllocPrivateHeap, 0, ZAVMemOptGuard | ZAVMemOptLowFragHeap);
    if (rc != 0) {
        fprintf(stderr, "memory manager definition failed: %u\n", static_cast<unsigned>(rc));
        return 1;
    }
    InitializeCriticalSection(&gQueueLock);
    ZAV_LinkInitAnchor(&gQueue, &gQueueLock);

    const ZAVUInt64 start = ZAV_TimerValue();
    std::vector<std::thread> producers;
    for (unsigned t = 0; t < 4; ++t)
        producers.emplace_back([t] {
            for (unsigned i = 0; i < 250; ++i)
                if (WorkItem* item = NewItem(t * 1000 + i, 64 + (i * 37) % 4000)) ZAV_LinkToTail(&gQueue, &item->link);
        });
    for (auto& p : producers) p.join();
    printf("queued %u items; %u blocks live, %llu bytes held by the private heap\n",
           static_cast<unsigned>(gQueue.Count), static_cast<unsigned>(LiveRecords()),
           static_cast<unsigned long long>(ZAV_PoolMemBusy));

    DWORD crc = 0;
    DWORD done = Consume(&crc);
    const ZAVUInt64 elapsed = ZAV_TimerValue() - start;
    printf("consumed %u items in %llu us, CRC-32 of all payloads in queue order 0x%08X\n",
           static_cast<unsigned>(done), static_cast<unsigned long long>(elapsed), static_cast<unsigned>(crc));

    // A damaged block is caught when it is returned.
    auto* probe = static_cast<unsigned char*>(ZAV_MemoryGet(10, 0));
    probe[10] = 0;
    try {
        ZAV_MemoryFree(probe);
        printf("guard damage went unnoticed\n");
    } catch (LONG code) {
        printf("guard damage caught: code %d\n", static_cast<int>(code));
    }

    printf("after the run: %u blocks live, %llu bytes held; compaction reports %u free bytes\n",
           static_cast<unsigned>(LiveRecords()), static_cast<unsigned long long>(ZAV_PoolMemBusy),
           static_cast<unsigned>(ZAV_MemoryCompact(0, 0)));
    ZAV_MemoryPoolFree();
    DeleteCriticalSection(&gQueueLock);
    return 0;
}
