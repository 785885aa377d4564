// The built quillon on generated runs with reads cut from the controls and adapters planted at
// read ends: spots whose reads come from a kept control go to the control files, every other
// spot to the undetermined files, and with --trimadapters every read is cut exactly where its
// planted adapter begins; reads of a kept control whose halves come from far apart places are
// flagged as chimeric ('Y' in the header), no others. The records are compared byte for byte
// with the generator's truth.
#include "tests/converter/pipeline/expected_fastq.h"
#include "tests/converter/pipeline/gzip_members.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/run_generator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using expected_fastq::ExpectedFile;
using expected_fastq::TileVisit;

namespace {

// One lane of two tiles with 100-base reads (long enough for minimizers to find any clean cut
// of a control), 300-base controls, many control spots, adapters in a third of the other spots
// and no sample spots.
runsim::RunRecipe controls_recipe(std::uint64_t seed)
{
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.seed = seed;
    recipe.lanes = 1;
    recipe.tiles = 2;
    recipe.spots = 300;
    recipe.layout = runsim::ReadLayout::standard(100, 8);
    recipe.control_length = 300;
    recipe.control_fraction = 0.3;
    recipe.undetermined_fraction = 0.7;
    recipe.adapter_fraction = 0.3;
    recipe.manifest.clear();
    return recipe;
}

// 150-base reads, 1500-base controls and half of the control spots chimeric, with clean control
// reads (no substitutions, no no-calls) so that both halves of a chimera are found.
runsim::RunRecipe chimeras_recipe(std::uint64_t seed)
{
    runsim::RunRecipe recipe = controls_recipe(seed);
    recipe.layout = runsim::ReadLayout::standard(150, 8);
    recipe.control_length = 1500;
    recipe.chimera_fraction = 0.5;
    recipe.max_control_substitutions = 0;
    recipe.no_call_rate = 0;
    recipe.trailing_no_call_fraction = 0;
    return recipe;
}

bool is_chimera_of_kept_control(const runsim::RunTruth& run, const runsim::SpotTruth& spot, int read)
{
    return spot.reads[std::size_t(read - 1)].chimera_offset >= 0 &&
           run.library.controls[std::size_t(spot.control)].kept;
}

bool is_index(const runsim::ReadLayout& layout, int read)
{
    const runsim::ReadRole role = layout.reads[std::size_t(read - 1)].role;
    return role == runsim::ReadRole::I1 || role == runsim::ReadRole::I2;
}

// Where a spot must go. A read cut from a kept control with at most one edit (substitution or
// no-call) is always detected, and one such read makes the spot a control spot; reads with
// more edits may or may not be.
enum class Route { Undetermined, Control, Either };

Route route_of(const runsim::RunTruth& run, const runsim::SpotTruth& spot)
{
    if (spot.control < 0 || !run.library.controls[std::size_t(spot.control)].kept)
        return Route::Undetermined;
    for (int r = 1; r <= int(run.recipe.layout.reads.size()); ++r) {
        const runsim::ReadTruth& read = spot.reads[std::size_t(r - 1)];
        if (!is_index(run.recipe.layout, r) && read.control_substitutions + read.no_calls <= 1)
            return Route::Control;
    }
    return Route::Either;
}

// The record of one read; trimmed, it holds the bases before the planted adapter as they are,
// no-calls included, and a read whose adapter starts at its first base becomes "N".
std::string unflagged_record(const runsim::RunTruth& run, const TileVisit& visit, std::size_t s, int read, bool trim)
{
    const runsim::SpotTruth& spot = visit.tile->spot_truth[s];
    const runsim::ReadSpec& read_spec = run.recipe.layout.reads[std::size_t(read - 1)];
    const unsigned char* calls =
        visit.tile->calls[std::size_t(read - 1)].data() + s * std::size_t(read_spec.header_cycles());
    const int adapter_start = spot.reads[std::size_t(read - 1)].adapter_start;
    if (!trim || adapter_start < 0)
        return expected_fastq::record(run.identity, 1, visit, spot, read, calls, read_spec.cycles);

    std::string text = expected_fastq::record(run.identity, 1, visit, spot, read, calls, 0);
    text.resize(text.find('\n') + 1);
    std::string bases;
    std::string qualities;
    for (int c = 0; c < adapter_start; ++c) {
        const int quality = calls[c] >> 2;
        bases += quality == 0 ? 'N' : "ACGT"[calls[c] & 3];
        qualities += static_cast<char>(quality + 33);
    }
    if (adapter_start == 0) {
        bases = "N";
        qualities = "!";
    }
    return text + bases + "\n+\n" + qualities + "\n";
}

// The same with the chimera flag of the header (" 1:N:0") set for a chimera of a kept control.
std::string expected_record(const runsim::RunTruth& run, const TileVisit& visit, std::size_t s, int read, bool trim)
{
    std::string text = unflagged_record(run, visit, s, read, trim);
    if (is_chimera_of_kept_control(run, visit.tile->spot_truth[s], read))
        text[text.find('\n') - 3] = 'Y';
    return text;
}

std::vector<std::string> records_of(const std::string& text)
{
    std::vector<std::string> records;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = at;
        for (int line = 0; line < 4 && end != std::string::npos; ++line) {
            end = text.find('\n', end);
            if (end != std::string::npos)
                ++end;
        }
        if (end == std::string::npos)
            end = text.size();
        records.push_back(text.substr(at, end - at));
        at = end;
    }
    return records;
}

