// The built quillon converts generated runs: every FASTQ file is compared byte for byte with
// what the generator's truth says, the gzip members are walked by their recorded sizes, and
// bad input ends the run with its error and status 255, never with a hang or a crash.
#include "tests/converter/pipeline/expected_fastq.h"
#include "tests/converter/pipeline/gzip_members.h"
#include "tests/support/full_file_system.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text_lines.h"
#include "tools/runsim/fault_injector.h"
#include "tools/runsim/positions_file.h"
#include "tools/runsim/run_generator.h"
#include "tools/runsim/zel_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <sys/mount.h>
#include <unistd.h>

namespace fs = std::filesystem;
using expected_fastq::ExpectedFile;
using expected_fastq::LaneOrder;
using test_support::ProgramRun;

namespace {

using test_support::lines_of;

// Everything a case may change before quillon runs: the run folder, the arguments and the
// expectation.
struct Scenario {
    runsim::RunTruth run;
    LaneOrder order;
    expected_fastq::Settings settings;
    std::vector<std::string> args;
    fs::path out;                                       // output folder, which is also the FASTQ folder
    std::deque<runsim::TileTruth> replaced_tiles;       // tiles whose files a case rewrote
    std::shared_ptr<test_support::FullFileSystem> full; // a full disk under the output folder
};

// Small runs with extra cycles, odd positions, no controls file and indexes that match no
// sample, so that nothing leaves the undetermined files.
runsim::RunRecipe base_recipe()
{
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.spots = 60;
    recipe.layout = runsim::ReadLayout::parse("R1:30+2,I1:8,I2:8,R2:28");
    recipe.samples = 3;
    recipe.control_fraction = 0.0;
    recipe.undetermined_fraction = 1.0;
    recipe.odd_position_fraction = 0.1;
    recipe.trailing_no_call_fraction = 0.2;
    recipe.controls_file.clear();
    recipe.manifest.clear();
    return recipe;
}

void replace_in_file(const fs::path& path, const std::string& from, const std::string& to)
{
    std::string text = test_support::read_whole_file(path);
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from << " not in " << path;
    text.replace(at, from.size(), to);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool has_error_line_containing(const std::string& log, const std::string& text)
{
    for (const std::string& line : lines_of(log))
        if (line.find("[ERROR] ") != std::string::npos && line.find(text) != std::string::npos)
            return true;
    return false;
}

// Where two texts part, from the start of that line, instead of two whole files.
std::string difference(const std::string& actual, const std::string& expected)
{
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    const std::size_t line_start = at == 0 ? 0 : expected.rfind('\n', at - 1) + 1;
    return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
           " (expected), first difference at byte " + std::to_string(at) +
           "\n  actual:   " + actual.substr(line_start, 160) + "\n  expected: " + expected.substr(line_start, 160);
}

std::set<std::string> fastq_files_in(const fs::path& folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        const bool fastq = name.ends_with(".fastq") || name.ends_with(".fastq.gz");
        if (fastq && entry.is_regular_file())
            names.insert(name);
    }
    return names;
}

std::set<std::string> names_of(const std::map<std::string, ExpectedFile>& files)
{
    std::set<std::string> names;
    for (const auto& [name, file] : files)
        names.insert(name);
    return names;
}

// A FASTQ bundle closes with the record that takes its estimated text (2 x length + 69 a
// record) past 0xFFFFF bytes. The records of these runs are shorter than their estimate, and
// none exceeds 1024 bytes.
constexpr std::size_t Max_member_text = 0xFFFFF + 1024;

// What is wrong with the members of a file: each must hold whole records of one tile, no more
// than a bundle's text, and together, in order, every tile's records. A file without records
// holds one empty member, so that it is a valid gzip file.
std::string member_problem(const std::vector<std::string>& members, const std::vector<std::string>& tiles)
{
    const bool no_record = std::all_of(tiles.begin(), tiles.end(), [](const std::string& t) { return t.empty(); });
    if (no_record)
        return members.size() == 1 && members[0].empty() ? "" : "not one empty member";
    std::size_t m = 0;
    for (std::size_t t = 0; t < tiles.size(); ++t) {
        std::string joined;
        while (joined.size() < tiles[t].size() && m < members.size()) {
            if (members[m].size() > Max_member_text)
                return "member " + std::to_string(m) + " holds " + std::to_string(members[m].size()) + " bytes";
            joined += members[m++];
        }
        if (joined != tiles[t])
            return "the members up to " + std::to_string(m) + " do not hold tile " + std::to_string(t + 1) + " whole";
    }
    return m == members.size() ? "" : std::to_string(members.size() - m) + " members beyond the last tile";
}

// The file's FASTQ text; for a gzip file also that gzip accepts it and that its members, walked
// by their recorded sizes, cut it only between tiles or bundles.
std::string checked_text(const fs::path& path, const ExpectedFile& expected, bool compressed)
{
    const std::string bytes = test_support::read_whole_file(path);
    if (!compressed)
        return bytes;
    const std::string name = path.filename().string();
    EXPECT_EQ(std::system(("gzip -t " + test_support::shell_quoted(path.string())).c_str()), 0) << name;

    std::string error;
    const std::vector<std::string> members = gzip_members::member_texts(bytes, error);
    EXPECT_EQ(error, "") << name;
    if (error.empty()) {
        EXPECT_EQ(member_problem(members, expected.tiles), "") << name;
    }

    const std::string text = gzip_members::inflate_file(path, error);
    EXPECT_EQ(error, "") << name;
    return text;
}

// Every expected file and no other, each with exactly its expected text.
void expect_files(const fs::path& folder, const std::map<std::string, ExpectedFile>& expected, bool compressed)
{
    EXPECT_EQ(fastq_files_in(folder), names_of(expected));
    for (const auto& [name, file] : expected) {
        SCOPED_TRACE(name);
        if (!fs::is_regular_file(folder / name))
            continue;
        const std::string text = checked_text(folder / name, file, compressed);
        const std::string want = file.text();
        if (text != want)
            ADD_FAILURE() << name << ": " << difference(text, want);
        if (want.empty() && !compressed) {
            EXPECT_EQ(fs::file_size(folder / name), 0u) << name;
        }
    }
}

// After a failed lane: the lanes before it complete, no file of a later lane, and its own
// files under their temporary names only, each (where written) holding whole tiles from the
// lane's first tile on. Returns how many of its files are under their temporary names.
int expect_files_up_to_lane(const fs::path& folder, const std::map<std::string, ExpectedFile>& expected,
                            int failed_lane)
{
    int left = 0;
    for (const auto& [name, file] : expected) {
        SCOPED_TRACE(name);
        fs::path path = folder / name;
        if (file.lane > failed_lane) {
            EXPECT_FALSE(fs::exists(path));
            continue;
        }
        if (file.lane < failed_lane) {
            EXPECT_TRUE(fs::is_regular_file(path));
        } else {
            EXPECT_FALSE(fs::is_regular_file(path)) << "a file of the failed lane under its final name";
            path += ".partial";
            left += fs::symlink_status(path).type() != fs::file_type::not_found ? 1 : 0;
        }
        if (!fs::is_regular_file(path))
            continue;
        std::string error;
        const std::string text = gzip_members::inflate_file(path, error);
        EXPECT_EQ(error, "");
        if (file.lane < failed_lane) {
            EXPECT_TRUE(text == file.text()) << difference(text, file.text());
            continue;
        }
        std::string prefix;
        bool whole_tiles = text.empty();
        for (const std::string& tile : file.tiles) {
            prefix += tile;
            whole_tiles = whole_tiles || text == prefix;
        }
        EXPECT_TRUE(whole_tiles) << "not the records of the lane's first tiles: " << difference(text, file.text());
    }
    return left;
}

std::string gigabytes(std::uint64_t bytes)
{
    std::ostringstream text;
    text << double(bytes) * std::ldexp(1.0, -30);
    return text.str();
}

// One line per tile in the order of conversion, then the lane's lines with the bytes of its
// files.
void expect_log(const ProgramRun& run, const LaneOrder& order, const std::map<std::string, ExpectedFile>& expected,
                const fs::path& folder, bool merged)
{
    // "Completed L01/S01_T001; Time: 0.0012; Spots: 60; Control: 0", kept without its time.
    std::vector<std::string> tiles;
    for (const std::string& line : lines_of(run.out)) {
        const std::size_t start = line.find("[INFO] Completed L");
        const std::size_t time = line.find("; Time: ");
        const std::size_t spots = line.find("; Spots: ");
        if (start != std::string::npos && time != std::string::npos && spots != std::string::npos)
            tiles.push_back(line.substr(start + 7, time - start - 7) + line.substr(spots));
    }
    std::vector<std::string> want;
    for (std::size_t lane = 0; lane < order.size(); ++lane) {
        for (const expected_fastq::TileVisit& visit : order[lane]) {
            char name[64];
            std::snprintf(name, sizeof name, "Completed L%02d/S%02d_T%03d; Spots: %llu; Control: 0", int(lane + 1),
                          visit.surface, visit.number, static_cast<unsigned long long>(visit.tile->spots));
            want.push_back(name);
        }
        std::uint64_t bytes = 0;
        for (const auto& [file_name, file] : expected) {
            std::error_code missing;
            const std::uintmax_t size = fs::file_size(folder / file_name, missing);
            if (file.lane == int(lane + 1) && !missing)
                bytes += size;
        }
        EXPECT_TRUE(run.has_line_containing("[INFO] ** Completed Lane #" + std::to_string(lane + 1) + "\n"));
        // Merged lanes share their files, so a lane's bytes are not those of its files.
        EXPECT_TRUE(run.has_line_containing("[INFO] ** GB written: " + (merged ? "" : gigabytes(bytes) + ", rate: ")))
            << "lane " << lane + 1 << ", " << bytes << " bytes";
    }
    EXPECT_EQ(tiles, want); // compared without their times
    EXPECT_TRUE(run.has_line_containing("[INFO] *** Run complete.\n"));
    EXPECT_TRUE(run.has_line_containing("[INFO] Timing: "));
}

class QuillonRun {
public:
    Scenario& generate(runsim::RunRecipe recipe)
    {
        recipe.out = dir_.path() / "run";
        scenario_.run = runsim::generate_run(recipe);
        scenario_.order = expected_fastq::sorted_order(scenario_.run);
        scenario_.out = dir_.path() / "out";
        fs::create_directories(scenario_.out);
        return scenario_;
    }

