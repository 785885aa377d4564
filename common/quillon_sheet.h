#pragma once
// QuillonSheet: the design sheet, a sectioned CSV document with the settings
// sections "Header" and "Quillon Settings".
//
// Usage:
//   QuillonSheet sheet;
//   std::vector<std::string> errors, warnings;
//   bool ok = sheet.load(text, errors, warnings); // lists replaced by the document's lists
//   sheet.quillon_settings.I1Mismatches ...
//   if (sheet.loaded) ...                         // a text was read
//
// Overrides slots 0 load, 1 store and 3 clear; keeps the base add_section and is_required.

#include <string>
#include <vector>

#include "common/partitioned_csv.h"
#include "common/quillon_header.h"
#include "common/quillon_settings.h"
#include "common/section_info.h"

using QuillonSheetInfo = SectionInfoList;

class QuillonSheet : public PartitionedCsv {
public:
    QuillonHeader quillon_header;     // section "Header"
    QuillonSettings quillon_settings; // section "Quillon Settings"

    // {Header, Quillon Settings} (copies of the two section descriptions). Built on first use, so
    // it may be used from any static initialiser.
    static const QuillonSheetInfo& quillon_sheet_info_();

    // Never throws. After the call errors_out and warnings_out hold the document's complete lists
    // (replaced, not appended to). True when the document holds no error.
    bool load(const std::string& text, std::vector<std::string>& errors_out,
              std::vector<std::string>& warnings_out) override;
    // Writes the sheet in its own layout: clear, header, settings, then PartitionedCsv::store.
    void store(std::string& out) override;
    // PartitionedCsv::clear, add_section of both sections, initialize_section_mapping.
    void clear() override;
};