std::string fastq_text(const fs::path& path)
{
    std::string error;
    const std::string text = gzip_members::inflate_file(path, error);
    EXPECT_EQ(error, "") << path;
    return text;
}

// "Completed L01/S01_T002; Time: ...; Spots: 300; Control: 41" gives 41 for tile "S01_T002".
int logged_controls(const std::string& log, const std::string& tile)
{
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        const std::size_t name = line.find("[INFO] Completed L01/" + tile + ";");
        const std::size_t count = line.find("; Control: ");
        if (name != std::string::npos && count != std::string::npos)
            return std::atoi(line.c_str() + count + 11);
    }
    return -1;
}

struct ControlsCase {
    std::string name;
    std::uint64_t seed;
    std::vector<std::string> args; // beside --controlsfile
    bool trimmed;
    bool chimeras = false; // chimeras_recipe instead of controls_recipe
};

void PrintTo(const ControlsCase& c, std::ostream* out)
{
    *out << c.name;
}

const ControlsCase Controls_cases[] = {
    {"Controls", 3, {}, false},
    {"ControlsWithObservedScores", 5, {"--oscores"}, false},
    {"TrimmedAdapters", 7, {"--trimadapters"}, true},
    {"TrimmedAdaptersWithObservedScores", 9, {"--trimadapters", "--oscores"}, true},
    {"ChimerasFlagged", 11, {}, false, true},
};

class QuillonControls : public ::testing::TestWithParam<ControlsCase> {};