    // quillon under a time limit, so that a hang fails the test instead of stalling it.
    ProgramRun run() const
    {
        std::vector<std::string> args = {"-k",
                                         "10",
                                         "120",
                                         QUILLON_BINARY,
                                         "--input=" + scenario_.run.run_folder.string(),
                                         "--output=" + scenario_.out.string()};
        args.insert(args.end(), scenario_.args.begin(), scenario_.args.end());
        return test_support::run_program("timeout", args, dir_.path());
    }

    std::map<std::string, ExpectedFile> expected() const
    {
        return expected_fastq::expected_files(scenario_.run, scenario_.order, scenario_.settings);
    }

private:
    test_support::TempDir dir_{"quillon-convert"};
    Scenario scenario_;
};

// ---- runs that convert ----------------------------------------------------------------------

struct ConvertCase {
    std::string name;
    std::function<void(runsim::RunRecipe&)> recipe;
    std::function<void(Scenario&)> prepare;
    std::string log_line = {}; // a line the run must log, when not empty
};

void no_change(runsim::RunRecipe&) {}
void no_preparation(Scenario&) {}

// Moves the lane and tile folders away and back, lane 2 and the last tiles first, so that no
// order of the folders on disk follows their numbers.
void recreate_in_reverse(Scenario& s)
{
    const fs::path lanes = s.run.lanes_folder;
    const fs::path staging = lanes.parent_path() / "staging";
    fs::create_directories(staging);
    for (const char* lane : {"L01", "L02"})
        fs::rename(lanes / lane, staging / lane);
    for (const char* lane : {"L02", "L01"}) {
        fs::create_directory(lanes / lane);
        std::vector<fs::path> tiles;
        for (const fs::directory_entry& entry : fs::directory_iterator(staging / lane))
            tiles.push_back(entry.path());
        std::sort(tiles.rbegin(), tiles.rend());
        for (const fs::path& tile : tiles)
            fs::rename(tile, lanes / lane / tile.filename());
    }
    fs::remove_all(staging);
}

// The design sheet names three tiles out of order; the lanes follow the list.
void include_tiles_out_of_order(Scenario& s)
{
    replace_in_file(s.run.design_sheet, "[Quillon Settings]\n",
                    "[Quillon Settings]\nIncludeTiles,\"L01/S01_T003,L01/S01_T001,L02/S01_T002\"\n");
    const auto visit = [&](int lane, int position) {
        const runsim::TileTruth& tile = s.run.tile(lane, position);
        return expected_fastq::TileVisit{&tile, tile.surface, tile.tile};
    };
    s.order = {{visit(1, 3), visit(1, 1)}, {visit(2, 2)}};
}

// Each lane's tiles twice, the copies numbered by their place in the lane's list.
void repeat_twice(Scenario& s)
{
    s.args.push_back("--repeat=2");
    for (std::vector<expected_fastq::TileVisit>& lane : s.order) {
        const std::size_t n = lane.size();
        for (std::size_t i = 0; i < n; ++i)
            lane.push_back({lane[i].tile, lane[i].surface, int(lane.size() + 1)});
    }
}

// The first tile of lane 1 rewritten with no spots in any of its files.
void first_tile_without_spots(Scenario& s)
{
    runsim::TileTruth empty = s.run.tile(1, 1);
    const runsim::RunRecipe& recipe = s.run.recipe;
    for (std::size_t r = 0; r < recipe.layout.reads.size(); ++r) {
        runsim::ZelHeader header;
        header.version = recipe.zel_version();
        header.spots = 0;
        header.cycles = std::uint64_t(recipe.layout.reads[r].header_cycles());
        header.extra_cycles = std::uint64_t(recipe.layout.reads[r].extra_cycles);
        runsim::write_zel_file(empty.zel_files[r], header, {}, recipe.zel);
        runsim::write_positions_file(empty.positions_files[r], {}, recipe.positions_type);
        empty.calls[r].clear();
    }
    empty.spots = 0;
    empty.spot_truth.clear();
    s.replaced_tiles.push_back(std::move(empty));
    s.order[0][0].tile = &s.replaced_tiles.back();
}

void uncompressed(Scenario& s)
{
    s.args.push_back("--uncompressed");
    s.settings.compressed = false;
}

// No cycle usages and no sample sheet: every read is written, as R1 to R4.
void without_read_roles(Scenario& s)
{
    std::ofstream(s.run.design_sheet, std::ios::trunc) << "[Header]\nFileFormatVersion,1\n\n[Quillon Settings]\n"
                                                          "R1CycleUsage\nR2CycleUsage\nI1CycleUsage\nI2CycleUsage\n\n";
    s.settings.roles = false;
    s.args.push_back("--threads=2");
}

// The samples get no read: the sample files of lane 1 hold one empty member all the same.
void merged_lanes(Scenario& s)
{
    replace_in_file(s.run.design_sheet, "MergeLanes,False\n", "MergeLanes,True\n");
    s.settings.merged = true;
}

void index_reads_without_control_file(Scenario& s)
{
    replace_in_file(s.run.design_sheet, "OutputControlFASTQ,True\nOutputIndexFASTQ,False\n",
                    "OutputControlFASTQ,False\nOutputIndexFASTQ,True\n");
    s.settings.index_reads = true;
    s.settings.control_file = false;
}

const ConvertCase Convert_cases[] = {
    {"TwoLanes", no_change, no_preparation},
    {"FoldersCreatedInReverse",
     [](runsim::RunRecipe& r) {
         r.surfaces = 2;
         r.tiles = 3;
         r.spots = 20;
     },
     recreate_in_reverse},
    {"IncludeTilesOutOfOrder",
     [](runsim::RunRecipe& r) {
         r.tiles = 3;
         r.spots = 30;
     },
     include_tiles_out_of_order},
    {"RepeatTwice", no_change, repeat_twice},
    {"TileWithoutSpots", no_change, first_tile_without_spots},
    {"Uncompressed", no_change, uncompressed},
    {"WithoutReadRoles", [](runsim::RunRecipe& r) { r.sample_sheet.clear(); }, without_read_roles},
    {"IndexReadsWithoutControlFile", no_change, index_reads_without_control_file},
    {"MergedLanes", no_change, merged_lanes},
    {"TileOfSeveralMembers",
     [](runsim::RunRecipe& r) {
         r.lanes = 1;
         r.tiles = 1;
         r.spots = 20000;
     },
     no_preparation},
    {"FloatPositions", [](runsim::RunRecipe& r) { r.positions_type = runsim::PositionsType::Float32; }, no_preparation},
    // More threads than any machine has: capped, never a hang or a huge allocation.
    {"ThreadCountBeyondTheMachine", no_change, [](Scenario& s) { s.args.push_back("--threads=2147483647"); },
     "[WARN] --threads=2147483647 is more than this machine can run; using "},
};

void PrintTo(const ConvertCase& c, std::ostream* out)
{
    *out << c.name;
}

class QuillonConvert : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(QuillonConvert, WritesExactlyTheFastqOfTheTruth)
{
    QuillonRun quillon;
    runsim::RunRecipe recipe = base_recipe();
    GetParam().recipe(recipe);
    Scenario& s = quillon.generate(recipe);
    GetParam().prepare(s);
    if (HasFatalFailure())
        return;

