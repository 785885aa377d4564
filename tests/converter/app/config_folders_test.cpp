// Checks and creation of the input and output folders, and resolution of the controls file,
// sample sheet and design sheet.
#include "converter/app/config.h"
#include "converter/app/file_checks.h"
#include "tests/converter/app/config_test_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using config_test::LogCapture;
using config_test::write_file;

namespace {

class FolderChecks : public ::testing::Test {
protected:
    const fs::path& root() const { return dir_.path(); }
    std::vector<std::string> errors() const
    {
        std::vector<std::string> result;
        for (const auto& line : log_.lines())
            if (line.rfind("[ERROR] ", 0) == 0)
                result.push_back(line.substr(8));
        return result;
    }

    test_support::TempDir dir_{"quillon-config-folders"};
    LogCapture log_;
};

TEST(QuotedPath, EscapesQuotesAndBackslashes)
{
    EXPECT_EQ(quoted_path("/run/a b"), "\"/run/a b\"");
    EXPECT_EQ(quoted_path(R"(a"b\c)"), R"("a\"b\\c")");
    EXPECT_EQ(quoted_path(""), "\"\"");
}

TEST_F(FolderChecks, ValidateFolderFindsCreatesAndRefuses)
{
    const fs::path missing = root() / "missing";
    EXPECT_FALSE(validate_folder(missing, false));
    EXPECT_FALSE(fs::exists(missing));

    const fs::path nested = root() / "a" / "b" / "c";
    EXPECT_TRUE(validate_folder(nested, true));
    EXPECT_TRUE(fs::is_directory(nested));
    EXPECT_TRUE(validate_folder(nested, false));

    const fs::path file = root() / "file";
    write_file(file, "x");
    EXPECT_FALSE(validate_folder(file, false));
    EXPECT_FALSE(validate_folder(file, true));
    EXPECT_FALSE(validate_folder(file / "sub", true));

    fs::create_directory_symlink(nested, root() / "link");
    EXPECT_TRUE(validate_folder(root() / "link", false));

    EXPECT_EQ(errors(), (std::vector<std::string>{"Could not find folder: '" + quoted_path(missing) + "'",
                                                  "Expecting name of folder: '" + quoted_path(file) + "'",
                                                  "Expecting name of folder: '" + quoted_path(file) + "'",
                                                  "Could not create folder '" + quoted_path(file / "sub") + "'"}));
}

TEST_F(FolderChecks, PlainRunFolderHoldsTheOutputs)
{
    Config config;
    config.input_folder = root();
    config.flowcell_id = "FC1";
    ASSERT_TRUE(config.validate_folders());
    EXPECT_EQ(config.output_folder, root());
    EXPECT_EQ(config.fastq_folder, root());
    EXPECT_EQ(config.metrics_folder, root());
    EXPECT_EQ(config.analysis_folder, root() / "FC1_Logs" / "Analysis");
    EXPECT_EQ(config.analysis_metrics_folder, root() / "FC1_Logs" / "Analysis" / "Metrics");
    EXPECT_TRUE(fs::is_directory(config.analysis_metrics_folder));
    EXPECT_FALSE(fs::exists(root() / "FASTQs"));
    EXPECT_FALSE(fs::exists(root() / "Metrics"));
}

TEST_F(FolderChecks, BaseCallsLayoutGetsFastqAndMetricsFolders)
{
    fs::create_directories(root() / "run" / "Base_Calls");
    fs::create_directories(root() / "out");
    Config config;
    config.input_folder = root() / "run";
    config.output_folder = root() / "out";
    config.flowcell_id = "FC2";
    ASSERT_TRUE(config.validate_folders());
    EXPECT_EQ(config.fastq_folder, root() / "out" / "FASTQs");
    EXPECT_EQ(config.metrics_folder, root() / "out" / "Metrics");
    for (const char* folder : {"FASTQs", "Metrics/L01", "Metrics/L02", "FC2_Logs/Analysis/Metrics"})
        EXPECT_TRUE(fs::is_directory(root() / "out" / folder)) << folder;
    EXPECT_FALSE(fs::exists(root() / "run" / "FASTQs"));
}

TEST_F(FolderChecks, OutputMustAlreadyBeAFolder)
{
    fs::create_directories(root() / "run");
    write_file(root() / "file", "");
    struct Case {
        fs::path output;
        std::string error;
    };
    for (const Case& c : {Case{root() / "none", "Could not find folder: '" + quoted_path(root() / "none") + "'"},
                          Case{root() / "file", "Expecting name of folder: '" + quoted_path(root() / "file") + "'"}}) {
        LogCapture log;
        Config config;
        config.input_folder = root() / "run";
        config.output_folder = c.output;
        config.flowcell_id = "FC";
        EXPECT_FALSE(config.validate_folders());
        EXPECT_EQ(log.lines(), std::vector<std::string>{"[ERROR] " + c.error});
        EXPECT_FALSE(fs::exists(c.output / "FC_Logs"));
        EXPECT_FALSE(fs::exists(root() / "none"));
    }
}

TEST_F(FolderChecks, DefaultSheetsAreTakenWhenPresent)
{
    write_file(root() / "SampleSheetUsed.csv", "[Header]\n");
    Config config;
    config.input_folder = root();
    ASSERT_TRUE(config.validate_specification_files());
    EXPECT_EQ(config.sample_sheet_file, root() / "SampleSheetUsed.csv");
    EXPECT_TRUE(config.design_sheet_file.empty());
    EXPECT_TRUE(config.controls_file.empty());

    write_file(root() / "quillon_params.csv", "");
    Config both;
    both.input_folder = root();
    ASSERT_TRUE(both.validate_specification_files());
    EXPECT_EQ(both.design_sheet_file, root() / "quillon_params.csv");
    EXPECT_TRUE(errors().empty());
}

// A given path that is not a readable regular file is refused, so that nothing later reads
// a folder as an empty file or blocks on a pipe.
TEST_F(FolderChecks, GivenPathMustBeARegularFile)
{
    fs::create_directories(root() / "folder");
    ASSERT_EQ(::mkfifo((root() / "fifo").c_str(), 0600), 0);
    fs::create_symlink(root() / "nowhere", root() / "dangling");
    write_file(root() / "real.fa", ">c\nACGT\n");
    fs::create_symlink(root() / "real.fa", root() / "link.fa");

    struct Case {
        fs::path Config::*field;
        fs::path path;
        bool ok;
        std::string error;
    };
    const std::vector<Case> cases = {
        {&Config::sample_sheet_file, root() / "missing.csv", false, "Could not read Sample sheet"},
        {&Config::controls_file, root() / "folder", false, "Could not read Control reference file"},
        {&Config::design_sheet_file, root() / "fifo", false, "Could not read Quillon design sheet"},
        {&Config::controls_file, root() / "dangling", false, "Could not read Control reference file"},
        {&Config::controls_file, root() / "link.fa", true, ""},
    };
    for (const Case& c : cases) {
        LogCapture log;
        Config config;
        config.input_folder = root();
        config.*c.field = c.path;
        EXPECT_EQ(config.validate_specification_files(), c.ok) << c.path;
        if (c.ok)
            EXPECT_TRUE(log.lines().empty());
        else
            EXPECT_EQ(log.lines(), std::vector<std::string>{"[ERROR] " + c.error}) << c.path;
    }
}

TEST_F(FolderChecks, DefaultThatIsNotAFileIsRefused)
{
    fs::create_directories(root() / "quillon_params.csv");
    Config config;
    config.input_folder = root();
    EXPECT_FALSE(config.validate_specification_files());
    EXPECT_EQ(errors(), std::vector<std::string>{"Could not read Quillon design sheet"});
}

TEST_F(FolderChecks, RequiredFileWithoutPathOrDefault)
{
    fs::path file;
    EXPECT_FALSE(validate_file(file, root() / "R1.zel", true, "Base call file"));
    EXPECT_FALSE(validate_file(file, fs::path(), true, "Base call file"));
    EXPECT_TRUE(validate_file(file, root() / "R1.zel", false, "Base call file"));
    EXPECT_TRUE(file.empty());
    EXPECT_EQ(errors(), (std::vector<std::string>{"'" + quoted_path(root() / "R1.zel") + "': default file not found",
                                                  "Base call file not specified"}));
}

TEST_F(FolderChecks, InitializeReadsMetadataBeforeMakingFolders)
{
    Config config;
    config_test::Args args({"--input=" + root().string()});
    EXPECT_FALSE(config.initialize(args.argc(), args.argv()));
    EXPECT_EQ(errors(), std::vector<std::string>{"Metadata file could not be loaded from " + root().string()});
    EXPECT_EQ(fs::directory_iterator(root()), fs::directory_iterator());
}

TEST_F(FolderChecks, InitializeSetsUpARunFolder)
{
    fs::create_directories(root() / "Base_Calls");
    write_file(root() / "metadata.xml", "<Flow_Cell_ID>FC9</Flow_Cell_ID>");
    write_file(root() / "SampleSheetUsed.csv", "");
    Config config;
    config_test::Args args({"--input=" + root().string()});
    ASSERT_TRUE(config.initialize(args.argc(), args.argv()));
    EXPECT_EQ(config.flowcell_id, "FC9");
    EXPECT_EQ(config.sample_sheet_file, root() / "SampleSheetUsed.csv");
    EXPECT_TRUE(fs::is_directory(root() / "FC9_Logs" / "Analysis" / "Metrics"));
    EXPECT_TRUE(fs::is_directory(root() / "Metrics" / "L02"));
    EXPECT_TRUE(errors().empty());
}

} // namespace
