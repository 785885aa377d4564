#include "common/run_information.h"

const SectionInfo& RunInformation::section_info()
{
    static const SectionInfo info{3,
                                  "Run Information",
                                  true,
                                  SectionInfo::settings_kind,
                                  {{0, "FileFormatVersion", true},
                                   {1, "InstrumentPlatform", true},
                                   {2, "FlowcellBarcode", false},
                                   {3, "RunName", false}}};
    return info;
}

void RunInformation::load(PartitionedCsv& document)
{
    const SectionInfo& info = section_info();
    if (!document.validate_headings(info))
        return;
    document.validate_numeric(info, 0, 1, FileFormatVersion, 1, 999, true);
    document.validate_text(info, 1, 1, InstrumentPlatform, true);
    document.validate_text(info, 2, 1, FlowcellBarcode, false);
    document.validate_text(info, 3, 1, RunName, false);
}

void RunInformation::store(PartitionedCsv& document) const
{
    const SectionInfo& info = section_info();
    document.store_numeric(info, 0, 1, FileFormatVersion);
    document.store_text(info, 1, 1, InstrumentPlatform, true);
    document.store_text(info, 2, 1, FlowcellBarcode, true);
    document.store_text(info, 3, 1, RunName, true);
}
