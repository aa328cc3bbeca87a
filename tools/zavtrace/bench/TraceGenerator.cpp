// Writes a large synthetic trace in the library's line format, for the
// throughput bench: nested routines with return codes, messages, memory
// lines, a midnight with its date line, and roll-over into numbered files
// every 100 MiB as the library does. Deterministic for a given size.
//   zavtrace_trace_generator DIR MEGABYTES
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>

namespace {

constexpr uint64_t kFileLimit = 100ull << 20;

class Writer {
public:
    Writer(std::string dir, uint64_t total) : dir_(std::move(dir)), total_(total) { Open(); }
    ~Writer() { Close(); }
    bool Done() const { return written_ >= total_; }

    // A message line at the given stack depth, advancing the clock by elapsedUs.
    void Message(int depth, int64_t elapsedUs, std::string_view text) {
        nowUs_ += elapsedUs;
        const int64_t day = nowUs_ / 86400000000LL;
        if (day != lastDay_) Date(day);
        const int64_t seconds = (nowUs_ / 1000000) % 86400;
        fmt::format_to(std::back_inserter(line_), "{:02}:{:02}:{:02} {:9.3f} {:{}}{}\r\n", seconds / 3600,
                       seconds / 60 % 60, seconds % 60, elapsedUs / 1000.0, "", 4 * depth, text);
        Flush();
    }
    void Memory(int64_t pool, int64_t change, int64_t process, int64_t processChange) {
        fmt::format_to(std::back_inserter(line_),
                       "...Memory use changed. Internal Pool={}, {}. Process Bytes Allocated={}, {}\r\n", pool, change,
                       process, processChange);
    }

private:
    void Date(int64_t day) {
        lastDay_ = day;
        // Days from 2026-12-31, which the bench starts late on.
        const int dayOfMonth = static_cast<int>(day) == 0 ? 31 : static_cast<int>(day);
        const int month = day == 0 ? 12 : 1;
        const int year = day == 0 ? 26 : 27;
        fmt::format_to(std::back_inserter(line_), "Date={:02}/{:02}/{:02}{:=<80}\r\n", month, dayOfMonth, year, "");
    }
    void Open() {
        const std::string path = number_ == 0 ? dir_ + "/bench.log" : fmt::format("{}/bench{}.log", dir_, number_);
        file_ = fopen(path.c_str(), "wb");
        if (file_ == nullptr) {
            perror(path.c_str());
            exit(1);
        }
        fileBytes_ = 0;
        lastDay_ = -1;
        Message(depth_, 120, fmt::format("Trace Started. UserId=bench, ProcessId=4242, ThreadId=4243, Log File={}", path));
    }
    void Close() {
        if (file_ == nullptr) return;
        fwrite(line_.data(), 1, line_.size(), file_);
        line_.clear();
        fclose(file_);
        file_ = nullptr;
    }
    void Flush() {
        fileBytes_ += line_.size() - pending_;
        written_ += line_.size() - pending_;
        pending_ = line_.size();
        if (fileBytes_ > kFileLimit && !rolling_) {
            rolling_ = true;
            line_ += "--Trace closed and re-opened due to trace size.\r\n";
            written_ += 49;
            Close();
            pending_ = 0;
            ++number_;
            Open();
            rolling_ = false;
        }
        if (line_.size() > (1 << 20)) {
            fwrite(line_.data(), 1, line_.size(), file_);
            line_.clear();
            pending_ = 0;
        }
    }

public:
    int depth_ = 0;

private:
    std::string dir_;
    uint64_t total_, written_ = 0, fileBytes_ = 0;
    FILE* file_ = nullptr;
    std::string line_;
    size_t pending_ = 0;
    int number_ = 0;
    int64_t nowUs_ = 86340LL * 1000000;  // 23:59:00 on the first day
    int64_t lastDay_ = -1;
    bool rolling_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s DIR MEGABYTES\n", argv[0]);
        return 2;
    }
    Writer out(argv[1], std::strtoull(argv[2], nullptr, 10) * 1000000);
    std::mt19937 random(2027);
    std::vector<std::string> routines;
    for (const char* owner : {"Agent", "Sync", "Store", "Net", "Queue", "Crypto", "Index", "Report"})
        for (const char* name : {"Run", "Copy", "Read", "Write", "Lookup", "Parse", "Send"})
            routines.push_back(fmt::format("{}.{}", owner, name));
    struct Open {
        size_t routine;
        int64_t startUs;
    };
    std::vector<Open> stack;
    int64_t nowUs = 0, pool = 100000;
    while (!out.Done()) {
        const int64_t elapsed = 5 + random() % 400;
        nowUs += elapsed;
        const unsigned pick = random() % 100;
        if (pick < 30 && stack.size() < 10) {
            // A call graph as programs have one: each routine calls one of two others.
            const size_t r = stack.empty() ? random() % 8
                                           : (stack.back().routine * (random() % 2 == 0 ? 7 : 13) + 5) % routines.size();
            out.depth_ = static_cast<int>(stack.size());
            out.Message(out.depth_, elapsed, random() % 4 == 0 ? fmt::format("Push {}  Request={}", routines[r], random() % 1000)
                                                             : "Push " + routines[r]);
            stack.push_back({r, nowUs});
        } else if (pick < 60 && !stack.empty()) {
            const Open top = stack.back();
            stack.pop_back();
            out.depth_ = static_cast<int>(stack.size());
            const int rc = random() % 10 == 0 ? static_cast<int>(random() % 200) : 0;
            out.Message(out.depth_, elapsed,
                        fmt::format("Pop  {} Return Code={}  Dur={:.3f} msecs", routines[top.routine], rc,
                                    (nowUs - top.startUs) / 1000.0));
        } else {
            if (pick % 7 == 0) {
                const int64_t change = static_cast<int64_t>(random() % 8192) - 4096;
                pool += change;
                out.Memory(pool, change, 36000000 + pool, change);
            }
            out.depth_ = static_cast<int>(stack.size());
            out.Message(out.depth_, elapsed,
                        fmt::format("processed item {} of batch {}, {} bytes", random() % 100000, random() % 64,
                                    random() % 65536));
        }
    }
    return 0;
}
