#include "common/quillon_header.h"

const SectionInfo& QuillonHeader::section_info()
{
    static const SectionInfo info{1, "Header", true, SectionInfo::settings_kind, {{0, "FileFormatVersion", true}}};
    return info;
}

void QuillonHeader::load(PartitionedCsv& document)
{
    const SectionInfo& info = section_info();
    if (document.validate_headings(info)) {
        document.validate_numeric(info, 0, 1, FileFormatVersion, 1, 999, true);
    }
}

void QuillonHeader::store(PartitionedCsv& document) const
{
    document.store_numeric(section_info(), 0, 1, FileFormatVersion);
}
