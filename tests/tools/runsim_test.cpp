// The run generator: what a small generated run holds parses back and agrees with its truth.
#include "tools/runsim/run_generator.h"

#include "common/dax_unzip.h"
#include "common/quillon_sheet.h"
#include "common/sample_sheet.h"
#include "tests/tools/runsim_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace runsim_test;

class RunSimRun : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new TempDir;
        runsim::RunRecipe recipe = runsim::RunRecipe::small();
        recipe.out = folder_->path() / "run";
        recipe.seed = 11;
        recipe.control_fraction = 0.15;
        recipe.adapter_fraction = 0.3;
        recipe.no_call_rate = 0.01;
        recipe.trailing_no_call_fraction = 0.1;
        recipe.odd_position_fraction = 0.05;
        recipe.legacy_sample_sheet = "SampleSheetLegacy.csv";
        run_ = new runsim::RunTruth(runsim::generate_run(recipe));
    }
    static void TearDownTestSuite()
    {
        delete run_;
        delete folder_;
    }

    static const runsim::RunTruth& run() { return *run_; }

    static TempDir* folder_;
    static runsim::RunTruth* run_;
};

TempDir* RunSimRun::folder_ = nullptr;
runsim::RunTruth* RunSimRun::run_ = nullptr;

TEST_F(RunSimRun, PlantsEveryKindOfSpot)
{
    const runsim::TileCounts& t = run().totals;
    EXPECT_EQ(t.spots, 800u);
    EXPECT_GT(t.exact, 0u);
    EXPECT_GT(t.one_mismatch, 0u);
    EXPECT_GT(t.two_mismatches, 0u);
    EXPECT_GT(t.undetermined, 0u);
    EXPECT_GT(t.kept_control_spots, 0u);
    EXPECT_GT(t.control_spots, t.kept_control_spots);
    EXPECT_GT(t.adapter_reads, 0u);
    EXPECT_GT(t.trailing_no_call_reads, 0u);
    EXPECT_GT(t.odd_positions, 0u);
    EXPECT_EQ(t.exact + t.one_mismatch + t.two_mismatches + t.undetermined + t.control_spots, t.spots);
}

TEST_F(RunSimRun, MetadataNamesTheRun)
{
    const runsim::RunIdentity& id = run().identity;
    ASSERT_EQ(run().metadata_file, run().run_folder / "metadata.xml");
    const std::string xml = file_text(run().metadata_file);
    EXPECT_NE(xml.find("<Flow_Cell_ID>" + id.flowcell_id + "</Flow_Cell_ID>"), std::string::npos);
    EXPECT_NE(xml.find("<Instrument_ID>" + id.instrument_id + "</Instrument_ID>"), std::string::npos);
    EXPECT_NE(xml.find("<Run_Folder_Name>" + id.run_folder_name() + "</Run_Folder_Name>"), std::string::npos);
    // Five fields, the fourth the run id.
    std::vector<std::string> fields;
    std::string name = id.run_folder_name();
    for (std::size_t start = 0, end; start <= name.size(); start = end + 1) {
        end = std::min(name.find('_', start), name.size());
        fields.push_back(name.substr(start, end - start));
    }
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_EQ(fields[3], id.run_id);
    EXPECT_EQ(fields[1], id.instrument_id);
    EXPECT_EQ(fields[4], id.flowcell_id);
}