TEST_P(QuillonControls, SortsControlSpotsAndTrimsAdapters)
{
    const ControlsCase& param = GetParam();
    test_support::TempDir dir("quillon-controls");
    runsim::RunRecipe recipe = param.chimeras ? chimeras_recipe(param.seed) : controls_recipe(param.seed);
    recipe.out = dir.path() / "run";
    const runsim::RunTruth run = runsim::generate_run(recipe);
    const expected_fastq::LaneOrder order = expected_fastq::sorted_order(run);
    const fs::path out = dir.path() / "out";
    fs::create_directories(out);

    std::vector<std::string> args = {"-k",
                                     "10",
                                     "120",
                                     QUILLON_BINARY,
                                     "--input=" + run.run_folder.string(),
                                     "--output=" + out.string(),
                                     "--controlsfile=" + run.controls_file.string()};
    args.insert(args.end(), param.args.begin(), param.args.end());
    const test_support::ProgramRun program = test_support::run_program("timeout", args, dir.path());
    ASSERT_EQ(program.status, 0) << program.out << program.err;

    // The same files as without controls.
    const expected_fastq::Settings settings;
    const std::map<std::string, ExpectedFile> files = expected_fastq::expected_files(run, order, settings);
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(out))
        if (entry.path().filename().string().ends_with(".fastq.gz"))
            names.insert(entry.path().filename().string());
    std::set<std::string> expected_names;
    for (const auto& [name, file] : files)
        expected_names.insert(name);
    ASSERT_EQ(names, expected_names);

    const runsim::ReadLayout& layout = run.recipe.layout;
    const bool any_samples = !run.sample_sheet.empty() && !run.samples.empty();
    const std::vector<TileVisit>& visits = order[0];
    std::vector<std::vector<int>> in_control(visits.size()); // per spot: -1 unknown, 0, 1
    for (std::size_t t = 0; t < visits.size(); ++t)
        in_control[t].assign(visits[t].tile->spot_truth.size(), -1);

    std::set<std::string> walked; // the control and undetermined files; the sample files stay empty
    for (int read = 1; read <= int(layout.reads.size()); ++read) {
        if (!expected_fastq::is_written(layout, read, settings))
            continue;
        const std::string label = expected_fastq::read_label(layout, read, true);
        const std::string control_name = expected_fastq::file_name(run, 1, label, "_Control_Library", settings);
        const std::string undetermined_name = expected_fastq::file_name(
            run, 1, label, any_samples ? "_Sample_Library_Undetermined" : "_Sample_Library", settings);
        walked.insert(control_name);
        walked.insert(undetermined_name);

        // Both files in step with the spots: each spot's record is the next one of its file.
        const std::vector<std::string> files_records[2] = {records_of(fastq_text(out / undetermined_name)),
                                                           records_of(fastq_text(out / control_name))};
        std::size_t next[2] = {0, 0};
        bool in_step = true;
        for (std::size_t t = 0; t < visits.size() && in_step; ++t) {
            for (std::size_t s = 0; s < visits[t].tile->spot_truth.size() && in_step; ++s) {
                const runsim::SpotTruth& spot = visits[t].tile->spot_truth[s];
                const std::string want = expected_record(run, visits[t], s, read, param.trimmed);
                const auto got = [&](int f) {
                    return next[f] < files_records[f].size() ? files_records[f][next[f]] : std::string("(none)");
                };
                const Route route = route_of(run, spot);
                int f = in_control[t][s];
                if (f < 0)
                    f = route == Route::Control ? 1 : route == Route::Undetermined ? 0 : got(1) == want ? 1 : 0;
                in_control[t][s] = f;
                if (got(f) != want) {
                    const runsim::ReadTruth& truth = spot.reads[std::size_t(read - 1)];
                    ADD_FAILURE() << "seed " << param.seed << ", tile " << visits[t].tile->name << ", spot " << s
                                  << ", read " << read << ": control " << spot.control << ", substitutions "
                                  << truth.control_substitutions << ", no-calls " << truth.no_calls
                                  << ", adapter start " << truth.adapter_start << "\n  expected in "
                                  << (f ? control_name : undetermined_name) << ":\n"
                                  << want << "  got:\n"
                                  << got(f);
                    in_step = false;
                    break;
                }
                ++next[f];
            }
        }
        if (in_step) {
            EXPECT_EQ(next[0], files_records[0].size()) << undetermined_name << " holds more records";
            EXPECT_EQ(next[1], files_records[1].size()) << control_name << " holds more records";
        }
    }

    for (const auto& [name, file] : files) {
        if (!walked.contains(name)) {
            EXPECT_EQ(fastq_text(out / name), "") << name;
        }
    }

    // The log counts each tile's control spots; and the run has cases of every kind.
    int certain_controls = 0;
    int dropped_controls = 0;
    int adapters = 0;
    int chimeras = 0;
    for (std::size_t t = 0; t < visits.size(); ++t) {
        int controls = 0;
        for (std::size_t s = 0; s < in_control[t].size(); ++s) {
            const runsim::SpotTruth& spot = visits[t].tile->spot_truth[s];
            controls += in_control[t][s] == 1;
            certain_controls += route_of(run, spot) == Route::Control;
            dropped_controls += spot.control >= 0 && !run.library.controls[std::size_t(spot.control)].kept;
            for (int read = 1; read <= int(layout.reads.size()); ++read) {
                adapters += spot.reads[std::size_t(read - 1)].adapter_start >= 0;
                chimeras += is_chimera_of_kept_control(run, spot, read);
            }
        }
        EXPECT_EQ(logged_controls(program.out, visits[t].tile->name), controls) << visits[t].tile->name;
    }
    EXPECT_GE(certain_controls, 40);
    EXPECT_GE(dropped_controls, 20);
    EXPECT_GE(adapters, 50);
    EXPECT_GE(chimeras, param.chimeras ? 40 : 0);
}

INSTANTIATE_TEST_SUITE_P(Runs, QuillonControls, ::testing::ValuesIn(Controls_cases),
                         [](const ::testing::TestParamInfo<ControlsCase>& test_info) { return test_info.param.name; });

} // namespace
