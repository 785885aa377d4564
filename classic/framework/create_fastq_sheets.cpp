// Design sheet and sectioned sample sheet loading: the effective settings of the run (the
// design sheet's, overridden by the sample sheet's), and the classic sheet data built from a
// sectioned sample sheet: track names, cycle windows, index and UMI ranges and sample rows.
#include "classic/framework/blackboard.h"
#include "classic/framework/utilities.h"
#include "classic/processing/create_fastq.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
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

const char* flag(bool value)
{
    return value ? "1" : "0";
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
    const auto wrong = std::count_if(index.begin(), index.end(), [](char letter) {
        return std::string_view("ACGT").find(letter) == std::string_view::npos;
    });
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
    int& version = sample_sheet.run_information.FileFormatVersion;
    QuillonSettings& settings = design_sheet.quillon_settings;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;

    auto report = [this, &errors, &warnings](const std::string& path) {
        for (const std::string& warning : warnings)
            log_warning(path + ": " + warning);
        for (const std::string& error : errors)
            log_error(path + ": " + error);
    };

    const std::string design_path = parameters["--designsheet"];
    if (!design_path.empty()) {
        version = 1;
        std::string text;
        if (!classic::read_regular_file(design_path, text))
            log_exception("Cannot open quillonsheet " + design_path);
        if (!design_sheet.load(text, errors, warnings))
            log_error("Errors detected while trying to load quillon sheet " + design_path);
        else
            log_status("Quillon sheet loaded without errors " + design_path);
        report(design_path);
        if (!errors.empty())
            log_exception("Quillon sheet failed validation");
    }

    const std::string sample_path = parameters["--samplesheet"];
    if (!sample_path.empty()) {
        std::string text;
        if (!classic::read_regular_file(sample_path, text))
            log_exception("Cannot open samplesheet " + sample_path);
        version = 0;
        sample_sheet.max_samples = Max_samples;
        const bool loaded = sample_sheet.load(text, errors, warnings);
        log_status(sample_path + ": file format version " + std::to_string(version));
        if (!has_sectioned_section(sample_sheet) && !holds_legacy_section(text))
            log_exception("Sample sheet " + sample_path + " holds no section of either sample sheet format");
        if (!has_sectioned_section(sample_sheet)) {
            // A legacy sheet: the sectioned reader's messages mean nothing for it.
            settings.OutputControlFASTQ = true;
            settings.OutputIndexFASTQ = true;
            settings.MergeLanes = false;
            settings.IncludeTiles.clear();
            settings.ExcludeTiles.clear();
            settings.I1Mismatches = static_cast<int>(barcode_allowed_mismatches);
            settings.I2Mismatches = static_cast<int>(barcode_allowed_mismatches);
        } else {
            if (!loaded)
                log_error("Errors detected while trying to load sample sheet " + sample_path);
            report(sample_path);
            if (!errors.empty())
                log_exception("Sample sheet failed validation");

            const SectionInfo& info = QuillonSettings::section_info();
            const QuillonSettings& overrides = sample_sheet.quillon_settings;
            auto given = [this, &info](QuillonSettings::Key key) {
                return sample_sheet.validate_field(info, key, 1, false);
            };
            if (given(QuillonSettings::IncludeTilesKey))
                settings.IncludeTiles = overrides.IncludeTiles;
            if (given(QuillonSettings::ExcludeTilesKey))
                settings.ExcludeTiles = overrides.ExcludeTiles;
            if (given(QuillonSettings::OutputControlFASTQKey))
                settings.OutputControlFASTQ = overrides.OutputControlFASTQ;
            if (given(QuillonSettings::OutputIndexFASTQKey))
                settings.OutputIndexFASTQ = overrides.OutputIndexFASTQ;
            if (given(QuillonSettings::I1MismatchesKey))
                settings.I1Mismatches = overrides.I1Mismatches;
            if (given(QuillonSettings::I2MismatchesKey))
                settings.I2Mismatches = overrides.I2Mismatches;
            if (given(QuillonSettings::MergeLanesKey))
                settings.MergeLanes = overrides.MergeLanes;
            if (given(QuillonSettings::R1CycleUsageKey))
                settings.R1CycleUsage = overrides.R1CycleUsage;
            if (given(QuillonSettings::R2CycleUsageKey))
                settings.R2CycleUsage = overrides.R2CycleUsage;
            if (given(QuillonSettings::I1CycleUsageKey))
                settings.I1CycleUsage = overrides.I1CycleUsage;
            if (given(QuillonSettings::I2CycleUsageKey))
                settings.I2CycleUsage = overrides.I2CycleUsage;
            if (given(QuillonSettings::U1CycleUsageKey))
                settings.U1CycleUsage = overrides.U1CycleUsage;
            if (given(QuillonSettings::U2CycleUsageKey))
                settings.U2CycleUsage = overrides.U2CycleUsage;
        }
    }

    const std::string head = "[Quillon Settings] ";
    log_status(head + "OutputControlFASTQ " + flag(settings.OutputControlFASTQ));
    log_status(head + "OutputIndexFASTQ " + flag(settings.OutputIndexFASTQ));
    log_status(head + "MergeLanes " + flag(settings.MergeLanes));
    for (const std::string& tile : settings.IncludeTiles)
        log_status(head + "IncludeTiles " + tile);
    for (const std::string& tile : settings.ExcludeTiles)
        log_status(head + "ExcludeTiles " + tile);
    log_status(head + "I1Mismatches " + std::to_string(settings.I1Mismatches));
    log_status(head + "I2Mismatches " + std::to_string(settings.I2Mismatches));
    log_status(head + "R1CycleUsage " + settings.R1CycleUsage);
    log_status(head + "R2CycleUsage " + settings.R2CycleUsage);
    log_status(head + "I1CycleUsage " + settings.I1CycleUsage);
    log_status(head + "I2CycleUsage " + settings.I2CycleUsage);
    log_status(head + "U1CycleUsage " + settings.U1CycleUsage);
    log_status(head + "U2CycleUsage " + settings.U2CycleUsage);
    log_status("Quillon Sheet is valid. " + sample_path);
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
