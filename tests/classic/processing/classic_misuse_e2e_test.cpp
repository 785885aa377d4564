// The built quillon-classic as a lab misuses it: interrupted and killed runs, a second run into
// the same output folder, a low limit of open files, outputs that cannot be written and a
// closed console. A file under its final name is always complete, and every failure exits 1.
#include "tests/classic/processing/classic_fastq_expectations.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/run_generator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using namespace classic_e2e;
using test_support::ProgramRun;

class ClassicMisuse : public testing::Test {
protected:
    // Each lane's tiles take about a second to convert with one tile thread.
    const runsim::RunTruth& generate(int tiles = 30, int spots = 4000)
    {
        runsim::RunRecipe recipe = recipe_for(dir_.path() / "run");
        recipe.tiles = tiles;
        recipe.spots = spots;
        run_ = runsim::generate_run(recipe);
        return run_;
    }
    fs::path out() const { return dir_.path() / "out"; }
    std::vector<std::string> arguments(int lanes_threaded, int threads_per_lane) const
    {
        return {"--input", run_.run_folder.string(), "--output", out().string(), "--threadlanes",
                std::to_string(lanes_threaded), "--threadsperlane", std::to_string(threads_per_lane)};
    }
    // The program started in the background in its own scratch folder, lanes one after the other.
    test_support::StartedProgram start(const std::string& name)
    {
        fs::create_directories(dir_.path() / name);
        return test_support::start_program(QUILLON_CLASSIC_BINARY, arguments(0, 1), dir_.path() / name);
    }
    // Names in the FASTQ folder that end with suffix.
    std::vector<std::string> fastq_folder(const std::string& suffix) const
    {
        std::vector<std::string> names;
        std::error_code error;
        for (fs::directory_iterator entry(out() / "FASTQs", error), end; !error && entry != end; ++entry)
            if (entry->path().filename().string().ends_with(suffix))
                names.push_back(entry->path().filename().string());
        return names;
    }
    // Waits, at most a minute, until the console shows the last set-up line (it is flushed with
    // the first batch of tiles) and the FASTQ files are under their temporary names.
    bool wait_until_mid_lane(const test_support::StartedProgram& started) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            if (started.output().find("\tRead 4 cycle_count 28\n") != std::string::npos &&
                !fastq_folder(".partial").empty())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    test_support::TempDir dir_{"classic-misuse"};
    runsim::RunTruth run_;
};

// The signal's name, "SIGTERM" for SIGTERM.
std::string signal_name(int signal)
{
    return std::string("SIG") + sigabbrev_np(signal);
}

class ClassicInterrupted : public ClassicMisuse, public testing::WithParamInterface<int> {};

TEST_P(ClassicInterrupted, LeavesNoIncompleteFileUnderItsNameAndARerunIsExact)
{
    generate();
    const test_support::StartedProgram started = start("first");
    ASSERT_GT(started.pid, 0);
    ASSERT_TRUE(wait_until_mid_lane(started)) << started.output();
    kill(started.pid, GetParam());
    const ProgramRun run = test_support::wait_for(started, 60);

    const std::map<std::string, std::string> expected = expected_outputs(run_, {1, 2}, {}).files;
    for (const std::string& name : fastq_folder(".fastq.gz")) {
        const auto text = expected.find(name);
        EXPECT_TRUE(text != expected.end() && inflated(out() / "FASTQs" / name) == text->second) << name;
    }
    if (GetParam() == SIGKILL) {
        EXPECT_EQ(run.status, 128 + SIGKILL);
        EXPECT_FALSE(fastq_folder(".partial").empty());
    } else {
        EXPECT_EQ(run.status, 1) << run.err;
        const std::string error = "[ERROR] \tInterrupted by " + signal_name(GetParam()) +
                                  ": the run is stopped and its unfinished FASTQ files are removed\n";
        EXPECT_TRUE(run.has_line_containing(error)) << run.out;
        EXPECT_NE(test_support::read_whole_file(out() / "quillon.log").find(error), std::string::npos);
        EXPECT_EQ(fastq_folder(".partial"), std::vector<std::string>{});
    }

    const ProgramRun rerun = convert(run_.run_folder, out(), 1, 4, dir_.path());
    EXPECT_EQ(rerun.status, 0) << rerun.out << rerun.err;
    expect_outputs(out(), run_, {1, 2});
}

INSTANTIATE_TEST_SUITE_P(Signals, ClassicInterrupted, testing::Values(SIGTERM, SIGINT, SIGKILL),
                         [](const testing::TestParamInfo<int>& info) { return signal_name(info.param); });

