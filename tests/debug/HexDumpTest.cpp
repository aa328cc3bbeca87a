#include "TraceTestSupport.h"

namespace {

const unsigned A = 2 * sizeof(void*);  // address digits

std::string Address(const void* p) {
    char digits[32];
    snprintf(digits, sizeof digits, "%0*llX", static_cast<int>(A), static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
    return digits;
}

std::string Narrow(const WString& wide) { return std::string(wide.begin(), wide.end()); }

TEST(Hex, StringsWordsAndLines) {
    ZAVDebug trace;
    const unsigned char bytes[] = {0x00, 0xAB, 0x7F};
    EXPECT_EQ(Narrow(Text(trace.HexString(bytes, 3))), "00AB7F");
    EXPECT_EQ(trace.HexString(bytes, 0).length(), 0u);
    WCHAR out[9] = {}, guard[4] = {ZAV_TEXT('#'), ZAV_TEXT('#'), ZAV_TEXT('#'), ZAV_TEXT('#')};
    trace.HexStringForDWORD(255, out);
    EXPECT_EQ(Narrow(out) + Narrow(Text(trace.HexStringForDWORD(0xDEADBEEF))), "000000FFDEADBEEF");
    trace.HexString("\x12", 1, guard);
    EXPECT_EQ(Narrow(WString(guard, 4)), "12##");  // no terminator written
    unsigned char letters[] = "ABCDEFGHIJKLMNOPQRST", mixed[] = {0x2D, 0x3D, 0x09, 0x00, 0xE9, 0x20, '7', 'z', '"', '\\', 0x7E, 0x7F};
    const struct { unsigned char* data; DWORD size; int address; std::string line; } lines[] = {
        {letters, 20, 0, "41424344 45464748 494A4B4C 4D4E4F50 *ABCDEFGHIJKLMNOP*"},  // 16 at most
        {letters, 5, 0, "41424344 45" + std::string(25, ' ') + "*ABCDE" + std::string(11, ' ') + "*"},
        {letters, 0, 1, Address(letters) + "  " + std::string(36, ' ') + "*" + std::string(16, ' ') + "*"},
        {mixed, sizeof mixed, 0, "2D3D0900 E920377A 225C7E7F" + std::string(10, ' ') + "*..... 7z\"\\~.    *"}};
    for (const auto& c : lines) {
        WCHAR line[80];
        trace.HexStringLine(c.data, c.size, line, c.address);
        EXPECT_EQ(Narrow(WString(line, c.line.size())), c.line);
    }
}

// Memory that cannot be read ends each line where it stands; the dump and
// the host go on.
TEST(Hex, UnreadableMemoryEndsTheLineNotTheHost) {
    auto* page = static_cast<unsigned char*>(VirtualAlloc(nullptr, 8192, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(page, nullptr);
    WCHAR line[80];
    for (WCHAR& c : line) c = ZAV_TEXT('#');
    ScratchTrace t("unreadable");
    t.trace.HexStringLine(page, 16, line, 0);
    EXPECT_EQ(Narrow(WString(line, 4)), "####") << "nothing read, nothing written";
    t.trace.HexDump(page + 4088, 20, ZAV_TEXT("reserved"));
    t.trace.HexDump(page, 0, nullptr);  // no title: the blank line alone
    ZAVDebug off;
    off.HexDump(nullptr, 1000, ZAV_TEXT("never read"));  // inactive: the memory is not touched
    t.trace.InsertMsg(ZAV_TEXT("after"));
    t.trace.TraceStop(0);
    VirtualFree(page, 0, MEM_RELEASE);
    const std::string text = t.Text();
    EXPECT_NE(text.find("reserved\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("T E \r\nT E after\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find('*'), std::string::npos) << "no line was completed: " << text;
}

}  // namespace
