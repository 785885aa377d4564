// The built quillon-classic converts generated runs with samples: every spot's record lands once,
// in tile order, in its sample's file, in Undetermined or in the control file, byte for byte as
// the generator's truth says once decompressed; sectioned and legacy sample sheets, UMIs, a
// controls file, the metrics of the samples and the lane merge.
#include "tests/classic/processing/classic_fastq_expectations.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/fault_injector.h"
#include "tools/runsim/run_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace classic_e2e;
using runsim::ReadRole;

// Dual index, one mismatch per index, samples in both lanes, every index origin and a share of
// control spots cut from controls without substitutions; reads long enough for a control key.
runsim::RunRecipe recipe_for(const fs::path& folder, int lanes)
{
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = folder;
    recipe.lanes = lanes;
    recipe.tiles = 3;
    recipe.spots = 60;
    recipe.zel_subfolder = true;
    recipe.layout = runsim::ReadLayout::parse("R1:36+2,I1:8,I2:8,R2:34");
    recipe.samples = 3;
    recipe.control_fraction = 0.15;
    recipe.undetermined_fraction = 0.1;
    recipe.one_mismatch_fraction = 0.2;
    recipe.two_mismatch_fraction = 0.15;
    recipe.adapter_fraction = 0.4;
    recipe.max_control_substitutions = 0;
    recipe.odd_position_fraction = 0.05;
    recipe.trailing_no_call_fraction = 0.2;
    recipe.manifest.clear();
    return recipe;
}

// The sample sheet and the options of a conversion.
struct Sheet {
    const char* name = "";
    bool legacy = false;
    bool controls = false; // --controlsfile
    std::string umi_tag;   // --umitag
};

// Tracks are named by the sectioned sheet's cycle masks, R<n> under a legacy sheet.
std::string track_name(const runsim::RunTruth& run, int r, bool legacy)
{
    const ReadRole role = run.recipe.layout.reads[std::size_t(r - 1)].role;
    if (legacy)
        return "R" + std::to_string(r);
    return (runsim::is_index_role(role) ? "Index" : "Read") + std::string(runsim::role_name(role).substr(1));
}

// The class of the control key that read r yields: its text after leading no-calls begins with
// 30 bases of a kept control that differ from it in at most one place, at a start that still
// has 30 bases after it (the last 30 bases of a control start no key). Empty without a key.
std::string key_class(const runsim::RunTruth& run, const runsim::TileTruth& tile, std::size_t s, int r)
{
    const runsim::SpotTruth& spot = tile.spot_truth[s];
    const runsim::ReadTruth& read = spot.reads[std::size_t(r - 1)];
    if (spot.control < 0 || read.control_offset < 0 || !run.library.controls[std::size_t(spot.control)].kept)
        return {};
    const runsim::ControlRecord& control = run.library.controls[std::size_t(spot.control)];
    const std::string strand = read.control_reverse ? runsim::reverse_complement(control.sequence) : control.sequence;
    const std::string bases = read_text(run, tile, s, r).bases;
    const std::size_t lead = std::min(bases.find_first_not_of('N'), bases.size());
    const std::size_t start = std::size_t(read.control_offset) + lead;
    if (bases.size() < lead + 30 || start + 30 >= strand.size())
        return {};
    int differences = 0;
    for (std::size_t c = 0; c < 30; ++c)
        differences += bases[lead + c] != strand[start + c];
    return differences <= 1 ? control.class_name : std::string();
}

// A spot is a control when any of its reads yields a control key.
bool is_control(const runsim::RunTruth& run, const runsim::TileTruth& tile, std::size_t s)
{
    for (int r = 1; r <= int(run.recipe.layout.reads.size()); ++r)
        if (!key_class(run, tile, s, r).empty())
            return true;
    return false;
}

// The sample a spot is assigned with one mismatch allowed per index, -1 for none.
int assigned(const runsim::SpotTruth& spot)
{
    return spot.index_origin == runsim::IndexOrigin::TwoMismatches ? -1 : spot.sample;
}