TEST_F(RunSimRun, SheetsLoadCleanAndListThePlantedSamples)
{
    std::vector<std::string> errors, warnings;
    QuillonSheet design;
    EXPECT_TRUE(design.load(file_text(run().design_sheet), errors, warnings));
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    EXPECT_EQ(design.quillon_settings.R1CycleUsage, "T1:Y30");
    EXPECT_EQ(design.quillon_settings.I1CycleUsage, "T2:Y8");
    EXPECT_EQ(design.quillon_settings.I2CycleUsage, "T3:Y8");
    EXPECT_EQ(design.quillon_settings.R2CycleUsage, "T4:Y30");
    EXPECT_TRUE(design.quillon_settings.U1CycleUsage.empty());

    SampleSheet sheet;
    EXPECT_TRUE(sheet.load(file_text(run().sample_sheet), errors, warnings));
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_TRUE(warnings.empty()) << warnings.front(); // indexes far apart: no closeness warning
    EXPECT_EQ(sheet.run_information.FlowcellBarcode, run().identity.flowcell_id);
    EXPECT_EQ(sheet.flow_cell_settings.Read1Cycles, 30);
    EXPECT_EQ(sheet.flow_cell_settings.Index2Cycles, 8);
    EXPECT_EQ(sheet.quillon_settings.R2CycleUsage, "T4:Y30");
    ASSERT_EQ(sheet.samples.size(), run().samples.size());
    for (std::size_t i = 0; i < sheet.samples.size(); ++i) {
        EXPECT_EQ(sheet.samples[i].Biosample, run().samples[i].name);
        EXPECT_EQ(sheet.samples[i].Lane, run().samples[i].lane);
        EXPECT_EQ(sheet.samples[i].Index, run().samples[i].index);
        EXPECT_EQ(sheet.samples[i].Index2, run().samples[i].index2);
    }
    // Lanes have their own samples; names sort in sheet order within a lane.
    std::set<std::string> names;
    for (const runsim::SampleTruth& s : run().samples)
        names.insert(s.name);
    EXPECT_EQ(names.size(), run().samples.size());
    for (int lane = 1; lane <= 2; ++lane) {
        const auto list = run().lane_samples(lane);
        ASSERT_EQ(list.size(), 8u);
        for (std::size_t i = 0; i < list.size(); ++i) {
            EXPECT_EQ(list[i]->lane_position, int(i));
            if (i > 0) {
                EXPECT_LT(list[i - 1]->name, list[i]->name);
            }
        }
    }
}

TEST_F(RunSimRun, LegacySheetHasItsSections)
{
    const std::string text = file_text(run().legacy_sample_sheet);
    EXPECT_NE(text.find("[Header]\nBarcode," + run().identity.flowcell_id + "\n"), std::string::npos);
    EXPECT_NE(text.find("R2,Index1,1,8\nR3,Index2,1,8\n"), std::string::npos);
    EXPECT_NE(text.find("[Paired Reads]\nRead,Pair\nR1,R1\nR4,R2\n"), std::string::npos);
    const runsim::SampleTruth& s = run().samples.front();
    EXPECT_NE(text.find("\n1," + s.name + "," + s.index + "," + s.index2 + ",Project,runsim\n"), std::string::npos);
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        if (end > start) {
            EXPECT_NE(text[end - 1], ',') << text.substr(start, end - start);
        }
    }
}

TEST_F(RunSimRun, ControlsFileHoldsControlsOfEveryClassAndTheAdapters)
{
    const std::string text = file_text(run().controls_file);
    std::vector<std::pair<std::string, std::string>> records;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t head_end = text.find('\n', start);
        const std::size_t seq_end = text.find('\n', head_end + 1);
        ASSERT_EQ(text[start], '>');
        records.emplace_back(text.substr(start + 1, head_end - start - 1),
                             text.substr(head_end + 1, seq_end - head_end - 1));
        start = seq_end + 1;
    }
    const runsim::ControlLibrary& library = run().library;
    ASSERT_EQ(records.size(), library.controls.size() + library.adapters.size());
    EXPECT_EQ(records.front().first, "adapter_R1");
    EXPECT_EQ(records.back().first, "adapter_R2");
    std::set<std::string> classes;
    int kept = 0;
    for (std::size_t i = 0; i < library.controls.size(); ++i) {
        const runsim::ControlRecord& c = library.controls[i];
        const std::string& header = records[i + 1].first;
        EXPECT_EQ(records[i + 1].second, c.sequence);
        EXPECT_EQ(header.rfind(c.name, 0), 0u);
        const std::size_t tag = header.find("|ControlClass:");
        EXPECT_EQ(tag == std::string::npos ? "Undefined" : header.substr(tag + 14), c.class_name);
        EXPECT_EQ(c.kept, c.class_name == "Undefined" || c.class_name == "LQC");
        EXPECT_EQ(c.kept_index, c.kept ? kept++ : -1);
        EXPECT_EQ(c.sequence.find_first_not_of("ACGT"), std::string::npos);
        classes.insert(c.class_name);
    }
    EXPECT_EQ(classes, (std::set<std::string>{"Undefined", "LQC", "SQC", "EPC", "ENC"}));
}

