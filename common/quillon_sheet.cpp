#include "common/quillon_sheet.h"

const QuillonSheetInfo& QuillonSheet::quillon_sheet_info_()
{
    static const QuillonSheetInfo info{QuillonHeader::section_info(), QuillonSettings::section_info()};
    return info;
}

bool QuillonSheet::load(const std::string& text, std::vector<std::string>& errors_out,
                        std::vector<std::string>& warnings_out)
{
    PartitionedCsv::load(text, errors_out, warnings_out);
    initialize_section_mapping(quillon_sheet_info_());
    if (validate_sections(quillon_sheet_info_())) {
        quillon_header.load(*this);
        quillon_settings.load(*this);
    }
    errors_out = errors;
    warnings_out = warnings;
    return errors.empty();
}

void QuillonSheet::store(std::string& out)
{
    clear();
    quillon_header.store(*this);
    quillon_settings.store(*this);
    PartitionedCsv::store(out);
}

void QuillonSheet::clear()
{
    PartitionedCsv::clear();
    add_section(QuillonHeader::section_info());
    add_section(QuillonSettings::section_info());
    initialize_section_mapping(quillon_sheet_info_());
}
