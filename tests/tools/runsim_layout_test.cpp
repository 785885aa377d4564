// The run generator's options: read layouts and their masks, the command line, RunRecipe's
// checks, and runs written in the other layouts and storages.
#include "tools/runsim/command_line.h"
#include "tools/runsim/random_calls.h"
#include "tools/runsim/read_layout.h"
#include "tools/runsim/run_generator.h"
#include "tools/runsim/zel_reader.h"
#include "tools/runsim/zel_writer.h"

#include "common/quillon_sheet.h"
#include "common/sample_sheet.h"
#include "tests/tools/runsim_support.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>

namespace {

using namespace runsim_test;
using runsim::ReadRole;

struct LayoutCase {
    const char* reads;
    const char* umi1; // "" for none
    const char* r1_mask;
    const char* i1_mask;
    const char* i2_mask;
    const char* r2_mask;
    const char* u1_mask;
};

class RunSimLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(RunSimLayout, GivesTheMasksOfItsRoles)
{
    const LayoutCase& c = GetParam();
    runsim::ReadLayout layout = runsim::ReadLayout::parse(c.reads);
    if (*c.umi1)
        layout.add_umi(ReadRole::U1, c.umi1);
    layout.validate();
    EXPECT_EQ(layout.mask(ReadRole::R1), c.r1_mask);
    EXPECT_EQ(layout.mask(ReadRole::I1), c.i1_mask);
    EXPECT_EQ(layout.mask(ReadRole::I2), c.i2_mask);
    EXPECT_EQ(layout.mask(ReadRole::R2), c.r2_mask);
    EXPECT_EQ(layout.mask(ReadRole::U1), c.u1_mask);
    EXPECT_EQ(layout.text(), c.reads);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, RunSimLayout,
    ::testing::Values(LayoutCase{"R1:151,I1:8,I2:8,R2:151", "", "T1:Y151", "T2:Y8", "T3:Y8", "T4:Y151", ""},
                      LayoutCase{"R1:30", "", "T1:Y30", "", "", "", ""},
                      LayoutCase{"R1:30+2,I1:8", "", "T1:Y30", "T2:Y8", "", "", ""},
                      LayoutCase{"R1:30,I1:16,R2:30", "T2:N8Y8", "T1:Y30", "T2:Y8N8", "", "T3:Y30", "T2:N8Y8"},
                      LayoutCase{"R1:30,I1:8,I2:8", "T1:Y6N24", "T1:N6Y24", "T2:Y8", "T3:Y8", "", "T1:Y6N24"},
                      LayoutCase{"R1:30,I1:8,U1:10,R2:30", "", "T1:Y30", "T2:Y8", "", "T4:Y30", "T3:Y10"}));

TEST(RunSimLayoutErrors, BadLayoutsAreRefused)
{
    for (const char* text : {"", "R1", "R1:", "R1:0", "X1:30", "R1:30,R1:30", "I1:8", "R1:30,I1:8,I2:8,R2:30,U1:8",
                             "R1:30;I1:8", "R1:30+", "R1:-3"})
        EXPECT_THROW(runsim::ReadLayout::parse(text), std::invalid_argument) << text;
    const struct {
        const char* reads;
        const char* umi;
    } bad_umis[] = {{"R1:30,I1:16", "T2:N4Y8"},  // in the middle
                    {"R1:30,I1:8", "T2:Y8"},     // leaves I1 nothing
                    {"R1:30,I1:8", "T3:Y4"},     // no read 3
                    {"R1:30,I1:16", "T2:N8Y10"}, // past the read's end
                    {"R1:30,U1:8", "T1:Y4N26"}}; // U1 twice
    for (const auto& c : bad_umis) {
        runsim::ReadLayout layout = runsim::ReadLayout::parse(c.reads);
        EXPECT_THROW(
            {
                layout.add_umi(ReadRole::U1, c.umi);
                layout.validate();
            },
            std::invalid_argument)
            << c.reads << " " << c.umi;
    }
}

TEST(RunSimCommandLine, PresetsOptionsAndFaults)
{
    const runsim::CommandLine line =
        runsim::CommandLine::parse({"--spots=50", "--preset=demo", "--out=/tmp/x", "--reads=R1:40,I1:16,R2:40",
                                    "--umi1=T2:N8Y8", "--base-calls-folder", "--storage=plain", "--positions=float",
                                    "--metadata=tagged", "--legacy-sample-sheet=legacy.csv", "--manifest=none",
                                    "--fault=cycles-mismatch:2:1:3", "--fault-value=12", "--fault=not-gzip"});
    const runsim::RunRecipe& recipe = line.recipe;
    EXPECT_EQ(recipe.spots, 50); // the preset comes first wherever it stands
    EXPECT_DOUBLE_EQ(recipe.odd_position_fraction, runsim::RunRecipe::demo().odd_position_fraction);
    EXPECT_EQ(recipe.out, "/tmp/x");
    EXPECT_EQ(recipe.layout.mask(ReadRole::U1), "T2:N8Y8");
    EXPECT_EQ(recipe.layout.mask(ReadRole::I1), "T2:Y8N8");
    EXPECT_TRUE(recipe.base_calls_folder);
    EXPECT_EQ(recipe.zel.storage, runsim::ZelStorage::Plain);
    EXPECT_EQ(recipe.zel_version(), 2u);
    EXPECT_EQ(recipe.positions_type, runsim::PositionsType::Float32);
    EXPECT_EQ(recipe.metadata, runsim::MetadataName::Tagged);
    EXPECT_EQ(recipe.legacy_sample_sheet, "legacy.csv");
    EXPECT_TRUE(recipe.manifest.empty());
    ASSERT_EQ(line.faults.size(), 2u);
    EXPECT_EQ(line.faults[0].first, runsim::Fault::CyclesMismatch);
    EXPECT_EQ(line.faults[0].second.lane, 2);
    EXPECT_EQ(line.faults[0].second.tile, 1);
    EXPECT_EQ(line.faults[0].second.read, 3);
    EXPECT_EQ(line.faults[0].second.value, 12);
    EXPECT_EQ(line.faults[1].first, runsim::Fault::NotGzip);
    EXPECT_FALSE(line.faults[1].second.value.has_value());

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{{"--bogus=1"},
                                                                                     {"--spots=many"},
                                                                                     {"--preset=huge"},
                                                                                     {"--storage=zip"},
                                                                                     {"--fault-value=3"},
                                                                                     {"--fault=wrong-type:1:1:1:1"},
                                                                                     {"spots=3"},
                                                                                     {"--base-calls-folder=maybe"}})
        EXPECT_THROW(runsim::CommandLine::parse(bad), std::invalid_argument) << bad[0];
}

