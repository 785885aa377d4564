#include "converter/analysis/metric_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using Hist = std::vector<std::uint64_t>;

// n bases of quality q, added to a quality histogram.
void add(Hist& hist, std::size_t q, std::uint64_t n)
{
    if (hist.size() <= q)
        hist.resize(q + 1, 0);
    hist[q] += n;
}

Hist forty_and_twenty()
{
    Hist hist;
    add(hist, 40, 5);
    add(hist, 20, 5);
    return hist;
}

struct QuantileCase {
    const char* what;
    Hist hist;
    int percent;
    double top;
    double mean;
};

TEST(MetricValuesTest, TopQuantileAndItsMean)
{
    const QuantileCase cases[] = {
        {"lengths, long reads dominate", {0, 0, 0, 2, 8}, 75, 4, 4.0},
        {"lengths, short reads dominate", {0, 0, 0, 8, 2}, 75, 3, 23.0 / 7},
        {"no rows", {}, 80, -1, 0},
        {"all counts zero", {0, 0, 0}, 80, 0, 0},
        {"one row", {7}, 80, 0, 0},
        {"half 40, half 20 at 80%", forty_and_twenty(), 80, 20, 32.5},
        {"half 40, half 20 at 90%", forty_and_twenty(), 90, 20, 280.0 / 9},
        {"half 40, half 20 at 40%", forty_and_twenty(), 40, 40, 40},
    };
    for (const QuantileCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_DOUBLE_EQ(MetricValues::get_q_top_quantile(c.hist, c.percent), c.top);
        EXPECT_DOUBLE_EQ(MetricValues::get_q_mean_top_quantile(c.hist, c.percent), c.mean);
    }
}

struct ObservedCase {
    const char* what;
    std::vector<MatchElement> matches;
    int percent;
    double score;
};

std::vector<MatchElement> rows(std::initializer_list<std::pair<std::size_t, MatchElement>> entries)
{
    std::vector<MatchElement> matches(94);
    for (const auto& [q, element] : entries)
        matches[q] = element;
    return matches;
}

TEST(MetricValuesTest, ObservedScore)
{
    const ObservedCase cases[] = {
        {"every base a match", rows({{30, {100, 100}}}), 80, 70.0},
        {"one mismatch in 100", rows({{30, {99, 100}}}), 80, 20.0},
        // Ten bases of quality 10 are the lowest 10%: left out at 80% and 90%, kept at 95%.
        {"low row below the threshold", rows({{10, {0, 10}}, {30, {89, 90}}}), 80, -10 * std::log10(1.0 / 90)},
        {"low row at the threshold", rows({{10, {0, 10}}, {30, {89, 90}}}), 90, -10 * std::log10(1.0 / 90)},
        {"low row above the threshold", rows({{10, {0, 10}}, {30, {89, 90}}}), 95, -10 * std::log10(0.11)},
    };
    for (const ObservedCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_NEAR(MetricValues::get_o_mean_top_quantile(c.matches, c.percent), c.score, 1e-9);
    }

    // Without counted bases the score is a negative zero (printed "-0.000000").
    for (const auto& matches : {std::vector<MatchElement>{}, std::vector<MatchElement>(94)}) {
        const double score = MetricValues::get_o_mean_top_quantile(matches, 80);
        EXPECT_EQ(score, 0.0);
        EXPECT_TRUE(std::signbit(score));
    }
}

TEST(MetricValuesTest, ValuesInOrderWithObservedScoresOnlyWhenAsked)
{
    const MetricValues values(3000000000ULL, 2500000, 0.25, {0, 0, 0, 2, 8}, forty_and_twenty(),
                              rows({{30, {99, 100}}}));
    std::vector<MetricElement> out;
    values.get_values(out, false);
    const std::vector<std::string> names = {"Reads Millions", "Gb",    "P25 Read Length", "80% Min Q",
                                            "90% Min Q",      "80% Q", "90% Q",           "Reads Fraction"};
    const std::vector<double> expected = {2.5, 3.0, 4, 20, 20, 32.5, 280.0 / 9, 0.25};
    ASSERT_EQ(out.size(), names.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        EXPECT_EQ(out[i].name, names[i]);
        EXPECT_DOUBLE_EQ(out[i].value, expected[i]) << names[i];
        EXPECT_EQ(out[i].is_float, names[i] != "P25 Read Length") << names[i];
    }

    out.clear();
    values.get_values(out, true);
    ASSERT_EQ(out.size(), 10u);
    EXPECT_EQ(out[8].name + "," + out[9].name, "80% O,90% O");
    EXPECT_NEAR(out[8].value, 20.0, 1e-9);
    EXPECT_NEAR(out[9].value, 20.0, 1e-9);
}

} // namespace
