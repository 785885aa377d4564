// The built quillon demultiplexes generated runs: every spot lands in the FASTQ files of the
// sample its indexes were made from when their substitutions are within the sheet's mismatch
// settings, and in the undetermined (or control) files otherwise, with its UMI in the record
// header; the sample library metrics count the same spots, and the frequency files rank the
// index texts that matched no sample. Everything is checked against the generator's truth.
#include "tests/converter/pipeline/expected_fastq.h"
#include "tests/converter/pipeline/gzip_members.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text_lines.h"
#include "tools/runsim/run_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using expected_fastq::LaneOrder;
using expected_fastq::TileVisit;
using runsim::ReadRole;

namespace {

using test_support::lines_of;

const char* const Metric_names[] = {"Reads Millions", "Gb",    "P25 Read Length", "80% Min Q",
                                    "90% Min Q",      "80% Q", "90% Q",           "Reads Fraction"};

// Where quillon puts a run's files: the FASTQ and metrics folders are the output folder itself,
// or its "FASTQs" and "Metrics" folders (with a folder per lane) when the run has "Base_Calls".
struct Output {
    fs::path fastq;
    fs::path metrics;
    fs::path analysis_metrics;
    bool lane_folders = false;

    fs::path lane_metrics(int lane) const { return lane_folders ? metrics / ("L0" + std::to_string(lane)) : metrics; }
};

Output output_of(const runsim::RunTruth& run, const fs::path& out)
{
    const bool new_structure = run.recipe.base_calls_folder;
    return {new_structure ? out / "FASTQs" : out, new_structure ? out / "Metrics" : out,
            out / (run.identity.flowcell_id + "_Logs") / "Analysis" / "Metrics", new_structure};
}

test_support::ProgramRun run_quillon(const runsim::RunTruth& run, const fs::path& out,
                                     const std::vector<std::string>& extra, const fs::path& scratch)
{
    fs::create_directories(out);
    std::vector<std::string> args = {
        "-k", "10", "120", QUILLON_BINARY, "--input=" + run.run_folder.string(), "--output=" + out.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return test_support::run_program("timeout", args, scratch);
}

// The lane's samples as quillon knows them: none when the run has no sample sheet.
std::vector<const runsim::SampleTruth*> samples_of(const runsim::RunTruth& run, int lane)
{
    return run.sample_sheet.empty() ? std::vector<const runsim::SampleTruth*>{} : run.lane_samples(lane);
}

// The lane position of the sample that the spot must be given, -1 for none.
int expected_sample(const runsim::RunTruth& run, const runsim::SpotTruth& spot)
{
    if (run.sample_sheet.empty() || spot.sample < 0 || spot.i1_substitutions > run.recipe.i1_mismatches ||
        spot.i2_substitutions > run.recipe.i2_mismatches)
        return -1;
    return run.samples[std::size_t(spot.sample)].lane_position;
}

// U1's bases, then "+" and U2's bases, each padded with N to U1's length; "" without UMIs or
// in a lane without samples.
std::string expected_umi(const runsim::RunTruth& run, int lane, const runsim::SpotTruth& spot)
{
    const runsim::ReadLayout& layout = run.recipe.layout;
    if (samples_of(run, lane).empty() || (!layout.has(ReadRole::U1) && !layout.has(ReadRole::U2)))
        return "";
    const std::size_t length = std::size_t(layout.range(ReadRole::U1).length());
    std::string umi = spot.umi1;
    umi.resize(std::max(umi.size(), length), 'N');
    if (length >= 1 && layout.has(ReadRole::U2)) {
        std::string umi2 = spot.umi2;
        umi2.resize(std::max(umi2.size(), length), 'N');
        umi += "+" + umi2;
    }
    return umi;
}

std::string expected_record(const runsim::RunTruth& run, int lane, const TileVisit& visit, std::size_t s, int read)
{
    const runsim::SpotTruth& spot = visit.tile->spot_truth[s];
    const runsim::ReadSpec& read_spec = run.recipe.layout.reads[std::size_t(read - 1)];
    std::string text = expected_fastq::record(
        run.identity, lane, visit, spot, read,
        visit.tile->calls[std::size_t(read - 1)].data() + s * std::size_t(read_spec.header_cycles()), read_spec.cycles);
    const std::string umi = expected_umi(run, lane, spot);
    if (!umi.empty())
        text.insert(text.find(' '), ":" + umi);
    return text;
}

std::vector<std::string> fastq_records(const fs::path& path)
{
    std::string error;
    const std::string text = gzip_members::inflate_file(path, error);
    EXPECT_EQ(error, "") << path;
    const std::vector<std::string> lines = lines_of(text);
    std::vector<std::string> records;
    for (std::size_t i = 0; i < lines.size(); i += 4) {
        std::string record;
        for (std::size_t k = i; k < std::min(i + 4, lines.size()); ++k)
            record += lines[k] + "\n";
        records.push_back(record);
    }
    return records;
}

// The spots of a lane by where they landed.
struct LaneCounts {
    std::vector<std::uint64_t> per_sample; // by lane position
    std::uint64_t undetermined = 0;
    std::uint64_t controls = 0;
    std::uint64_t by_origin[4] = {}; // spots given a sample, by runsim::IndexOrigin
    bool in_step = true;             // every record where it belongs (else the counts are partial)
};

// Walks the files of every written read of the lane in step with the lane's spots: each spot's
// record must be the next one of its file (its sample's, else the undetermined file; a control
// spot's may be the control file's, and then is for every read), and no file may hold more.
LaneCounts check_lane_fastq(const runsim::RunTruth& run, const LaneOrder& order, const Output& output, int lane)
{
    const std::vector<const runsim::SampleTruth*> samples = samples_of(run, lane);
    const std::size_t control_slot = samples.size() + 1;
    const std::vector<TileVisit>& visits = order[std::size_t(lane - 1)];
    const expected_fastq::Settings settings;
    std::vector<std::vector<std::size_t>> landed(visits.size()); // per spot: its slot, once known
    for (std::size_t t = 0; t < visits.size(); ++t)
        landed[t].assign(visits[t].tile->spot_truth.size(), std::size_t(-1));

    LaneCounts counts;
    for (int read = 1; read <= int(run.recipe.layout.reads.size()); ++read) {
        if (!expected_fastq::is_written(run.recipe.layout, read, settings))
            continue;
        const std::string label = expected_fastq::read_label(run.recipe.layout, read, true);
        std::vector<std::string> names = {expected_fastq::file_name(
            run, lane, label, samples.empty() ? "_Sample_Library" : "_Sample_Library_Undetermined", settings)};
        for (const runsim::SampleTruth* sample : samples)
            names.push_back(expected_fastq::file_name(run, lane, label, "_Sample_Library_" + sample->name, settings));
        names.push_back(expected_fastq::file_name(run, lane, label, "_Control_Library", settings));
        std::vector<std::vector<std::string>> records;
        for (const std::string& name : names)
            records.push_back(fastq_records(output.fastq / name));
        std::vector<std::size_t> next(names.size(), 0);
        const auto next_record = [&](std::size_t slot) {
            return next[slot] < records[slot].size() ? records[slot][next[slot]] : std::string("(none)\n");
        };

        bool& in_step = counts.in_step;
        for (std::size_t t = 0; t < visits.size() && in_step; ++t) {
            for (std::size_t s = 0; s < landed[t].size() && in_step; ++s) {
                const runsim::SpotTruth& spot = visits[t].tile->spot_truth[s];
                const std::string want = expected_record(run, lane, visits[t], s, read);
                const int sample = expected_sample(run, spot);
                std::size_t& slot = landed[t][s];
                if (slot == std::size_t(-1))
                    slot = sample >= 0                                              ? std::size_t(sample + 1)
                           : spot.control >= 0 && next_record(control_slot) == want ? control_slot
                                                                                    : 0;
                if (next_record(slot) != want) {
                    ADD_FAILURE() << "tile " << visits[t].tile->name << ", spot " << s << ", read " << read
                                  << ": truth sample " << spot.sample << " ("
                                  << runsim::index_origin_name(spot.index_origin) << ", " << spot.i1_substitutions
                                  << "+" << spot.i2_substitutions << " substitutions), control " << spot.control
                                  << "\n  expected in " << names[slot] << ":\n"
                                  << want << "  got:\n"
                                  << next_record(slot);
                    in_step = false;
                }
                ++next[slot];
            }
        }
        for (std::size_t f = 0; f < names.size() && in_step; ++f)
            EXPECT_EQ(next[f], records[f].size()) << names[f] << " holds more records";
    }

    counts.per_sample.assign(samples.size(), 0);
    for (std::size_t t = 0; t < visits.size(); ++t) {
        for (std::size_t s = 0; s < landed[t].size(); ++s) {
            const std::size_t slot = landed[t][s];
            if (slot == 0)
                ++counts.undetermined;
            else if (slot == control_slot)
                ++counts.controls;
            else if (slot != std::size_t(-1)) {
                ++counts.per_sample[slot - 1];
                ++counts.by_origin[int(visits[t].tile->spot_truth[s].index_origin)];
            }
        }
    }
    return counts;
}

std::string printed(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", value);
    return text;
}

// "%d" for the read length quantile, "%f" (six decimals) for every other metric.
bool well_formed(const std::string& metric, const std::string& value)
{
    const std::size_t at = value.starts_with('-') ? 1 : 0;
    const std::size_t dot = value.find('.');
    const auto digits = [&](std::size_t from, std::size_t to) {
        return to > from && std::all_of(value.begin() + long(from), value.begin() + long(to),
                                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    };
    if (metric == "P25 Read Length")
        return digits(at, value.size());
    return dot != std::string::npos && digits(at, dot) && value.size() - dot == 7 && digits(dot + 1, value.size());
}

// The lane's sample library list, table and control list of every read: the rows of each
// metric in order, the read counts of the spots as they landed, the table holding the list's
// values, and copies of the files in the analysis metrics folder.
void check_lane_metrics(const runsim::RunTruth& run, const Output& output, int lane, const LaneCounts& counts)
{
    const std::vector<const runsim::SampleTruth*> samples = samples_of(run, lane);
    std::uint64_t library_reads = counts.undetermined;
    for (std::uint64_t n : counts.per_sample)
        library_reads += n;
    const double all_reads = double(library_reads + counts.controls);

    for (int read = 1; read <= int(run.recipe.layout.reads.size()); ++read) {
        const std::string stem = run.identity.flowcell_id + "_L0" + std::to_string(lane) + "_" +
                                 expected_fastq::read_label(run.recipe.layout, read, true);
        const std::string list_name = stem + "_Sample_Library_Metrics.csv";
        const std::string table_name = stem + "_Sample_Library_Metrics_tabled.csv";
        const std::string control_name = stem + "_Control_Library_Metrics.csv";
        const fs::path folder = output.lane_metrics(lane);
        SCOPED_TRACE(list_name);
        const std::string prefix = "L0" + std::to_string(lane) + " R" + std::to_string(read) + " Sample Library ";

        const std::vector<std::string> lines = lines_of(test_support::read_whole_file(folder / list_name));
        std::vector<std::string> want_names;
        for (const char* metric : Metric_names) {
            want_names.push_back(prefix + metric);
            for (const runsim::SampleTruth* sample : samples)
                want_names.push_back(prefix + metric + " " + sample->name);
            want_names.push_back(prefix + metric + " Undetermined");
        }
        std::vector<std::string> names;
        std::map<std::string, std::string> values;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const std::size_t comma = lines[i].rfind(',');
            names.push_back(lines[i].substr(0, comma));
            values[names.back()] = comma == std::string::npos ? "" : lines[i].substr(comma + 1);
        }
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], "Metric,Value");
        ASSERT_EQ(names, want_names);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string metric = Metric_names[i / (samples.size() + 2)];
            EXPECT_TRUE(well_formed(metric, values[names[i]])) << lines[i + 1];
        }

