#include "DurationQuantiles.h"

#include <algorithm>
#include <cmath>

namespace zavtrace {
namespace {

constexpr int kSubBits = 6;  // 64 buckets per power of two
constexpr int64_t kSub = int64_t(1) << kSubBits;

// Values below 64 are their own bucket; above, a value with highest bit e
// falls into bucket (e - 5) * 64 + its next 6 bits.
size_t Bucket(int64_t us) {
    if (us < kSub) return static_cast<size_t>(std::max<int64_t>(us, 0));
    const int e = std::ilogb(static_cast<double>(us));
    const int64_t sub = (us >> (e - kSubBits)) & (kSub - 1);
    return static_cast<size_t>((e - kSubBits + 1) * kSub + sub);
}

// The middle of a bucket's range.
double Middle(size_t bucket) {
    if (bucket < static_cast<size_t>(kSub)) return static_cast<double>(bucket);
    const int e = static_cast<int>(bucket / kSub) + kSubBits - 1;
    const double low = std::ldexp(static_cast<double>(kSub + bucket % kSub), e - kSubBits);
    return low + std::ldexp(1.0, e - kSubBits) / 2;
}

}  // namespace

void DurationQuantiles::Add(int64_t us) {
    ++count_;
    if (!histogram_) {
        exact_.push_back(us);
        if (exact_.size() > kExactLimit) ToHistogram();
        return;
    }
    AddToHistogram(us);
}

void DurationQuantiles::ToHistogram() {
    histogram_ = true;
    for (int64_t us : exact_) AddToHistogram(us);
    std::vector<int64_t>().swap(exact_);
}

void DurationQuantiles::AddToHistogram(int64_t us) {
    const size_t bucket = Bucket(us);
    if (bucket >= buckets_.size()) buckets_.resize(bucket + 1);
    ++buckets_[bucket];
}

double DurationQuantiles::Quantile(double q) const {
    if (count_ == 0) return 0;
    const uint64_t rank = std::max<uint64_t>(1, static_cast<uint64_t>(std::ceil(q * static_cast<double>(count_))));
    if (!histogram_) {
        std::vector<int64_t> sorted(exact_);
        std::nth_element(sorted.begin(), sorted.begin() + (rank - 1), sorted.end());
        return static_cast<double>(sorted[rank - 1]);
    }
    uint64_t seen = 0;
    for (size_t i = 0; i < buckets_.size(); ++i) {
        seen += buckets_[i];
        if (seen >= rank) return Middle(i);
    }
    return Middle(buckets_.size() - 1);
}

}  // namespace zavtrace
