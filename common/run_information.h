#pragma once
// RunInformation: the "Run Information" section of the sample sheet.

#include <string>

#include "common/partitioned_csv.h"
#include "common/section_info.h"

class RunInformation {
public:
    int FileFormatVersion = 2;      // key 0, 1..999, value required
    std::string InstrumentPlatform; // key 1, value required
    std::string FlowcellBarcode;    // key 2, optional
    std::string RunName;            // key 3, optional

    // Section id 3, "Run Information", required, settings. Built on first use.
    static const SectionInfo& section_info();

    void load(PartitionedCsv& document);
    void store(PartitionedCsv& document) const; // the texts in double quotes
};
