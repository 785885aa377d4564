#include "converter/analysis/metrics_manager.h"

#include "common/partial_files.h"
#include "converter/analysis/fasta.h"
#include "converter/analysis/sample_finder.h"
#include "converter/app/config.h"
#include "converter/pipeline/spot.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/log_capture.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <oneapi/tbb/task_arena.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using test_support::read_whole_file;

namespace {

class MetricsManagerTest : public ::testing::Test {
protected:
    MetricsManagerTest()
    {
        config.flowcell_id = "FC1";
        config.num_lanes = 2;
        config.num_reads = 2;
        config.cycles = {8, 6};
        config.extra_cycles = {0, 0};
        config.R1_range = {1, 1, 8};
        config.I1_range = {2, 1, 6};
        config.lane_samples = {{}, {}};
        config.input_folder = dir.path() / "run";
        config.metrics_folder = dir.path() / "out";
        config.analysis_metrics_folder = dir.path() / "analysis";
        for (const fs::path& folder : {config.input_folder, config.metrics_folder, config.analysis_metrics_folder})
            fs::create_directories(folder);
    }

    // n spots with random bases and qualities (some no-calls); every seventh is not valid,
    // and with samples the spots cycle through "no sample" and each sample.
    std::vector<Spot> make_spots(int n, unsigned seed) const
    {
        std::mt19937 random(seed);
        const int samples = static_cast<int>(config.lane_samples[0].size());
        std::vector<Spot> spots(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            Spot& spot = spots[static_cast<std::size_t>(i)];
            spot.init(config.num_reads);
            for (int r = 0; r < config.num_reads; ++r) {
                std::vector<unsigned char> calls(static_cast<std::size_t>(config.cycles[static_cast<std::size_t>(r)]));
                for (unsigned char& call : calls)
                    call = static_cast<unsigned char>((random() % 42) << 2 | (random() & 3));
                spot.reads[static_cast<std::size_t>(r)].init(static_cast<int>(calls.size()), calls.data(), 0, 0);
            }
            spot.valid = i % 7 != 3;
            spot.sample = static_cast<std::int16_t>(i % (samples + 1) - 1);
        }
        return spots;
    }

    fs::path lane_file(const fs::path& folder, int lane, int read, const std::string& suffix) const
    {
        return folder / MetricsManager::get_output_filename(config, lane, read, suffix);
    }

