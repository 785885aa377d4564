#include "common/flow_cell_settings.h"

const SectionInfo& FlowCellSettings::section_info()
{
    static const SectionInfo info{4,
                                  "Flow Cell Settings",
                                  true,
                                  SectionInfo::settings_kind,
                                  {{0, "Read1Cycles", true},
                                   {1, "Read2Cycles", false},
                                   {2, "Index1Cycles", false},
                                   {3, "Index2Cycles", false},
                                   {4, "CustomPrimer", true},
                                   {5, "QUILLON", true}}};
    return info;
}

void FlowCellSettings::load(PartitionedCsv& document)
{
    const SectionInfo& info = section_info();
    if (!document.validate_headings(info))
        return;
    document.validate_numeric(info, 0, 1, Read1Cycles, 8, 255, true);
    document.validate_numeric(info, 1, 1, Read2Cycles, 8, 255, false);
    document.validate_numeric(info, 2, 1, Index1Cycles, 8, 255, false);
    document.validate_numeric(info, 3, 1, Index2Cycles, 8, 255, false);
    document.validate_boolean(info, 4, 1, CustomPrimer, true);
    document.validate_boolean(info, 5, 1, QUILLON, true);
}

void FlowCellSettings::store(PartitionedCsv& document) const
{
    const SectionInfo& info = section_info();
    document.store_numeric(info, 0, 1, Read1Cycles);
    document.store_numeric(info, 1, 1, Read2Cycles);
    document.store_numeric(info, 2, 1, Index1Cycles);
    document.store_numeric(info, 3, 1, Index2Cycles);
    document.store_boolean(info, 4, 1, CustomPrimer);
    document.store_boolean(info, 5, 1, QUILLON);
}
