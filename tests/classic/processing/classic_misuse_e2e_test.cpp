// The built quillon-classic as a lab misuses it: interrupted and killed runs, a second run into
// the same output folder, a low limit of open files, outputs that cannot be written and a
// closed console. A file under its final name is always complete, and every failure exits 1.
#include "tests/classic/processing/classic_fastq_expectations.h"
#include "tests/support/full_file_system.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/run_generator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <unistd.h>

namespace {

using namespace classic_e2e;
using test_support::ProgramRun;

class ClassicMisuse : public testing::Test {
protected:
    // A run without sheets; by default each lane takes half a second with one tile thread.
    void generate(int tiles = 30, int spots = 2000)
    {
        runsim::RunRecipe recipe = recipe_for(dir_.path() / "run");
        recipe.tiles = tiles;
        recipe.spots = spots;
        run_ = runsim::generate_run(recipe);
    }
    fs::path out() const { return dir_.path() / "out"; }
    std::vector<std::string> arguments(const std::string& threads_per_lane) const
    {
        return {"--input", run_.run_folder.string(), "--output", out().string(), "--threadsperlane", threads_per_lane};
    }
    // The program with both lanes at once, under a time limit, through sh -c with shell
    // commands before it and a redirection after it.
    ProgramRun classic(const std::string& before = "", const std::string& after = "") const
    {
        std::vector<std::string> args = {"-c", before + "exec timeout 60 \"$0\" \"$@\"" + after,
                                         QUILLON_CLASSIC_BINARY};
        for (const std::string& arg : arguments("2"))
            args.push_back(arg);
        return test_support::run_program("sh", args, dir_.path());
    }
    std::vector<std::string> fastq_folder(const std::string& suffix) const
    {
        std::vector<std::string> names;
        std::error_code error;
        for (fs::directory_iterator entry(out() / "FASTQs", error), end; !error && entry != end; ++entry)
            if (entry->path().filename().string().ends_with(suffix))
                names.push_back(entry->path().filename().string());
        return names;
    }

