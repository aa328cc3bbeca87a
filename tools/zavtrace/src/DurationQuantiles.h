// Quantiles of one routine's call durations in bounded memory: exact while a
// routine has at most kExactLimit calls, then a log-linear histogram (64
// buckets per power of two, as HDR histograms have): a bucket spans at most
// 1/64 of its lower end, and its midpoint lies within kRelativeError (0.8 %)
// of every duration in it. Below 64 us every microsecond has its own bucket.
// At most about 2,400 buckets (4 bytes each) cover durations up to 11 days.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zavtrace {

class DurationQuantiles {
public:
    static constexpr size_t kExactLimit = 1024;
    static constexpr double kRelativeError = 1.0 / 128;

    void Add(int64_t us);
    // The nearest-rank quantile q (0 < q <= 1) in microseconds; 0 when empty.
    double Quantile(double q) const;
    uint64_t Count() const { return count_; }

private:
    void ToHistogram();
    void AddToHistogram(int64_t us);

    uint64_t count_ = 0;
    std::vector<int64_t> exact_;     // while count_ <= kExactLimit
    bool histogram_ = false;
    std::vector<uint32_t> buckets_;  // see Bucket() in the source
};

}  // namespace zavtrace
