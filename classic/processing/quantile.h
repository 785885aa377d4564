#pragma once
// The p-quantile of a list of values with linear interpolation between the two nearest ranks:
// sorted ascending, h = (n - 1) p, the result lies between values floor(h) and ceil(h). NaN for
// an empty list; std::logic_error for p outside [0, 1].
#include <vector>

double quantile(std::vector<unsigned char> values, double p);
double quantile(std::vector<short> values, double p);