    test_support::TempDir dir;
    test_support::LogCapture log;
    Config config;
    Fasta fasta{config};
};

void expect_same_counts(const MetricTally& actual, const MetricTally& expected)
{
    EXPECT_EQ(actual.reads, expected.reads);
    EXPECT_EQ(actual.sample_reads, expected.sample_reads);
    EXPECT_EQ(actual.sample_bases, expected.sample_bases);
    EXPECT_EQ(actual.sample_reads_by_sample, expected.sample_reads_by_sample);
    EXPECT_EQ(actual.sample_bases_by_sample, expected.sample_bases_by_sample);
    EXPECT_EQ(actual.sample_length_hist, expected.sample_length_hist);
    EXPECT_EQ(actual.sample_quality_hist, expected.sample_quality_hist);
    EXPECT_EQ(actual.sample_length_hist_by_sample, expected.sample_length_hist_by_sample);
    EXPECT_EQ(actual.sample_quality_hist_by_sample, expected.sample_quality_hist_by_sample);
}

TEST_F(MetricsManagerTest, ChunkBoundaries)
{
    struct Case {
        int chunk, chunks, count, first, last;
    };
    for (const Case& c : {Case{0, 256, 1000, 0, 4}, Case{1, 256, 1000, 4, 8}, Case{255, 256, 1000, 996, 1000},
                          Case{0, 10, 10, 0, 1}, Case{9, 10, 10, 9, 10},
                          // 2.5 rounds away from zero.
                          Case{0, 2, 5, 0, 3}, Case{1, 2, 5, 3, 5}}) {
        const auto [first, last] = MetricsManager::get_chunk_range(c.chunk, c.chunks, c.count);
        EXPECT_EQ(first, c.first) << c.chunk << "/" << c.chunks << " of " << c.count;
        EXPECT_EQ(last, c.last) << c.chunk << "/" << c.chunks << " of " << c.count;
    }
    int end = 0;
    for (int chunk = 0; chunk < 256; ++chunk) {
        const auto [first, last] = MetricsManager::get_chunk_range(chunk, 256, 1000);
        EXPECT_EQ(first, end);
        EXPECT_LT(first, last);
        end = last;
    }
    EXPECT_EQ(end, 1000);

    // Every valid spot is counted once, for every read; invalid ones nowhere.
    for (const int n : {0, 1, 10, 255, 256, 1000}) {
        MetricsManager metrics(config, fasta);
        metrics.open_lane(1);
        std::vector<Spot> spots = make_spots(n, 1);
        for (Spot& spot : spots)
            spot.valid = true;
        if (n > 0)
            spots[0].valid = false;
        metrics.process_spots(spots);
        for (int r = 1; r <= config.num_reads; ++r)
            EXPECT_EQ(metrics.sum_lane_read(r)->reads, static_cast<std::uint64_t>(n > 0 ? n - 1 : 0)) << n;
    }
}

TEST_F(MetricsManagerTest, PerThreadTalliesSumLikeOneTally)
{
    config.lane_samples[0] = {Sample{1, "S1", "AAAA", ""}, Sample{1, "S2", "CCCC", ""}};
    const std::vector<Spot> tile1 = make_spots(5000, 11);
    const std::vector<Spot> tile2 = make_spots(777, 12);

    std::vector<MetricTally> expected;
    for (int r = 1; r <= config.num_reads; ++r) {
        expected.emplace_back(config, fasta, 1, r);
        for (const auto* tile : {&tile1, &tile2})
            for (const Spot& spot : *tile)
                if (spot.valid)
                    expected.back().tally_spot(spot);
    }

    for (const int threads : {1, 8}) {
        MetricsManager metrics(config, fasta);
        metrics.open_lane(1);
        tbb::task_arena arena(threads);
        arena.execute([&] {
            metrics.process_spots(tile1);
            metrics.process_spots(tile2);
        });
        for (int r = 1; r <= config.num_reads; ++r) {
            SCOPED_TRACE("threads " + std::to_string(threads) + " read " + std::to_string(r));
            const auto total = metrics.sum_lane_read(r);
            EXPECT_EQ(total->lane, 1);
            EXPECT_EQ(total->read, r);
            expect_same_counts(*total, expected[static_cast<std::size_t>(r - 1)]);
        }

        // A closed lane's tallies are gone; the next lane starts from zero.
        metrics.close_lane();
        EXPECT_EQ(metrics.lane, 0);
        metrics.open_lane(2);
        EXPECT_EQ(metrics.sum_lane_read(1)->reads, 0u);
    }
}

// Lists ordered by count, ties in index-text order, at most 100 a lane ranked from 1.
TEST_F(MetricsManagerTest, FrequencyFilesListEveryLaneInTheMetricsFolder)
{
    fs::create_directories(config.input_folder / "Base_Calls");
    MetricsManager metrics(config, fasta);
    for (int lane = 1; lane <= 2; ++lane) {
        metrics.open_lane(lane);
        SampleFinder finder(config, lane);
        if (lane == 1) {
            finder.undetermined = {{"TG", 3}, {"GT", 7}, {"AC", 3}, {"CC", 3}};
            for (int i = 0; i < 150; ++i)
                finder.ambiguous.add("A" + std::to_string(1000 + i), static_cast<std::uint64_t>(i % 3 + 1));
        } else {
            finder.undetermined = {{"TT", 1}};
        }
        metrics.process_samples(finder);
        metrics.close_lane();
    }
    metrics.write_frequency_metrics();
    EXPECT_TRUE(log.lines().empty());

    const std::string undetermined = "FC1_Undetermined_SID_Frequency_Metrics.csv";
    EXPECT_EQ(read_whole_file(config.metrics_folder / undetermined),
              "Rank,Lane,SID,Count\n1,1,GT,7\n2,1,AC,3\n3,1,CC,3\n4,1,TG,3\n1,2,TT,1\n");
    EXPECT_EQ(read_whole_file(config.analysis_metrics_folder / undetermined),
              read_whole_file(config.metrics_folder / undetermined));

    const std::string ambiguous = "FC1_Ambiguous_SID_Frequency_Metrics.csv";
    // 150 texts, 50 each with the counts 1, 2 and 3: the 3s and then the 2s, in text order.
    std::string expected = "Rank,Lane,SID,Count\n";
    for (int j = 0; j < 100; ++j) {
        const int count = j < 50 ? 3 : 2;
        expected += std::to_string(j + 1) + ",1,A" + std::to_string(1000 + 3 * (j % 50) + count - 1) + "," +
                    std::to_string(count) + "\n";
    }
    EXPECT_EQ(read_whole_file(config.metrics_folder / ambiguous), expected);
    EXPECT_TRUE(fs::exists(config.analysis_metrics_folder / ambiguous));
    EXPECT_FALSE(fs::exists(config.metrics_folder / "L01" / undetermined));
}

TEST_F(MetricsManagerTest, FrequencyFileThatCannotBeWrittenIsNotCopied)
{
    const fs::path undetermined = config.metrics_folder / "FC1_Undetermined_SID_Frequency_Metrics.csv";
    MetricsManager metrics(config, fasta);
    metrics.undetermined_totals[0] = {{"AC", 3}};
    {
        // Room for the heading alone: the undetermined file's row does not fit.
        test_support::FileSizeLimit full(std::string("Rank,Lane,SID,Count\n").size());
        metrics.write_frequency_metrics();
    }

    EXPECT_EQ(log.lines(), std::vector<std::string>{"[ERROR] Cannot write metrics file: " + undetermined.string()});
    EXPECT_FALSE(fs::exists(config.analysis_metrics_folder / undetermined.filename()));
    EXPECT_TRUE(fs::exists(config.analysis_metrics_folder / "FC1_Ambiguous_SID_Frequency_Metrics.csv"));
}

TEST_F(MetricsManagerTest, LaneFilesGoToTheLaneFolderAndAreCopied)
{
    struct Case {
        bool new_structure;
        int lane;
        bool with_samples;
    };
    for (const Case& c : {Case{false, 1, false}, Case{true, 2, true}}) {
        SCOPED_TRACE("lane " + std::to_string(c.lane));
        test_support::TempDir out("metrics-manager-out");
        config.metrics_folder = out.path() / "metrics";
        config.analysis_metrics_folder = out.path() / "analysis";
        fs::create_directories(config.metrics_folder);
        fs::create_directories(config.analysis_metrics_folder);
        if (c.new_structure)
            fs::create_directories(config.input_folder / "Base_Calls");
        config.lane_samples[static_cast<std::size_t>(c.lane - 1)].clear();
        if (c.with_samples)
            config.lane_samples[static_cast<std::size_t>(c.lane - 1)] = {Sample{c.lane, "S1", "AAAA", ""}};

        MetricsManager metrics(config, fasta);
        metrics.open_lane(c.lane);
        metrics.process_spots(make_spots(50, 3));
        metrics.write_lane_metrics();
        metrics.close_lane();

        const fs::path folder = c.new_structure ? config.metrics_folder / "L02" : config.metrics_folder;
        for (int r = 1; r <= config.num_reads; ++r) {
            for (const std::string suffix : {"_Control_Library_Metrics.csv", "_Sample_Library_Metrics.csv"}) {
                EXPECT_TRUE(fs::is_regular_file(lane_file(folder, c.lane, r, suffix))) << suffix;
                EXPECT_EQ(read_whole_file(lane_file(config.analysis_metrics_folder, c.lane, r, suffix)),
                          read_whole_file(lane_file(folder, c.lane, r, suffix)));
            }
            const std::string tabled = "_Sample_Library_Metrics_tabled.csv";
            EXPECT_EQ(fs::exists(lane_file(folder, c.lane, r, tabled)), c.with_samples);
            EXPECT_EQ(fs::exists(lane_file(config.analysis_metrics_folder, c.lane, r, tabled)), c.with_samples);
        }
        for (const auto& line : log.lines())
            EXPECT_EQ(line.rfind("[INFO] ", 0), 0u) << line;
        fs::remove_all(config.input_folder / "Base_Calls");
    }
}

TEST_F(MetricsManagerTest, FilesThatCannotBeCreatedAreNotCopied)
{
    // A regular file stands where a folder of the metrics path should be.
    std::ofstream(dir.path() / "blocker") << "not a folder\n";
    config.metrics_folder = dir.path() / "blocker" / "metrics";
    const fs::path stale = lane_file(config.analysis_metrics_folder, 1, 1, "_Control_Library_Metrics.csv");
    std::ofstream(stale) << "stale\n";

    MetricsManager metrics(config, fasta);
    metrics.open_lane(1);
    metrics.process_spots(make_spots(20, 4));
    metrics.write_lane_metrics();
    metrics.close_lane();
    metrics.write_frequency_metrics();

    EXPECT_EQ(read_whole_file(stale), "stale\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(config.analysis_metrics_folder), fs::directory_iterator()), 1);
    const std::string frequency_error = "[ERROR] Cannot open metrics file for output: " +
                                        (config.metrics_folder / "FC1_Undetermined_SID_Frequency_Metrics.csv").string();
    int frequency_errors = 0;
    for (const std::string& line : log.lines()) {
        EXPECT_EQ(line.find("Cannot copy"), std::string::npos) << line;
        frequency_errors += line == frequency_error;
    }
    EXPECT_EQ(frequency_errors, 1);
}

TEST_F(MetricsManagerTest, OutputFileNames)
{
    struct Case {
        int lane, read;
        std::string expected;
    };
    config.num_reads = 3;
    for (const Case& c : {Case{1, 1, "FC1_L01_Read1_X.csv"}, Case{2, 2, "FC1_L02_Index1_X.csv"},
                          Case{1, 3, "FC1_L01_R3_X.csv"}, Case{12, 1, "FC1_L12_Read1_X.csv"}})
        EXPECT_EQ(MetricsManager::get_output_filename(config, c.lane, c.read, "_X.csv"), c.expected);
}

} // namespace
