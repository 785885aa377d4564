// The lane merge and the copy of gzip FASTQ data under it: a lane file goes only once its whole
// text is in the merged file.
#include "classic/framework/af_exception.h"
#include "classic/framework/utilities.h"
#include "tests/classic/classic_state.h"
#include "tests/classic/processing/classic_fastq_expectations.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using classic_e2e::inflated;

// A run of one read and sample S1 with two paired-read rows for it (the last gives the suffix);
// lane files are written under output/FASTQs, cut inside their gzip member when asked.
class LaneMerge : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateFastq& fastq = state.fastq;
        fastq.read_numbers = {1};
        fastq.sample_sheet_local.index_data = {{1, "S1", "ACGT", "", "", ""}};
        fastq.sample_sheet_local.paired_reads = {{1, "A"}, {1, "B"}};
        fastq.lane_demux.resize(2);
        fastq.lane_demux[0][{0, 0}].read = 1;
        fs::create_directories(folder);
    }

    fs::path write_gz(const std::string& name, const std::string& text, bool cut = false)
    {
        const fs::path path = folder / name;
        GzFile file = gz_open(path.string(), "wb");
        gz_write(file, text.data(), static_cast<unsigned>(text.size()));
        EXPECT_EQ(gz_close(file), Gz_ok);
        if (cut)
            fs::resize_file(path, fs::file_size(path) / 2);
        return path;
    }

    test_support::TempDir dir;
    ClassicState state{dir.path().string()};
    fs::path folder = dir.path() / "FASTQs";
};

TEST_F(LaneMerge, JoinsLanesAndKeepsThemWhenACopyFails)
{
    const fs::path l01 = write_gz("FC_L01_R1_Sample_Library.fastq.gz", "@s\n");
    const fs::path l02 = write_gz("FC_L02_R1_Sample_Library.fastq.gz", std::string(5000, 'x'), true);
    // The other outputs are merged, one of them without an L02 file.
    write_gz("FC_L01_R1_Sample_Library_S1_B.fastq.gz", "@a\n");
    write_gz("FC_L02_R1_Sample_Library_S1_B.fastq.gz", "@b\n");
    write_gz("FC_L01_R1_Sample_Library_Undetermined.fastq.gz", "@u\n");
    state.fastq.merge_lane_fastqs();
    EXPECT_EQ(state.log.errors, 1);
    EXPECT_TRUE(fs::exists(l01) && fs::exists(l02));
    EXPECT_FALSE(fs::exists(folder / "FC_R1_Sample_Library.fastq.gz"));
    EXPECT_EQ(inflated(folder / "FC_R1_Sample_Library_S1_B.fastq.gz"), "@a\n@b\n");
    EXPECT_EQ(inflated(folder / "FC_R1_Sample_Library_Undetermined.fastq.gz"), "@u\n");
    EXPECT_FALSE(fs::exists(folder / "FC_L01_R1_Sample_Library_Undetermined.fastq.gz"));
}

TEST_F(LaneMerge, MergedFileThatCannotBeOpenedEndsTheRun)
{
    const fs::path l01 = write_gz("FC_L01_R1_Sample_Library.fastq.gz", "@s\n");
    fs::create_directories(folder / "FC_R1_Sample_Library.fastq.gz");
    EXPECT_THROW(state.fastq.merge_lane_fastqs(), AlgorithmFramework::AFException);
    EXPECT_EQ(state.log.errors, 1);
    EXPECT_TRUE(fs::exists(l01));
}

TEST_F(LaneMerge, CopyAppendsGoodSourcesAndKeepsBadOnes)
{
    const fs::path good = write_gz("good.fastq.gz", "@r\nACGT\n+\nIIII\n");
    const fs::path cut = write_gz("cut.fastq.gz", std::string(5000, 'x'), true);
    const fs::path merged = folder / "merged.fastq.gz";
    GzFile output = gz_open(merged.string(), "wb");
    EXPECT_TRUE(classic::copy_fastq_data(output, (folder / "missing.fastq.gz").string()));
    EXPECT_TRUE(classic::copy_fastq_data(output, good.string()));
    EXPECT_FALSE(fs::exists(good));
    EXPECT_FALSE(classic::copy_fastq_data(output, cut.string()));
    EXPECT_TRUE(fs::exists(cut));
    ASSERT_EQ(gz_close(output), Gz_ok);
    EXPECT_EQ(inflated(merged).substr(0, 15), "@r\nACGT\n+\nIIII\n");
}

} // namespace
