// The built quillon under interruption, misuse and hostile input: a signal or a kill mid-lane
// leaves no FASTQ file under its final name, errors after the lanes still fail the run, the
// limit of open files, and sheets and tiles whose sizes are out of proportion cost no more
// memory or time than their real content.
#include "common/block_gzip.h"
#include "tests/support/full_file_system.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/time_limit.h"
#include "tools/runsim/run_generator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using test_support::ProgramRun;
using test_support::read_whole_file;

namespace {

// Peak memory of any quillon this test process has run (their sizes are all far below it
// when nothing allocates out of proportion).
constexpr long Memory_bound_kib = 1024 * 1024;

long peak_child_kib()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}

class QuillonMisuse : public ::testing::Test {
protected:
    void generate(runsim::RunRecipe recipe = runsim::RunRecipe::small())
    {
        recipe.out = dir_.path() / "run";
        recipe.manifest.clear();
        run_ = runsim::generate_run(recipe);
        fs::create_directories(out());
    }

    fs::path out() const { return dir_.path() / "out"; }
    std::string flowcell() const { return run_.identity.flowcell_id; }
    fs::path log_file() const { return out() / (flowcell() + "_Logs") / "Analysis" / (flowcell() + "_quillon.log"); }

    std::vector<std::string> arguments(const std::vector<std::string>& extra) const
    {
        std::vector<std::string> args = {"--input=" + run_.run_folder.string(), "--output=" + out().string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    // quillon under a time limit, so that a hang or a slow refusal fails the test.
    ProgramRun quillon(const std::vector<std::string>& extra = {}, const std::string& limits = "") const
    {
        std::vector<std::string> args = {"-c", limits + "exec timeout -k 10 60 \"$0\" \"$@\"", QUILLON_BINARY};
        for (const std::string& arg : arguments(extra))
            args.push_back(arg);
        return test_support::run_program("sh", args, dir_.path());
    }

    // The names of the folder's files that end with suffix.
    std::vector<std::string> files_ending(const std::string& suffix) const
    {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(out()))
            if (entry.path().filename().string().ends_with(suffix))
                names.push_back(entry.path().filename().string());
        return names;
    }

    // Each lane's two tiles read 20,000 times over: the first lane runs long after its first
    // tile, whose line has been logged when this returns.
    static constexpr const char* First_tile = "[INFO] Completed L01/S01_T001;";
    test_support::StartedProgram start_long_run() const
    {
        const test_support::StartedProgram started =
            test_support::start_program(QUILLON_BINARY, arguments({"--repeat=20000"}), dir_.path());
        test_support::eventually(
            [&] { return started.pid <= 0 || started.output().find(First_tile) != std::string::npos; },
            std::chrono::seconds(60));
        return started;
    }

    std::map<std::string, std::string> fastq_files() const
    {
        std::map<std::string, std::string> files;
        for (const std::string& name : files_ending(".fastq.gz"))
            files[name] = read_whole_file(out() / name);
        return files;
    }

    test_support::TempDir dir_{"quillon-misuse"};
    runsim::RunTruth run_;
};

// ---- interrupted runs -----------------------------------------------------------------------

struct InterruptCase {
    const char* name;
    int signal;
};

void PrintTo(const InterruptCase& c, std::ostream* out)
{
    *out << c.name;
}

class QuillonInterrupted : public QuillonMisuse, public ::testing::WithParamInterface<InterruptCase> {};

TEST_P(QuillonInterrupted, LeavesNoFinalFastqFileOfTheUnfinishedLane)
{
    generate();
    const test_support::StartedProgram started = start_long_run();
    ASSERT_GT(started.pid, 0);
    // Tile lines are flushed: both the redirected output and the log file show them at once.
    EXPECT_NE(read_whole_file(log_file()).find(First_tile), std::string::npos);
    kill(started.pid, GetParam().signal);
    const ProgramRun run = test_support::wait_for(started);

    EXPECT_FALSE(run.has_line_containing("** Completed Lane #1")) << "the lane ended before the signal";
    EXPECT_EQ(files_ending(".fastq.gz"), std::vector<std::string>{});
    if (GetParam().signal == SIGKILL) {
        EXPECT_EQ(run.status, 128 + SIGKILL);
        return;
    }
    EXPECT_EQ(run.status, 255) << run.err;
    const std::string error = std::string("[ERROR] Interrupted by ") + GetParam().name +
                              ": the run is stopped and its unfinished FASTQ files are removed\n";
    EXPECT_TRUE(run.has_line_containing(error)) << run.out.substr(run.out.size() > 2000 ? run.out.size() - 2000 : 0);
    EXPECT_NE(read_whole_file(log_file()).find(error), std::string::npos);
    EXPECT_EQ(files_ending(".partial"), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(out() / ".quillon.lock"));
}

INSTANTIATE_TEST_SUITE_P(Signals, QuillonInterrupted,
                         ::testing::Values(InterruptCase{"SIGTERM", SIGTERM}, InterruptCase{"SIGINT", SIGINT},
                                           InterruptCase{"SIGKILL", SIGKILL}),
                         [](const ::testing::TestParamInfo<InterruptCase>& test_info) {
                             return std::string(test_info.param.name);
                         });

// ---- one run per output folder ----------------------------------------------------------------

TEST_F(QuillonMisuse, SecondRunIntoTheFolderIsRefusedWhileTheFirstRuns)
{
    generate();
    const test_support::StartedProgram first = start_long_run();
    ASSERT_GT(first.pid, 0);

    // Refused before it writes anything: the first run's log is still whole.
    const fs::path second_scratch = dir_.path() / "second";
    fs::create_directories(second_scratch);
    const ProgramRun second = test_support::run_program(QUILLON_BINARY, arguments({}), second_scratch);
    EXPECT_EQ(second.status, 255);
    EXPECT_TRUE(
        second.has_line_containing("[ERROR] Output folder refused: another run is writing to " + out().string() + "\n"))
        << second.out;
    EXPECT_NE(read_whole_file(log_file()).find(First_tile), std::string::npos);

    // The lock goes with the process that held it.
    kill(first.pid, SIGKILL);
    EXPECT_EQ(test_support::wait_for(first).status, 128 + SIGKILL);
    const ProgramRun third = quillon();
    EXPECT_EQ(third.status, 0) << third.out;
    EXPECT_EQ(files_ending(".partial"), std::vector<std::string>{});
}

TEST_F(QuillonMisuse, LockFileOfAnotherUserLeftInASharedFolderDoesNotBlock)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "running as another user needs root";
    generate();
    // A shared folder holding root's lock file; the run is nobody's, with a copy of the program.
    fs::permissions(out(), fs::perms::all | fs::perms::sticky_bit);
    std::ofstream(out() / ".quillon.lock").close();
    fs::copy_file(QUILLON_BINARY, dir_.path() / "quillon");
    const ProgramRun run = test_support::run_program(
        "setpriv",
        {"--reuid=65534", "--regid=65534", "--clear-groups", (dir_.path() / "quillon").string(),
         "--input=" + run_.run_folder.string(), "--output=" + out().string()},
        dir_.path());
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_FALSE(fastq_files().empty());
}

