// The metrics files of a read that saw no reads: every quotient divides 0 by 0 and must print as
// a number. (The end-to-end runs check the counted reads of every metrics file.)
#include "tests/classic/classic_state.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(MetricsFiles, ReadWithoutReadsHasOnlyNumbers)
{
    test_support::TempDir dir;
    ClassicState state(dir.path().string());
    state.fastq.read_numbers = {1};
    state.fastq.sample_names = {{"S1", true}, {"Undetermined", true}};
    state.fastq.control_classes = {{"LQC", true}};
    state.fastq.oscores = true;
    state.fastq.lane_counts.assign(2, std::vector<Counts>(1));
    CreateFastq::LaneTable lanes = {{"L02", {}}};
    state.fastq.output_metrics(lanes);
    for (const char* name : {"FC_L02_R1_Sample_Library_Metrics.csv", "FC_L02_R1_Control_Library_Metrics.csv",
                             "FC_L02_R1_Sample_Library_Metrics_tabled.csv"}) {
        const std::string text = test_support::read_whole_file(dir.path() / "Metrics" / name);
        EXPECT_NE(text.find("Fraction Of FASTQ Reads"), std::string::npos) << name;
        EXPECT_EQ(text.find("nan"), std::string::npos) << name << "\n" << text;
    }
}

} // namespace
