#include <stdio.h>

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

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.error_occurred == false)
                timeOf[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> timeOf;
};

}  // namespace

void DeclareRatio(const std::string& ours, const std::string& peer, double limit) {
    Ratios().push_back({ours, peer, limit});
}

}  // namespace zavbench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    zavbench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    printf("\nRatios (time of ours / time of the peer, same run):\n");
    for (const auto& r : zavbench::Ratios()) {
        auto a = reporter.timeOf.find(r.ours), b = reporter.timeOf.find(r.peer);
        if (a == reporter.timeOf.end() || b == reporter.timeOf.end()) continue;  // filtered out
        double ratio = a->second / b->second;
        if (r.limit <= 0) {
            printf("  %-40s / %-28s = %5.2f  (reported, no target)\n", r.ours.c_str(), r.peer.c_str(), ratio);
            continue;
        }
        printf("  %-40s / %-28s = %5.2f  (target <= %.2f)%s\n", r.ours.c_str(), r.peer.c_str(), ratio, r.limit,
               ratio <= r.limit ? "" : "  ABOVE TARGET");
    }
    return 0;
}
