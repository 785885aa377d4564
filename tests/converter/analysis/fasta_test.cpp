#include "converter/analysis/fasta.h"

#include "converter/app/config.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

class FastaTest : public ::testing::Test {
protected:
    std::string write(const std::string& content)
    {
        const auto path = dir.path() / "controls.fa";
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    test_support::TempDir dir;
    test_support::LogCapture log;
    Config config;
    Fasta fasta{config};
};

TEST_F(FastaTest, ReadsAdaptersAndKeptControls)
{
    const std::string path = write("\n"
                                   ">adapter_R1\n"
                                   "AGATCGGAAG \r\n"
                                   "  >Adaptor1\t\n"
                                   "ACGTACGTACGTACGTAC\n"
                                   ">Ctl7|ControlClass:LQC\n"
                                   "TTGCA\n"
                                   ">Ctl8|ControlClass:lqc\n"
                                   "GGGG\n"
                                   ">Ctl9|ControlClass:SQC\n"
                                   "GGGG\n"
                                   ">Ctl10|ControlClass:Undefined\n"
                                   "\n"
                                   ">ADAPTER\n"
                                   "CCC\n"
                                   "\n\n");
    ASSERT_TRUE(fasta.read(path));
    EXPECT_TRUE(log.lines().empty());

    ASSERT_EQ(fasta.adapters.size(), 2u);
    EXPECT_EQ(fasta.adapters[0].name, "adapter_R1");
    EXPECT_EQ(fasta.adapters[0].sequence, "AGATCGGAAG");
    std::string letters;
    fasta.adapters[0].bases.seq_to_string(letters);
    EXPECT_EQ(letters, "AGATCGGAAG");
    EXPECT_EQ(fasta.adapters[1].name, "ADAPTER");

    ASSERT_EQ(fasta.controls.size(), 3u);
    EXPECT_EQ(fasta.controls[0].name, "Adaptor1");
    EXPECT_EQ(fasta.controls[0].control_class, std::make_pair(ControlClass::Undefined, std::string("Undefined")));
    EXPECT_EQ(fasta.controls[1].name, "Ctl7");
    EXPECT_EQ(fasta.controls[1].sequence, "TTGCA");
    EXPECT_EQ(fasta.controls[1].control_class, std::make_pair(ControlClass::LQC, std::string("LQC")));
    EXPECT_EQ(fasta.controls[2].name, "Ctl10");
    EXPECT_EQ(fasta.controls[2].sequence, "");
    EXPECT_EQ(fasta.get_num_control_classes(), 1);

    // Forward sequence and reverse complement as references 0 and 1; none for an empty sequence.
    const Index& index = fasta.controls[0].index;
    ASSERT_EQ(index.refs.size(), 2u);
    EXPECT_EQ(index.minimizers.max_length, 18);
    index.refs[1]->seq_to_string(letters);
    EXPECT_EQ(letters, "GTACGTACGTACGTACGT");
    EXPECT_FALSE(index.hits.empty());
    EXPECT_TRUE(fasta.controls[2].index.refs.empty());
    EXPECT_TRUE(fasta.controls[2].index.hits.empty());
}

TEST_F(FastaTest, BlankFileAndUndefinedControlsOnly)
{
    ASSERT_TRUE(fasta.read(write(" \n\t\n\r\n")));
    EXPECT_TRUE(fasta.adapters.empty());
    EXPECT_TRUE(fasta.controls.empty());
    ASSERT_TRUE(fasta.read(write(">a\nACGT\n>b|ControlClass:Undefined\nACGT")));
    EXPECT_EQ(fasta.controls.size(), 2u);
    EXPECT_EQ(fasta.get_num_control_classes(), 0);
}

TEST_F(FastaTest, FormatErrorsGiveLineNumbers)
{
    struct Case {
        std::string content;
        std::string message; // after the path
        std::size_t controls_kept;
    };
    const std::vector<Case> cases = {
        {"ACGT\n", ":2 Invalid file format; expecting '>'", 0},
        {"\n\nACGT\n", ":4 Invalid file format; expecting '>'", 0},
        {">c1\nAC\nTT\n", ":4 Invalid file format; expecting '>'", 1},
        {">c1\n", ":2 Invalid file format; expecting sequence", 0},
        {"\n>c1\nAC\n\n>c2", ":6 Invalid file format; expecting sequence", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        test_support::LogCapture capture;
        Fasta fresh(config);
        const std::string path = write(c.content);
        EXPECT_FALSE(fresh.read(path));
        EXPECT_EQ(capture.lines(), std::vector<std::string>{"[ERROR] " + path + c.message});
        EXPECT_EQ(fresh.controls.size(), c.controls_kept);
    }
}

TEST_F(FastaTest, MissingFileOrFolderIsNotRead)
{
    EXPECT_FALSE(fasta.read(dir.path() / "missing.fa"));
    EXPECT_FALSE(fasta.read(dir.path()));
    EXPECT_TRUE(log.lines().empty());
}

} // namespace
