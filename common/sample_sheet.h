#pragma once
// SampleSheet: the sample sheet, a sectioned CSV document with the settings
// sections "Run Information", "Flow Cell Settings", "Quillon Settings" and the table "Samples".
//
// Usage:
//   SampleSheet sheet;
//   std::vector<std::string> errors, warnings;
//   bool ok = sheet.load(text, errors, warnings); // lists replaced by the document's lists
//   sheet.run_information.FlowcellBarcode, sheet.flow_cell_settings.Read1Cycles,
//   sheet.quillon_settings.I1Mismatches, for (const Sample& s : sheet.samples) s.Lane ...
//
// In the sample sheet every key of "Quillon Settings" is optional (is_required), while the
// section itself must be present. Overrides slots 0 load, 1 store, 3 clear and 4 is_required.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/flow_cell_settings.h"
#include "common/partitioned_csv.h"
#include "common/quillon_settings.h"
#include "common/run_information.h"
#include "common/samples.h"
#include "common/section_info.h"

using SampleSheetInfo = SectionInfoList;

class SampleSheet : public PartitionedCsv {
public:
    RunInformation run_information;      // section "Run Information"
    FlowCellSettings flow_cell_settings; // section "Flow Cell Settings"
    QuillonSettings quillon_settings;    // section "Quillon Settings" (overrides the design sheet)
    Samples samples;                     // table "Samples": list of Sample

    // The most samples a lane may list; a lane with more is an error found before the
    // closeness check, which compares every pair of a lane's samples. No bound by default.
    std::size_t max_lane_samples = SIZE_MAX;
    // The most samples the whole sheet may list, for a program that numbers its samples across
    // both lanes; checked, like max_lane_samples, before the closeness check. No bound by default.
    std::size_t max_samples = SIZE_MAX;

    // {Run Information, Flow Cell Settings, Quillon Settings, Samples} (copies of the four section
    // descriptions). Built on first use, so it may be used from any static initialiser.
    static const SampleSheetInfo& sample_sheet_info_();

    // Never throws. After the call errors_out and warnings_out hold the document's complete lists
    // (replaced, not appended to). True when the document holds no error. The closeness check
    // runs only when there is no error and adds warnings without a line number.
    bool load(const std::string& text, std::vector<std::string>& errors_out,
              std::vector<std::string>& warnings_out) override;
    void store(std::string& out) override;
    void clear() override;
    // False for every heading of "Quillon Settings" (section id 2), else the heading's flag.
    bool is_required(const SectionInfo& info, const HeadingInfo& heading) const override;
};
