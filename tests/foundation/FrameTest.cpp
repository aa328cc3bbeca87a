#include <gtest/gtest.h>

#include "ZAVUtil1.h"

namespace {

TEST(Frame, HandleTestAndConstants) {
    EXPECT_EQ(ZAV_ValidHandle(nullptr), 0);
    EXPECT_EQ(ZAV_ValidHandle(INVALID_HANDLE_VALUE), 0);
    EXPECT_EQ(ZAV_ValidHandle(reinterpret_cast<void*>(1)), 1);
    EXPECT_EQ(ZAV_ValidHandle(reinterpret_cast<void*>(static_cast<uintptr_t>(-2))), 1);
    EXPECT_EQ(fnZAVUtil1(), 42);
    EXPECT_EQ(ZAV_IsBigEndian(), 0);
}

TEST(Frame, ExportedVariablesStartAtTheirInitialValues) {
    EXPECT_EQ(g_LogEntriesMax, 500);
    EXPECT_EQ(g_LogMsgCancelTime, 14400u);
    EXPECT_EQ(g_LogEntriesCount, 0);
    EXPECT_EQ(g_FirstLogMsgTime, 0u);
    EXPECT_EQ(gptrCDebug, nullptr);
    EXPECT_EQ(gptrZAVMsgAnchor.pFirst, nullptr);
    EXPECT_EQ(gptrZAVMsgAnchor.pLock, nullptr);
    EXPECT_EQ(gptrZAVMsgAnchor.Count, 0u);
}

TEST(Frame, NativePlatformIsAModernNt) {
    EXPECT_EQ(ZAV_IsWinNT(), 1);
    EXPECT_EQ(ZAV_IsWin2K(), 1);
    EXPECT_EQ(ZAV_IsWinXP(), 1);
    EXPECT_EQ(ZAV_IsWin2003(), 1);
}

}  // namespace
