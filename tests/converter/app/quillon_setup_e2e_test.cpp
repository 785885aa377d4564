// The built quillon on generated run folders: set-up, run summary and exit statuses.
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/fault_injector.h"
#include "tools/runsim/run_generator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using test_support::ProgramRun;

namespace {

class QuillonSetup : public ::testing::Test {
protected:
    runsim::RunTruth make_run(runsim::RunRecipe recipe = runsim::RunRecipe::small())
    {
        recipe.out = dir_.path() / "run";
        recipe.manifest.clear();
        return runsim::generate_run(recipe);
    }
    ProgramRun quillon(const std::vector<std::string>& args)
    {
        return test_support::run_program(QUILLON_BINARY, args, dir_.path());
    }

    test_support::TempDir dir_{"quillon-setup"};
};

TEST_F(QuillonSetup, WithoutArgumentsPrintsOnlyTheUsage)
{
    const ProgramRun run = quillon({});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err.rfind("\nUSAGE: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("  --input=folder"), std::string::npos);
    EXPECT_EQ(run.out, "");
}

TEST_F(QuillonSetup, BadOptionPrintsItsMessageThenTheUsage)
{
    const ProgramRun run = quillon({"--minchain=5"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err.rfind("Invalid option: minchain\n\nUSAGE: ", 0), 0u) << run.err;
}

TEST_F(QuillonSetup, GeneratedRunSetsUpAndLogsItsSummary)
{
    const runsim::RunTruth truth = make_run();
    const ProgramRun run = quillon({"--input=" + truth.run_folder.string(), "--threads=2"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::string& fc = truth.identity.flowcell_id;
    for (const std::string& line :
         {std::string("[INFO] Command line arguments: "), std::string("[INFO] flowcell_id: ") + fc,
          std::string("[INFO] Sample sheet file: ") + truth.sample_sheet.string(),
          std::string("[INFO] Quillon design sheet: ") + truth.design_sheet.string(),
          std::string("[WARN] Missing control reference file - control library demux skipped."),
          std::string("[INFO] Lane 1: found 2 tile folder(s)"), std::string("[INFO] Lane 2: found 2 tile folder(s)"),
          std::string("[INFO] Read 1: cycle count: 30"), std::string("[INFO] Read 2: cycle count: 30"),
          std::string("[INFO] Index 1: cycle count: 8"), std::string("[INFO] Index 2: cycle count: 8"),
          std::string("[INFO] Total worker threads: 2"), std::string("[INFO] *** Run complete."),
          std::string("[INFO] Timing: ")})
        EXPECT_TRUE(run.has_line_containing(line)) << line << "\n" << run.out;

    // The log file holds what was logged once it was open, the same lines as the console.
    const fs::path log = truth.run_folder / (fc + "_Logs") / "Analysis" / (fc + "_quillon.log");
    const std::string logged = test_support::read_whole_file(log);
    ASSERT_FALSE(logged.empty());
    EXPECT_NE(run.out.find(logged.substr(logged.find(" [INFO] Command line arguments: "))), std::string::npos);
}

TEST_F(QuillonSetup, AdapterTrimmingWithoutControlsFileFails)
{
    const runsim::RunTruth truth = make_run();
    const ProgramRun run = quillon({"--input=" + truth.run_folder.string(), "--trimadapters"});
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(run.has_line_containing(
        "[ERROR] A control file must be specified in order to do adapter trimming or compute oscores"));
    EXPECT_FALSE(run.has_line_containing("*** Run complete."));
}

TEST_F(QuillonSetup, SampleSheetErrorsAreLoggedWithFileNameAndLine)
{
    const runsim::RunTruth truth = make_run();
    const fs::path sheet = dir_.path() / "bad_sheet.csv";
    std::ofstream(sheet) << "[Run Information]\nFileFormatVersion,2\nInstrumentPlatform,X\n"
                            "[Flow Cell Settings]\nRead1Cycles,30\nCustomPrimer,False\nQUILLON,True\n"
                            "[Quillon Settings]\n[Samples]\nBiosample,Lane,Index,Index2\nS1,3,ACGT,TTTT\n";
    const ProgramRun run = quillon({"--input=" + truth.run_folder.string(), "--samplesheet=" + sheet.string()});
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(run.has_line_containing("[ERROR] Could not load sample sheet file " + sheet.string() + "\n"));
    EXPECT_TRUE(run.has_line_containing("[ERROR] bad_sheet.csv: line 11; Error: Value out of range: '3'")) << run.out;
}

TEST_F(QuillonSetup, RunFolderWithoutLanesFailsTheFileCheck)
{
    const runsim::RunTruth truth = make_run();
    fs::remove_all(truth.run_folder / "L01");
    fs::remove_all(truth.run_folder / "L02");
    const ProgramRun run = quillon({"--input=" + truth.run_folder.string()});
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(
        run.has_line_containing("[ERROR] Unable to locate any input files in '" + truth.run_folder.string() + "'"));
    EXPECT_FALSE(run.has_line_containing("*** Run complete."));
}

TEST_F(QuillonSetup, DamagedFirstBaseCallFileEndsAsLoggedErrorNotAbort)
{
    // The set-up reads only the header of each base-call file of the first tile, from its
    // first member: damage further on fails the first tile instead, and the run still ends in
    // order.
    struct Case {
        runsim::Fault fault;
        int member; // -1: the last
        bool setup_fails;
    } cases[] = {
        {runsim::Fault::NotGzip, -1, true},
        {runsim::Fault::FlippedDeflateByte, 0, true},
        {runsim::Fault::FlippedDeflateByte, -1, false},
        {runsim::Fault::WrongVersion, -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(runsim::fault_name(c.fault)) + " in member " + std::to_string(c.member));
        const runsim::RunTruth truth = make_run();
        runsim::FaultTarget first_file;
        first_file.lane = 1;
        first_file.tile = 1;
        first_file.read = 1;
        first_file.member = c.member;
        runsim::inject_fault(truth, c.fault, first_file);
        const ProgramRun run = quillon({"--input=" + truth.run_folder.string()});
        EXPECT_EQ(run.status, 255) << run.out << run.err;
        EXPECT_TRUE(run.has_line_containing("[ERROR] ")) << run.out;
        EXPECT_EQ(run.has_line_containing("*** Run complete."), !c.setup_fails) << run.out;
        if (!c.setup_fails) {
            EXPECT_TRUE(run.has_line_containing(
                "[ERROR] Exception detected processing tiles: Could not create spots from zel file\n"))
                << run.out;
        }
    }
}

TEST_F(QuillonSetup, InstrumentIdWithABlankIsRefused)
{
    const runsim::RunTruth truth = make_run();
    std::string metadata = test_support::read_whole_file(truth.metadata_file);
    const std::string tag = "<Instrument_ID>" + truth.identity.instrument_id + "<";
    ASSERT_NE(metadata.find(tag), std::string::npos);
    metadata.replace(metadata.find(tag), tag.size(), "<Instrument_ID>INS 1<");
    std::ofstream(truth.metadata_file, std::ios::trunc) << metadata;
    const ProgramRun run = quillon({"--input=" + truth.run_folder.string()});
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(run.has_line_containing("[ERROR] Invalid instrument id \"INS 1\" from metadata file")) << run.out;
    EXPECT_FALSE(run.has_line_containing("*** Run complete."));
}

TEST_F(QuillonSetup, EmptyMetadataFileIsRefused)
{
    const runsim::RunTruth truth = make_run();
    std::ofstream(truth.metadata_file, std::ios::trunc).close();
    const ProgramRun run = quillon({"--input=" + truth.run_folder.string()});
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(run.has_line_containing("[ERROR] No flowcell id in metadata file \"" +
                                        truth.metadata_file.filename().string() + "\": give one with --flowcellid\n"))
        << run.out;
    EXPECT_FALSE(fs::exists(truth.run_folder / "_Logs"));
}

TEST_F(QuillonSetup, LanesAreNumberedByTheirFolderNames)
{
    // A run of lane 2 only: its tiles stay lane 2's, lane 1 is missing.
    const runsim::RunTruth truth = make_run();
    fs::remove_all(truth.run_folder / "L01");
    const ProgramRun run = quillon({"--input=" + truth.run_folder.string()});
    EXPECT_EQ(run.status, 255);
    EXPECT_FALSE(run.has_line_containing("Lane 1: found 2"));
}

} // namespace

namespace {

TEST_F(QuillonSetup, SampleNamesThatCannotNameAFileFailTheSetUp)
{
    for (const std::string& name : {std::string("Undetermined"), std::string("a/b")}) {
        SCOPED_TRACE(name);
        const runsim::RunTruth truth = make_run();
        std::string sheet = test_support::read_whole_file(truth.sample_sheet);
        const std::string first = "\n" + truth.samples.front().name + ",";
        ASSERT_NE(sheet.find(first), std::string::npos);
        sheet.replace(sheet.find(first), first.size(), "\n" + name + ",");
        std::ofstream(truth.sample_sheet, std::ios::trunc) << sheet;
        const ProgramRun run = quillon({"--input=" + truth.run_folder.string()});
        EXPECT_EQ(run.status, 255);
        EXPECT_TRUE(run.has_line_containing("[ERROR] Sample name cannot name a FASTQ file: '" + name + "' (lane 1)"))
            << run.out;
    }
}

} // namespace

namespace {

TEST_F(QuillonSetup, ControlsFileIsReadAndSummarised)
{
    const runsim::RunTruth truth = make_run();
    const ProgramRun run =
        quillon({"--input=" + truth.run_folder.string(), "--controlsfile=" + truth.controls_file.string()});
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(run.has_line_containing("[INFO] Control reference file: " + truth.controls_file.string()));
    for (const auto& adapter : truth.library.adapters)
        EXPECT_TRUE(run.has_line_containing("[INFO] Adapter sequence: " + adapter.name + "; Seq: " + adapter.sequence))
            << adapter.name;
    EXPECT_TRUE(run.has_line_containing("[INFO] Control sequence: "));
    EXPECT_FALSE(run.has_line_containing("Missing control reference file"));
}

TEST_F(QuillonSetup, ControlsFileWithoutHeaderFailsWithItsLine)
{
    const runsim::RunTruth truth = make_run();
    const fs::path controls = dir_.path() / "controls.fasta";
    std::ofstream(controls) << "\nACGT\n";
    const ProgramRun run = quillon({"--input=" + truth.run_folder.string(), "--controlsfile=" + controls.string()});
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(run.has_line_containing("[ERROR] " + controls.string() + ":3 Invalid file format; expecting '>'"))
        << run.out;
    EXPECT_TRUE(run.has_line_containing("[ERROR] Unable to open controls (fasta) file: " + controls.string()));
}

} // namespace
