// The wrap trace: composed lines kept in a ring of records until a dump
// writes them, oldest first, to a trace file.
#include "TraceInternals.h"
#include "ZAVMemory.h"

namespace {

const DWORD kRecordOverhead = 6;  // the length field and the terminator
const DWORD kCutReserve = 256;

}  // namespace

int ZAVDebug::TraceWrapActive() { return m_pWrapBuf != nullptr ? 1 : 0; }

void ZAVDebug::TraceWrapStop() {
    if (m_pWrapBuf != nullptr) ZAV_MemoryFreePtr(&m_pWrapBuf);
}

void ZAVDebug::TraceWrapNewline() {
    if (m_pWrapBuf == nullptr) return;
    if (m_MsgLine.empty()) m_MsgLine = ZAV_TEXT(" ");
    const size_t usable = static_cast<size_t>(m_pWrapLimit - m_pWrapBuf);
    size_t need = 2 * static_cast<size_t>(m_MsgLine.length()) + kRecordOverhead;
    if (static_cast<size_t>(m_pWrapLimit - m_pWrapNext) < need) {
        zav::StoreLength(m_pWrapNext, 0);
        if (m_pWrapOldest >= m_pWrapNext) m_pWrapOldest = m_pWrapBuf;
        m_pWrapNext = m_pWrapBuf;
        if (usable < need) {
            m_MsgLine.erase((usable - kCutReserve) / 2);
            need = 2 * static_cast<size_t>(m_MsgLine.length()) + kRecordOverhead;
        }
    }
    unsigned char* const end = m_pWrapNext + need;
    if (m_pWrapNext <= m_pWrapOldest && m_pWrapOldest < end) {
        do {
            const DWORD length = zav::LoadLength(m_pWrapOldest);
            if (length == 0) {
                m_pWrapOldest = m_pWrapBuf;
                break;
            }
            m_pWrapOldest += length;
        } while (end > m_pWrapOldest);
    }
    zav::StoreLength(m_pWrapNext, static_cast<DWORD>(need));
    memcpy(m_pWrapNext + 4, m_MsgLine.c_str(), 2 * static_cast<size_t>(m_MsgLine.length()));
    memset(end - 2, 0, 2);
    m_pWrapNext = end;
    if (end > m_pWrapOldest) zav::StoreLength(end, 0);
}

void ZAVDebug::TraceDumpWrap(WCHAR* title) {
    if (m_pWrapBuf == nullptr) return;
    try {
        TraceStartOpen();
        if (m_hTraceFile == nullptr) {
            TraceWrapStop();
            return;
        }
        InsertMsgWait();
        m_MsgLine = ZAV_TEXT("---- Wrap trace of saved events.\r\n");
        InsertMsgWrite();
        if (title != nullptr) {
            InsertMsgWait();
            m_MsgLine = title;
            m_MsgLine += ZAV_TEXT("\r\n");
            InsertMsgWrite();
        }
        unsigned char* at = m_pWrapOldest;
        do {
            DWORD length = zav::LoadLength(at);
            if (length == 0) {
                at = m_pWrapBuf;
                if (at == m_pWrapNext) break;
                length = zav::LoadLength(at);
            }
            InsertMsgWait();
            m_MsgLine.assign(reinterpret_cast<const WCHAR*>(at + 4), (length - kRecordOverhead) / 2);
            if (InsertMsgWrite() == 0) break;
            at += length;
        } while (at != m_pWrapNext);
        InsertMsgWait();
        m_MsgLine = ZAV_TEXT("---- End of wrap trace.\r\n");
        InsertMsgWrite();
        InsertMsgWait();
        TraceStop(0);
        m_pWrapOldest = m_pWrapNext = m_pWrapBuf;
        zav::StoreLength(m_pWrapBuf, 0);
    } catch (...) {
        TraceWrapStop();
    }
}
