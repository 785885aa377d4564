#include "classic/processing/quantile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

namespace {

template <typename T>
double quantile_of(std::vector<T> values, double p)
{
    if (p < 0 || p > 1)
        throw std::logic_error("Requested quantile probability is invalid");
    if (values.empty())
        return std::numeric_limits<double>::quiet_NaN();
    std::sort(values.begin(), values.end());
    const double h = static_cast<double>(values.size() - 1) * p;
    const auto lo = static_cast<std::size_t>(std::floor(h));
    const auto hi = static_cast<std::size_t>(std::ceil(h));
    if (lo == hi)
        return values[lo];
    return values[lo] * (static_cast<double>(hi) - h) + (h - static_cast<double>(lo)) * values[hi];
}

} // namespace

double quantile(std::vector<unsigned char> values, double p)
{
    return quantile_of(std::move(values), p);
}

double quantile(std::vector<short> values, double p)
{
    return quantile_of(std::move(values), p);
}