TEST_F(QuillonMisuse, LinksAtTemporaryNamesAndAtTheLogsNameAreNeverWrittenThrough)
{
    generate();
    const fs::path outside = dir_.path() / "outside.txt";
    const std::string kept = "a file outside the output folder\n";
    const fs::path names[] = {out() / (flowcell() + "_L01_Read1_Sample_Library_S01.fastq.gz.partial"),
                              out() / (flowcell() + "_L02_Read2_Control_Library_Metrics.csv.partial"), log_file()};
    const std::pair<bool, std::string> links[] = {{true, "Too many levels of symbolic links"},
                                                  {false, "Too many links"}};
    std::map<std::string, std::string> written;
    for (const auto& [symbolic, refusal] : links) {
        SCOPED_TRACE(refusal);
        fs::remove_all(out());
        fs::create_directories(log_file().parent_path());
        std::ofstream(outside) << kept;
        for (const fs::path& name : names)
            symbolic ? fs::create_symlink(outside, name) : fs::create_hard_link(outside, name);
        const ProgramRun run = quillon();
        // A log that is not the log's own file is an unwritable log; the files are written anew.
        EXPECT_EQ(run.status, 255);
        EXPECT_NE(run.err.find("ERROR: Unable to write log file '" + log_file().string() + "' : " + refusal),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(read_whole_file(outside), kept);
        EXPECT_TRUE(run.has_line_containing("[INFO] ** Completed Lane #2\n")) << run.out;
        EXPECT_EQ(files_ending(".partial"), std::vector<std::string>{});
        written = fastq_files();
    }
    // The files are those of a run without links.
    fs::remove_all(out());
    fs::create_directories(out());
    EXPECT_EQ(quillon().status, 0);
    EXPECT_EQ(fastq_files(), written);
}

TEST_F(QuillonMisuse, PipesAtTheLockAndLogNamesHoldNothingUp)
{
    generate();
    fs::create_directories(log_file().parent_path());
    ASSERT_EQ(::mkfifo((out() / ".quillon.lock").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(log_file().c_str(), 0600), 0);
    const ProgramRun run = quillon();
    EXPECT_EQ(run.status, 255) << run.out << run.err;
    EXPECT_TRUE(run.has_line_containing("Could not open log file '" + log_file().string() + "'")) << run.out;
    EXPECT_TRUE(fastq_files().empty());
}

TEST_F(QuillonMisuse, ClosedConsoleIsPassedOver)
{
    generate();
    int pipe_ends[2]; // standard output goes to a pipe nobody reads, as into head -1
    ASSERT_EQ(pipe(pipe_ends), 0);
    close(pipe_ends[0]);
    const ProgramRun run = quillon({}, "exec >&" + std::to_string(pipe_ends[1]) + "; ");
    close(pipe_ends[1]);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(read_whole_file(log_file()).find("[INFO] Timing: \n"), std::string::npos);
    const auto written = fastq_files();
    fs::remove_all(out());
    fs::create_directories(out());
    EXPECT_EQ(quillon().status, 0);
    EXPECT_EQ(fastq_files(), written);
}

// ---- errors that do not stop the run, and an adapter the index cannot take ------------------

// Where a case may put its damage.
struct RunPaths {
    fs::path out;
    fs::path log_file;
    fs::path scratch;
    std::string flowcell;
    std::optional<test_support::FullFileSystem>* full; // a full disk, for the run
};

struct LateErrorCase {
    std::string name;
    // Prepares the failure, adding arguments where needed; returns the message that must appear.
    std::function<std::string(const RunPaths&, std::vector<std::string>& args)> prepare;
    bool on_stderr;       // the message is on standard error (else an ERROR line of the log)
    bool lanes_converted; // the lanes still ran to their end
};

void PrintTo(const LateErrorCase& c, std::ostream* out)
{
    *out << c.name;
}

class QuillonLateError : public QuillonMisuse, public ::testing::WithParamInterface<LateErrorCase> {};

const LateErrorCase Late_error_cases[] = {
    {"MetricsFileOnFullDevice",
     [](const RunPaths& paths, std::vector<std::string>&) {
         // The copies of the metrics files go to a full disk.
         paths.full->emplace(paths.log_file.parent_path() / "Metrics");
         return "[ERROR] Cannot copy file '" + paths.flowcell + "_L01_Read1_";
     },
     false, true},
    {"LogFileOnFullDevice",
     [](const RunPaths& paths, std::vector<std::string>&) {
         paths.full->emplace(paths.log_file.parent_path());
         return "ERROR: Unable to write log file '" + paths.log_file.string() + "' : No space left on device";
     },
     true, true},
    {"AdapterOf255Bases",
     [](const RunPaths& paths, std::vector<std::string>& args) {
         const fs::path controls = paths.scratch / "long_adapter.fasta";
         std::ofstream(controls) << ">adapter_long\n" << std::string(255, 'A') << "\n";
         args.push_back("--controlsfile=" + controls.string());
         return std::string("[ERROR] sequence length > max_sequence_length");
     },
     false, false},
};

TEST_P(QuillonLateError, EndsWithStatus255AndItsMessage)
{
    generate();
    std::vector<std::string> args;
    std::optional<test_support::FullFileSystem> full;
    const std::string message = GetParam().prepare({out(), log_file(), dir_.path(), flowcell(), &full}, args);
    if (full && !full->mounted())
        GTEST_SKIP() << "a full disk needs root to mount it";
    const ProgramRun run = quillon(args);
    EXPECT_EQ(run.status, 255) << run.out << run.err;
    EXPECT_NE((GetParam().on_stderr ? run.err : run.out).find(message), std::string::npos) << message << "\n"
                                                                                           << run.out << run.err;
    EXPECT_EQ(run.has_line_containing("[INFO] ** Completed Lane #2\n"), GetParam().lanes_converted) << run.out;
    if (GetParam().lanes_converted) {
        EXPECT_TRUE(run.has_line_containing("[INFO] *** Error(s) detected during run ***\n")) << run.out;
    } else {
        EXPECT_EQ(files_ending(".fastq.gz"), std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, QuillonLateError, ::testing::ValuesIn(Late_error_cases),
                         [](const ::testing::TestParamInfo<LateErrorCase>& test_info) { return test_info.param.name; });

// ---- the limit of open files ----------------------------------------------------------------

TEST_F(QuillonMisuse, OpenFileLimitIsRaisedOrTheSetUpFailsBeforeAnyFastqFile)
{
    // 30 samples a lane: 2 reads x (30 samples, undetermined, control) = 64 FASTQ files.
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.samples = 30;
    generate(recipe);

    // A soft limit below what a lane needs is raised to the hard limit.
    const ProgramRun raised = quillon({}, "ulimit -S -n 48 && ");
    EXPECT_EQ(raised.status, 0) << raised.out << raised.err;
    EXPECT_EQ(files_ending(".fastq.gz").size(), 2u * 64u);

    fs::remove_all(out());
    fs::create_directories(out());
    const ProgramRun refused = quillon({}, "ulimit -n 48 && ");
    EXPECT_EQ(refused.status, 255);
    EXPECT_TRUE(refused.has_line_containing(
        "[ERROR] Lane 1 needs 80 open files (64 FASTQ files and 16 others), more than the 48 this process may open\n"))
        << refused.out;
    EXPECT_EQ(files_ending(".fastq.gz"), std::vector<std::string>{});
    EXPECT_EQ(files_ending(".partial"), std::vector<std::string>{});
}

// ---- sheets and tiles out of proportion -----------------------------------------------------

// A 16-base index that spells n in base 4.
std::string index_of_number(unsigned n)
{
    std::string index;
    for (int i = 0; i < 16; ++i, n /= 4)
        index += "ACGT"[n % 4];
    return index;
}

TEST_F(QuillonMisuse, LaneOfTooManySamplesIsRefusedBeforeComparingThem)
{
    generate();
    std::string sheet = read_whole_file(run_.sample_sheet);
    sheet.erase(sheet.find("[Samples]"));
    sheet += "[Samples]\nBiosample,Lane,Index,Index2\n";
    for (unsigned i = 0; i < 100000; ++i)
        sheet += "S" + std::to_string(i) + ",1," + index_of_number(i) + "," + index_of_number(i * 7919u) + "\n";
    std::ofstream(run_.sample_sheet, std::ios::trunc) << sheet;

    const ProgramRun run = quillon();
    EXPECT_EQ(run.status, 255) << run.err;
    EXPECT_TRUE(run.has_line_containing("Error: Too many samples in lane 1: 100000 (at most 32767)")) << run.out;
}

TEST_F(QuillonMisuse, IndexLongerThanItsReadIsWarnedAboutAndCostsNothing)
{
    generate();
    // Every variant of one joined with every variant of the other would be 5.8 million keys
    // of 1200 letters.
    const runsim::SampleTruth& sample = run_.samples.front();
    std::string sheet = read_whole_file(run_.sample_sheet);
    const std::string row = sample.name + ",1," + sample.index + "," + sample.index2 + "\n";
    ASSERT_NE(sheet.find(row), std::string::npos);
    std::mt19937 random(3);
    std::string long_indexes[2];
    for (std::string& index : long_indexes)
        for (int i = 0; i < 600; ++i)
            index += "ACGT"[random() % 4];
    sheet.replace(sheet.find(row), row.size(), sample.name + ",1," + long_indexes[0] + "," + long_indexes[1] + "\n");
    std::ofstream(run_.sample_sheet, std::ios::trunc) << sheet;

    const ProgramRun run = quillon();
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(run.has_line_containing("[WARN] Sample '" + sample.name + "' of lane 1 can never be assigned"))
        << run.out;
    EXPECT_LT(peak_child_kib(), Memory_bound_kib);
}

TEST_F(QuillonMisuse, TileClaimingMoreSpotsThanItHoldsFailsWithoutSizingBuffers)
{
    generate();
    const runsim::TileTruth& tile = run_.tile(1, 2);
    const runsim::RunRecipe& recipe = run_.recipe;
    runsim::ZelHeader header;
    header.version = recipe.zel_version();
    header.spots = 100000000;
    header.cycles = std::uint64_t(recipe.layout.reads[0].header_cycles());
    header.extra_cycles = std::uint64_t(recipe.layout.reads[0].extra_cycles);
    runsim::write_zel_file(tile.zel_files[0], header, {}, recipe.zel);
    // A positions header with the same count and no pair after it.
    const std::uint64_t positions_header[] = {0, 5, header.spots};
    std::ofstream(tile.positions_files[0], std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(positions_header), sizeof positions_header);

    const ProgramRun run = quillon();
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(
        run.has_line_containing("[ERROR] ERROR: Unexpected end of data in \"" + tile.zel_files[0].string() + "\""))
        << run.out;
    EXPECT_LT(peak_child_kib(), Memory_bound_kib);
}

TEST_F(QuillonMisuse, DataAfterTheCallsIsWarnedAboutAndNeverInflated)
{
    generate();
    const ProgramRun clean = quillon();
    ASSERT_EQ(clean.status, 0) << clean.out;
    const std::map<std::string, std::string> expected = fastq_files();

    // 1 GiB of zeros after the calls of one file, in members of 1 MiB: about 1 MB on disk.
    const fs::path file = run_.tile(1, 2).zel_files[0];
    const std::vector<unsigned char> zeros(std::size_t(1) << 20, 0);
    std::vector<unsigned char> member;
    member.resize(block_gzip::Compressor().compress(zeros.data(), zeros.size(), member));
    ASSERT_LE(zeros.size(), block_gzip::Max_expansion * member.size());
    {
        std::ofstream append(file, std::ios::binary | std::ios::app);
        for (int i = 0; i < 1024; ++i)
            append.write(reinterpret_cast<const char*>(member.data()), static_cast<std::streamsize>(member.size()));
    }

    fs::remove_all(out());
    fs::create_directories(out());
    const ProgramRun run = quillon();
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(run.has_line_containing("[WARN] Ignoring data after the calls in .zel file: \"" + file.string() + "\""))
        << run.out;
    EXPECT_TRUE(fastq_files() == expected);
    EXPECT_LT(peak_child_kib(), Memory_bound_kib);
}

} // namespace
