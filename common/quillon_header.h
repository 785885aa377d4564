#pragma once
// QuillonHeader: the "Header" section of the design sheet.

#include "common/partitioned_csv.h"
#include "common/section_info.h"

class QuillonHeader {
public:
    int FileFormatVersion = 1; // key 0 "FileFormatVersion", 1..999, value required

    // Section id 1, "Header", required, settings; one key. Built on first use (independent of
    // the order of static initialisation across source files).
    static const SectionInfo& section_info();

    // When validate_headings passes: validate_numeric of the version (1..999, required).
    void load(PartitionedCsv& document);
    void store(PartitionedCsv& document) const;
};
