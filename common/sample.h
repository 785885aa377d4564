#pragma once
// Sample: one data row of the sample sheet's "Samples" table. The member names are
// the table's column headings.

#include <string>

struct Sample {
    int Lane = 0;          // column "Lane": 1 or 2 (0 when the row's value was absent or bad)
    std::string Biosample; // column "Biosample": the sample's identifier, as written
    std::string Index;     // column "Index": the first index sequence, upper-cased
    std::string Index2;    // column "Index2": the second index sequence, upper-cased
};
