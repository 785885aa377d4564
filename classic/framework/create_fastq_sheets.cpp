// Design sheet and sectioned sample sheet loading: the effective settings of the run (the
// design sheet's, overridden by the sample sheet's), and the classic sheet data built from a
// sectioned sample sheet: track names, cycle windows, index and UMI ranges and sample rows.
#include "classic/framework/blackboard.h"
#include "classic/framework/utilities.h"
#include "classic/processing/create_fastq.h"
#include "common/base_code.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace {

// A sheet that holds any section of the sectioned format is read as sectioned, even when it is
// broken; only a text with none of them is a legacy sheet.
bool has_sectioned_section(const SampleSheet& sheet)
{
    for (const SectionInfo& info : SampleSheet::sample_sheet_info_()) {
        if (sheet.find_section(info.name) >= 0)
            return true;
    }
    return false;
}

// One key of the "Quillon Settings" section: its id, its name and the member it sets.
struct SettingKey {
    QuillonSettings::Key id;
    const char* name;
    std::variant<bool QuillonSettings::*, int QuillonSettings::*, std::string QuillonSettings::*,
                 std::vector<std::string> QuillonSettings::*>
        member;
};

// Every key, in the order of the effective settings' log lines.
const SettingKey Setting_keys[] = {
    {QuillonSettings::OutputControlFASTQKey, "OutputControlFASTQ", &QuillonSettings::OutputControlFASTQ},
    {QuillonSettings::OutputIndexFASTQKey, "OutputIndexFASTQ", &QuillonSettings::OutputIndexFASTQ},
    {QuillonSettings::MergeLanesKey, "MergeLanes", &QuillonSettings::MergeLanes},
    {QuillonSettings::IncludeTilesKey, "IncludeTiles", &QuillonSettings::IncludeTiles},
    {QuillonSettings::ExcludeTilesKey, "ExcludeTiles", &QuillonSettings::ExcludeTiles},
    {QuillonSettings::I1MismatchesKey, "I1Mismatches", &QuillonSettings::I1Mismatches},
    {QuillonSettings::I2MismatchesKey, "I2Mismatches", &QuillonSettings::I2Mismatches},
    {QuillonSettings::R1CycleUsageKey, "R1CycleUsage", &QuillonSettings::R1CycleUsage},
    {QuillonSettings::R2CycleUsageKey, "R2CycleUsage", &QuillonSettings::R2CycleUsage},
    {QuillonSettings::I1CycleUsageKey, "I1CycleUsage", &QuillonSettings::I1CycleUsage},
    {QuillonSettings::I2CycleUsageKey, "I2CycleUsage", &QuillonSettings::I2CycleUsage},
    {QuillonSettings::U1CycleUsageKey, "U1CycleUsage", &QuillonSettings::U1CycleUsage},
    {QuillonSettings::U2CycleUsageKey, "U2CycleUsage", &QuillonSettings::U2CycleUsage},
};

const SettingKey& setting_key(int id)
{
    return *std::find_if(std::begin(Setting_keys), std::end(Setting_keys),
                         [id](const SettingKey& key) { return key.id == id; });
}

// A setting's value as its log lines give it: a flag as 1 or 0, a list one line per element.
template <typename Value>
std::vector<std::string> value_texts(const Value& value)
{
    if constexpr (std::is_same_v<Value, bool>)
        return {value ? "1" : "0"};
    else if constexpr (std::is_same_v<Value, int>)
        return {std::to_string(value)};
    else if constexpr (std::is_same_v<Value, std::string>)
        return {value};
    else
        return value;
}

// Cycle positions derived from a mask may pass the int range for absurd masks; they are kept
// out of range (and so refused by the validation) without overflowing.
int clamped(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

// Every character of the index that is not A, C, G or T gives one message.
void check_index_letters(const std::string& index, const std::string& head, std::vector<std::string>& errors)
{
    const auto wrong =
        std::count_if(index.begin(), index.end(), [](char letter) { return !base_code::is_base(letter); });
    errors.insert(errors.end(), static_cast<std::size_t>(wrong), head + "\tfound\t" + index + "\n");
}

// Reads one cycle mask, names its track (unless name is empty) and resolves its '*' fields
// against the track's cycles. False for an empty mask, and for a bad one, whose message is then
// in errors (the validation reports it) and whose fields mean nothing.
bool resolve_mask(CreateFastq& fastq, const std::string& name, const std::string& mask,
                  std::vector<std::string>& errors, CycleMask& m)
{
    if (mask.empty())
        return false;
    const std::size_t known = errors.size();
    m = QuillonSettings::read_cycle_mask(mask, errors);
    if (errors.size() != known)
        return false;
    if (!name.empty())
        fastq.sample_sheet_local.track_names[static_cast<std::uint64_t>(m.track)] = name;
    fastq.adjust_cycle_mask(m);
    return true;
}

} // namespace