    const ProgramRun run = quillon.run();
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::map<std::string, ExpectedFile> expected = quillon.expected();
    expect_files(s.out, expected, s.settings.compressed);
    expect_log(run, s.order, expected, s.out, s.settings.merged);
    if (!GetParam().log_line.empty()) {
        EXPECT_TRUE(run.has_line_containing(GetParam().log_line)) << run.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, QuillonConvert, ::testing::ValuesIn(Convert_cases),
                         [](const ::testing::TestParamInfo<ConvertCase>& test_info) { return test_info.param.name; });

// ---- runs that fail ---------------------------------------------------------------------------

struct BadInputCase {
    std::string name;
    int failed_lane;
    bool tile_read_fails; // else the FASTQ output fails
    // Damages the run; returns a text that an ERROR line must hold.
    std::function<std::string(Scenario&)> damage;
};

runsim::FaultTarget target(int lane, int tile, int read)
{
    runsim::FaultTarget where;
    where.lane = lane;
    where.tile = tile;
    where.read = read;
    return where;
}

std::string undetermined_name(const Scenario& s, int lane, const std::string& label)
{
    return expected_fastq::file_name(s.run, lane, label, "_Sample_Library_Undetermined", s.settings);
}

const BadInputCase Bad_input_cases[] = {
    {"TruncatedCalls", 1, true,
     [](Scenario& s) {
         return runsim::inject_fault(s.run, runsim::Fault::TruncatedCalls, target(1, 2, 4)).file.string();
     }},
    {"ShortPositions", 1, true,
     [](Scenario& s) {
         return runsim::inject_fault(s.run, runsim::Fault::ShortPositions, target(1, 2, 1)).file.string();
     }},
    {"SpotsMismatchBetweenReads", 1, true,
     [](Scenario& s) {
         const runsim::FaultReport report = runsim::inject_fault(s.run, runsim::Fault::SpotsMismatch);
         return "Inconsistant number of spots in .zel file: \"" + report.file.string() + "\"";
     }},
    {"CorruptMemberInLaterTile", 2, true,
     [](Scenario& s) {
         return runsim::inject_fault(s.run, runsim::Fault::FlippedDeflateByte, target(2, 2, 1)).file.string();
     }},
    {"FolderInPlaceOfFastqFile", 1, false,
     [](Scenario& s) {
         const std::string name = undetermined_name(s, 1, "Read1");
         fs::create_directory(s.out / name);
         return "ERROR: Unable to open '" + (s.out / name).string() + "' : ";
     }},
    {"FastqFileOnFullDevice", 1, false,
     [](Scenario& s) {
         s.full = std::make_shared<test_support::FullFileSystem>(s.out);
         return std::string("No space left on device");
     }},
};

void PrintTo(const BadInputCase& c, std::ostream* out)
{
    *out << c.name;
}

class QuillonBadInput : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(QuillonBadInput, EndsWithItsErrorAndStatus255)
{
    const BadInputCase& bad = GetParam();
    QuillonRun quillon;
    Scenario& s = quillon.generate(base_recipe());
    const std::string error_text = bad.damage(s);
    if (s.full && !s.full->mounted())
        GTEST_SKIP() << "a full disk needs root to mount it";