// The read's text without the cycles of the index and UMI roles that lie inside it.
ReadText legacy_cut(const runsim::RunTruth& run, const ReadText& text, int r)
{
    ReadText out;
    for (std::size_t c = 0; c < text.bases.size(); ++c) {
        bool inside = false;
        for (ReadRole role : {ReadRole::I1, ReadRole::I2, ReadRole::U1, ReadRole::U2}) {
            const runsim::RoleRange range = run.recipe.layout.range(role);
            inside = inside || (range.read == r && int(c) + 1 >= range.first && int(c) + 1 <= range.last);
        }
        if (!inside) {
            out.bases += text.bases[c];
            out.qualities += text.qualities[c];
        }
    }
    return out;
}

Expected expected_outputs(const runsim::RunTruth& run, const Sheet& sheet)
{
    Expected out;
    const auto& reads = run.recipe.layout.reads;
    for (int lane = 1; lane <= run.recipe.lanes; ++lane) {
        const std::string lane_name = "L0" + std::to_string(lane);
        for (int r = 1; r <= int(reads.size()); ++r) {
            const std::string track = track_name(run, r, sheet.legacy);
            const ReadRole role = reads[std::size_t(r - 1)].role;
            const bool written = sheet.legacy || !runsim::is_index_role(role);
            const std::string head = run.identity.flowcell_id + "_" + lane_name + "_" + track + "_";
            // The legacy sheet pairs R1 and R2 (the pair's name ends the sample files' names).
            const std::string suffix =
                sheet.legacy && !runsim::is_index_role(role) ? "_" + std::string(runsim::role_name(role)) : "";
            std::string scrap;
            auto file = [&](const std::string& library) -> std::string& {
                return written ? out.files[head + library + ".fastq.gz"] : scrap;
            };
            auto& samples = out.reads_by_name[head + "Sample_Library_Metrics.csv"];
            auto& classes = out.reads_by_name[head + "Control_Library_Metrics.csv"];
            const std::string sample_label = lane_name + " " + track + " Sample Library Reads Millions ";
            const std::string control_label = lane_name + " " + track + " Control Library Reads Millions ";
            samples[sample_label + "Undetermined"] = 0;
            for (const runsim::SampleTruth& sample : run.samples) {
                samples[sample_label + sample.name] = 0;
                if (sample.lane == lane)
                    file("Sample_Library_" + sample.name + suffix);
            }
            for (const char* name : {"LQC", "Undefined"})
                if (sheet.controls)
                    classes[control_label + name] = 0;
            file("Control_Library");
            file("Sample_Library_Undetermined");

            for (const runsim::TileTruth& tile : run.lanes[std::size_t(lane - 1)]) {
                for (std::size_t s = 0; s < tile.spot_truth.size(); ++s) {
                    if (!kept(run, tile, s, true))
                        continue;
                    const runsim::SpotTruth& spot = tile.spot_truth[s];
                    ReadText text = read_text(run, tile, s, r);
                    const bool counted = !text.bases.empty();
                    if (sheet.controls && is_control(run, tile, s)) {
                        const std::string name = key_class(run, tile, s, r);
                        classes[control_label + (name.empty() ? "Undefined" : name)] += counted;
                        file("Control_Library") += record(run, tile, s, r, lane, text, "", sheet.umi_tag);
                        continue;
                    }
                    const int sample = assigned(spot);
                    const std::string name = sample < 0 ? "Undetermined" : run.samples[std::size_t(sample)].name;
                    samples[sample_label + name] += counted;
                    if (sheet.legacy)
                        text = legacy_cut(run, text, r);
                    std::string umi;
                    if (sample >= 0 && !spot.umi1.empty())
                        umi = spot.umi1 + (spot.umi2.empty() ? "" : (sheet.umi_tag.empty() ? "+" : "-") + spot.umi2);
                    file(sample < 0 ? "Sample_Library_Undetermined" : "Sample_Library_" + name + suffix) +=
                        record(run, tile, s, r, lane, text, umi, sheet.umi_tag);
                }
            }
        }
    }
    return out;
}

