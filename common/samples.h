#pragma once
// Samples: the "Samples" table of the sample sheet, the ordered list of its data
// rows. It is a std::vector<Sample> (in the order of the data rows), so users write
// `for (const Sample& s : sheet.samples)`, `sheet.samples.size()`, `sheet.samples[i].Index`.

#include <string>
#include <vector>

#include "common/partitioned_csv.h"
#include "common/sample.h"
#include "common/section_info.h"

class Samples : public std::vector<Sample> {
public:
    // Section id 6, "Samples", required, table; columns 0 "Biosample", 1 "Lane", 2 "Index",
    // 3 "Index2", all required. Built on first use.
    static const SectionInfo& section_info();

    // Empties the list and reads every data row (also rows with bad values or duplicates), with
    // the duplicate sample id and duplicate index pair errors.
    void load(PartitionedCsv& document);
    // Data row k (from 1) of the table for the k-th sample; texts unquoted.
    void store(PartitionedCsv& document) const;
    // Closeness check: appends a message for every pair of samples of one lane whose index
    // distance is <= 2 * i1_mismatches and index2 distance <= 2 * i2_mismatches. Uses no table
    // that grows with the square of the longest index.
    void validate(int i1_mismatches, int i2_mismatches, std::vector<std::string>& messages) const;
};
