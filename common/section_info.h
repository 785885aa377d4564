#pragma once
// SectionInfo: the static description of one expected section of a sectioned CSV document.
// A list of them (SectionInfoList) describes a whole sheet.

#include <string>
#include <vector>

#include "common/heading_info.h"

struct SectionInfo {
    static constexpr int table_kind = 0;    // a table section: heading row, then data rows
    static constexpr int settings_kind = 1; // a settings section: key, value rows

    int id = 0;            // section number, unique across the sheets (1 to 4 and 6 are used)
    std::string name;      // the text between the brackets, compared exactly
    bool required = false; // a missing section is an error
    int kind = settings_kind;
    std::vector<HeadingInfo> headings; // expected keys or column headings, in add_section order

    bool is_settings() const { return kind == settings_kind; }
};

using SectionInfoList = std::vector<SectionInfo>;