// The undetermined index frequencies: per distinct count of spots of a lane that showed an
// index and matched no sample, the last such index in (lane, index) order, largest count first.
void expect_frequencies(const fs::path& path, const runsim::RunTruth& run)
{
    std::map<std::pair<int, std::string>, std::uint64_t> observed;
    for (const auto& lane : run.lanes)
        for (const runsim::TileTruth& tile : lane)
            for (const runsim::SpotTruth& spot : tile.spot_truth)
                if (assigned(spot) < 0)
                    ++observed[{tile.lane, spot.index1 + spot.index2}];
    std::map<std::uint64_t, std::pair<int, std::string>> by_count;
    for (const auto& [key, count] : observed)
        by_count[count] = key;
    std::string text = "Rank,Lane,SID,Count\n";
    int rank = 0;
    for (auto entry = by_count.rbegin(); entry != by_count.rend() && rank < 100; ++entry)
        text += std::to_string(++rank) + "," + std::to_string(entry->second.first) + "," + entry->second.second + "," +
                std::to_string(entry->first) + "\n";
    EXPECT_EQ(test_support::read_whole_file(path), text);
}

void PrintTo(const Sheet& sheet, std::ostream* out)
{
    *out << sheet.name;
}

class ClassicSampleRun : public testing::TestWithParam<Sheet> {};

TEST_P(ClassicSampleRun, EverySpotLandsOnceInItsSampleFile)
{
    const Sheet& sheet = GetParam();
    test_support::TempDir dir("classic-demux");
    runsim::RunRecipe recipe = recipe_for(dir.path() / "run", 2);
    if (sheet.legacy) {
        recipe.layout.add_umi(ReadRole::U1, "T1:Y6N30");
        recipe.layout.add_umi(ReadRole::U2, "T4:N28Y6");
        recipe.legacy_sample_sheet = "SampleSheet.csv";
    }
    const runsim::RunTruth run = runsim::generate_run(recipe);
    // The run holds every kind of spot the routing tells apart: each index origin, kept and
    // dropped controls, and reads that begin with an adapter.
    std::set<int> kinds;
    for (const auto& lane : run.lanes)
        for (const runsim::TileTruth& tile : lane)
            for (const runsim::SpotTruth& spot : tile.spot_truth)
                kinds.insert({spot.control < 0 ? int(spot.index_origin)
                                               : 10 + run.library.controls[std::size_t(spot.control)].kept,
                              spot.reads[0].adapter_start == 0 ? 20 : 21});
    EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3, 10, 11, 20, 21}));

    std::vector<std::string> args = {"--designsheet",
                                     run.design_sheet.string(),
                                     "--samplesheet",
                                     (sheet.legacy ? run.legacy_sample_sheet : run.sample_sheet).string(),
                                     "--barcodeallowedmismatches",
                                     "1"};
    if (sheet.controls)
        args.insert(args.end(), {"--controlsfile", run.controls_file.string()});
    if (!sheet.umi_tag.empty())
        args.insert(args.end(), {"--umitag", sheet.umi_tag});
    const fs::path out = dir.path() / "out";
    const auto result = convert(run.run_folder, out, 1, 2, dir.path(), args);
    ASSERT_EQ(result.status, 0) << result.out << result.err;

    const Expected expected = expected_outputs(run, sheet);
    expect_fastqs(out / "FASTQs", expected.files);
    expect_reads_millions(out / "Metrics", expected);
    expect_frequencies(out / "Metrics" / (run.identity.flowcell_id + "_Undetermined_SID_Frequency_Metrics.csv"), run);
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, ClassicSampleRun,
    testing::Values(Sheet{"Sectioned", false, false, ""}, Sheet{"SectionedWithControls", false, true, ""},
                    Sheet{"LegacyWithUmis", true, false, ""}, Sheet{"LegacyWithUmiTagAndControls", true, true, "RX"}),
    [](const testing::TestParamInfo<Sheet>& test_info) { return std::string(test_info.param.name); });

// MergeLanes in the sample sheet: each output's L01 records, then its L02 records, under the
// name without the lane; no lane file is left. A one-lane run's files are renamed.
class ClassicMergeRun : public testing::TestWithParam<int> {};

