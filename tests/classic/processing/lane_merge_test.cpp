#include "classic/framework/af_exception.h"
#include "common/gz_file.h"
#include "tests/classic/processing/classic_state.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

void write_gz(const fs::path& path, const std::string& text)
{
    GzFile file = gz_open(path.string(), "wb");
    ASSERT_NE(file, nullptr);
    gz_write(file, text.data(), static_cast<unsigned>(text.size()));
    ASSERT_EQ(gz_close(file), Gz_ok);
}

std::string read_gz(const fs::path& path)
{
    GzFile file = gz_open(path.string(), "rb");
    std::string text;
    char buffer[4096];
    for (int got; file != nullptr && (got = gz_read(file, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    EXPECT_EQ(gz_close(file), Gz_ok) << path;
    return text;
}

// One read R1, sample S1 in both lanes with two paired-read rows for read 1 (the last gives the
// suffix), every output's lane files under output/FASTQs.
class LaneMerge : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateFastq& fastq = state.fastq;
        fastq.read_numbers = {1};
        fastq.sample_sheet_local.index_data = {{1, "S1", "ACGT", "", "", ""}, {2, "S1", "ACGT", "", "", ""}};
        fastq.sample_sheet_local.paired_reads = {{1, "A"}, {1, "B"}};
        fastq.lane_demux.resize(2);
        for (auto& outputs : fastq.lane_demux)
            outputs[{0, 0}].read = 1;
        fs::create_directories(folder);
    }

    test_support::TempDir dir;
    ClassicState state{dir.path().string()};
    fs::path folder = dir.path() / "FASTQs";
};

TEST_F(LaneMerge, JoinsLanesAndKeepsThemWhenACopyFails)
{
    struct Case {
        std::string output; // the merged name without "FC_" and ".fastq.gz"
        std::optional<std::string> l01, l02;
        bool corrupt_l02;
        std::optional<std::string> merged;
    };
    const std::vector<Case> cases = {
        {"R1_Sample_Library_S1_B", "@a\n", "@b\n", false, "@a\n@b\n"},
        {"R1_Sample_Library_Undetermined", "@u\n", std::nullopt, false, "@u\n"},
        {"R1_Sample_Library", "@s\n", std::string(5000, 'x'), true, std::nullopt},
        {"R1_Control_Library", std::nullopt, std::nullopt, false, std::nullopt},
    };
    auto lane_file = [&](const std::string& output, const char* lane) {
        return folder / ("FC_" + std::string(lane) + "_" + output + ".fastq.gz");
    };
    for (const Case& c : cases) {
        if (c.l01)
            write_gz(lane_file(c.output, "L01"), *c.l01);
        if (c.l02)
            write_gz(lane_file(c.output, "L02"), *c.l02);
        if (c.corrupt_l02) // cut inside its member
            fs::resize_file(lane_file(c.output, "L02"), fs::file_size(lane_file(c.output, "L02")) / 2);
    }
    state.fastq.merge_lane_fastqs();

    EXPECT_EQ(state.log.errors, 1);
    for (const Case& c : cases) {
        const fs::path merged = folder / ("FC_" + c.output + ".fastq.gz");
        EXPECT_EQ(fs::exists(merged), c.merged.has_value()) << c.output;
        if (c.merged) {
            EXPECT_EQ(read_gz(merged), *c.merged) << c.output;
        }
        const bool kept = c.corrupt_l02;
        EXPECT_EQ(fs::exists(lane_file(c.output, "L01")), c.l01 && kept) << c.output;
        EXPECT_EQ(fs::exists(lane_file(c.output, "L02")), c.l02 && kept) << c.output;
    }
}

TEST_F(LaneMerge, MergedFileThatCannotBeOpenedEndsTheRun)
{
    write_gz(folder / "FC_L01_R1_Sample_Library.fastq.gz", "@s\n");
    fs::create_directories(folder / "FC_R1_Sample_Library.fastq.gz");
    EXPECT_THROW(state.fastq.merge_lane_fastqs(), AlgorithmFramework::AFException);
    EXPECT_EQ(state.log.errors, 1);
    EXPECT_TRUE(fs::exists(folder / "FC_L01_R1_Sample_Library.fastq.gz"));
}

} // namespace
