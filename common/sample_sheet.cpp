#include "common/sample_sheet.h"

#include <map>

const SampleSheetInfo& SampleSheet::sample_sheet_info_()
{
    static const SampleSheetInfo info{RunInformation::section_info(), FlowCellSettings::section_info(),
                                      QuillonSettings::section_info(), Samples::section_info()};
    return info;
}

bool SampleSheet::load(const std::string& text, std::vector<std::string>& errors_out,
                       std::vector<std::string>& warnings_out)
{
    PartitionedCsv::load(text, errors_out, warnings_out);
    initialize_section_mapping(sample_sheet_info_());
    if (validate_sections(sample_sheet_info_())) {
        run_information.load(*this);
        flow_cell_settings.load(*this);
        quillon_settings.load(*this);
        samples.load(*this);
        if (samples.size() > max_samples)
            error("Too many samples: " + std::to_string(samples.size()) + " (at most " + std::to_string(max_samples) +
                      ")",
                  0);
        std::map<int, std::size_t> lane_counts;
        for (const Sample& sample : samples)
            ++lane_counts[sample.Lane];
        for (const auto& [lane, count] : lane_counts)
            if (count > max_lane_samples)
                error("Too many samples in lane " + std::to_string(lane) + ": " + std::to_string(count) + " (at most " +
                          std::to_string(max_lane_samples) + ")",
                      0);
        if (errors.empty()) {
            std::vector<std::string> messages;
            samples.validate(quillon_settings.I1Mismatches, quillon_settings.I2Mismatches, messages);
            for (const std::string& message : messages)
                warning(message, 0);
        }
    }
    errors_out = errors;
    warnings_out = warnings;
    return errors.empty();
}

void SampleSheet::store(std::string& out)
{
    clear();
    run_information.store(*this);
    flow_cell_settings.store(*this);
    quillon_settings.store(*this);
    samples.store(*this);
    PartitionedCsv::store(out);
}

void SampleSheet::clear()
{
    PartitionedCsv::clear();
    add_section(RunInformation::section_info());
    add_section(FlowCellSettings::section_info());
    add_section(QuillonSettings::section_info());
    add_section(Samples::section_info());
    initialize_section_mapping(sample_sheet_info_());
}

bool SampleSheet::is_required(const SectionInfo& info, const HeadingInfo& heading) const
{
    if (info.id == QuillonSettings::section_info().id)
        return false;
    return heading.required;
}
