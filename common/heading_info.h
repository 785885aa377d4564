#pragma once
// HeadingInfo: the static description of one expected key (settings section) or column
// heading (table section) of a sectioned CSV document.

#include <string>

struct HeadingInfo {
    int id = 0;            // the key's or column's number within its section; key of the mappings
    std::string name;      // the key text or column heading, compared exactly (case-sensitive)
    bool required = false; // a missing key or heading is an error (see PartitionedCsv::is_required)
};