        const auto expect_reads = [&](const std::string& row, std::uint64_t count) {
            EXPECT_EQ(values[prefix + "Reads Millions" + row], printed(double(count) / 1e6)) << row;
            EXPECT_EQ(values[prefix + "Reads Fraction" + row], printed(double(count) / std::max(all_reads, 1.0)))
                << row;
        };
        expect_reads("", library_reads);
        for (std::size_t p = 0; p < samples.size(); ++p)
            expect_reads(" " + samples[p]->name, counts.per_sample[p]);
        expect_reads(" Undetermined", counts.undetermined);

        const std::string control_text = test_support::read_whole_file(folder / control_name);
        EXPECT_TRUE(control_text.starts_with("Metric,Value\n")) << control_name;
        EXPECT_NE(control_text.find("\nL0" + std::to_string(lane) + " R" + std::to_string(read) +
                                    " Control Library Reads Millions Total," + printed(double(counts.controls) / 1e6) +
                                    "\n"),
                  std::string::npos)
            << control_name << ":\n"
            << control_text.substr(0, 400);

        std::vector<std::string> copied = {list_name, control_name};
        if (samples.empty()) {
            EXPECT_FALSE(fs::exists(folder / table_name));
            EXPECT_FALSE(fs::exists(output.analysis_metrics / table_name));
        } else {
            // The table: the list's rows of each sample and of Undetermined, side by side.
            std::string want = "SampleID,Index,";
            for (const char* metric : Metric_names)
                want += prefix + metric + ",";
            want.back() = '\n';
            const auto row = [&](const std::string& id, const std::string& indexes, const std::string& suffix) {
                std::string text = id + "," + indexes;
                for (const char* metric : Metric_names)
                    text += "," + values[prefix + metric + suffix];
                return text + "\n";
            };
            for (const runsim::SampleTruth* sample : samples)
                want += row(sample->name, sample->index + ":" + sample->index2, " " + sample->name);
            want += row("Undetermined", ":", " Undetermined");
            EXPECT_EQ(test_support::read_whole_file(folder / table_name), want);
            copied.push_back(table_name);
        }
        for (const std::string& name : copied) {
            ASSERT_TRUE(fs::is_regular_file(output.analysis_metrics / name)) << name;
            EXPECT_EQ(test_support::read_whole_file(output.analysis_metrics / name),
                      test_support::read_whole_file(folder / name))
                << name;
        }
    }
}

