// FASTQ records of a bundle, the record window, file names. The members a bundle compresses
// to are checked on disk by the writer's tests.
#include "converter/pipeline/fastq_spot_bundle.h"

#include "converter/app/config.h"
#include "converter/pipeline/spot.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Bases as letters ('N' a no-call), every call of the given quality.
void set_read(SpotRead& read, const std::string& bases, int quality, short x, short y)
{
    std::vector<unsigned char> calls;
    for (char base : bases) {
        const int code = static_cast<int>(std::string("ACGT").find(base));
        calls.push_back(base == 'N' ? 0 : static_cast<unsigned char>(quality * 4 + code));
    }
    read.init(static_cast<int>(calls.size()), calls.data(), x, y);
}

class FastqSpotBundleTest : public ::testing::Test {
protected:
    FastqSpotBundleTest()
    {
        config.instrument_id = "INS";
        config.run_id = "7";
        config.flowcell_id = "FC1";
        config.num_reads = 2;
    }

    Spot& add_spot(const std::string& read2_bases, short x = 1, short y = 2, std::string umi = "")
    {
        auto& spot = *spots.emplace_back(std::make_unique<Spot>());
        spot.init(2);
        set_read(spot.reads[0], "A", 30, x, y);
        set_read(spot.reads[1], read2_bases, 30, x, y);
        spot.umi = std::move(umi);
        return spot;
    }

    // Formats every spot added so far as read 2 of lane 1, surface 1, tile 5.
    std::string format(FastqSpotBundle& bundle)
    {
        std::vector<Spot*> pointers;
        for (auto& spot : spots)
            pointers.push_back(spot.get());
        bundle.set_spots(pointers, 1, 1, 5, 2);
        bundle.format();
        return std::string(bundle.formatted.data(), bundle.formatted_size);
    }

    Config config;
    std::vector<std::unique_ptr<Spot>> spots;
};

TEST_F(FastqSpotBundleTest, FormatsRecords)
{
    struct Case {
        std::string bases;
        short x, y;
        std::string umi;
        bool far_secondary;
        std::string expected;
    } cases[] = {
        {"ACGT", 1, 2, "", false, "@INS:7:FC1:1:01005:1:2 2:N:0\nACGT\n+\n????\n"},
        {"ACNT", -12, -32768, "TTAG", true, "@INS:7:FC1:1:01005:-12:-32768:TTAG 2:Y:0\nACNT\n+\n?\?!?\n"},
        {"", 300, 0, "", false, "@INS:7:FC1:1:01005:300:0 2:N:0\nN\n+\n!\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        spots.clear();
        add_spot(c.bases, c.x, c.y, c.umi).reads[1].far_secondary = c.far_secondary;
        FastqSpotBundle bundle(config);
        EXPECT_EQ(format(bundle), c.expected);
        EXPECT_EQ(bundle.spots.front(), nullptr);
    }
}

TEST_F(FastqSpotBundleTest, ConcatenatesRecordsAcrossBufferGrowth)
{
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        add_spot(std::string(static_cast<std::size_t>(i % 200), 'G'), static_cast<short>(i));
        expected += "@INS:7:FC1:1:01005:" + std::to_string(i) + ":2 2:N:0\n" +
                    std::string(static_cast<std::size_t>(i % 200), 'G') + "\n+\n" +
                    std::string(static_cast<std::size_t>(i % 200), '?') + "\n";
        if (i % 200 == 0)
            expected.replace(expected.size() - 4, 4, "N\n+\n!\n"); // empty read
    }
    FastqSpotBundle bundle(config);
    EXPECT_EQ(format(bundle), expected);
    // A pooled bundle reused for fewer spots formats only those.
    spots.resize(1);
    bundle.clear_spots();
    EXPECT_EQ(format(bundle), "@INS:7:FC1:1:01005:0:2 2:N:0\nN\n+\n!\n");
}

TEST_F(FastqSpotBundleTest, TileTagHasRoomForLargeNumbers)
{
    add_spot("A");
    FastqSpotBundle bundle(config);
    bundle.set_spots({spots[0].get()}, 3, 123, 45678, 1);
    EXPECT_EQ(bundle.tile, "12345678");
    bundle.format();
    EXPECT_EQ(std::string(bundle.formatted.data(), bundle.formatted_size),
              "@INS:7:FC1:3:12345678:1:2 1:N:0\nA\n+\n?\n");
}

// The header without UMI is 29 bytes; a UMI of k letters adds k + 1, 490 bases add 984.
TEST_F(FastqSpotBundleTest, RecordMustFitItsWindow)
{
    const std::string bases(490, 'C');
    struct Case {
        std::size_t umi;
        std::string instrument;
        bool fits;
    } cases[] = {
        {10, "INS", true},                  // exactly 1024 bytes
        {11, "INS", false},                 // 1025
        {0, std::string(5000, 'I'), false}, // a header alone longer than the window
        {2000, "INS", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.umi);
        spots.clear();
        config.instrument_id = c.instrument;
        add_spot(bases, 1, 2, std::string(c.umi, 'A'));
        FastqSpotBundle bundle(config);
        if (c.fits) {
            EXPECT_EQ(format(bundle).size(), FastqSpotBundle::Window_size);
            continue;
        }
        try {
            format(bundle);
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "seq buffer is out of bounds: seq_size= 490");
        }
    }
}

TEST_F(FastqSpotBundleTest, NamesFiles)
{
    config.R1_range.read = 1;
    config.I1_range.read = 2;
    config.R2_range.read = 4;
    struct Case {
        bool merge;
        int lane, read;
        std::string sample;
        std::string expected;
    } cases[] = {
        {false, 1, 1, "S7", "FC1_L01_Read1_Sample_Library_S7.fastq"},
        {false, 2, 2, "Undetermined", "FC1_L02_Index1_Sample_Library_Undetermined.fastq"},
        {false, 1, 4, "", "FC1_L01_Read2_Sample_Library.fastq"},
        {true, 2, 3, "S7", "FC1_R3_Sample_Library_S7.fastq"},
    };
    for (const Case& c : cases) {
        config.MergeLanes = c.merge;
        EXPECT_EQ(FastqSpotBundle::get_sample_fastq_filename(config, c.lane, c.read, c.sample), c.expected);
    }
    config.MergeLanes = false;
    EXPECT_EQ(FastqSpotBundle::get_control_fastq_filename(config, 1, 1), "FC1_L01_Read1_Control_Library.fastq");
    config.MergeLanes = true;
    EXPECT_EQ(FastqSpotBundle::get_control_fastq_filename(config, 2, 1), "FC1_Read1_Control_Library.fastq");
}

} // namespace
