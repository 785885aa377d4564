#include "converter/analysis/metric_values.h"

#include <cmath>
#include <cstddef>

namespace {

std::uint64_t sum_of(const std::vector<std::uint64_t>& hist)
{
    std::uint64_t total = 0;
    for (const std::uint64_t count : hist)
        total += count;
    return total;
}

// The number of items that make up percent% of total, rounded down.
std::uint64_t share_of(int percent, std::uint64_t total)
{
    return static_cast<std::uint64_t>(percent / 100.0 * static_cast<double>(total));
}

} // namespace

MetricValues::MetricValues(std::uint64_t bases, std::uint64_t reads, double fraction,
                           const std::vector<std::uint64_t>& length_hist,
                           const std::vector<std::uint64_t>& quality_hist, const std::vector<MatchElement>& matches)
    : reads_millions(static_cast<double>(reads) / 1000000.0), gigabases(static_cast<double>(bases) / 1000000000.0),
      p25_read_length(get_q_top_quantile(length_hist, 75)), min_q_80(get_q_top_quantile(quality_hist, 80)),
      min_q_90(get_q_top_quantile(quality_hist, 90)), mean_q_80(get_q_mean_top_quantile(quality_hist, 80)),
      mean_q_90(get_q_mean_top_quantile(quality_hist, 90)), reads_fraction(fraction)
{
    if (!matches.empty()) {
        observed_80 = get_o_mean_top_quantile(matches, 80);
        observed_90 = get_o_mean_top_quantile(matches, 90);
    }
}

void MetricValues::get_values(std::vector<MetricElement>& out, bool with_observed) const
{
    out.push_back({"Reads Millions", reads_millions, true});
    out.push_back({"Gb", gigabases, true});
    out.push_back({"P25 Read Length", p25_read_length, false});
    out.push_back({"80% Min Q", min_q_80, true});
    out.push_back({"90% Min Q", min_q_90, true});
    out.push_back({"80% Q", mean_q_80, true});
    out.push_back({"90% Q", mean_q_90, true});
    out.push_back({"Reads Fraction", reads_fraction, true});
    if (with_observed) {
        out.push_back({"80% O", observed_80, true});
        out.push_back({"90% O", observed_90, true});
    }
}

double MetricValues::get_q_top_quantile(const std::vector<std::uint64_t>& hist, int percent)
{
    if (hist.empty())
        return -1;
    const std::uint64_t target = share_of(percent, sum_of(hist));
    std::uint64_t running = 0;
    for (std::size_t i = hist.size() - 1; i >= 1; --i) {
        running += hist[i];
        if (running > target)
            return static_cast<double>(i);
    }
    return 0;
}

double MetricValues::get_q_mean_top_quantile(const std::vector<std::uint64_t>& hist, int percent)
{
    if (hist.empty())
        return 0;
    const std::uint64_t target = share_of(percent, sum_of(hist));
    std::uint64_t taken = 0;
    std::uint64_t weighted = 0;
    for (std::size_t i = hist.size(); i-- > 0;) {
        // taken never exceeds target, so the difference cannot wrap.
        const std::uint64_t wanted = target - taken;
        if (wanted > hist[i]) {
            taken += hist[i];
            weighted += hist[i] * i;
        } else {
            weighted += wanted * i;
            return static_cast<double>(weighted) / static_cast<double>(target == 0 ? 1 : target);
        }
    }
    return static_cast<double>(weighted) / static_cast<double>(taken == 0 ? 1 : taken);
}

double MetricValues::get_o_mean_top_quantile(const std::vector<MatchElement>& matches, int percent)
{
    std::uint64_t all = 0;
    for (const MatchElement& row : matches)
        all += row.total;
    const std::uint64_t threshold = share_of(100 - percent, all);

    std::uint64_t running = 0;
    std::uint64_t matched = 0;
    std::uint64_t counted = 0;
    for (const MatchElement& row : matches) {
        running += row.total;
        if (running > threshold) {
            matched += row.match;
            counted += row.total;
        }
    }
    const double x = 1.0 - static_cast<double>(matched) / static_cast<double>(counted == 0 ? 1 : counted);
    // An error rate of at most 1e-7 scores the cap. Without counted bases x is 1 and the
    // score is a zero carrying the product's sign, printed "-0.000000".
    if (x > 0.0000001)
        return -10.0 * std::log10(x);
    return 70.0;
}
