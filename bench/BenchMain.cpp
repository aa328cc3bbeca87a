#include <stdio.h>

#include <algorithm>
#include <map>
#include <vector>

#include <benchmark/benchmark.h>

#include "Ratios.h"

namespace zavbench {
namespace {

struct Ratio {
    std::string ours, peer;
    double limit;
};

std::vector<Ratio>& Ratios() {
    static std::vector<Ratio> ratios;
    return ratios;
}

// The machine is shared: wall time counts other programs' turns, CPU time
// far less so, but a virtual machine also has spells of seconds in which
// every instruction takes up to twice as long, CPU time included. Ratios
// therefore take each benchmark's fastest repetition, the one such a spell
// spared; the repetitions are interleaved at random, so that ours and the
// peer each get their chances. With several repetitions the table shows
// only their summaries.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                cpuTimesOf[run.run_name.str()].push_back(run.GetAdjustedCPUTime());
            if (run.run_type == Run::RT_Aggregate || run.repetitions <= 1) shown.push_back(run);
        }
        if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
    }

    // The fastest repetition's CPU time per iteration; false when the
    // benchmark did not run.
    bool FastestCpuTime(const std::string& name, double* time, size_t* repetitions) const {
        auto found = cpuTimesOf.find(name);
        if (found == cpuTimesOf.end() || found->second.empty()) return false;
        *time = *std::min_element(found->second.begin(), found->second.end());
        *repetitions = found->second.size();
        return true;
    }

private:
    std::map<std::string, std::vector<double>> cpuTimesOf;
};

}  // namespace

void DeclareRatio(const std::string& ours, const std::string& peer, double limit) {
    Ratios().push_back({ours, peer, limit});
}

}  // namespace zavbench

int main(int argc, char** argv) {
    // Defaults first, so that the same flags given on the command line win.
    std::vector<char*> args{argv[0]};
    char repetitions[] = "--benchmark_repetitions=5";
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    args.push_back(repetitions);
    args.push_back(interleaving);
    args.insert(args.end(), argv + 1, argv + argc);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    zavbench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    printf("\nRatios: CPU time per iteration of ours / of the peer, same run, fastest of the repetitions:\n");
    for (const auto& r : zavbench::Ratios()) {
        double ours, peer;
        size_t oursRuns, peerRuns;
        if (!reporter.FastestCpuTime(r.ours, &ours, &oursRuns) || !reporter.FastestCpuTime(r.peer, &peer, &peerRuns))
            continue;  // filtered out
        const double ratio = ours / peer;
        printf("  %-40s / %-34s = %6.2f  (%zu/%zu runs)", r.ours.c_str(), r.peer.c_str(), ratio, oursRuns, peerRuns);
        if (r.limit <= 0)
            printf("  (reported, no target)\n");
        else
            printf("  (target <= %.2f)%s\n", r.limit, ratio <= r.limit ? "" : "  ABOVE TARGET");
    }
    return 0;
}
