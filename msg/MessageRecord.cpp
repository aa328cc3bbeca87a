// Making, filling, flattening and releasing message records.
#include <string.h>

#include "MemoryBlock.h"
#include "ZAVDebug.h"
#include "ZAVMemory.h"
#include "ZAVMsg.h"

namespace {

const DWORD kHeader = sizeof(ZAVMsg);  // 44 on 32-bit Windows
const DWORD kTerminator = sizeof(WCHAR);

DWORD NameBytes(const WCHAR* name) { return static_cast<DWORD>((lstrlenW(name) + 1) * sizeof(WCHAR)); }

// Offsets are stored in the pointer fields of an exported block.
WCHAR* AsOffset(uintptr_t offset) { return reinterpret_cast<WCHAR*>(offset); }
uintptr_t AsNumber(const WCHAR* field) { return reinterpret_cast<uintptr_t>(field); }

// _ltow's digits: signed in radix 10, the 32 bits unsigned otherwise.
void NumberText(LONG value, DWORD radix, WCHAR* out) {
    char digits[40];
    size_t n = 0;
    const bool negative = radix == 10 && value < 0;
    uint32_t magnitude = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        const uint32_t digit = magnitude % radix;
        digits[n++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        magnitude /= radix;
    } while (magnitude != 0);
    size_t at = 0;
    if (radix == 16) {
        out[at++] = '0';
        out[at++] = 'x';
    }
    if (negative) out[at++] = '-';
    while (n != 0) out[at++] = static_cast<WCHAR>(digits[--n]);
    out[at] = 0;
}

}  // namespace

ZAVMsg* ZAV_MsgCreate(ZAVLinkAnchor* list, DWORD msgId, ZAVMsgCategory category, WORD auxWord, DWORD aux1,
                      DWORD aux2, DWORD aux3, ZAVDebug* trace) {
    ZAVMsg* msg;
    // Whatever fails on the way (no memory, or the trace's name), the caller
    // is promised the code 8.
    try {
        zav::MemoryBlock<ZAVMsg> record(kHeader);
        memset(record.get(), 0, kHeader);
        record->MsgId = msgId;
        record->Category = category;
        record->AuxWord = auxWord;
        record->Aux1 = aux1;
        record->Aux2 = aux2;
        record->Aux3 = aux3;
        if (trace != nullptr) {
            const ZAVString routine = trace->ActiveRoutine();
            if (!routine.empty()) {
                const size_t bytes = (static_cast<size_t>(routine.length()) + 1) * sizeof(WCHAR);
                record->pRoutine = static_cast<WCHAR*>(zav::ObtainBlock(bytes));
                memcpy(record->pRoutine, routine.c_str(), bytes);
            }
        }
        msg = record.Release();
    } catch (...) {
        throw static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
    }
    const DWORD code = ZAV_LinkToTail(list, &msg->Link);
    if (code != 0) {
        ZAV_MemoryFree(msg->pRoutine);
        ZAV_MemoryFree(msg);
        throw code;
    }
    return msg;
}

DWORD ZAV_MsgAddInsertion(ZAVMsg* msg, const WCHAR* text) {
    if (msg == nullptr) return ERROR_INVALID_PARAMETER;
    const DWORD textBytes = NameBytes(text);
    const DWORD kept = msg->InsertionBytes != 0 ? msg->InsertionBytes - kTerminator : 0;
    const uint64_t size = static_cast<uint64_t>(kept) + textBytes + kTerminator;
    if (size > 0xFFFFFFFFu) return ERROR_NOT_ENOUGH_MEMORY;
    unsigned char* block = static_cast<unsigned char*>(ZAV_MemoryGet(static_cast<DWORD>(size), 0));
    if (block == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    if (msg->pInsertions != nullptr) memcpy(block, msg->pInsertions, kept);
    if (text != nullptr) memcpy(block + kept, text, textBytes - kTerminator);
    memset(block + kept + textBytes - kTerminator, 0, 2 * kTerminator);
    // Only now: text may be one of the old list's strings.
    if (msg->pInsertions != nullptr) ZAV_MemoryFree(msg->pInsertions);
    msg->pInsertions = reinterpret_cast<WCHAR*>(block);
    msg->InsertionBytes = static_cast<DWORD>(size);
    return 0;
}

DWORD ZAV_MsgAddInsertion(ZAVMsg* msg, LONG value, DWORD radix) {
    if (radix < 2 || radix > 36) return ERROR_INVALID_PARAMETER;
    WCHAR text[40];
    NumberText(value, radix, text);
    return ZAV_MsgAddInsertion(msg, text);
}

ZAVMsg* ZAV_MsgExport(ZAVLinkAnchor* list) {
    ZAVMsg* msg = reinterpret_cast<ZAVMsg*>(ZAV_LinkPopFirst(list));
    if (msg == nullptr) return nullptr;
    const DWORD routineBytes = msg->pRoutine != nullptr ? NameBytes(msg->pRoutine) : 0;
    const uint64_t size = static_cast<uint64_t>(kHeader) + msg->InsertionBytes + routineBytes;
    unsigned char* block;
    try {
        block = static_cast<unsigned char*>(zav::ObtainBlock(size));
    } catch (const std::bad_alloc&) {
        ZAV_LinkToHead(list, &msg->Link);  // back where it was: nothing is lost
        throw static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
    }
    ZAVMsg* flat = reinterpret_cast<ZAVMsg*>(block);
    memcpy(flat, msg, kHeader);
    flat->Link.pNext = nullptr;
    flat->Link.pPrior = nullptr;
    if (msg->pInsertions != nullptr) {
        flat->pInsertions = AsOffset(kHeader);
        memcpy(block + kHeader, msg->pInsertions, msg->InsertionBytes);
        ZAV_MemoryFree(msg->pInsertions);
        msg->pInsertions = nullptr;
    }
    if (msg->pRoutine != nullptr) {
        flat->pRoutine = AsOffset(kHeader + msg->InsertionBytes);
        memcpy(block + kHeader + msg->InsertionBytes, msg->pRoutine, routineBytes);
        ZAV_MemoryFree(msg->pRoutine);
        msg->pRoutine = nullptr;
    }
    ZAV_MemoryFree(msg);
    return flat;
}

void ZAV_MsgDestroy(ZAVLinkAnchor* list, ZAVMsg* msg) {
    if (msg == nullptr) return;
    // Small values are an exported block's offsets, not blocks of their own.
    if (AsNumber(msg->pInsertions) > kHeader) {
        ZAV_MemoryFree(msg->pInsertions);
        msg->pInsertions = nullptr;
    }
    if (AsNumber(msg->pRoutine) > static_cast<uintptr_t>(msg->InsertionBytes) + kHeader) {
        ZAV_MemoryFree(msg->pRoutine);
        msg->pRoutine = nullptr;
    }
    if (list != nullptr) ZAV_LinkRemove(list, &msg->Link);
    ZAV_MemoryFree(msg);
}

void ZAV_MsgDestroyAll(ZAVLinkAnchor* list) {
    while (ZAVMsg* msg = reinterpret_cast<ZAVMsg*>(ZAV_LinkPopFirst(list))) {
        if (msg->pInsertions != nullptr) ZAV_MemoryFree(msg->pInsertions);
        if (msg->pRoutine != nullptr) ZAV_MemoryFree(msg->pRoutine);
        ZAV_MemoryFree(msg);
    }
}