// The undetermined frequency file: per lane the index texts (I1 then I2 bases) of the spots
// that match no sample, most frequent first, equal counts in text order, at most 100.
std::string expected_undetermined_frequencies(const runsim::RunTruth& run, const LaneOrder& order)
{
    std::string text = "Rank,Lane,SID,Count\n";
    for (std::size_t lane = 0; lane < order.size(); ++lane) {
        std::map<std::string, std::uint64_t> counts;
        for (const TileVisit& visit : order[lane])
            for (const runsim::SpotTruth& spot : visit.tile->spot_truth)
                if (expected_sample(run, spot) < 0)
                    ++counts[spot.index1 + spot.index2];
        std::vector<std::pair<std::string, std::uint64_t>> ranked(counts.begin(), counts.end());
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        ranked.resize(std::min<std::size_t>(ranked.size(), 100));
        for (std::size_t j = 0; j < ranked.size(); ++j)
            text += std::to_string(j + 1) + "," + std::to_string(lane + 1) + "," + ranked[j].first + "," +
                    std::to_string(ranked[j].second) + "\n";
    }
    return text;
}

// Both frequency files in the metrics folder (never a lane folder) and their copies; no spot
// of these runs is claimed by two samples.
void check_frequency_files(const runsim::RunTruth& run, const LaneOrder& order, const Output& output)
{
    const std::pair<std::string, std::string> files[] = {
        {run.identity.flowcell_id + "_Undetermined_SID_Frequency_Metrics.csv",
         expected_undetermined_frequencies(run, order)},
        {run.identity.flowcell_id + "_Ambiguous_SID_Frequency_Metrics.csv", "Rank,Lane,SID,Count\n"}};
    for (const auto& [name, want] : files) {
        EXPECT_EQ(test_support::read_whole_file(output.metrics / name), want) << name;
        EXPECT_EQ(test_support::read_whole_file(output.analysis_metrics / name), want) << name;
        for (int lane = 1; output.lane_folders && lane <= int(order.size()); ++lane)
            EXPECT_FALSE(fs::exists(output.lane_metrics(lane) / name)) << name;
    }
}