    test_support::TempDir dir_{"classic-misuse"};
    runsim::RunTruth run_;
};

std::string signal_name(int signal)
{
    return std::string("SIG") + sigabbrev_np(signal);
}

class ClassicInterrupted : public ClassicMisuse, public testing::WithParamInterface<int> {};

TEST_P(ClassicInterrupted, LeavesNoIncompleteFileRefusesASecondRunAndARerunIsExact)
{
    generate();
    std::vector<std::string> args = arguments("1");
    args.insert(args.end(), {"--threadlanes", "0"});
    fs::create_directories(dir_.path() / "first");
    const test_support::StartedProgram first =
        test_support::start_program(QUILLON_CLASSIC_BINARY, args, dir_.path() / "first");
    ASSERT_GT(first.pid, 0);
    // Mid-lane: the console shows the last set-up line (flushed with the first batch of tiles)
    // and the FASTQ files are under their temporary names.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (
        (first.output().find("\tRead 4 cycle_count 28\n") == std::string::npos || fastq_folder(".partial").empty()) &&
        std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << first.output();

    const ProgramRun second = classic();
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(second.has_line_containing("[ERROR] \tOutput folder refused: another run is writing to " +
                                           out().string() + "\n"))
        << second.out;

    // The signal lands in lane 2, once lane 1's files have their names.
    while ((fastq_folder(".fastq.gz").empty() || fastq_folder(".partial").empty()) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    kill(first.pid, GetParam());
    const ProgramRun run = test_support::wait_for(first, 60);
    const Expected expected = expected_outputs(run_, {1, 2}, {});
    const std::vector<std::string> named = fastq_folder(".fastq.gz");
    EXPECT_FALSE(named.empty());
    for (const std::string& name : named) {
        const auto text = expected.files.find(name);
        EXPECT_TRUE(text != expected.files.end() && inflated(out() / "FASTQs" / name) == text->second) << name;
    }
    const std::string log = test_support::read_whole_file(out() / "quillon.log");
    EXPECT_EQ(log.find("--threadsperlane 2"), std::string::npos) << "the second run wrote the log";
    if (GetParam() == SIGKILL) {
        EXPECT_EQ(run.status, 128 + SIGKILL);
        EXPECT_FALSE(fastq_folder(".partial").empty());
    } else {
        EXPECT_EQ(run.status, 1) << run.err;
        const std::string error = "[ERROR] \tInterrupted by " + signal_name(GetParam()) +
                                  ": the run is stopped and its unfinished FASTQ files are removed\n";
        EXPECT_TRUE(run.has_line_containing(error)) << run.out;
        EXPECT_NE(log.find(error), std::string::npos);
        EXPECT_EQ(fastq_folder(".partial"), std::vector<std::string>{});
        EXPECT_FALSE(fs::exists(out() / ".quillon.lock"));
    }

    const ProgramRun rerun = classic();
    EXPECT_EQ(rerun.status, 0) << rerun.out << rerun.err;
    expect_fastqs(out() / "FASTQs", expected.files);
    expect_reads_millions(out() / "Metrics", expected);
}

INSTANTIATE_TEST_SUITE_P(Signals, ClassicInterrupted, testing::Values(SIGTERM, SIGINT, SIGKILL),
                         [](const testing::TestParamInfo<int>& test_info) { return signal_name(test_info.param); });

TEST_F(ClassicMisuse, OpenFileLimitIsRaisedOrTheRunRefusedBeforeAnyFile)
{
    // 2 lanes x 4 reads x (track and control file) = 16 FASTQ files, and 8 + 2 per tile thread.
    generate(2, 60);
    const ProgramRun raised = classic("ulimit -S -n 20 && ");
    EXPECT_EQ(raised.status, 0) << raised.out << raised.err;
    expect_outputs(out(), run_, {1, 2});

    fs::remove_all(out());
    const ProgramRun refused = classic("ulimit -S -n 20 && ulimit -H -n 20 && ");
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_TRUE(refused.has_line_containing("[ERROR] \tThe run needs 32 open files at once (16 FASTQ files and 16 "
                                            "others), more than the 20 this process may open\n"))
        << refused.out;
    EXPECT_TRUE(fs::is_empty(out() / "FASTQs"));
}

TEST_F(ClassicMisuse, ClosedConsoleIsPassedOver)
{
    generate(3, 80);
    int pipe_ends[2]; // standard output goes to a pipe nobody reads
    ASSERT_EQ(pipe(pipe_ends), 0);
    close(pipe_ends[0]);
    const ProgramRun run = classic("", " >&" + std::to_string(pipe_ends[1]));
    close(pipe_ends[1]);
    EXPECT_EQ(run.status, 0) << run.err;
    expect_outputs(out(), run_, {1, 2});
    EXPECT_TRUE(test_support::read_whole_file(out() / "quillon.log").ends_with("] [INFO] \t0 exceptions\n"));
}

TEST_F(ClassicMisuse, FileThatCannotBeWrittenFailsTheRunAndTheFastqFilesAreWhole)
{
    generate(3, 80);
    // The disk is full for the metrics copies, or for the log (put beside the metrics).
    const fs::path logs = out() / "Logs" / "Analysis";
    const std::string log = (logs / (run_.identity.flowcell_id + "_quillon.log")).string();
    for (const auto& [full, message, on_stderr] :
         {std::tuple{out() / "Metrics", "[ERROR] \tCannot write to output file " + (out() / "Metrics").string(), false},
          std::tuple{logs, "ERROR: Unable to write log file '" + log + "' : No space left on device\n", true}}) {
        fs::remove_all(out());
        const test_support::FullFileSystem disk(full);
        if (!disk.mounted())
            GTEST_SKIP() << "a full disk needs root to mount it";
        const ProgramRun run = classic("", " --flowcell_id " + run_.identity.flowcell_id);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE((on_stderr ? run.err : run.out).find(message), std::string::npos) << run.out << run.err;
        EXPECT_EQ(fastq_folder(".partial"), std::vector<std::string>{});
        expect_fastqs(out() / "FASTQs", expected_outputs(run_, {1, 2}, {}).files);
    }
}

} // namespace
