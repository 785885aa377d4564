#pragma once
// One printed metric: its name and value; a float value is printed with "%f", any other
// rounded half away from zero and printed as an integer.
#include <string>

struct MetricElement {
    std::string name;
    double value = 0;
    bool is_float = true;
};