std::set<std::string> files_ending(const fs::path& folder, const std::string& suffix)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        if (entry.path().filename().string().ends_with(suffix))
            names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

// Converts the run into out and checks the FASTQ files, every lane's metrics files and the
// frequency files (none without a sample sheet) against the truth; returns the lanes' counts.
std::vector<LaneCounts> convert_and_check(const runsim::RunTruth& run, const LaneOrder& order, const fs::path& out,
                                          const std::vector<std::string>& extra, const fs::path& scratch)
{
    const test_support::ProgramRun program = run_quillon(run, out, extra, scratch);
    EXPECT_EQ(program.status, 0) << program.out << program.err;
    if (program.status != 0)
        return {};
    const Output output = output_of(run, out);

    std::set<std::string> want_fastq;
    for (const auto& [name, file] : expected_fastq::expected_files(run, order, {}))
        want_fastq.insert(name);
    EXPECT_EQ(files_ending(output.fastq, ".fastq.gz"), want_fastq);

    std::vector<LaneCounts> lanes;
    for (int lane = 1; lane <= int(order.size()); ++lane) {
        SCOPED_TRACE("lane " + std::to_string(lane));
        lanes.push_back(check_lane_fastq(run, order, output, lane));
        if (lanes.back().in_step)
            check_lane_metrics(run, output, lane, lanes.back());
    }
    if (run.sample_sheet.empty()) {
        EXPECT_EQ(files_ending(out, "_SID_Frequency_Metrics.csv"), std::set<std::string>{});
    } else {
        check_frequency_files(run, order, output);
    }
    return lanes;
}