TEST(RunSimRunRecipe, BadRecipesAreRefused)
{
    const std::vector<std::pair<const char*, std::function<void(runsim::RunRecipe&)>>> cases = {
        {"no folder", [](runsim::RunRecipe& s) { s.out.clear(); }},
        {"three lanes", [](runsim::RunRecipe& s) { s.lanes = 3; }},
        {"no tiles", [](runsim::RunRecipe& s) { s.tiles = 0; }},
        {"negative spots", [](runsim::RunRecipe& s) { s.spots = -1; }},
        {"mismatches 3", [](runsim::RunRecipe& s) { s.i2_mismatches = 3; }},
        {"fractions above 1",
         [](runsim::RunRecipe& s) {
             s.control_fraction = 0.7;
             s.undetermined_fraction = 0.4;
         }},
        {"no-call rate 1", [](runsim::RunRecipe& s) { s.no_call_rate = 1.0; }},
        {"long adapter", [](runsim::RunRecipe& s) { s.adapter_length = 255; }},
        {"short adapter", [](runsim::RunRecipe& s) { s.adapter_length = 20; }},
        {"flowcell with _", [](runsim::RunRecipe& s) { s.flowcell_id = "FC_1"; }},
        {"level 13", [](runsim::RunRecipe& s) { s.zel.level = 13; }},
        {"samples without I1", [](runsim::RunRecipe& s) { s.layout = runsim::ReadLayout::parse("R1:30"); }},
    };
    for (const auto& [name, change] : cases) {
        runsim::RunRecipe recipe = runsim::RunRecipe::small();
        recipe.out = "/nonexistent/never-written";
        change(recipe);
        EXPECT_THROW(runsim::generate_run(recipe), std::invalid_argument) << name;
    }
}

TEST(RunSimRunRecipe, IndexesThatCannotBeFarEnoughApartAreRefused)
{
    TempDir folder;
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = folder.path() / "run";
    recipe.layout = runsim::ReadLayout::parse("R1:30,I1:4");
    recipe.samples = 40;
    EXPECT_THROW(runsim::generate_run(recipe), std::runtime_error);
}

// Inflates an ordinary gzip file with zlib.
std::vector<unsigned char> gunzip(const std::vector<unsigned char>& file)
{
    std::vector<unsigned char> out(1 << 20);
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, 31), Z_OK);
    stream.next_in = const_cast<unsigned char*>(file.data());
    stream.avail_in = uInt(file.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(stream.avail_in, 0u);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return out;
}