TEST_P(ClassicMergeRun, MergedFilesHoldLaneOneThenLaneTwo)
{
    test_support::TempDir dir("classic-merge");
    const runsim::RunTruth run = runsim::generate_run(recipe_for(dir.path() / "run", GetParam()));
    std::string text = test_support::read_whole_file(run.sample_sheet);
    text.insert(text.find("[Quillon Settings]\n") + 19, "MergeLanes,True\n");
    std::ofstream(run.sample_sheet, std::ios::trunc) << text;

    const fs::path out = dir.path() / "out";
    const auto result =
        convert(run.run_folder, out, 1, 2, dir.path(),
                {"--designsheet", run.design_sheet.string(), "--samplesheet", run.sample_sheet.string()});
    ASSERT_EQ(result.status, 0) << result.out << result.err;

    const std::map<std::string, std::string> lane_files = expected_outputs(run, {}).files;
    std::map<std::string, std::string> merged;
    for (const char* lane : {"_L01_", "_L02_"})
        for (const auto& [name, lane_text] : lane_files)
            if (const std::size_t at = name.find(lane); at != std::string::npos)
                merged[name.substr(0, at + 1) + name.substr(at + 5)] += lane_text;
    expect_fastqs(out / "FASTQs", merged);
}

INSTANTIATE_TEST_SUITE_P(Lanes, ClassicMergeRun, testing::Values(2, 1));

// A lane that lost a tile, with and without MergeLanes: every file under its final name is the
// clean run's, byte for byte; the lane's FASTQ and metrics files and the frequency files stay
// under their temporary names, and no file that would take the lane's records is merged.
TEST(ClassicLostTile, OnlyCompleteFilesTakeTheirNames)
{
    test_support::TempDir dir("classic-lost");
    runsim::RunRecipe recipe = recipe_for(dir.path() / "run", 2);
    recipe.same_samples_in_lanes = true; // every output of lane 1 would take lane 2's records too
    const runsim::RunTruth run = runsim::generate_run(recipe);
    const std::vector<std::string> sheets = {"--designsheet", run.design_sheet.string(), "--samplesheet",
                                             run.sample_sheet.string()};
    const fs::path clean = dir.path() / "clean";
    ASSERT_EQ(convert(run.run_folder, clean, 1, 2, dir.path(), sheets).status, 0);
    runsim::inject_fault(run, runsim::Fault::TruncatedCalls, {2, 2, 1, -1, {}});

    for (const std::string merge : {"", "; its FASTQ files are not merged"}) {
        if (!merge.empty()) {
            std::string text = test_support::read_whole_file(run.sample_sheet);
            text.insert(text.find("[Quillon Settings]\n") + 19, "MergeLanes,True\n");
            std::ofstream(run.sample_sheet, std::ios::trunc) << text;
        }
        const fs::path out = dir.path() / (merge.empty() ? "lanes" : "merged");
        const auto result = convert(run.run_folder, out, 1, 2, dir.path(), sheets);
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(result.has_line_containing("] [WARN] \tLane L02 lost tiles 2:01002: its FASTQ and metrics files "
                                               "and the run's frequency files are incomplete and left under their "
                                               "names ending in .partial" +
                                               merge + "\n"))
            << result.out;
        int compared = 0;
        for (const auto& entry : fs::recursive_directory_iterator(out)) {
            const std::string name = entry.path().filename().string();
            if (!entry.is_regular_file() || name.ends_with(".log") || name.starts_with("."))
                continue;
            const bool left = name.find("_L02_") != std::string::npos || name.find("_Frequency_") != std::string::npos;
            EXPECT_EQ(name.ends_with(".partial"), left) << name;
            const fs::path relative = fs::relative(entry.path(), out);
            EXPECT_TRUE(left ||
                        test_support::read_whole_file(entry.path()) == test_support::read_whole_file(clean / relative))
                << relative;
            compared += !left;
        }
        EXPECT_GT(compared, 20);
    }
}

} // namespace
