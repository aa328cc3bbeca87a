// The stand-in's test-only controls (ZAVPlatformTest.h). They live in a
// library of their own that only tests link: the production library reads
// the same state, left at its defaults.
#include "FaultInjection.h"
#include "TestControls.h"
#include "ZAVPlatformTest.h"

using zavplatform::Controls;
using zavplatform::TestControls;

namespace {
std::u16string Wide(LPCWSTR text) { return text != nullptr ? std::u16string(text) : std::u16string(); }
}  // namespace

// --- Version and clocks -------------------------------------------------------

extern "C" void ZAVPlatformTest_EmulateVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build) {
    TestControls& c = Controls();
    c.platformId = platformId;
    c.major = major;
    c.minor = minor;
    c.build = build;
    c.versionEmulated.store(true, std::memory_order_release);
}

extern "C" void ZAVPlatformTest_FailVersionQuery(BOOL fail) { Controls().failVersionQuery = fail != 0; }

extern "C" void ZAVPlatformTest_FailPerformanceFrequency(BOOL fail) { Controls().failPerformanceFrequency = fail != 0; }
extern "C" void ZAVPlatformTest_SetPerformanceFrequency(LONGLONG frequency) {
    Controls().performanceFrequency = frequency;
}
extern "C" void ZAVPlatformTest_SetPerformanceCounterOffset(LONGLONG counts) {
    Controls().performanceCounterOffset = counts;
}
extern "C" void ZAVPlatformTest_SetTickCountOffset(DWORD milliseconds) { Controls().tickCountOffset = milliseconds; }

// --- Modules and heaps ---------------------------------------------------------

extern "C" void ZAVPlatformTest_HideProcedure(LPCSTR name, BOOL hidden) {
    TestControls& c = Controls();
    std::lock_guard<std::mutex> hold(c.hiddenLock);
    if (hidden)
        c.hiddenProcedures.insert(name);
    else
        c.hiddenProcedures.erase(name);
}

extern "C" void ZAVPlatformTest_InsideNextSetEvent(void (*action)(void*), void* context) {
    Controls().insideSetEventContext = context;
    Controls().insideSetEvent = action;
}

extern "C" void ZAVPlatformTest_AfterNextHeapUnlock(void (*action)(void*), void* context) {
    Controls().afterHeapUnlockContext = context;
    Controls().afterHeapUnlock = action;
}

extern "C" void ZAVPlatformTest_FailHeapCreate(BOOL fail) { Controls().failHeapCreate = fail != 0; }

// --- Identity and network provider -----------------------------------------------

extern "C" void ZAVPlatformTest_SetNetworkUser(LPCWSTR name) {
    TestControls& c = Controls();
    std::lock_guard<std::mutex> hold(c.identityLock);
    c.networkProvider = true;
    c.networkUser = name != nullptr ? std::optional<std::u16string>(name) : std::nullopt;
}

extern "C" void ZAVPlatformTest_MapDrive(LPCWSTR drive, LPCWSTR remote) {
    TestControls& c = Controls();
    std::lock_guard<std::mutex> hold(c.identityLock);
    c.networkProvider = true;
    if (remote != nullptr)
        c.connections[zavplatform::UpperDrive(Wide(drive))] = remote;
    else
        c.connections.erase(zavplatform::UpperDrive(Wide(drive)));
}

extern "C" void ZAVPlatformTest_SetUserName(LPCWSTR name) {
    TestControls& c = Controls();
    std::lock_guard<std::mutex> hold(c.identityLock);
    c.userName = name != nullptr ? std::optional<std::u16string>(name) : std::nullopt;
}

extern "C" void ZAVPlatformTest_FailUserName(BOOL fail) {
    TestControls& c = Controls();
    std::lock_guard<std::mutex> hold(c.identityLock);
    c.failUserName = fail != FALSE;
}

extern "C" void ZAVPlatformTest_SetComputerName(LPCWSTR name) {
    TestControls& c = Controls();
    std::lock_guard<std::mutex> hold(c.identityLock);
    c.computerName = name != nullptr ? std::optional<std::u16string>(name) : std::nullopt;
}

extern "C" DWORD ZAVPlatformTest_IdentityQueries(void) { return Controls().identityQueries.load(); }

// --- Event log ----------------------------------------------------------------------

extern "C" void ZAVPlatformTest_SetEventLogSockets(const char* journal, const char* syslog) {
    TestControls& c = Controls();
    std::lock_guard<std::mutex> hold(c.eventLogLock);
    c.journalSocket = journal != nullptr ? std::optional<std::string>(journal) : std::nullopt;
    c.eventLogSocket = syslog != nullptr ? std::optional<std::string>(syslog) : std::nullopt;
}

extern "C" void ZAVPlatformTest_SetEventLogSocket(const char* path) {
    ZAVPlatformTest_SetEventLogSockets(path != nullptr ? "" : nullptr, path);
}

extern "C" void ZAVPlatformTest_FailRegisterEventSource(BOOL fail) { Controls().failRegisterEventSource = fail != FALSE; }

// --- Failures on purpose --------------------------------------------------------------

extern "C" void ZAVPlatformTest_FailAllocation(DWORD nth, BOOL persistent) {
    zavplatform::gAllocationFaultArmed = 0;
    Controls().allocations.Arm(nth, persistent != 0);
    zavplatform::gAllocationFaultArmed = nth != 0 ? 1 : 0;
}

extern "C" DWORD ZAVPlatformTest_AllocationsRefused(void) { return Controls().allocations.fired.load(); }

extern "C" DWORD ZAVPlatformTest_AllocationsCounted(void) { return Controls().allocations.counted.load(); }

extern "C" void ZAVPlatformTest_FailWrite(DWORD kth, DWORD partialBytes, BOOL persistent) {
    Controls().partialWriteBytes = partialBytes;
    Controls().writes.Arm(kth, persistent != 0);
}

extern "C" DWORD ZAVPlatformTest_WritesFailed(void) { return Controls().writes.fired.load(); }

extern "C" DWORD ZAVPlatformTest_WritesCounted(void) { return Controls().writes.counted.load(); }
