// Choice and reading of the run metadata file.
#include "converter/app/metadata.h"

#include "converter/app/logger.h"

#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const Warn_text = "[WARN] Multiple tagged metadata files found. Specify a flowcell id.";

// A fresh run folder and a logger writing into a string for each test.
class MetadataTest : public ::testing::Test {
protected:
    fs::path write(const std::string& name, const std::string& text = "")
    {
        std::ofstream(folder_ / name, std::ios::binary) << text;
        return folder_ / name;
    }
    bool warned() const { return log_.text().find(Warn_text) != std::string::npos; }

    test_support::TempDir dir_{"quillon-metadata"};
    const fs::path folder_ = dir_.path();
    test_support::LogCapture log_;
};

struct ChoiceCase {
    std::vector<std::string> files;
    std::vector<std::string> folders;
    std::string flowcell_id;
    std::string chosen; // empty: no file
    bool warn;
};

class MetadataChoiceTest : public MetadataTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(MetadataChoiceTest, ChoosesByName)
{
    const ChoiceCase& c = GetParam();
    for (const std::string& name : c.files)
        write(name, "<Flow_Cell_ID>" + name + "</Flow_Cell_ID>");
    for (const std::string& name : c.folders)
        fs::create_directories(folder_ / name);

    const fs::path chosen = find_metadata_file(c.flowcell_id, folder_);
    EXPECT_EQ(chosen, c.chosen.empty() ? fs::path() : folder_ / c.chosen);
    EXPECT_EQ(warned(), c.warn) << log_.text();
}

INSTANTIATE_TEST_SUITE_P(
    Table, MetadataChoiceTest,
    ::testing::Values(
        // One tagged file wins over the untagged one.
        ChoiceCase{{"metadata.xml", "FC1_metadata.xml"}, {}, "", "FC1_metadata.xml", false},
        // Two tagged files: the WARN line, and the untagged file wins.
        ChoiceCase{{"run_metadata.xml", "FCA_metadata.xml", "FCB_metadata.xml"}, {}, "", "run_metadata.xml", true},
        // A flowcell id that begins one tagged name picks it, without a warning.
        ChoiceCase{{"run_metadata.xml", "FCA_metadata.xml", "FCB_metadata.xml"}, {}, "FCB", "FCB_metadata.xml", false},
        // An id that begins no name leaves the untagged file; matching is case-sensitive.
        ChoiceCase{{"run_metadata.xml", "fca_metadata.xml"}, {}, "FCA", "run_metadata.xml", false},
        // A name shorter than the id never matches.
        ChoiceCase{{"FC_metadata.xml"}, {}, "FC_metadata.xml_longer", "", false},
        // "_metadata.xml" alone, other endings and other cases are no candidates.
        ChoiceCase{{"_metadata.xml", "xmetadata.xml", "METADATA.XML", "notes.txt"}, {}, "", "", false},
        ChoiceCase{{"_metadata.xml", "metadata.xml"}, {}, "", "metadata.xml", false},
        // Folders are skipped, whatever their names; sub-folders are not searched.
        ChoiceCase{{}, {"metadata.xml", "FC9_metadata.xml"}, "", "", false},
        ChoiceCase{{"run_metadata.xml"}, {"FC9_metadata.xml"}, "", "run_metadata.xml", false},
        ChoiceCase{{}, {"sub"}, "", "", false}));

TEST_F(MetadataTest, TwoTaggedFilesAloneWarnAndGiveOneOfThem)
{
    write("FCA_metadata.xml");
    write("FCB_metadata.xml");
    const fs::path chosen = find_metadata_file("", folder_);
    EXPECT_TRUE(chosen == folder_ / "FCA_metadata.xml" || chosen == folder_ / "FCB_metadata.xml");
    EXPECT_TRUE(warned());
}

TEST_F(MetadataTest, FolderFileAndLinkToFolderAreSkipped)
{
    fs::create_directories(folder_ / "sub");
    write("sub/metadata.xml");
    fs::create_directory_symlink(folder_ / "sub", folder_ / "metadata.xml");
    EXPECT_EQ(find_metadata_file("", folder_), fs::path());
}

TEST_F(MetadataTest, ReadFillsTheIdsFromTheChosenFile)
{
    write("run_metadata.xml", "<Run>\n  <Flow_Cell_ID>FC77</Flow_Cell_ID>\n"
                              "  <Instrument_ID>INS3</Instrument_ID>\n"
                              "  <Run_Folder_Name>20240101_INS3_0042_R9_FC77</Run_Folder_Name>\n</Run>\n");
    Metadata metadata;
    ASSERT_TRUE(metadata.read(folder_, ""));
    EXPECT_EQ(metadata.metadata_file, folder_ / "run_metadata.xml");
    EXPECT_EQ(metadata.flowcell_id, "FC77");
    EXPECT_EQ(metadata.instrument_id, "INS3");
    EXPECT_EQ(metadata.run_id, "R9");
}