TEST_F(RunSimRun, BaseCallFilesHoldTheTruthMemberByMember)
{
    for (const auto& lane : run().lanes) {
        for (const runsim::TileTruth& tile : lane) {
            for (std::size_t r = 0; r < tile.zel_files.size(); ++r) {
                const runsim::ReadSpec& read = run().recipe.layout.reads[r];
                const std::vector<unsigned char> file = file_bytes(tile.zel_files[r]);
                std::vector<unsigned char> stream;
                std::string problem;
                std::size_t members = 0;
                ASSERT_TRUE(inflate_block_gzip(file, stream, problem, &members))
                    << tile.zel_files[r] << ": " << problem;
                EXPECT_EQ(members, (stream.size() + 4095) / 4096); // 4 KiB of stream each
                ASSERT_GE(stream.size(), 48u);
                EXPECT_EQ(u64_at(stream, 0), 42u);
                EXPECT_EQ(u64_at(stream, 8), 4u);
                EXPECT_EQ(u64_at(stream, 16), tile.spots);
                EXPECT_EQ(u64_at(stream, 24), std::uint64_t(read.header_cycles()));
                EXPECT_EQ(u64_at(stream, 32), std::uint64_t(read.extra_cycles));
                const std::size_t text = u64_at(stream, 40);
                ASSERT_GT(text, 0u);
                ASSERT_EQ(stream.size(), 48 + text + tile.spots * std::size_t(read.header_cycles()));
                EXPECT_TRUE(std::equal(stream.begin() + std::ptrdiff_t(48 + text), stream.end(), tile.calls[r].begin(),
                                       tile.calls[r].end()));
            }
        }
    }
}

TEST_F(RunSimRun, BaseCallFilesReadThroughTheParallelReader)
{
    const runsim::TileTruth& tile = run().tile(2, 2);
    for (std::size_t r = 0; r < tile.zel_files.size(); ++r) {
        DaxUnZip reader(tile.zel_files[r].string(), 3);
        ASSERT_TRUE(reader.create());
        std::vector<unsigned char> stream;
        unsigned char buffer[1000];
        for (std::uint64_t n; (n = reader.decompress(buffer, sizeof buffer)) > 0;)
            stream.insert(stream.end(), buffer, buffer + n);
        const std::size_t text = u64_at(stream, 40);
        ASSERT_EQ(stream.size(), 48 + text + tile.calls[r].size());
        EXPECT_TRUE(std::equal(tile.calls[r].begin(), tile.calls[r].end(), stream.begin() + std::ptrdiff_t(48 + text)));
    }
}

TEST_F(RunSimRun, PositionsMatchTheTruthAndAreUniquePerTile)
{
    for (const auto& lane : run().lanes) {
        for (const runsim::TileTruth& tile : lane) {
            std::set<std::pair<int, int>> seen;
            for (std::size_t r = 0; r < tile.positions_files.size(); ++r) {
                const std::vector<unsigned char> bytes = file_bytes(tile.positions_files[r]);
                ASSERT_EQ(bytes.size(), 24 + 8 * tile.spots);
                EXPECT_EQ(u64_at(bytes, 8), 5u);
                EXPECT_EQ(u64_at(bytes, 16), tile.spots);
                for (std::size_t s = 0; s < tile.spots; ++s) {
                    EXPECT_EQ(std::int32_t(u32_at(bytes, 24 + 8 * s)), tile.spot_truth[s].x);
                    EXPECT_EQ(std::int32_t(u32_at(bytes, 28 + 8 * s)), tile.spot_truth[s].y);
                }
            }
            bool beyond = false, negative = false;
            for (const runsim::SpotTruth& spot : tile.spot_truth) {
                EXPECT_TRUE(seen.insert({spot.x, spot.y}).second);
                beyond |= spot.x > 32767 || spot.y > 32767;
                negative |= spot.x < 0 || spot.y < 0;
            }
            EXPECT_EQ(tile.counts.odd_positions > 0, beyond || negative);
        }
    }
}

