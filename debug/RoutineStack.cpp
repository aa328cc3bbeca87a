// The routine stack: one level per routine entered and not yet left, with
// Push and Pop lines and durations while trace output is active.
#include <stdio.h>

#include "DebugLevels.h"
#include "TraceInternals.h"
#include "ZAVFrame.h"

namespace {

const LONG kNoValue = 0x7FFFFFFF;
const LONG kModeSilent = 0;
const LONG kModeInherit = -2;

}  // namespace

LONG ZAVDebug::RoutinePush(const WCHAR* owner, const WCHAR* routine, const WCHAR* extra, LONG mode) {
    const LONG level = ++m_RoutineLevel;
    // A push that fails (no memory for a name or the line) passes the
    // exception on and leaves the stack as it was.
    try {
        const unsigned slot = static_cast<unsigned>(level);
        if (slot >= m_pRoutineNames->Size) {
            zav::GrowLevels<ZAVString*>(m_pRoutineNames, zav::kLevelGrowth, nullptr);
            zav::GrowLevels<bool>(m_pRoutineTraceOn, zav::kLevelGrowth, true);
            zav::GrowLevels<ZAVUInt64>(m_pRoutineStart, zav::kLevelGrowth, 0);
        }
        ZAVString*& name = m_pRoutineNames->Items[slot];
        if (name == nullptr) {
            name = new ZAVString();
            name->reserve(31);
            m_pRoutineStart->Items[slot] = 0;
        }
        name->assign(owner);
        name->append(ZAV_TEXT("."));
        name->append(routine);

        bool& traced = m_pRoutineTraceOn->Items[slot];
        traced = mode == kModeSilent ? false : mode == kModeInherit ? (slot == 0 || m_pRoutineTraceOn->Items[slot - 1]) : true;
        if (!ZAVDebugInternals::TraceOutputActive(*this) || !traced) return level;

        m_pRoutineStart->Items[slot] = ZAV_TimerValue();
        ZAVString line;
        line.reserve(127);
        line = ZAV_TEXT("Push ");
        line += owner;
        line += ZAV_TEXT(".");
        line += routine;
        if (extra != nullptr) {
            line += ZAV_TEXT("  ");
            line += extra;
        }
        --m_RoutineLevel;  // the Push line stands at the caller's indentation
        InsertMsg(line);
        ++m_RoutineLevel;
        return m_RoutineLevel;
    } catch (...) {
        m_RoutineLevel = level - 1;
        throw;
    }
}

LONG ZAVDebug::RoutinePushReq(const WCHAR* owner, const WCHAR* routine, LONG request, LONG mode) {
    if (request == kNoValue || !ZAVDebugInternals::TraceOutputActive(*this)) return RoutinePush(owner, routine, nullptr, mode);
    char text[32];
    snprintf(text, sizeof text, "Request=%d", static_cast<int>(request));
    ZAVString extra;
    extra.reserve(63);
    extra = text;
    return RoutinePush(owner, routine, extra.c_str(), mode);
}

void ZAVDebug::RoutinePop(LONG level, LONG rc) {
    const LONG top = m_RoutineLevel;
    if (top < 0) return;
    if (ZAVDebugInternals::TraceOutputActive(*this) && m_pRoutineTraceOn->Items[top]) {
        ZAVString line;
        const LONG popped = level < 0 ? top : level;
        // The stack comes back into step even when the line cannot be made.
        if (level <= top) m_RoutineLevel = popped - 1;
        try {
            line.reserve(63);
            line = ZAV_TEXT("Pop  ");
            if (level <= top) {
                line += *m_pRoutineNames->Items[popped];
                if (rc != kNoValue) {
                    char code[32];
                    snprintf(code, sizeof code, " Return Code=%d", static_cast<int>(rc));
                    line += code;
                }
                const int64_t micros = static_cast<int64_t>(ZAV_TimerValue() - m_pRoutineStart->Items[popped]);
                char duration[64];
                snprintf(duration, sizeof duration, "  Dur=%-#.3f msecs", static_cast<double>(micros) * 0.001);
                line += duration;
            }
        } catch (...) {
            // Whatever part of the line was composed is written.
        }
        InsertMsg(line);
    } else if (level <= top) {
        m_RoutineLevel = level < 0 ? top - 1 : level - 1;
    }
    for (LONG i = m_RoutineLevel + 1; i <= top; ++i)
        if (ZAVString* name = m_pRoutineNames->Items[i]) name->erase();
}

ZAVString ZAVDebug::ActiveRoutine() const {
    if (m_RoutineLevel < 0) return ZAVString();
    return *m_pRoutineNames->Items[m_RoutineLevel];
}

ZAVString ZAVDebug::ShowCallStack() const {
    ZAVString stack;
    for (LONG i = 0; i <= m_RoutineLevel; ++i) {
        if (i != 0) stack += ZAV_TEXT(";");
        stack += *m_pRoutineNames->Items[i];
    }
    return stack;
}
