// The built quillon-classic as a user runs it: command lines, exit statuses, log lines and what
// it creates on disk.
#include "classic/framework/utilities.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/fault_injector.h"
#include "tools/runsim/run_generator.h"
#include "tools/runsim/zel_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <sys/stat.h>

namespace fs = std::filesystem;
using test_support::ProgramRun;

namespace {

class ClassicProgram : public ::testing::Test {
protected:
    runsim::RunTruth make_run(bool base_calls = true)
    {
        runsim::RunRecipe recipe = runsim::RunRecipe::small();
        recipe.out = dir_.path() / "run";
        recipe.manifest.clear();
        recipe.zel_subfolder = true;
        recipe.base_calls_folder = base_calls;
        return runsim::generate_run(recipe);
    }
    ProgramRun classic(const std::vector<std::string>& args)
    {
        return test_support::run_program(QUILLON_CLASSIC_BINARY, args, dir_.path());
    }
    static bool ends_with_summary(const ProgramRun& run, int errors)
    {
        return run.has_line_containing("] [INFO] \tRun complete\n") &&
               run.has_line_containing("\t" + std::to_string(errors) + " errors\n") &&
               run.has_line_containing("\t0 exceptions\n");
    }

    test_support::TempDir dir_{"classic-program"};
};

TEST_F(ClassicProgram, VersionAloneAndLastPrintsOnlyTheVersion)
{
    const runsim::RunTruth truth = make_run();
    for (const auto& args : {std::vector<std::string>{"--version"},
                             std::vector<std::string>{"--input", truth.run_folder.string(), "--version"}}) {
        const ProgramRun run = classic(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "quillon version 5.11.0\n");
    }
    EXPECT_FALSE(fs::exists(truth.run_folder / "quillon.log"));

    // Inside a pair it is an ordinary name, refused.
    const ProgramRun paired = classic({"--input", truth.run_folder.string(), "--version", "x"});
    EXPECT_EQ(paired.status, 1);
    EXPECT_TRUE(paired.has_line_containing("] [ERROR] \tUnknown parameter --version\n")) << paired.out;
}

TEST_F(ClassicProgram, UsageForHelpOrWithoutInput)
{
    const ProgramRun none = classic({});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(none.has_line_containing("] [INFO] \tUsage:\n\t--flowcellid\t\t\tThe flowcell identification.\n"));
    EXPECT_TRUE(none.has_line_containing("(default 0)\n\n"));
    EXPECT_TRUE(none.has_line_containing("] [ERROR] \tCannot find parameter --input \n"));
    EXPECT_TRUE(ends_with_summary(none, 1));

    const runsim::RunTruth truth = make_run();
    const ProgramRun help = classic({"--input", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.has_line_containing("\tUsage:\n"));
    EXPECT_FALSE(fs::exists(truth.run_folder / "quillon.log"));

    // A name given last without its value is refused, never dropped.
    const ProgramRun lone = classic({"--input", truth.run_folder.string(), "--umitag"});
    EXPECT_EQ(lone.status, 1);
    EXPECT_TRUE(lone.has_line_containing("\tUsage:\n"));
    EXPECT_TRUE(lone.has_line_containing("] [ERROR] \tThe last argument --umitag has no value\n")) << lone.out;
    EXPECT_FALSE(fs::exists(truth.run_folder / "quillon.log"));
}

// Ids that would split a read name or lead a file out of the output folder end the run at set-up,
// before any output file is made.
TEST_F(ClassicProgram, IdsThatBreakNamesOrPathsAreRefused)
{
    const runsim::RunTruth truth = make_run();
    const fs::path out = dir_.path() / "out";
    using Case = std::tuple<std::string, std::string, std::string>; // option (none: the metadata), value, id
    for (const auto& [option, value, id] :
         {Case{"--flowcell_id", "../../x", "flowcell id \"../../x\" from the command line (--flowcell_id)"},
          Case{"--flowcellid", "a b", "flowcell id \"a b\" from the command line (--flowcellid)"},
          Case{"", "", "run id \"a\\x0ab\" from metadata file " + truth.metadata_file.string()}}) {
        fs::remove_all(out);
        std::vector<std::string> args = {"--input", truth.run_folder.string(), "--output", out.string()};
        if (!option.empty())
            args.insert(args.end(), {option, value});
        else
            std::ofstream(truth.metadata_file) << "<Run_Folder_Name>D_I_N_a\nb_F</Run_Folder_Name>";
        const ProgramRun run = classic(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.has_line_containing("] [ERROR] \tInvalid " + id +
                                            ": an id must not be \".\" or \"..\" nor contain '/', white space or "
                                            "control characters\n"))
            << run.out;
        EXPECT_FALSE(fs::exists(option.empty() ? out / "FASTQs" : out));
    }
}

TEST_F(ClassicProgram, MissingRunFolderIsRefusedAndNeverCreated)
{
    const fs::path missing = dir_.path() / "no-such-run";
    const ProgramRun run = classic({"--input", missing.string(), "--threadsperlane", "2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.has_line_containing("\tInvalid parameter value, --input " + missing.string() + "\n"));
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(ClassicProgram, GeneratedRunSetsUpLogsAndMakesItsFolders)
{
    const runsim::RunTruth truth = make_run();
    const std::string folder = truth.run_folder.string();
    const ProgramRun run = classic({"--input", folder, "--threadsperlane", "2"});
    EXPECT_EQ(run.status, 0) << run.out;
    for (const std::string& line :
         {std::string("\tquillon version 5.11.0\n"), "\tinstrument_id " + truth.identity.instrument_id + "\n",
          "\tflowcell_id " + truth.identity.flowcell_id + "\n", "\tprocessing " + folder + "/Base_Calls\n",
          std::string("\tRead 1 cycle_count 30\n"), std::string("\tRead 2 cycle_count 8\n"),
          std::string("\tRead 4 cycle_count 30\n"), "\tQuillon Sheet is valid. " + folder + "/SampleSheetUsed.csv\n",
          std::string("\tcreate_fastq elapsed time: ")})
        EXPECT_TRUE(run.has_line_containing(line)) << line << run.out;
    EXPECT_TRUE(ends_with_summary(run, 0));
    // The log file holds the same lines as the console, from the command line on.
    const std::string logged = test_support::read_whole_file(truth.run_folder / "quillon.log");
    ASSERT_FALSE(logged.empty());
    EXPECT_NE(run.out.find(logged.substr(logged.find("] [INFO] \t"))), std::string::npos);
    for (const char* made : {"FASTQs", "Metrics/L01", "Metrics/L02"})
        EXPECT_TRUE(fs::is_directory(truth.run_folder / made)) << made;
}

TEST_F(ClassicProgram, LongFlowcellSpellingPutsTheLogUnderLogsAnalysis)
{
    const runsim::RunTruth truth = make_run(false);
    const fs::path output = dir_.path() / "out";
    const ProgramRun run = classic({"--input", truth.run_folder.string(), "--output", output.string(), "--flowcell_id",
                                    "FCX", "--threadsperlane", "1"});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(fs::is_regular_file(output / "Logs" / "Analysis" / "FCX_quillon.log"));
    EXPECT_FALSE(fs::exists(output / "quillon.log"));
}

TEST_F(ClassicProgram, RunWithoutMetadataTilesOrReadsEndsWithItsError)
{
    for (const char* error : {"Cannot find metadata.xml for this input.", "No runs found for this input.",
                              "No reads found for this input."}) {
        fs::remove_all(dir_.path() / "run");
        const runsim::RunTruth truth = make_run();
        const std::string damage = error;
        for (const auto& lane : truth.lanes) {
            for (const runsim::TileTruth& tile : lane) {
                if (damage.starts_with("No runs")) // tile folders without their zel folder
                    fs::rename(tile.zel_files[0].parent_path(), tile.folder / "calls");
                else if (damage.starts_with("No reads"))
                    for (const fs::path& file : tile.zel_files)
                        fs::rename(file, file.string() + ".old");
            }
        }
        if (damage.starts_with("Cannot"))
            fs::remove(truth.metadata_file);
        const ProgramRun run = classic({"--input", truth.run_folder.string(), "--threadsperlane", "2"});
        EXPECT_EQ(run.status, 1) << error;
        EXPECT_TRUE(run.has_line_containing("] [ERROR] \t" + damage + "\n")) << run.out;
        EXPECT_TRUE(ends_with_summary(run, 1));
    }
}

TEST_F(ClassicProgram, ReadsAreFoundInEitherLayoutAndBadHeadersEndTheRun)
{
    const runsim::RunTruth truth = make_run();
    // The first tile's reads moved to Read<n>/called_bases.zel: the same cycle counts.
    const runsim::TileTruth& first = truth.lanes[0][0];
    for (std::size_t read = 0; read < first.zel_files.size(); ++read) {
        const fs::path folder = first.zel_files[read].parent_path() / ("Read" + std::to_string(read + 1));
        fs::create_directory(folder);
        fs::rename(first.zel_files[read], folder / "called_bases.zel");
    }
    const ProgramRun moved = classic({"--input", truth.run_folder.string(), "--threadsperlane", "2"});
    EXPECT_TRUE(moved.has_line_containing("\tRead 4 cycle_count 30\n")) << moved.out;

    const runsim::RunTruth bad = make_run();
    const runsim::FaultReport fault = runsim::inject_fault(bad, runsim::Fault::WrongFileType);
    const ProgramRun run = classic({"--input", bad.run_folder.string(), "--threadsperlane", "2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.has_line_containing("] [ERROR] \tIncorrect file type " + fault.file.string() + "\n")) << run.out;
    EXPECT_EQ(run.out.find("Incorrect file type", run.out.find("Incorrect file type") + 1), std::string::npos);
    EXPECT_TRUE(ends_with_summary(run, 1));
}

// Inputs that are no regular file, or that no reading should trust, end the run at once with an
// ERROR that names them, never a wait on a pipe or an endless read.
TEST_F(ClassicProgram, UnreadableInputsEndAtOnceNamingThem)
{
    const struct {
        const char* option; // the option given the path, or empty when the path is the first tile's R1.zel
        const char* made;   // what stands at the path
        const char* error;  // the ERROR text, followed by the path
    } cases[] = {
        {"--samplesheet", "folder", "Cannot open samplesheet "},
        {"--designsheet", "folder", "Cannot open quillonsheet "},
        {"--samplesheet", "pipe", "Cannot open samplesheet "},
        {"--designsheet", "pipe", "Cannot open quillonsheet "},
        {"--samplesheet", "/dev/zero", "Cannot open samplesheet "},
        {"", "pipe", "Cannot open input file "},
        {"", "cycles past 32 bits", "Incorrect file format for base call file "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.option) + " " + c.made);
        fs::remove_all(dir_.path() / "run");
        const runsim::RunTruth truth = make_run();
        const std::string made = c.made;
        fs::path path = *c.option != '\0' ? dir_.path() / "input" : truth.lanes[0][0].zel_files[0];
        fs::remove_all(path);
        if (made == "folder")
            fs::create_directory(path);
        else if (made == "pipe")
            ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
        else if (made == "cycles past 32 bits")
            runsim::write_zel_file(path,
                                   {.version = 2, .spots = 0, .cycles = 20, .extra_cycles = 1ull << 31, .text = ""}, {},
                                   {.storage = runsim::ZelStorage::Plain});
        else
            path = made;
        std::vector<std::string> args{
            "30", QUILLON_CLASSIC_BINARY, "--input", truth.run_folder.string(), "--threadsperlane", "2"};
        if (*c.option != '\0')
            args.insert(args.end(), {c.option, path.string()});
        const ProgramRun run = test_support::run_program("timeout", args, dir_.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.has_line_containing("] [ERROR] \t" + std::string(c.error) + path.string())) << run.out;
        EXPECT_TRUE(ends_with_summary(run, 1));
    }
}

// The controls' key tables need about 7 GB a megabase: a file whose tables would pass the
// machine's memory is refused from its sequence lengths, before any table is built.
TEST_F(ClassicProgram, ControlsBeyondTheMachinesMemoryAreRefusedAtOnce)
{
    const runsim::RunTruth truth = make_run();
    const std::uint64_t bases = classic::getTotalSystemMemory() / 6'000'000 * 1000 + 1'000'000;
    const fs::path controls = dir_.path() / "controls.fasta";
    {
        std::ofstream out(controls);
        std::mt19937 random(3);
        out << ">control\n";
        for (std::uint64_t b = 0; b < bases; ++b)
            out << "ACGT"[random() % 4] << (b % 80 == 79 ? "\n" : "");
    }
    const ProgramRun run =
        test_support::run_program("timeout",
                                  {"30", QUILLON_CLASSIC_BINARY, "--input", truth.run_folder.string(),
                                   "--threadsperlane", "2", "--controlsfile", controls.string()},
                                  dir_.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.has_line_containing("] [ERROR] \tThe key tables of the controls file " + controls.string() +
                                        " need an estimated "))
        << run.out;
    EXPECT_TRUE(run.has_line_containing(" GB of memory, more than the ")) << run.out;
    EXPECT_FALSE(run.has_line_containing("load_controls hash count"));
#if !defined(__SANITIZE_ADDRESS__) // the address sanitizer cannot run under an address-space limit
    // Under an address-space limit the tables are weighed against that limit.
    const ProgramRun limited = test_support::run_program("sh",
                                                         {"-c", "ulimit -v 2097152 && exec timeout 30 \"$0\" \"$@\"",
                                                          QUILLON_CLASSIC_BINARY, "--input", truth.run_folder.string(),
                                                          "--threadsperlane", "2", "--controlsfile", controls.string()},
                                                         dir_.path());
    EXPECT_TRUE(limited.has_line_containing(" more than the 2.1 GB this process may use under its address-space "
                                            "limit (ulimit -v)\n"))
        << limited.out;
#endif
}

} // namespace