TEST(RunSimVariants, SingleIndexWithUmiAndExtraCyclesInOneGzipMemberUnderBaseCalls)
{
    TempDir folder;
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = folder.path() / "run";
    recipe.layout = runsim::ReadLayout::parse("R1:30+2,I1:14,R2:30+1");
    recipe.layout.add_umi(ReadRole::U1, "T2:N8Y6");
    recipe.lanes = 1;
    recipe.tiles = 1;
    recipe.surfaces = 2;
    recipe.base_calls_folder = true;
    recipe.zel_subfolder = true;
    recipe.metadata = runsim::MetadataName::Tagged;
    recipe.zel.storage = runsim::ZelStorage::Gzip;
    recipe.positions_type = runsim::PositionsType::Float32;
    recipe.odd_position_fraction = 0.2;
    recipe.i1_mismatches = 2;
    const runsim::RunTruth run = runsim::generate_run(recipe);

    EXPECT_EQ(run.metadata_file, recipe.out / (run.identity.flowcell_id + "_metadata.xml"));
    ASSERT_EQ(run.lanes.at(0).size(), 2u);
    const runsim::TileTruth& tile = run.tile(1, 2);
    EXPECT_EQ(tile.name, "S02_T001");
    EXPECT_EQ(tile.zel_files[1], recipe.out / "Base_Calls" / "L01" / "S02_T001" / "zel" / "R2.zel");

    for (std::size_t r = 0; r < 3; ++r) {
        const std::vector<unsigned char> stream = gunzip(file_bytes(tile.zel_files[r]));
        EXPECT_EQ(u64_at(stream, 24), std::uint64_t(recipe.layout.reads[r].header_cycles()));
        EXPECT_EQ(u64_at(stream, 32), std::uint64_t(recipe.layout.reads[r].extra_cycles));
        const std::size_t text = u64_at(stream, 40);
        EXPECT_TRUE(std::equal(stream.begin() + std::ptrdiff_t(48 + text), stream.end(), tile.calls[r].begin(),
                               tile.calls[r].end()));
        // Float positions truncate to the truth.
        const std::vector<unsigned char> positions = file_bytes(tile.positions_files[r]);
        EXPECT_EQ(u64_at(positions, 8), 6u);
        for (std::size_t s = 0; s < tile.spots; ++s) {
            float x, y;
            const std::uint32_t bx = u32_at(positions, 24 + 8 * s), by = u32_at(positions, 28 + 8 * s);
            std::memcpy(&x, &bx, 4);
            std::memcpy(&y, &by, 4);
            EXPECT_EQ(std::int32_t(std::trunc(x)), tile.spot_truth[s].x);
            EXPECT_EQ(std::int32_t(std::trunc(y)), tile.spot_truth[s].y);
            EXPECT_NE(float(tile.spot_truth[s].x), x);
        }
    }
    // UMI and index cycles of read 2; extra cycles stay outside every role.
    for (std::size_t s = 0; s < tile.spots; ++s) {
        const runsim::SpotTruth& spot = tile.spot_truth[s];
        EXPECT_EQ(letters(tile.calls[1].data() + 14 * s, 0, 8), spot.index1);
        EXPECT_EQ(letters(tile.calls[1].data() + 14 * s, 8, 6), spot.umi1);
        EXPECT_TRUE(spot.index2.empty());
        if (spot.sample >= 0) {
            EXPECT_EQ(spot.i2_substitutions, 0);
        }
        for (const std::size_t r : {std::size_t(0), std::size_t(2)}) {
            const int record = recipe.layout.reads[r].header_cycles();
            const std::string used = letters(tile.calls[r].data() + std::size_t(record) * s, 0, 30);
            EXPECT_EQ(30 - int(used.find_last_not_of('N') + 1), spot.reads[r].trailing_no_calls);
        }
    }

    std::vector<std::string> errors, warnings;
    SampleSheet sheet;
    EXPECT_TRUE(sheet.load(file_text(run.sample_sheet), errors, warnings)) << errors.front();
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    ASSERT_EQ(sheet.samples.size(), 8u);
    EXPECT_TRUE(sheet.samples[0].Index2.empty());
    EXPECT_EQ(sheet.samples[0].Index.size(), 8u);
    EXPECT_EQ(sheet.quillon_settings.I1Mismatches, 2);
    EXPECT_EQ(sheet.flow_cell_settings.Index1Cycles, 14);
    EXPECT_EQ(sheet.flow_cell_settings.Index2Cycles, 0);
    QuillonSheet design;
    EXPECT_TRUE(design.load(file_text(run.design_sheet), errors, warnings)) << errors.front();
    EXPECT_EQ(design.quillon_settings.U1CycleUsage, "T2:N8Y6");
    EXPECT_EQ(design.quillon_settings.I1CycleUsage, "T2:Y8N6");
    EXPECT_EQ(design.quillon_settings.R2CycleUsage, "T3:Y30");
    EXPECT_TRUE(design.quillon_settings.I2CycleUsage.empty());
}

