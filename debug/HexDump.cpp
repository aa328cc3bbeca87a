// Hexadecimal renderers and the memory dump into the trace.
#include "TraceInternals.h"
#include "ZAVFrame.h"

namespace {

const WCHAR kDigits[] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
const unsigned kLineBytes = 16;

inline void PutByte(unsigned char byte, WCHAR* out) {
    out[0] = kDigits[byte >> 4];
    out[1] = kDigits[byte & 0xF];
}

// Printable ASCII except '-' and '=', which would read as the dump's own rules.
inline bool Shown(unsigned char byte) { return byte >= 0x20 && byte <= 0x7E && byte != 0x2D && byte != 0x3D; }

}  // namespace

namespace zav {

// Addresses take the pointer's width: 8 digits on the 32-bit platform, 16 on 64-bit.
void PutAddress(const void* address, WCHAR* out) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(address);
    for (unsigned i = 0; i < kAddressDigits; ++i) out[i] = kDigits[(value >> (4 * (kAddressDigits - 1 - i))) & 0xF];
}

}  // namespace zav

void ZAVDebug::HexString(const void* data, DWORD count, WCHAR* out) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (DWORD i = 0; i < count; ++i) PutByte(bytes[i], out + 2 * i);
}

ZAVString ZAVDebug::HexString(const void* data, DWORD count) {
    ZAVString text;
    if (count == 0) return text;
    text.resize(2 * count);
    HexString(data, count, &text[0]);
    return text;
}

void ZAVDebug::HexStringForDWORD(DWORD value, WCHAR* out) {
    unsigned char bytes[4];
    memcpy(bytes, &value, sizeof bytes);
    const bool bigEndian = ZAV_IsBigEndian() != 0;
    for (int i = 0; i < 4; ++i) PutByte(bytes[bigEndian ? i : 3 - i], out + 2 * i);
}

ZAVString ZAVDebug::HexStringForDWORD(DWORD value) {
    ZAVString text;
    text.resize(8);
    HexStringForDWORD(value, &text[0]);
    return text;
}

void ZAVDebug::DisplayChars(WCHAR* out, unsigned char* data, DWORD count) {
    for (DWORD i = 0; i < count; ++i) out[i] = Shown(data[i]) ? static_cast<WCHAR>(data[i]) : '.';
}

namespace zav {

// Page by page, so that the readable start of a range is kept; the kernel
// (or Windows) does the reading, so an unreadable page only ends the copy.
size_t CopyReadable(const void* from, unsigned char* to, size_t count) {
    const uintptr_t kPage = 4096;
    size_t done = 0;
    while (done < count) {
        const uintptr_t at = reinterpret_cast<uintptr_t>(from) + done;
        size_t chunk = kPage - at % kPage;
        if (chunk > count - done) chunk = count - done;
#ifdef _WIN32
        // Wine answers reads of reserved or no-access pages of the own
        // process with zeros; Windows refuses them. Ask for the page first.
        MEMORY_BASIC_INFORMATION page;
        if (VirtualQuery(reinterpret_cast<LPCVOID>(at), &page, sizeof page) != sizeof page ||
            page.State != MEM_COMMIT || (page.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0)
            return done;
#endif
        SIZE_T got = 0;
        if (!ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<LPCVOID>(at), to + done, chunk, &got))
            return done;
        done += chunk;
    }
    return done;
}

bool DumpLine(const void* data, DWORD count, WCHAR* out, bool withAddress) {
    if (withAddress) {
        PutAddress(data, out);
        out[kAddressDigits] = out[kAddressDigits + 1] = ' ';
        out += kAddressDigits + 2;
    }
    WCHAR shown[kLineBytes];
    for (WCHAR& c : shown) c = ' ';
    if (count < kLineBytes)
        for (int i = 0; i < 36; ++i) out[i] = ' ';
    const DWORD wanted = count < kLineBytes ? count : kLineBytes;
    unsigned char bytes[kLineBytes];
    const DWORD readable = static_cast<DWORD>(CopyReadable(data, bytes, wanted));
    for (DWORD i = 0; i < readable; ++i) {
        PutByte(bytes[i], out + 9 * (i / 4) + 2 * (i % 4));
        if (i % 4 == 3) out[9 * (i / 4) + 8] = ' ';
        shown[i] = Shown(bytes[i]) ? static_cast<WCHAR>(bytes[i]) : '.';
    }
    // An unreadable byte ends the line where it stands.
    if (readable < wanted) return false;
    out[36] = '*';
    memcpy(out + 37, shown, sizeof shown);
    out[53] = '*';
    return true;
}

}  // namespace zav

void ZAVDebug::HexStringLine(unsigned char* data, DWORD count, WCHAR* out, int withAddress) {
    zav::DumpLine(data, count, out, withAddress != 0);
}

void ZAVDebug::HexDump(const void* data, DWORD count, const WCHAR* title) {
    if (!ZAVDebugInternals::TraceOutputActive(*this)) return;
    InsertMsg(ZAV_TEXT(""));
    if (title != nullptr) InsertMsg(title);
    unsigned char* at = static_cast<unsigned char*>(const_cast<void*>(data));
    WCHAR line[zav::kDumpLineChars + zav::kAddressDigits + 2 + 1];
    for (DWORD left = count; left != 0;) {
        // Blank first: a line that meets an unreadable byte stops short.
        for (WCHAR& c : line) c = ' ';
        HexStringLine(at, left, line, 1);
        line[zav::kDumpLineChars + zav::kAddressDigits + 2] = 0;
        InsertMsg(line);
        const DWORD step = left < kLineBytes ? left : kLineBytes;
        at += step;
        left -= step;
    }
}