void CreateFastq::load_quillon_sheet()
{
    auto& parameters = *blackboard->read<AlgorithmFramework::Parameters>("parameters");
    sample_names.clear();
    demux_key_length = 0;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    const std::string design_path = parameters["--designsheet"];
    if (!design_path.empty())
        load_design_sheet(design_path, errors, warnings);
    const std::string sample_path = parameters["--samplesheet"];
    if (!sample_path.empty())
        load_sample_sheet_settings(sample_path, errors, warnings);

    const QuillonSettings& settings = design_sheet.quillon_settings;
    for (const SettingKey& key : Setting_keys) {
        const std::vector<std::string> texts =
            std::visit([&settings](auto member) { return value_texts(settings.*member); }, key.member);
        for (const std::string& text : texts)
            log_status(std::string("[Quillon Settings] ") + key.name + " " + text);
    }
    log_status("Quillon Sheet is valid. " + sample_path);
}

void CreateFastq::report_sheet_messages(const std::string& path, const std::vector<std::string>& errors,
                                        const std::vector<std::string>& warnings)
{
    for (const std::string& warning : warnings)
        log_warning(path + ": " + warning);
    for (const std::string& error : errors)
        log_error(path + ": " + error);
}

void CreateFastq::load_design_sheet(const std::string& path, std::vector<std::string>& errors,
                                    std::vector<std::string>& warnings)
{
    sample_sheet.run_information.FileFormatVersion = 1;
    std::string text;
    if (!classic::read_regular_file(path, text))
        log_exception("Cannot open quillonsheet " + path);
    if (!design_sheet.load(text, errors, warnings))
        log_error("Errors detected while trying to load quillon sheet " + path);
    else
        log_status("Quillon sheet loaded without errors " + path);
    report_sheet_messages(path, errors, warnings);
    if (!errors.empty())
        log_exception("Quillon sheet failed validation");
}

