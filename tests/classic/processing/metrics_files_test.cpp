#include "tests/classic/processing/classic_state.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Lane L02 only, reads R1 and R2, samples S1 (lane 2) and S2 (lane 1), classes LQC and
// Undefined. L02's R1 totals are filled by hand; its R2 saw no reads; the L01 entry holds
// other numbers, which must not show.
class MetricsFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateFastq& fastq = state.fastq;
        fastq.read_numbers = {1, 2};
        fastq.sample_names = {{"S1", true}, {"S2", true}, {"Undetermined", true}};
        fastq.control_classes = {{"LQC", true}, {"Undefined", true}};
        fastq.sample_sheet_local.index_data = {{2, "S1", "ACGT", "TTAA", "", ""}, {1, "S2", "GGGG", "CCCC", "", ""}};
        Counts c;
        c.reads = 2'000'000;
        c.sample_reads = 1'500'000;
        c.sample_bases = 150'000'000;
        c.control_reads = 500'000;
        c.control_bases = 50'000'000;
        c.sample_reads_by_id = {{"S1", 1'000'000}, {"Undetermined", 500'000}};
        c.sample_bases_by_id = {{"S1", 100'000'000}, {"Undetermined", 50'000'000}};
        c.sample_lengths = {{50, 1}, {100, 3}};
        c.sample_qualities = {{10, 1}, {20, 2}, {30, 17}};
        c.sample_lengths_by_id = {{"S1", {{100, 2}}}, {"Undetermined", {{75, 1}}}};
        c.sample_qualities_by_id = {{"S1", {{30, 4}}}, {"Undetermined", {{20, 1}}}};
        c.control_reads_by_class = {{"LQC", 400'000}, {"Undefined", 100'000}};
        c.quality_errors = {{35, {900, 1000}}};
        c.quality_errors_by_class = {{"LQC", {{35, {100, 100}}}}};
        Counts decoy;
        decoy.reads = 7;
        fastq.lane_counts = {{decoy, decoy}, {c, Counts{}}};
        lanes["L02"];
    }

    std::vector<std::string> lines(const std::string& name) const
    {
        const auto copied = test_support::lines_of(test_support::read_whole_file(dir.path() / "Metrics" / name));
        const auto written = test_support::lines_of(test_support::read_whole_file(dir.path() / "Logs/Analysis/Metrics" / name));
        EXPECT_EQ(copied, written) << name;
        return written;
    }

    test_support::TempDir dir;
    ClassicState state{dir.path().string()};
    CreateFastq::LaneTable lanes;
};

TEST_F(MetricsFiles, LinesOfEachFile)
{
    state.fastq.output_metrics(lanes);
    EXPECT_EQ(lines("FC_L02_R1_Control_Library_Metrics.csv").size(), 1 + 8 * 3u); // no O lines
    state.fastq.oscores = true;
    state.fastq.undetermined = {{{0, "AAAA"}, 5}, {{0, "CCCC"}, 3}, {{1, "AAAA"}, 5}, {{1, "GGGG"}, 7}};
    state.fastq.output_metrics(lanes);
    state.fastq.frequency_metrics();

    const std::string s1 = "FC_L02_R1_Sample_Library_Metrics.csv", s2 = "FC_L02_R2_Sample_Library_Metrics.csv",
                      c1 = "FC_L02_R1_Control_Library_Metrics.csv", t1 = "FC_L02_R1_Sample_Library_Metrics_tabled.csv",
                      f = "FC_Undetermined_SID_Frequency_Metrics.csv";
    const std::map<std::string, std::size_t> counts = {{s1, 1 + 8 * 4}, {c1, 1 + 10 * 3}, {t1, 3}, {f, 4}};
    for (const auto& [name, count] : counts)
        EXPECT_EQ(lines(name).size(), count) << name;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "Metrics" / "FC_L01_R1_Sample_Library_Metrics.csv"));

    struct Line {
        std::string file;
        std::size_t index;
        std::string text;
    };
    const std::string sample = "L02 R1 Sample Library ", control = "L02 R1 Control Library ";
    const std::vector<Line> expected = {
        {s1, 0, "Metric,Value"},
        {s1, 1, sample + "Reads Millions,1.500000"},
        {s1, 2, sample + "Reads Millions S1,1.000000"},
        {s1, 3, sample + "Reads Millions S2,0.000000"},
        {s1, 4, sample + "Reads Millions Undetermined,0.500000"},
        {s1, 5, sample + "Gb,0.15"},
        {s1, 9, sample + "P25 Read Length,50"},
        {s1, 12, sample + "P25 Read Length Undetermined,75"},
        {s1, 13, sample + "80% Min Q,30.00"},
        {s1, 17, sample + "90% Min Q,20.00"},
        {s1, 21, sample + "80% Q,30.00"},
        {s1, 25, sample + "90% Q,28.95"},
        {s1, 29, sample + "Fraction Of FASTQ Reads,0.75"},
        {s1, 30, sample + "Fraction Of FASTQ Reads S1,0.50"},
        {s2, 9, "L02 R2 Sample Library P25 Read Length,0"},
        {s2, 29, "L02 R2 Sample Library Fraction Of FASTQ Reads,0.00"}, // 0 / 0
        {c1, 1, control + "Reads Millions Total,0.500000"},
        {c1, 2, control + "Reads Millions LQC,0.400000"},
        {c1, 3, control + "Reads Millions Undefined,0.100000"},
        {c1, 22, control + "Fraction Of FASTQ Reads Total,0.25"},
        {c1, 23, control + "Fraction Of FASTQ Reads LQC,0.20"},
        {c1, 25, control + "80% O Total,10.00"},
        {c1, 26, control + "80% O LQC,70.00"},
        {c1, 27, control + "80% O Undefined,0.00"},
        {t1, 0, "SampleID,Index," + sample + "Reads Millions," + sample + "Gb," + sample + "P25 Read Length," +
                    sample + "80% Min Q," + sample + "90% Min Q," + sample + "80% Q," + sample + "90% Q," + sample +
                    "Fraction Of FASTQ Reads"},
        {t1, 1, "S1,ACGT:TTAA,1.000000,0.10,100,30.00,30.00,30.00,30.00,0.50"},
        {t1, 2, "Undetermined,:,0.500000,0.05,75,20.00,20.00,20.00,20.00,0.25"},
        {f, 0, "Rank,Lane,SID,Count"},
        {f, 1, "1,2,GGGG,7"},
        {f, 2, "2,2,AAAA,5"}, // of the two counts of 5 the later (lane, index) stays
        {f, 3, "3,1,CCCC,3"},
    };
    for (const Line& line : expected) {
        const auto text = lines(line.file);
        ASSERT_LT(line.index, text.size()) << line.file;
        EXPECT_EQ(text[line.index], line.text) << line.file << " line " << line.index;
    }
}

} // namespace
