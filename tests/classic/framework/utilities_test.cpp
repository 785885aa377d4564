// The classic helpers' edge cases: text cleaning, complements, the zero-border edit distance and
// its banded test, the histogram statistics and the run metadata.
#include "classic/framework/histograms.h"
#include "classic/framework/utilities.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Bytes of 0x80 and above are neither blanks nor letters to the character tests.
TEST(ClassicText, TrimAndComplementsTakeAnyByte)
{
    std::string text = " A\tC \x7F"
                       "G\xC3\xA9T\r\n";
    EXPECT_EQ(classic::trim(text), "ACGT");
    EXPECT_EQ(classic::str_tolower("AbC\xC3"), "abc\xC3");
    EXPECT_EQ(classic::complement('a'), 'T');
    for (char other : {'N', 'U', '-', '\xE9'})
        EXPECT_EQ(classic::complement(other), 'N');
    std::string odd = "ACGTa";
    classic::reverse_complement(odd);
    EXPECT_EQ(odd, "TACGT");
}

TEST(ClassicText, LevenshteinDistanceHasZeroBorders)
{
    std::vector<std::uint64_t> scratch;
    auto distance = [&scratch](const std::string& a, const std::string& b) {
        return classic::LevenshteinDistance(a.data(), a.size(), b.data(), b.size(), scratch);
    };
    EXPECT_EQ(distance("ACGT", "AGGT"), 1u);
    EXPECT_EQ(distance("ACGT", "ACGA"), 1u);
    EXPECT_EQ(distance("ACGT", "TTACGT"), 0u); // leading letters skipped for free
    EXPECT_EQ(distance("TTACGT", "ACGT"), 0u);
    EXPECT_EQ(distance("", "ACGT"), 0u);
    EXPECT_EQ(distance("ACGTAC", "ACGTTT"), 2u);
}

// The banded test from the texts' ends answers as the whole table does, for every limit.
TEST(ClassicText, WithinDistanceAgreesWithTheWholeTable)
{
    std::mt19937 random(7);
    std::vector<std::uint64_t> table;
    std::vector<std::uint64_t> band;
    for (int trial = 0; trial < 20000; ++trial) {
        std::string a(random() % 9, 'A');
        std::string b(random() % 9, 'A');
        for (char& letter : a)
            letter = "ACG"[random() % 3];
        for (char& letter : b)
            letter = "ACG"[random() % 3];
        const std::uint64_t distance = classic::LevenshteinDistance(a.data(), a.size(), b.data(), b.size(), table);
        for (std::uint64_t limit = 0; limit <= 3; ++limit)
            ASSERT_EQ(classic::within_distance(a.data(), a.size(), b.data(), b.size(), limit, band), distance <= limit)
                << a << " " << b << " " << limit;
    }
}

TEST(ClassicHistograms, QuantilesMeansAndErrorScores)
{
    const classic::QualityHistogram q = {{20, 1}, {30, 3}};
    EXPECT_EQ(classic::get_min_q(q, 0.5), 30);
    EXPECT_EQ(classic::get_min_q(q, 0.25), 20);
    EXPECT_EQ(classic::get_min_q({}, 0.5), 0);
    EXPECT_DOUBLE_EQ(classic::get_q(q, 0.1), 27.5); // both keys: (1 x 20 + 3 x 30) / 4
    EXPECT_DOUBLE_EQ(classic::get_q(q, 0.5), 30);
    EXPECT_EQ(classic::get_rl({{50, 2}, {100, 2}}, 0), 50);
    EXPECT_EQ(classic::get_rl({{50, 2}, {100, 2}}, 0.75), 100);
    EXPECT_EQ(classic::get_o({{30, {10, 10}}}, 0.1), 70.0);
    EXPECT_NEAR(classic::get_o({{30, {99, 100}}}, 0.1), 20.0, 1e-9);
    classic::LengthHistogram lengths = {{7, 7}};
    classic::load_counts(std::vector<short>{3, 5, 3}, lengths);
    EXPECT_EQ(lengths, (classic::LengthHistogram{{3, 2}, {5, 1}}));
}

TEST(ClassicMetadata, PicksTheFileAndReadsItsElements)
{
    test_support::TempDir dir;
    const std::string folder = dir.path().string();
    std::string instrument, run, flowcell;
    EXPECT_FALSE(classic::parse_metadata(folder, "FC1", instrument, run, flowcell));

    std::ofstream(dir.path() / "run_metadata.xml") << "<Flow_Cell_ID>OTHER</Flow_Cell_ID>";
    std::ofstream(dir.path() / "metadata.xml")
        << "<Instrument_ID>INS7</Instrument_ID><Run_Folder_Name>a_b_c</Run_Folder_Name>";
    ASSERT_TRUE(classic::parse_metadata(folder, "FC1", instrument, run, flowcell));
    EXPECT_EQ(instrument, "INS7");
    EXPECT_EQ(flowcell, "FCLID"); // metadata.xml comes before run_metadata.xml; missing keeps default
    EXPECT_EQ(run, "a_b_c");      // fewer than four fields: whole

    std::ofstream(dir.path() / "FC1_metadata.xml")
        << "<Flow_Cell_ID>FC1</Flow_Cell_ID><Run_Folder_Name>20261209_INS7_0042_FC1</Run_Folder_Name>"
           "<Instrument_ID>open";
    ASSERT_TRUE(classic::parse_metadata(folder, "FC1", instrument, run, flowcell));
    EXPECT_EQ(flowcell, "FC1");
    EXPECT_EQ(run, "FC1");
    EXPECT_EQ(instrument, "INSID"); // no closing text

    // A folder named like the file exists but cannot be read: the defaults.
    fs::create_directory(dir.path() / "tagged");
    fs::create_directory(dir.path() / "tagged" / "metadata.xml");
    ASSERT_TRUE(classic::parse_metadata((dir.path() / "tagged").string(), "", instrument, run, flowcell));
    EXPECT_EQ(instrument + run + flowcell, "INSID1FCLID");
}

} // namespace
