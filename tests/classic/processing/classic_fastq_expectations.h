#pragma once
// Expected FASTQ records of the classic program for generated runs, built from the generator's
// truth (RunRecipe::keep_calls and spot truth), the checks of a conversion's FASTQ folder, and
// the expected outputs of a run without sheets.
#include "common/gz_file.h"
#include "tests/support/program_run.h"
#include "tools/runsim/run_recipe.h"
#include "tools/runsim/run_truth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace classic_e2e {

namespace fs = std::filesystem;

// Read r (1-based) of spot s as the classic program reads it: the read's used cycles up to the
// last call of the whole record, no-calls as 'N'.
struct ReadText {
    std::string bases;
    std::string qualities;
};

inline ReadText read_text(const runsim::RunTruth& run, const runsim::TileTruth& tile, std::size_t s, int r)
{
    const runsim::ReadSpec& layout_read = run.recipe.layout.reads[std::size_t(r - 1)];
    const unsigned char* calls = tile.calls[std::size_t(r - 1)].data() + s * std::size_t(layout_read.header_cycles());
    int last = -1;
    for (int c = 0; c < layout_read.header_cycles(); ++c)
        if (calls[c] >= 4)
            last = c;
    ReadText text;
    for (int c = 0; c < std::min(layout_read.cycles, last + 1); ++c) {
        text.bases += calls[c] < 4 ? 'N' : "ACGT"[calls[c] & 3];
        text.qualities += static_cast<char>((calls[c] >> 2) + 33);
    }
    return text;
}

// The record of read r of a spot with the given text (an empty one is written as "N" with
// quality "!"). A UMI follows the position: ":" + UMI before the read number, or with a UMI tag
// " " + tag + ":Z:" + UMI, which then ends the header (as it does after the position when the UMI
// is empty).
inline std::string record(const runsim::RunTruth& run, const runsim::TileTruth& tile, std::size_t s, int r, int lane,
                          ReadText text, const std::string& umi = {}, const std::string& umi_tag = {})
{
    if (text.bases.empty())
        text = {"N", "!"};
    char tag[32];
    std::snprintf(tag, sizeof tag, "%d:%02d%03d", lane, tile.surface, tile.tile);
    const runsim::SpotTruth& truth = tile.spot_truth[s];
    std::string name = "@" + run.identity.instrument_id + ":" + run.identity.run_id + ":" + run.identity.flowcell_id +
                       ":" + tag + ":" + std::to_string(truth.x) + ":" + std::to_string(truth.y);
    if (umi_tag.empty())
        name += (umi.empty() ? "" : ":" + umi) + " " + std::to_string(r) + ":N:0";
    else if (!umi.empty())
        name += " " + umi_tag + ":Z:" + umi;
    return name + "\n" + text.bases + "\n+\n" + text.qualities + "\n";
}

// Whether a spot is written: read 1 must hold a call and, with the position filter, the spot a
// position.
inline bool kept(const runsim::RunTruth& run, const runsim::TileTruth& tile, std::size_t s, bool position_filter)
{
    const bool has_call = read_text(run, tile, s, 1).bases.find_first_not_of('N') != std::string::npos;
    const runsim::SpotTruth& truth = tile.spot_truth[s];
    return has_call && (!position_filter || (truth.x >= 0 && truth.y >= 0));
}

inline std::string inflated(const fs::path& path)
{
    std::string text;
    GzFile file = gz_open(path.string(), "rb");
    if (file == nullptr)
        return "<cannot open>";
    char buffer[65536];
    for (int got; (got = gz_read(file, buffer, sizeof buffer)) > 0;)
        text.append(buffer, std::size_t(got));
    gz_close(file);
    return text;
}

// Every expected file and no other FASTQ file, each passing gzip -t with exactly its text.
inline void expect_fastqs(const fs::path& folder, const std::map<std::string, std::string>& expected)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    std::set<std::string> wanted;
    for (const auto& [name, text] : expected)
        wanted.insert(name);
    EXPECT_EQ(names, wanted);
    for (const auto& [name, text] : expected) {
        if (names.count(name) == 0)
            continue;
        const fs::path path = folder / name;
        EXPECT_EQ(std::system(("gzip -t " + test_support::shell_quoted(path.string())).c_str()), 0) << name;
        const std::string got = inflated(path);
        EXPECT_TRUE(got == text) << name << ": " << got.size() << " bytes, expected " << text.size();
    }
}