TEST_F(ClassicMisuse, SecondRunIntoTheSameFolderIsRefusedAndTouchesNothing)
{
    generate();
    const test_support::StartedProgram first = start("first");
    ASSERT_GT(first.pid, 0);
    ASSERT_TRUE(wait_until_mid_lane(first)) << first.output();

    fs::create_directories(dir_.path() / "second");
    std::vector<std::string> args = {"30", QUILLON_CLASSIC_BINARY};
    for (const std::string& arg : arguments(1, 2))
        args.push_back(arg);
    const ProgramRun second = test_support::run_program("timeout", args, dir_.path() / "second");
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(second.has_line_containing("[ERROR] \tCannot use the output folder " + out().string() +
                                           ": another run is writing to " + out().string() + "\n"))
        << second.out;

    const ProgramRun run = test_support::wait_for(first, 120);
    EXPECT_EQ(run.status, 0) << run.out;
    expect_outputs(out(), run_, {1, 2});
    EXPECT_EQ(test_support::read_whole_file(out() / "quillon.log").find("--threadsperlane 2"), std::string::npos);
}

TEST_F(ClassicMisuse, OpenFileLimitIsRaisedOrTheRunRefusedBeforeAnyFile)
{
    generate(2, 60);
    // Both lanes side by side: 2 lanes x 4 reads x (track file and control file) = 16 FASTQ
    // files, and 8 + 2 per tile thread others.
    auto classic_under = [&](const std::string& limit) {
        std::vector<std::string> args = {"-c", limit + " && exec timeout 60 \"$0\" \"$@\"", QUILLON_CLASSIC_BINARY};
        for (const std::string& arg : arguments(1, 2))
            args.push_back(arg);
        return test_support::run_program("sh", args, dir_.path());
    };
    const ProgramRun raised = classic_under("ulimit -S -n 20");
    EXPECT_EQ(raised.status, 0) << raised.out << raised.err;
    expect_outputs(out(), run_, {1, 2});

    fs::remove_all(out());
    const ProgramRun refused = classic_under("ulimit -S -n 20 && ulimit -H -n 20");
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_TRUE(refused.has_line_containing("[ERROR] \tThe run needs 32 open files at once (16 FASTQ files and 16 "
                                            "others), more than the 20 this process may open\n"))
        << refused.out;
    EXPECT_TRUE(fs::is_empty(out() / "FASTQs"));
}

// A file that cannot be written fails the run; the FASTQ files are complete all the same.
struct LateErrorCase {
    const char* name;
    // Makes the failure below the output folder; returns the message that must appear.
    std::function<std::string(const fs::path& out, const std::string& flowcell)> prepare;
    bool on_stderr; // else an ERROR line
};

void PrintTo(const LateErrorCase& c, std::ostream* out)
{
    *out << c.name;
}

class ClassicLateError : public ClassicMisuse, public testing::WithParamInterface<LateErrorCase> {};

TEST_P(ClassicLateError, EndsWithStatusOneAndItsMessage)
{
    generate(3, 80);
    const std::string message = GetParam().prepare(out(), run_.identity.flowcell_id);
    const ProgramRun run = convert(run_.run_folder, out(), 1, 2, dir_.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE((GetParam().on_stderr ? run.err : run.out).find(message), std::string::npos) << run.out << run.err;
    EXPECT_EQ(fastq_folder(".partial"), std::vector<std::string>{});
    expect_fastqs(out() / "FASTQs", expected_outputs(run_, {1, 2}, {}).files);
}

// The disk is full for a file when its temporary name leads to /dev/full.
const LateErrorCase Late_error_cases[] = {
    {"FrequencyCopyOnFullDevice",
     [](const fs::path& out, const std::string& flowcell) {
         const fs::path copy = out / "Metrics" / (flowcell + "_Undetermined_SID_Frequency_Metrics.csv");
         fs::create_directories(copy.parent_path());
         fs::create_symlink("/dev/full", copy.string() + ".partial");
         return "[ERROR] \tCannot write to output file " + copy.string() + "\n";
     },
     false},
    {"LogFileOnFullDevice",
     [](const fs::path& out, const std::string&) {
         fs::create_directories(out);
         fs::create_symlink("/dev/full", out / "quillon.log");
         return "ERROR: Unable to write log file '" + (out / "quillon.log").string() +
                "' : No space left on device\n";
     },
     true},
};

INSTANTIATE_TEST_SUITE_P(Runs, ClassicLateError, testing::ValuesIn(Late_error_cases),
                         [](const testing::TestParamInfo<LateErrorCase>& info) { return std::string(info.param.name); });

TEST_F(ClassicMisuse, ClosedConsoleIsPassedOver)
{
    generate(3, 80);
    // Standard output is a pipe that nobody reads any more.
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    close(pipe_ends[0]);
    std::vector<std::string> args = {"-c", "exec timeout 60 \"$0\" \"$@\" >&" + std::to_string(pipe_ends[1]),
                                     QUILLON_CLASSIC_BINARY};
    for (const std::string& arg : arguments(1, 2))
        args.push_back(arg);
    const ProgramRun run = test_support::run_program("sh", args, dir_.path());
    close(pipe_ends[1]);
    EXPECT_EQ(run.status, 0) << run.err;
    expect_outputs(out(), run_, {1, 2});
    const std::string log = test_support::read_whole_file(out() / "quillon.log");
    EXPECT_TRUE(log.ends_with("] [INFO] \t0 exceptions\n")) << log;
}

} // namespace