// ---- demultiplexing by the sheet's mismatch settings ----------------------------------------

struct MismatchCase {
    std::string name;
    std::uint64_t seed;
    int i1_mismatches;
    int i2_mismatches;
    bool base_calls_folder; // FASTQs and Metrics folders, metrics per lane
};

void PrintTo(const MismatchCase& c, std::ostream* out)
{
    *out << c.name;
}

const MismatchCase Mismatch_cases[] = {
    {"OneMismatch", 11, 1, 1, false},
    {"TwoMismatches", 13, 2, 2, true},
    {"NoMismatch", 17, 0, 0, false},
    {"TwoInIndex1OneInIndex2", 19, 2, 1, false},
};

class QuillonSamples : public ::testing::TestWithParam<MismatchCase> {};

// Two lanes of two tiles with dual 8 + 8 indexes, eight samples per lane, a UMI of 6 cycles
// from the start of read 1 and one of 4 from the start of read 2, and controls.
TEST_P(QuillonSamples, DemultiplexesByTheSheetsMismatchesAndCountsTheSpots)
{
    const MismatchCase& param = GetParam();
    test_support::TempDir dir("quillon-samples");
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = dir.path() / "run";
    recipe.seed = param.seed;
    recipe.spots = 300;
    recipe.layout = runsim::ReadLayout::standard(60, 8);
    recipe.layout.add_umi(ReadRole::U1, "T1:Y6N54");
    recipe.layout.add_umi(ReadRole::U2, "T4:Y4N56");
    recipe.base_calls_folder = param.base_calls_folder;
    recipe.i1_mismatches = param.i1_mismatches;
    recipe.i2_mismatches = param.i2_mismatches;
    recipe.control_fraction = 0.1;
    recipe.undetermined_fraction = 0.1;
    recipe.one_mismatch_fraction = 0.25;
    recipe.two_mismatch_fraction = 0.2;
    recipe.manifest.clear();
    const runsim::RunTruth run = runsim::generate_run(recipe);
    const LaneOrder order = expected_fastq::sorted_order(run);

    const std::vector<LaneCounts> lanes =
        convert_and_check(run, order, dir.path() / "out", {"--controlsfile=" + run.controls_file.string()}, dir.path());
    ASSERT_EQ(lanes.size(), 2u);

    // Every kind of spot turned up: samples of each origin the settings accept, undetermined
    // spots and spots in the control files.
    for (const LaneCounts& lane : lanes) {
        EXPECT_GT(lane.undetermined, 20u);
        EXPECT_GT(lane.controls, 0u);
        EXPECT_GT(lane.by_origin[int(runsim::IndexOrigin::Exact)], 50u);
        EXPECT_EQ(lane.by_origin[int(runsim::IndexOrigin::OneMismatch)] > 0,
                  param.i1_mismatches >= 1 && param.i2_mismatches >= 1);
        EXPECT_EQ(lane.by_origin[int(runsim::IndexOrigin::TwoMismatches)] > 0, param.i1_mismatches == 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, QuillonSamples, ::testing::ValuesIn(Mismatch_cases),
                         [](const ::testing::TestParamInfo<MismatchCase>& test_info) { return test_info.param.name; });

// ---- frequency files ------------------------------------------------------------------------

// A single index of 4 cycles and two samples in each lane: the spots that match no sample
// share about 250 index texts, so each lane has more than 100 of them with counts from 1 up and
// many ties. A failed lane writes neither its metrics nor any frequency file; without a sample
// sheet the same run writes no frequency file, no tabled file, and lists with the total and
// Undetermined rows only.
TEST(QuillonSampleFrequencies, RanksTheHundredMostFrequentUndeterminedIndexesPerLane)
{
    test_support::TempDir dir("quillon-frequencies");
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = dir.path() / "run";
    recipe.seed = 23;
    recipe.spots = 400;
    recipe.layout = runsim::ReadLayout::parse("R1:30,I1:4");
    recipe.samples = 2;
    recipe.same_samples_in_lanes = true;
    recipe.undetermined_fraction = 0.8;
    recipe.manifest.clear();
    runsim::RunTruth run = runsim::generate_run(recipe);
    const LaneOrder order = expected_fastq::sorted_order(run);

    const std::vector<LaneCounts> lanes = convert_and_check(run, order, dir.path() / "out", {}, dir.path());
    ASSERT_EQ(lanes.size(), 2u);
    const std::vector<std::string> rows =
        lines_of(expected_undetermined_frequencies(run, order)); // the truth's own spread
    std::set<std::string> counts;
    for (const std::string& row : rows)
        counts.insert(row.substr(row.rfind(',') + 1));
    EXPECT_EQ(rows.size(), 201u);
    EXPECT_GE(counts.size(), 4u);

    // A failed lane: its metrics and the frequency files are not written.
    const fs::path broken = run.tile(2, 1).zel_files[0];
    const std::string zel_bytes = test_support::read_whole_file(broken);
    std::ofstream(broken, std::ios::binary | std::ios::trunc) << zel_bytes.substr(0, zel_bytes.size() / 2);
    const fs::path failed = dir.path() / "failed";
    const test_support::ProgramRun program = run_quillon(run, failed, {}, dir.path());
    EXPECT_EQ(program.status, 255) << program.out << program.err;
    EXPECT_EQ(files_ending(failed, "_SID_Frequency_Metrics.csv"), std::set<std::string>{});
    EXPECT_EQ(files_ending(failed, "_L01_Read1_Sample_Library_Metrics.csv").size(), 2u); // and its copy
    EXPECT_EQ(files_ending(failed, "_L02_Read1_Sample_Library_Metrics.csv"), std::set<std::string>{});
    std::ofstream(broken, std::ios::binary | std::ios::trunc) << zel_bytes;

    fs::remove(run.sample_sheet);
    run.sample_sheet.clear();
    convert_and_check(run, order, dir.path() / "without-sheet", {}, dir.path());
}

} // namespace
