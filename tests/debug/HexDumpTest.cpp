#include "TraceTestSupport.h"

namespace {

const unsigned A = 2 * sizeof(void*);  // address digits

WString Hex(std::initializer_list<unsigned char> bytes) {
    std::vector<unsigned char> data(bytes);
    ZAVDebug trace;
    const ZAVString text = trace.HexString(data.data(), static_cast<DWORD>(data.size()));
    return WString(text.c_str(), text.length());
}

WString Address(const void* p) {
    char digits[32];
    snprintf(digits, sizeof digits, "%0*llX", static_cast<int>(A), static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
    return WString(digits, digits + A);
}

// Memory that cannot be read ends each line where it stands; the dump and
// the host go on.
TEST(Hex, UnreadableMemoryEndsTheLineNotTheHost) {
    auto* page = static_cast<unsigned char*>(VirtualAlloc(nullptr, 8192, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(page, nullptr);
    ZAVDebug trace;
    WCHAR line[80];
    for (WCHAR& c : line) c = ZAV_TEXT('#');
    trace.HexStringLine(page, 16, line, 0);
    EXPECT_EQ(WString(line, 4), ZAV_TEXT("####")) << "nothing read, nothing written";

    ScratchTrace t("unreadable");
    t.trace.HexDump(page + 4088, 20, ZAV_TEXT("reserved"));
    t.trace.InsertMsg(ZAV_TEXT("after"));
    t.trace.TraceStop(0);
    VirtualFree(page, 0, MEM_RELEASE);
    const std::string text = t.Text();
    EXPECT_NE(text.find("reserved\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("T E after\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find('*'), std::string::npos) << "no line was completed: " << text;
}

TEST(Hex, StringsAndWords) {
    EXPECT_EQ(Hex({0x00, 0xAB, 0x7F}), ZAV_TEXT("00AB7F"));
    EXPECT_EQ(Hex({}), ZAV_TEXT(""));
    ZAVDebug trace;
    WCHAR out[9] = {};
    trace.HexStringForDWORD(255, out);
    EXPECT_EQ(WString(out), ZAV_TEXT("000000FF"));
    EXPECT_EQ(WString(trace.HexStringForDWORD(0xDEADBEEF).c_str()), ZAV_TEXT("DEADBEEF"));
    WCHAR guard[4] = {ZAV_TEXT('#'), ZAV_TEXT('#'), ZAV_TEXT('#'), ZAV_TEXT('#')};
    trace.HexString("\x12", 1, guard);
    EXPECT_EQ(WString(guard, 4), ZAV_TEXT("12##"));  // no terminator written
}

TEST(Hex, DumpLines) {
    ZAVDebug trace;
    unsigned char letters[20];
    for (int i = 0; i < 20; ++i) letters[i] = static_cast<unsigned char>(0x41 + i);
    WCHAR line[80];
    trace.HexStringLine(letters, 20, line, 0);  // 16 of them at most
    EXPECT_EQ(WString(line, 54), ZAV_TEXT("41424344 45464748 494A4B4C 4D4E4F50 *ABCDEFGHIJKLMNOP*"));
    trace.HexStringLine(letters, 5, line, 0);
    EXPECT_EQ(WString(line, 54), ZAV_TEXT("41424344 45") + WString(25, ZAV_TEXT(' ')) + ZAV_TEXT("*ABCDE") + WString(11, ZAV_TEXT(' ')) + ZAV_TEXT("*"));
    trace.HexStringLine(letters, 0, line, 1);
    EXPECT_EQ(WString(line, A + 56), Address(letters) + ZAV_TEXT("  ") + WString(36, ZAV_TEXT(' ')) + ZAV_TEXT("*") +
                                                WString(16, ZAV_TEXT(' ')) + ZAV_TEXT("*"));
    unsigned char mixed[] = {0x2D, 0x3D, 0x09, 0x00, 0xE9, 0x20, '7', 'z', '"', '\\', 0x7E, 0x7F};
    trace.HexStringLine(mixed, sizeof mixed, line, 0);
    EXPECT_EQ(WString(line + 37, 16), ZAV_TEXT("..... 7z\"\\~.    "));
}

TEST(Hex, DumpIntoTheTrace) {
    unsigned char data[17];
    for (int i = 0; i < 17; ++i) data[i] = static_cast<unsigned char>('a' + i);
    ZAVDebug off;
    off.HexDump(nullptr, 1000, ZAV_TEXT("never read"));  // inactive: the memory is not touched
    ScratchTrace t("hex");
    t.trace.HexDump(data, 17, ZAV_TEXT("Seventeen bytes"));
    t.trace.HexDump(data, 0, nullptr);
    t.trace.TraceStop(0);
    const WString first = Address(data), second = Address(data + 16);
    const std::string expected = "T E \r\nT E Seventeen bytes\r\nT E " +
                                 std::string(first.begin(), first.end()) +
                                 "  61626364 65666768 696A6B6C 6D6E6F70 *abcdefghijklmnop*\r\nT E " +
                                 std::string(second.begin(), second.end()) + "  71" + std::string(34, ' ') + "*q" +
                                 std::string(15, ' ') + "*\r\nT E \r\n";
    EXPECT_EQ(t.Body(), expected);
}

}  // namespace