TEST_F(RunSimRun, IndexReadsCarryTheSampleIndexesAsTheTruthSays)
{
    ASSERT_TRUE(run().any_mismatch_settings);
    for (int lane = 1; lane <= 2; ++lane) {
        std::vector<IndexSample> samples;
        for (const runsim::SampleTruth* s : run().lane_samples(lane))
            samples.push_back({s->index, s->index2});
        for (const runsim::TileTruth& tile : run().lanes[std::size_t(lane - 1)]) {
            for (std::size_t s = 0; s < tile.spots; ++s) {
                const runsim::SpotTruth& spot = tile.spot_truth[s];
                ASSERT_EQ(letters(tile.calls[1].data() + 8 * s, 0, 8), spot.index1);
                ASSERT_EQ(letters(tile.calls[2].data() + 8 * s, 0, 8), spot.index2);
                if (spot.sample < 0) {
                    EXPECT_EQ(spot.index_origin, runsim::IndexOrigin::Random);
                    continue;
                }
                const runsim::SampleTruth& sample = run().samples[std::size_t(spot.sample)];
                EXPECT_EQ(sample.lane, lane);
                EXPECT_EQ(hamming(spot.index1, sample.index), spot.i1_substitutions);
                EXPECT_EQ(hamming(spot.index2, sample.index2), spot.i2_substitutions);
                const int subs = spot.i1_substitutions + spot.i2_substitutions;
                const int worst = std::max(spot.i1_substitutions, spot.i2_substitutions);
                switch (spot.index_origin) {
                case runsim::IndexOrigin::Exact:
                    EXPECT_EQ(subs, 0);
                    break;
                case runsim::IndexOrigin::OneMismatch:
                    EXPECT_TRUE(subs >= 1 && worst == 1);
                    break;
                case runsim::IndexOrigin::TwoMismatches:
                    EXPECT_TRUE(subs == 2 && worst == 2);
                    break;
                case runsim::IndexOrigin::Random:
                    ADD_FAILURE() << "a sample spot of random origin";
                }
            }
        }
        // Every spot matches its own sample or none, as its substitutions and the settings say.
        for (int m1 = 0; m1 <= 2; ++m1) {
            for (int m2 = 0; m2 <= 2; ++m2) {
                const SampleMatcher matcher(samples, m1, m2);
                for (const runsim::TileTruth& tile : run().lanes[std::size_t(lane - 1)]) {
                    for (const runsim::SpotTruth& spot : tile.spot_truth) {
                        int expected = -1;
                        if (spot.sample >= 0 && spot.i1_substitutions <= m1 && spot.i2_substitutions <= m2)
                            expected = run().samples[std::size_t(spot.sample)].lane_position;
                        EXPECT_EQ(matcher.match(spot.index1, spot.index2), expected)
                            << "mismatches " << m1 << "," << m2 << " " << spot.index1 << "+" << spot.index2;
                    }
                }
            }
        }
    }
}

