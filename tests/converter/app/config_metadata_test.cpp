// The run identity taken into the configuration from the run metadata or the command line,
// and the identities refused because they would break paths, log lines or FASTQ headers.
#include "converter/app/config.h"
#include "tests/converter/app/config_test_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using config_test::LogCapture;
using config_test::write_file;

namespace {

std::string metadata_xml(const std::string& flowcell, const std::string& instrument, const std::string& run_folder)
{
    return "<Run>\n<Flow_Cell_ID>" + flowcell + "</Flow_Cell_ID>\n<Instrument_ID>" + instrument +
           "</Instrument_ID>\n<Run_Folder_Name>" + run_folder + "</Run_Folder_Name>\n</Run>\n";
}

class ConfigMetadata : public ::testing::Test {
protected:
    bool read(const std::string& flowcell_option = "")
    {
        config_.input_folder = dir_.path();
        config_.flowcell_id = flowcell_option;
        return config_.read_metadata();
    }
    void write_metadata(const std::string& text, const std::string& name = "metadata.xml")
    {
        write_file(dir_.path() / name, text);
    }

    test_support::TempDir dir_{"quillon-config-metadata"};
    LogCapture log_;
    Config config_;
};

TEST_F(ConfigMetadata, IdsComeFromTheMetadataFile)
{
    write_metadata(metadata_xml("FC100", "INS9", "20240101_INS9_0001_RUN42_FC100"));
    ASSERT_TRUE(read());
    EXPECT_EQ(config_.flowcell_id, "FC100");
    EXPECT_EQ(config_.instrument_id, "INS9");
    EXPECT_EQ(config_.run_id, "RUN42");
    EXPECT_EQ(log_.lines(), std::vector<std::string>{"[INFO] Loaded metadata file: \"metadata.xml\""});
}

TEST_F(ConfigMetadata, CommandLineFlowcellIdWinsButTheOtherIdsAreRead)
{
    write_metadata(metadata_xml("FC100", "INS9", "RUNX"));
    ASSERT_TRUE(read("FCX"));
    EXPECT_EQ(config_.flowcell_id, "FCX");
    EXPECT_EQ(config_.instrument_id, "INS9");
    EXPECT_EQ(config_.run_id, "RUNX");
}

TEST_F(ConfigMetadata, MissingElementsGiveEmptyIds)
{
    write_metadata("<Run></Run>");
    ASSERT_TRUE(read("FCX"));
    EXPECT_EQ(config_.flowcell_id, "FCX");
    EXPECT_EQ(config_.instrument_id, "");
    EXPECT_EQ(config_.run_id, "");
    const std::string missing = " in metadata file \"metadata.xml\": the FASTQ read names go without it";
    EXPECT_EQ(log_.lines(),
              (std::vector<std::string>{"[INFO] Loaded metadata file: \"metadata.xml\"",
                                        "[WARN] No instrument id" + missing, "[WARN] No run id" + missing}));
}

TEST_F(ConfigMetadata, FolderWithoutMetadataFails)
{
    EXPECT_FALSE(read());
    EXPECT_EQ(log_.lines(),
              std::vector<std::string>{"[ERROR] Metadata file could not be loaded from " + dir_.path().string()});
}

TEST_F(ConfigMetadata, ChosenFileThatCannotBeReadFails)
{
    fs::create_symlink(dir_.path() / "nowhere", dir_.path() / "metadata.xml");
    EXPECT_FALSE(read());
    EXPECT_EQ(log_.lines(), std::vector<std::string>{"[ERROR] Metadata file '\"metadata.xml\"' not loaded from " +
                                                     dir_.path().string()});
}

struct IdCase {
    std::string flowcell;   // in the metadata file
    std::string instrument; // in the metadata file
    std::string run_folder; // in the metadata file
    std::string option;     // --flowcellid, empty when not given
    std::string error;      // empty: accepted
};

class IdentityCheck : public ConfigMetadata, public ::testing::WithParamInterface<IdCase> {};

TEST_P(IdentityCheck, RefusesIdsThatBreakPathsOrLines)
{
    const IdCase& c = GetParam();
    write_metadata(metadata_xml(c.flowcell, c.instrument, c.run_folder));
    const bool ok = read(c.option);
    if (c.error.empty()) {
        EXPECT_TRUE(ok);
        return;
    }
    EXPECT_FALSE(ok);
    const auto lines = log_.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "[ERROR] " + c.error);
}

const std::string from_file = " from metadata file \"metadata.xml\"";
const std::string flowcell_rule =
    ": a flowcell id must not be \".\" or \"..\" nor contain '/', white space or control characters";
const std::string control_rule = ": it must not contain white space or control characters";

INSTANTIATE_TEST_SUITE_P(
    Ids, IdentityCheck,
    ::testing::Values(
        IdCase{"FC-1.a_b", "INS1", "A_B_C_R1", "", ""},
        // A blank would end every read name early.
        IdCase{"FC1", "INS 1", "R", "", "Invalid instrument id \"INS 1\"" + from_file + control_rule},
        IdCase{"FC1", "I", "A_B_C_R 1", "", "Invalid run id \"R 1\"" + from_file + control_rule},
        IdCase{"FC 1", "I", "R", "", "Invalid flowcell id \"FC 1\"" + from_file + flowcell_rule},
        // Without a flowcell id every run's files would be named alike.
        IdCase{"", "I", "R", "", "No flowcell id in metadata file \"metadata.xml\": give one with --flowcellid"},
        IdCase{"", "", "", "FC1", ""}, IdCase{"...", "I", "R", "", ""},
        IdCase{"..", "I", "R", "", "Invalid flowcell id \"..\"" + from_file + flowcell_rule},
        IdCase{".", "I", "R", "", "Invalid flowcell id \".\"" + from_file + flowcell_rule},
        IdCase{"a/b", "I", "R", "", "Invalid flowcell id \"a/b\"" + from_file + flowcell_rule},
        IdCase{"/abs", "I", "R", "", "Invalid flowcell id \"/abs\"" + from_file + flowcell_rule},
        IdCase{"\nFC1\n", "I", "R", "", "Invalid flowcell id \"\\x0aFC1\\x0a\"" + from_file + flowcell_rule},
        IdCase{std::string("F\0C", 3), "I", "R", "", "Invalid flowcell id \"F\\x00C\"" + from_file + flowcell_rule},
        IdCase{"FC1", "I", "R", "../up",
               "Invalid flowcell id \"../up\" from the command line (--flowcellid)" + flowcell_rule},
        // The command line's id replaces a bad one of the metadata file.
        IdCase{"a/b", "I", "R", "FC1", ""},
        IdCase{"FC1", "\n INS\n", "R", "", "Invalid instrument id \"\\x0a INS\\x0a\"" + from_file + control_rule},
        IdCase{"FC1", "I", "RUN\r", "", "Invalid run id \"RUN\\x0d\"" + from_file + control_rule},
        IdCase{"FC1", "I", "a_b_c_R\tX_e", "", "Invalid run id \"R\\x09X\"" + from_file + control_rule}));

} // namespace