TEST(RunSimVariants, AdaptersOfAReadOfNoRoleAreFoundWhereTheTruthSays)
{
    // A UMI read is neither R1 nor R2, so both adapters are searched in it.
    TempDir folder;
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = folder.path() / "run";
    recipe.layout = runsim::ReadLayout::parse("R1:30,I1:8,U1:12,R2:40");
    recipe.lanes = 1;
    recipe.tiles = 1;
    recipe.spots = 400;
    recipe.adapter_fraction = 0.6;
    const runsim::RunTruth run = runsim::generate_run(recipe);
    const std::vector<std::string> adapters = {run.library.adapters[0].sequence, run.library.adapters[1].sequence};
    const runsim::TileTruth& tile = run.tile(1, 1);
    int planted = 0;
    for (std::size_t s = 0; s < tile.spots; ++s) {
        const runsim::ReadTruth& read = tile.spot_truth[s].reads[2];
        std::string bases = letters(tile.calls[2].data() + 12 * s, 0, 12);
        bases.erase(bases.find_last_not_of('N') + 1);
        const auto [adapter, start] = adapter_choice(bases, adapters);
        EXPECT_EQ(adapter, read.adapter) << bases;
        EXPECT_EQ(start, read.adapter_start) << bases;
        planted += read.adapter >= 0;
    }
    EXPECT_GT(planted, 0);
    EXPECT_EQ(recipe.layout.mask(ReadRole::U1), "T3:Y12");
}

TEST(RunSimVariants, PlainVersionTwoFilesHoldLettersThenQualities)
{
    TempDir folder;
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = folder.path() / "run";
    recipe.lanes = 1;
    recipe.tiles = 1;
    recipe.zel.storage = runsim::ZelStorage::Plain;
    recipe.no_call_rate = 0.05;
    const runsim::RunTruth run = runsim::generate_run(recipe);
    const runsim::TileTruth& tile = run.tile(1, 1);
    const std::vector<unsigned char> file = file_bytes(tile.zel_files[0]);
    EXPECT_EQ(u64_at(file, 0), 42u);
    EXPECT_EQ(u64_at(file, 8), 2u);
    const std::size_t text = u64_at(file, 40);
    const std::vector<unsigned char>& calls = tile.calls[0];
    ASSERT_EQ(file.size(), 48 + text + 2 * calls.size());
    const unsigned char* bases = file.data() + 48 + text;
    const unsigned char* qualities = bases + calls.size();
    int no_calls = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(bases[i], letter(calls[i]));
        EXPECT_EQ(qualities[i], calls[i] >> 2);
        no_calls += calls[i] < 4;
    }
    EXPECT_GT(no_calls, 0);
    // The library's reader gives the same calls back.
    EXPECT_EQ(runsim::read_zel_file(tile.zel_files[0]).calls, calls);
}

TEST(RunSimStandalone, WritesTheGivenHeaderAndCalls)
{
    TempDir folder;
    const std::vector<unsigned char> calls = runsim::random_calls(300000, 5);
    EXPECT_EQ(calls, runsim::random_calls(300000, 5));
    EXPECT_NE(calls, runsim::random_calls(300000, 6));
    EXPECT_TRUE(std::none_of(calls.begin(), calls.end(), [](unsigned char c) { return c < 4; }));
    runsim::ZelHeader header;
    header.version = 3;
    header.spots = 2000;
    header.cycles = 151;
    header.extra_cycles = 1;
    header.text = "bench";
    runsim::ZelWriteOptions options;
    options.member_text_size = 65536;
    const std::filesystem::path path = folder.path() / "one.zel";
    const runsim::ZelFileStats stats = runsim::write_zel_file(path, header, calls, options);
    EXPECT_EQ(stats.stream_bytes, 48 + 5 + calls.size());
    EXPECT_EQ(stats.members, (stats.stream_bytes + 65535) / 65536);
    EXPECT_EQ(stats.file_bytes, std::filesystem::file_size(path));
    std::vector<unsigned char> stream;
    std::string problem;
    ASSERT_TRUE(inflate_block_gzip(file_bytes(path), stream, problem)) << problem;
    EXPECT_EQ(u64_at(stream, 8), 3u);
    EXPECT_EQ(u64_at(stream, 16), 2000u); // as given, though the calls hold fewer spots
    EXPECT_EQ(u64_at(stream, 32), 1u);
    EXPECT_TRUE(std::equal(calls.begin(), calls.end(), stream.begin() + 53));
}

} // namespace