void CreateFastq::load_sample_sheet_settings(const std::string& path, std::vector<std::string>& errors,
                                             std::vector<std::string>& warnings)
{
    int& version = sample_sheet.run_information.FileFormatVersion;
    QuillonSettings& settings = design_sheet.quillon_settings;
    std::string text;
    if (!classic::read_regular_file(path, text))
        log_exception("Cannot open samplesheet " + path);
    version = 0;
    sample_sheet.max_samples = Max_samples;
    const bool loaded = sample_sheet.load(text, errors, warnings);
    log_status(path + ": file format version " + std::to_string(version));
    // The run folder's sheet, when it is empty, is read as the legacy sheet it then is: without
    // samples.
    const bool blank =
        std::all_of(text.begin(), text.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
    if (blank && run_folder_sample_sheet)
        log_warning("Sample sheet " + path + " is empty: the run is converted without samples");
    else if (!has_sectioned_section(sample_sheet) && !holds_legacy_section(text))
        log_exception("Sample sheet " + path + " holds no section of either sample sheet format");
    if (!has_sectioned_section(sample_sheet)) {
        // A legacy sheet: the sectioned reader's messages mean nothing for it.
        settings.OutputControlFASTQ = true;
        settings.OutputIndexFASTQ = true;
        settings.MergeLanes = false;
        settings.IncludeTiles.clear();
        settings.ExcludeTiles.clear();
        settings.I1Mismatches = static_cast<int>(barcode_allowed_mismatches);
        settings.I2Mismatches = static_cast<int>(barcode_allowed_mismatches);
        return;
    }
    if (!loaded)
        log_error("Errors detected while trying to load sample sheet " + path);
    report_sheet_messages(path, errors, warnings);
    if (!errors.empty())
        log_exception("Sample sheet failed validation");

    // Every key the sample sheet gives, in the section's order, replaces the design sheet's.
    const SectionInfo& info = QuillonSettings::section_info();
    const QuillonSettings& overrides = sample_sheet.quillon_settings;
    for (const HeadingInfo& heading : info.headings) {
        if (sample_sheet.validate_field(info, heading.id, 1, false))
            std::visit([&](auto member) { settings.*member = overrides.*member; }, setting_key(heading.id).member);
    }
}

void CreateFastq::load_sample_sheet_new()
{
    auto& parameters = *blackboard->read<AlgorithmFramework::Parameters>("parameters");
    demux_key_length = 0;
    sample_names.clear();
    std::vector<std::string> errors;
    std::vector<std::string> warnings;

    const std::string path = parameters["--samplesheet"];
    if (path.empty())
        return;
    if (sample_sheet.loaded && sample_sheet.errors.empty()) {
        // load_quillon_sheet loaded this sheet without error. Loaded again, it would give the
        // same messages, and the document, which keeps those of every load, each warning twice:
        // the warnings are taken twice instead, and the samples are not compared a second time.
        warnings = sample_sheet.warnings;
        warnings.insert(warnings.end(), sample_sheet.warnings.begin(), sample_sheet.warnings.end());
        log_status("Sample sheet loaded without errors " + path);
    } else {
        std::string text;
        if (!classic::read_regular_file(path, text))
            log_exception("Cannot open sample_sheet " + path);
        if (sample_sheet.load(text, errors, warnings))
            log_status("Sample sheet loaded without errors " + path);
        else
            log_error("Errors detected while trying to load sample sheet " + path);
    }

    const QuillonSettings& settings = design_sheet.quillon_settings;
    setup_read("Read1", settings.R1CycleUsage, errors);
    setup_read("Read2", settings.R2CycleUsage, errors);
    setup_index("Index1", settings.I1CycleUsage, errors);
    setup_index("Index2", settings.I2CycleUsage, errors);
    setup_umi("Umi1", settings.U1CycleUsage, errors);
    setup_umi("Umi2", settings.U2CycleUsage, errors);

    for (const Sample& sample : sample_sheet.samples) {
        IndexData row;
        row.lane = sample.Lane;
        row.sample_id = sample.Biosample;
        row.index1 = sample.Index;
        row.index2 = sample.Index2;
        check_index_letters(row.index1, "Invalid [Data] data. Index1 can only contain A, C, G, or T.", errors);
        check_index_letters(row.index2, "Invalid [Data] data. Index2 can only contain A, C, G, or T.", errors);
        sample_sheet_local.index_data.push_back(row);
        sample_names[row.sample_id] = true;
    }
    for (const std::string& warning : warnings)
        log_warning(path + ": " + warning);

    validate_sample_sheet(errors);
    if (!sample_names.empty())
        sample_names["Undetermined"] = true;
    log_sample_sheet(path);
}

void CreateFastq::setup_read(const std::string& name, const std::string& mask, std::vector<std::string>& errors)
{
    CycleMask m;
    if (!resolve_mask(*this, name, mask, errors, m))
        return;
    sample_sheet_local.cycle_windows[static_cast<std::uint64_t>(m.track)] = {
        static_cast<std::uint64_t>(m.skip_before) + 1,
        static_cast<std::uint64_t>(m.skip_before) + static_cast<std::uint64_t>(m.use)};
}

void CreateFastq::setup_index(const std::string& name, const std::string& mask, std::vector<std::string>& errors)
{
    CycleMask m;
    if (!resolve_mask(*this, name, mask, errors, m))
        return;
    sample_sheet_local.index_reads.push_back(
        {m.track, name, clamped(std::int64_t{m.skip_before} + 1), clamped(std::int64_t{m.skip_before} + m.use)});
}

void CreateFastq::setup_umi(const std::string&, const std::string& mask, std::vector<std::string>& errors)
{
    // A UMI's track keeps the name of the read that holds it (or none).
    CycleMask m;
    if (!resolve_mask(*this, "", mask, errors, m))
        return;
    sample_sheet_local.umi_reads.push_back(
        {m.track, clamped(std::int64_t{m.skip_before} + 1), clamped(std::int64_t{m.skip_before} + m.use)});
}

void CreateFastq::adjust_cycle_mask(CycleMask& mask)
{
    // The cycle count of the read that names the track; a looked-up track without a name stays
    // without one.
    std::int64_t length = 0;
    const auto named = sample_sheet_local.track_names.find(static_cast<std::uint64_t>(mask.track));
    if (named != sample_sheet_local.track_names.end()) {
        const FlowCellSettings& cycles = sample_sheet.flow_cell_settings;
        if (named->second == "Read1")
            length = cycles.Read1Cycles;
        else if (named->second == "Read2")
            length = cycles.Read2Cycles;
        else if (named->second == "Index1")
            length = cycles.Index1Cycles;
        else if (named->second == "Index2")
            length = cycles.Index2Cycles;
    }
    const std::int64_t after = mask.skip_after == -1 ? 0 : mask.skip_after;
    std::int64_t before = mask.skip_before;
    std::int64_t use = mask.use;
    if (use != -1 && before == -1) {
        before = length - use - after;
    } else if (use == -1 && before != -1) {
        use = length - before - after;
    } else if (use == -1 && before == -1) {
        before = 0;
        use = length - after;
    }
    mask.skip_before = clamped(std::max<std::int64_t>(before, 0));
    mask.use = clamped(std::max<std::int64_t>(use, 0));
}
