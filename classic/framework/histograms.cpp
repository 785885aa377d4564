#include "classic/framework/histograms.h"

#include <cmath>

namespace classic {

namespace {

template <typename Histogram>
double total_of(const Histogram& h)
{
    double total = 0;
    for (const auto& [key, count] : h)
        total += static_cast<double>(count);
    return total;
}

} // namespace

double get_min_q(const QualityHistogram& h, double f)
{
    const double total = total_of(h);
    double running = 0;
    for (const auto& [quality, count] : h) {
        running += static_cast<double>(count);
        if (running / total >= f)
            return quality;
    }
    return 0;
}

double get_q(const QualityHistogram& h, double f)
{
    const double total = total_of(h);
    double running = 0;
    double upper = 0;
    for (const auto& [quality, count] : h) {
        running += static_cast<double>(count);
        if (running / total >= f)
            upper += static_cast<double>(count);
    }
    double mean = 0;
    running = 0;
    for (const auto& [quality, count] : h) {
        running += static_cast<double>(count);
        if (running / total >= f)
            mean += static_cast<double>(count) / upper * quality;
    }
    return mean;
}

double get_rl(const LengthHistogram& h, double f)
{
    const double total = total_of(h);
    double running = 0;
    for (const auto& [length, count] : h) {
        running += static_cast<double>(count);
        if (running >= total * f)
            return length;
    }
    return 0;
}

double get_o(const ErrorHistogram& h, double f)
{
    double total = 0;
    for (const auto& [quality, counts] : h)
        total += static_cast<double>(counts.second);
    double running = 0;
    double agreeing = 0;
    double compared = 0;
    for (const auto& [quality, counts] : h) {
        running += static_cast<double>(counts.second);
        if (running / total >= f) {
            agreeing += static_cast<double>(counts.first);
            compared += static_cast<double>(counts.second);
        }
    }
    const double error_rate = 1 - agreeing / compared;
    if (error_rate != 0)
        return -10 * std::log10(error_rate);
    return 70.0;
}

void load_counts(const std::vector<unsigned char>& values, QualityHistogram& h)
{
    h.clear();
    for (unsigned char value : values)
        ++h[value];
}

void load_counts(const std::vector<short>& values, LengthHistogram& h)
{
    h.clear();
    for (short value : values)
        ++h[value];
}

void load_counts(const QualityTally& tally, QualityHistogram& h)
{
    h.clear();
    for (std::size_t quality = 0; quality < tally.size(); ++quality) {
        if (tally[quality] != 0)
            h.emplace_hint(h.end(), static_cast<unsigned char>(quality), tally[quality]);
    }
}

} // namespace classic