TEST_F(RunSimRun, InsertReadsCarryControlsAdaptersAndNoCallsAsTheTruthSays)
{
    const runsim::ControlLibrary& library = run().library;
    for (const auto& lane : run().lanes) {
        for (const runsim::TileTruth& tile : lane) {
            for (std::size_t s = 0; s < tile.spots; ++s) {
                const runsim::SpotTruth& spot = tile.spot_truth[s];
                for (const std::size_t r : {std::size_t(0), std::size_t(3)}) {
                    const runsim::ReadTruth& read = spot.reads[r];
                    const std::string bases = letters(tile.calls[r].data() + 30 * s, 0, 30);
                    const std::string& adapter = library.adapters[r == 0 ? 0 : 1].sequence;
                    // No-calls, and the read as the converter keeps it.
                    EXPECT_EQ(std::count(bases.begin(), bases.end(), 'N'), read.no_calls);
                    const std::size_t end = bases.find_last_not_of('N') + 1;
                    EXPECT_EQ(30 - int(end), read.trailing_no_calls);
                    const std::string kept = bases.substr(0, end);
                    int distance = -1;
                    const int found = adapter_search(kept, adapter, &distance);
                    if (read.adapter >= 0) {
                        EXPECT_EQ(library.adapters[std::size_t(read.adapter)].sequence, adapter);
                        EXPECT_EQ(found, read.adapter_start) << bases;
                        EXPECT_EQ(distance, 0);
                        EXPECT_EQ(read.trailing_no_calls, 0);
                    } else {
                        EXPECT_EQ(found, -1) << bases << " holds " << adapter;
                    }
                    if (spot.control < 0) {
                        EXPECT_EQ(read.control_offset, -1);
                        continue;
                    }
                    const runsim::ControlRecord& control = library.controls[std::size_t(spot.control)];
                    const std::string source =
                        read.control_reverse ? reverse_complement(control.sequence) : control.sequence;
                    ASSERT_GE(read.control_offset, 0);
                    const std::string cut = source.substr(std::size_t(read.control_offset), 30);
                    int substitutions = 0;
                    for (std::size_t k = 0; k < 30; ++k)
                        substitutions += bases[k] != 'N' && bases[k] != cut[k];
                    EXPECT_EQ(substitutions, read.control_substitutions);
                    EXPECT_EQ(read.adapter, -1);
                }
                // Index reads keep no no-calls.
                EXPECT_EQ(spot.reads[1].no_calls + spot.reads[2].no_calls, 0);
            }
        }
    }
}

TEST_F(RunSimRun, ManifestListsEveryTileAndSpot)
{
    const std::string json = file_text(run().manifest);
    EXPECT_EQ(json.front(), '{');
    EXPECT_NE(json.find("\"flowcell_id\":\"" + run().identity.flowcell_id + "\""), std::string::npos);
    EXPECT_NE(json.find("\"zel_files\":[\"L01/S01_T001/R1.zel\",\"L01/S01_T001/R2.zel\""), std::string::npos);
    std::size_t spots = 0;
    for (std::size_t at = 0; (at = json.find("{\"spot\":", at)) != std::string::npos; ++at)
        ++spots;
    EXPECT_EQ(spots, run().totals.spots);
    long depth = 0;
    for (const char c : json) {
        depth += (c == '{' || c == '[') - (c == '}' || c == ']');
        ASSERT_GE(depth, 0);
    }
    EXPECT_EQ(depth, 0);
    const runsim::SpotTruth& spot = run().tile(1, 1).spot_truth[3];
    EXPECT_NE(json.find("{\"spot\":3,\"x\":" + std::to_string(spot.x) + ",\"y\":" + std::to_string(spot.y) + ","),
              std::string::npos);
}

TEST_F(RunSimRun, SameSpecGivesIdenticalFilesAndAnotherSeedDifferentOnes)
{
    TempDir again;
    runsim::RunRecipe recipe = run().recipe;
    recipe.out = again.path() / "run";
    runsim::generate_run(recipe);
    auto first = folder_files(run().run_folder);
    auto second = folder_files(recipe.out);
    // The manifest names the run folder; with that replaced every file is byte-identical.
    std::string manifest = file_text(recipe.out / "runsim_manifest.json");
    const std::string folder = recipe.out.generic_string();
    manifest.replace(manifest.find(folder), folder.size(), run().run_folder.generic_string());
    second["runsim_manifest.json"].assign(manifest.begin(), manifest.end());
    ASSERT_EQ(first.size(), second.size());
    for (const auto& [name, bytes] : first) {
        ASSERT_TRUE(second.count(name)) << name;
        EXPECT_TRUE(bytes == second[name]) << name;
    }

    TempDir other;
    recipe.out = other.path() / "run";
    recipe.seed = 12;
    runsim::generate_run(recipe);
    EXPECT_NE(folder_files(recipe.out)["L01/S01_T001/R1.zel"], first["L01/S01_T001/R1.zel"]);
}

} // namespace
