// One traced line against one write(2) of the same bytes to a file (and
// with memory monitoring against without), and a line saved to the wrap
// ring against a copy of it with a header.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "Ratios.h"
#include "ZAVUtil1.h"

namespace {

// A private folder for one benchmark's files, removed with them.
struct BenchDirectory {
    std::string path;
    BenchDirectory() {
        char name[] = "/tmp/zavbenchXXXXXX";
        if (mkdtemp(name) == nullptr) {
            perror("zav_bench: mkdtemp");
            exit(1);
        }
        path = name;
    }
    ~BenchDirectory() { std::filesystem::remove_all(path); }
    std::string File(const char* name) const { return path + "/" + name; }
};

const WCHAR kText[] = ZAV_TEXT("Service request handled; queue depth 3, 12 bytes pending");

// With the monitor's switch on, each line also queries the process's memory
// counter (a memory line follows only when use has changed).
void TraceLines(benchmark::State& state, int monitorMemory) {
    const BenchDirectory dir;
    const std::string file = dir.File("bench");
    std::u16string name(file.begin(), file.end());
    ZAVDebug trace;
    trace.TraceStart(name.data(), 0);
    ZAV_MonitorMemory = monitorMemory;
    for (auto _ : state) trace.InsertMsg(kText);
    ZAV_MonitorMemory = 0;
    trace.TraceStop(0);
}

void BM_ZAVDebug_traced_line(benchmark::State& state) { TraceLines(state, 0); }

void BM_ZAVDebug_traced_line_monitored(benchmark::State& state) { TraceLines(state, 1); }

void BM_write_same_bytes(benchmark::State& state) {
    const BenchDirectory dir;
    const std::string path = dir.File("peer.log");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // The line as the trace writes it: prefix, text, CR LF.
    std::string line = "12:00:00    0.001 ";
    for (const WCHAR* p = kText; *p != 0; ++p) line += static_cast<char>(*p);
    line += "\r\n";
    for (auto _ : state) benchmark::DoNotOptimize(write(fd, line.data(), line.size()));
    close(fd);
}

void BM_ZAVDebug_wrap_line(benchmark::State& state) {
    ZAVDebug trace;
    std::u16string name = u"/tmp/zav-bench-wrap-never-dumped";
    trace.TraceStart(name.data(), 1 << 20);
    for (auto _ : state) trace.InsertMsg(kText);
}

// The peer a logging library would do: format the header, copy the bytes.
void BM_copy_with_header(benchmark::State& state) {
    static char ring[1 << 20];
    size_t at = 0;
    const size_t bytes = 2 * (sizeof kText / sizeof kText[0] + 20);
    for (auto _ : state) {
        if (at + bytes + 32 > sizeof ring) at = 0;
        at += static_cast<size_t>(snprintf(ring + at, 32, "12:00:00 %8.3f ", 0.001));
        memcpy(ring + at, kText, sizeof kText);
        at += bytes;
        benchmark::DoNotOptimize(ring[at - 1]);
    }
}

// The steps of a traced line, one at a time, against the same peer.
void BM_line_texts(benchmark::State& state) {
    WCHAR clock[9], date[12];
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZAV_TimerValue());
        benchmark::DoNotOptimize(_wstrdate(date));
        benchmark::DoNotOptimize(_wstrtime(clock));
    }
}

// As the trace composes: in place, into room made once.
void BM_line_compose(benchmark::State& state) {
    static const WCHAR kPrefix[] = ZAV_TEXT("12:00:00      0.001 ");
    const unsigned prefix = sizeof kPrefix / sizeof(WCHAR) - 1, text = sizeof kText / sizeof(WCHAR) - 1;
    ZAVString line;
    line.reserve(200);
    for (auto _ : state) {
        WCHAR* at = line.begin();
        memcpy(at, kPrefix, prefix * sizeof(WCHAR));
        at += prefix;
        for (int i = 0; i < 4; ++i) *at++ = ' ';
        memcpy(at, kText, text * sizeof(WCHAR));
        at += text;
        *at++ = '\r';
        *at++ = '\n';
        *at = 0;
        line.SetSize(static_cast<unsigned>(at - line.begin()));
        benchmark::DoNotOptimize(line.c_str());
    }
}

void BM_line_to_ansi(benchmark::State& state) {
    ZAVString line(ZAV_TEXT("12:00:00      0.001     "));
    line += kText;
    line += ZAV_TEXT("\r\n");
    for (auto _ : state) benchmark::DoNotOptimize(line.ANSIString());
}

// The overlapped write's event and result calls without the write.
void BM_line_write_handshake(benchmark::State& state) {
    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    OVERLAPPED overlapped;
    memset(&overlapped, 0, sizeof overlapped);
    DWORD transferred = 0;
    for (auto _ : state) {
        ResetEvent(event);
        SetEvent(event);
        benchmark::DoNotOptimize(WaitForSingleObject(event, 5000));
        benchmark::DoNotOptimize(GetOverlappedResult(nullptr, &overlapped, &transferred, FALSE));
    }
    CloseHandle(event);
}

// What monitoring adds to each line: the process's memory counter.
void BM_line_memory_query(benchmark::State& state) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
    PROCESS_MEMORY_COUNTERS counters;
    for (auto _ : state) benchmark::DoNotOptimize(GetProcessMemoryInfo(process, &counters, sizeof counters));
    CloseHandle(process);
}

BENCHMARK(BM_line_texts);
BENCHMARK(BM_line_memory_query);
BENCHMARK(BM_line_compose);
BENCHMARK(BM_line_to_ansi);
BENCHMARK(BM_line_write_handshake);
BENCHMARK(BM_ZAVDebug_traced_line);
BENCHMARK(BM_ZAVDebug_traced_line_monitored);
BENCHMARK(BM_write_same_bytes);
BENCHMARK(BM_ZAVDebug_wrap_line);
BENCHMARK(BM_copy_with_header);

const bool declared = (zavbench::DeclareRatio("BM_ZAVDebug_traced_line", "BM_write_same_bytes", 1.2),
                       zavbench::DeclareRatio("BM_ZAVDebug_traced_line_monitored", "BM_ZAVDebug_traced_line", 1.5),
                       zavbench::DeclareRatio("BM_line_texts", "BM_write_same_bytes", 0),
                       zavbench::DeclareRatio("BM_line_memory_query", "BM_write_same_bytes", 0),
                       zavbench::DeclareRatio("BM_line_compose", "BM_write_same_bytes", 0),
                       zavbench::DeclareRatio("BM_line_to_ansi", "BM_write_same_bytes", 0),
                       zavbench::DeclareRatio("BM_line_write_handshake", "BM_write_same_bytes", 0),
                       zavbench::DeclareRatio("BM_ZAVDebug_wrap_line", "BM_copy_with_header", 2.0), true);

}  // namespace