TEST_F(MetadataTest, NoFileKeepsTheDefaults)
{
    for (const fs::path& folder : {folder_, folder_ / "missing"}) {
        Metadata metadata;
        EXPECT_FALSE(metadata.read(folder, ""));
        EXPECT_TRUE(metadata.metadata_file.empty());
        EXPECT_EQ(metadata.flowcell_id, Default_flowcell_id);
        EXPECT_EQ(metadata.instrument_id, Default_instrument_id);
        EXPECT_EQ(metadata.run_id, Default_run_id);
    }
}

TEST_F(MetadataTest, MissingElementsAndAnEmptyFileGiveEmptyIds)
{
    for (const std::string& text : {std::string(), std::string("<Other>x</Other>")}) {
        Metadata metadata;
        ASSERT_TRUE(metadata.parse_metadata(write("metadata.xml", text)));
        EXPECT_EQ(metadata.flowcell_id, "");
        EXPECT_EQ(metadata.instrument_id, "");
        EXPECT_EQ(metadata.run_id, "");
    }
}

TEST_F(MetadataTest, RunIdIsTheFourthFieldOfTheRunFolderName)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"A_B_C_D_E", "D"},   {"A_B", "A_B"},    {"A__C_D", "D"}, {"A_B_C", "A_B_C"},
        {"A_B_C_", "A_B_C_"}, {"A_B_C_D_", "D"}, {"_B_C_D", "D"}, {"A_B__", "A_B__"},
        {"A___", "A___"},     {"A____", ""},     {"", ""}};
    for (const auto& [name, run_id] : cases) {
        Metadata metadata;
        ASSERT_TRUE(metadata.parse_metadata(write("metadata.xml", "<Run_Folder_Name>" + name + "</Run_Folder_Name>")));
        EXPECT_EQ(metadata.run_id, run_id) << name;
    }
}

TEST(FindXmlTag, TakesTheTextBetweenTheFirstOpeningAndTheFirstClosing)
{
    struct Case {
        std::string xml;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"<a><T>x y</T></a>", "x y"},
        {"<T>\n  X \r\n</T>", "\n  X \r\n"}, // blanks and line breaks are kept
        {"<T></T>", ""},
        {"<T>one</T><T>two</T>", "one"},
        {"<T>a<T>b</T>", "a<T>b"},
        {"</T>a<T>b</T>", ""}, // closing before opening
        {"<T>open only", ""},
        {"closing only</T>", ""},
        {"<t>case</t>", ""},
        {"<T_X>longer</T_X>", ""},
        {"<T>&amp;</T>", "&amp;"}, // no unescaping
    };
    for (const Case& c : cases)
        EXPECT_EQ(find_xml_tag(c.xml, "T"), c.text) << c.xml;
}

TEST_F(MetadataTest, InstrumentIdClosedBeforeOpenedIsEmpty)
{
    Metadata metadata;
    ASSERT_TRUE(metadata.parse_metadata(
        write("metadata.xml", "<Flow_Cell_ID>F</Flow_Cell_ID></Instrument_ID>I<Instrument_ID>")));
    EXPECT_EQ(metadata.flowcell_id, "F");
    EXPECT_EQ(metadata.instrument_id, "");
}

TEST_F(MetadataTest, BrokenLinkAndFolderAreNotReadable)
{
    fs::create_symlink(folder_ / "nowhere", folder_ / "metadata.xml");
    Metadata metadata;
    EXPECT_FALSE(metadata.read(folder_, ""));
    EXPECT_EQ(metadata.metadata_file, folder_ / "metadata.xml");
    EXPECT_EQ(metadata.flowcell_id, Default_flowcell_id);

    fs::create_directories(folder_ / "dir");
    EXPECT_FALSE(metadata.parse_metadata(folder_ / "dir"));
    EXPECT_FALSE(metadata.parse_metadata(folder_ / "missing.xml"));
    EXPECT_EQ(metadata.flowcell_id, Default_flowcell_id);
}

TEST_F(MetadataTest, FifoIsNotOpened)
{
    const fs::path fifo = folder_ / "metadata.xml";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Metadata metadata;
    auto result = std::async(std::launch::async, [&] { return metadata.read(folder_, ""); });
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Release a reader blocked in open: a writer that comes and goes gives it end of file.
        const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
        result.wait();
        FAIL() << "reading a FIFO blocked";
    }
    EXPECT_FALSE(result.get());
    EXPECT_EQ(metadata.metadata_file, fifo);
}

} // namespace