    const ProgramRun run = quillon.run();
    ASSERT_EQ(run.status, 255) << run.out << run.err;
    EXPECT_TRUE(has_error_line_containing(run.out, error_text)) << error_text << "\n" << run.out;
    if (bad.tile_read_fails) {
        EXPECT_TRUE(run.has_line_containing(
            "[ERROR] Exception detected processing tiles: Could not create spots from zel file\n"))
            << run.out;
    }
    EXPECT_TRUE(run.has_line_containing("[INFO] *** Error(s) detected during run ***\n")) << run.out;
    for (int lane = 1; lane < bad.failed_lane; ++lane)
        EXPECT_TRUE(run.has_line_containing("[INFO] ** Completed Lane #" + std::to_string(lane) + "\n"));
    EXPECT_FALSE(run.has_line_containing("** Completed Lane #" + std::to_string(bad.failed_lane)));
    const int left = expect_files_up_to_lane(s.out, quillon.expected(), bad.failed_lane);
    EXPECT_EQ(run.has_line_containing("[WARN] The FASTQ files of lane " + std::to_string(bad.failed_lane) +
                                      " are incomplete and left under their names ending in .partial\n"),
              left > 0)
        << run.out;
}

INSTANTIATE_TEST_SUITE_P(Runs, QuillonBadInput, ::testing::ValuesIn(Bad_input_cases),
                         [](const ::testing::TestParamInfo<BadInputCase>& test_info) { return test_info.param.name; });

// ---- an output folder that fills up -----------------------------------------------------------

TEST(QuillonFullDisk, LeavesTheLanesFilesUnderTheirTemporaryNames)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "a small file system as the output folder needs root to mount it";
    QuillonRun quillon;
    runsim::RunRecipe recipe = base_recipe();
    recipe.lanes = 1;
    recipe.spots = 5000; // about 1 MB of gzip FASTQ
    Scenario& s = quillon.generate(recipe);
    if (mount("tmpfs", s.out.c_str(), "tmpfs", 0, "size=128k") != 0)
        GTEST_SKIP() << "cannot mount a small file system on " << s.out << ": " << std::strerror(errno);
    struct Unmount {
        const fs::path& at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } unmount{s.out};

    const ProgramRun run = quillon.run();
    EXPECT_EQ(run.status, 255) << run.out << run.err;
    EXPECT_TRUE(has_error_line_containing(run.out, "No space left on device")) << run.out;
    EXPECT_TRUE(run.has_line_containing(
        "[WARN] The FASTQ files of lane 1 are incomplete and left under their names ending in .partial\n"))
        << run.out;
    EXPECT_EQ(fastq_files_in(s.out), std::set<std::string>{});
    for (const auto& [name, file] : quillon.expected())
        EXPECT_TRUE(fs::is_regular_file(s.out / (name + ".partial"))) << name;
}

} // namespace
