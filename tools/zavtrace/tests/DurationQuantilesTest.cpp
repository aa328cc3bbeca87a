#include <algorithm>
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "DurationQuantiles.h"

using zavtrace::DurationQuantiles;

TEST(DurationQuantilesTest, ExactWhileSmall) {
    DurationQuantiles q;
    EXPECT_EQ(q.Quantile(0.95), 0);
    for (int us : {50, 10, 40, 20, 30}) q.Add(us);
    EXPECT_EQ(q.Quantile(0.95), 50);  // rank ceil(4.75) = 5
    EXPECT_EQ(q.Quantile(0.5), 30);
    EXPECT_EQ(q.Quantile(0.2), 10);
}

TEST(DurationQuantilesTest, WithinOnePercentBeyondTheExactLimit) {
    std::mt19937_64 random(11);
    std::lognormal_distribution<double> spread(7.0, 2.0);  // a long tail, as call durations have
    std::vector<int64_t> all;
    DurationQuantiles q;
    for (int i = 0; i < 200000; ++i) {
        const int64_t us = i % 50 == 0 ? 0 : static_cast<int64_t>(spread(random));
        all.push_back(us);
        q.Add(us);
    }
    std::sort(all.begin(), all.end());
    for (double p : {0.5, 0.9, 0.95, 0.99, 1.0}) {
        const int64_t exact = all[static_cast<size_t>(std::ceil(p * all.size())) - 1];
        EXPECT_NEAR(q.Quantile(p), exact, exact * DurationQuantiles::kRelativeError + 1) << p;
    }
    EXPECT_EQ(q.Quantile(0.01), 0);  // 2 % of the calls took under a microsecond
}
