#pragma once
// FlowCellSettings: the "Flow Cell Settings" section of the sample sheet.

#include "common/partitioned_csv.h"
#include "common/section_info.h"

class FlowCellSettings {
public:
    int Read1Cycles = 0;       // key 0, 8..255, value required
    int Read2Cycles = 0;       // key 1, 8..255 or 0, optional
    int Index1Cycles = 0;      // key 2, 8..255 or 0, optional
    int Index2Cycles = 0;      // key 3, 8..255 or 0, optional
    bool CustomPrimer = false; // key 4, value required
    bool QUILLON = false;      // key 5, value required

    // Section id 4, "Flow Cell Settings", required, settings. Built on first use.
    static const SectionInfo& section_info();

    void load(PartitionedCsv& document);
    void store(PartitionedCsv& document) const;
};