// The outputs of a conversion: the FASTQ files' texts and the spots that metrics lines count.
struct Expected {
    std::map<std::string, std::string> files;                                  // FASTQ name -> text
    std::map<std::string, std::map<std::string, std::uint64_t>> reads_by_name; // metrics file -> line head -> spots
};

// Each metrics file holds the "Reads Millions" line of each name (sample, control class or read).
inline void expect_reads_millions(const fs::path& folder, const Expected& expected)
{
    for (const auto& [name, lines] : expected.reads_by_name) {
        const std::string text = "\n" + test_support::read_whole_file(folder / name);
        for (const auto& [head, spots] : lines) {
            char value[32];
            std::snprintf(value, sizeof value, "%.6f", double(spots) / 1e6);
            EXPECT_NE(text.find("\n" + head + "," + value + "\n"), std::string::npos)
                << name << ": " << head << "," << value;
        }
    }
}

// A run without sheets or controls: every spot goes to its lane's and read's track file.
inline runsim::RunRecipe recipe_for(const fs::path& folder)
{
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = folder;
    recipe.tiles = 3;
    recipe.spots = 80;
    recipe.layout = runsim::ReadLayout::parse("R1:30+2,I1:8,I2:8,R2:28");
    recipe.zel_subfolder = true;
    recipe.odd_position_fraction = 0.1;
    recipe.trailing_no_call_fraction = 0.2;
    recipe.samples = 0;
    recipe.sample_sheet.clear();
    recipe.design_sheet.clear();
    recipe.controls_file.clear();
    recipe.manifest.clear();
    return recipe;
}

// Every FASTQ file's expected text by name and the reads that each read's sample-library metrics
// count, for the lanes given and without the tiles skipped: a lane that lost a tile leaves its
// files under their temporary names.
inline Expected expected_outputs(const runsim::RunTruth& run, const std::set<int>& lanes,
                                 const std::set<std::pair<int, int>>& skipped)
{
    Expected out;
    const int reads = static_cast<int>(run.recipe.layout.reads.size());
    for (int lane : lanes) {
        const bool lost =
            std::any_of(skipped.begin(), skipped.end(), [lane](const auto& t) { return t.first == lane; });
        const std::string partial = lost ? ".partial" : "";
        for (int r = 1; r <= reads; ++r) {
            const std::string lane_name = "L0" + std::to_string(lane), track = "R" + std::to_string(r);
            const std::string prefix = run.identity.flowcell_id + "_" + lane_name + "_" + track;
            std::string& text = out.files[prefix + "_Sample_Library.fastq.gz" + partial];
            out.files[prefix + "_Control_Library.fastq.gz" + partial];
            std::uint64_t& counted = out.reads_by_name[prefix + "_Sample_Library_Metrics.csv" + partial]
                                                      [lane_name + " " + track + " Sample Library Reads Millions"];
            for (const runsim::TileTruth& tile : run.lanes[std::size_t(lane - 1)]) {
                if (skipped.count({lane, tile.tile}) != 0)
                    continue;
                for (std::size_t s = 0; s < tile.spot_truth.size(); ++s) {
                    if (!kept(run, tile, s, reads > 1))
                        continue;
                    const ReadText read = read_text(run, tile, s, r);
                    text += record(run, tile, s, r, lane, read);
                    counted += !read.bases.empty();
                }
            }
        }
    }
    return out;
}

// The FASTQ files and the metrics of a conversion hold every written spot of the lanes given.
inline void expect_outputs(const fs::path& out, const runsim::RunTruth& run, const std::set<int>& lanes,
                           const std::set<std::pair<int, int>>& skipped = {})
{
    const Expected expected = expected_outputs(run, lanes, skipped);
    expect_fastqs(out / "FASTQs", expected.files);
    expect_reads_millions(out / "Metrics", expected);
}

// The built program on a run folder, under a timeout.
inline test_support::ProgramRun convert(const fs::path& input, const fs::path& output, int lanes_threaded,
                                        int threads_per_lane, const fs::path& scratch,
                                        const std::vector<std::string>& more = {})
{
    std::vector<std::string> args = {"120",
                                     QUILLON_CLASSIC_BINARY,
                                     "--input",
                                     input.string(),
                                     "--output",
                                     output.string(),
                                     "--threadlanes",
                                     std::to_string(lanes_threaded),
                                     "--threadsperlane",
                                     std::to_string(threads_per_lane)};
    args.insert(args.end(), more.begin(), more.end());
    return test_support::run_program("timeout", args, scratch);
}

} // namespace classic_e2e
