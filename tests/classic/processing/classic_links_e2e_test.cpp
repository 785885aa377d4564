// The built quillon-classic in an output folder that others can write to: links at the names of
// its temporary files and of its log are never written through, and a lock file that another
// user's run left there does not stop the next run.
#include "tests/classic/processing/classic_fastq_expectations.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/run_generator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include <unistd.h>

namespace {

using namespace classic_e2e;

TEST(ClassicSharedFolder, LinksAtTemporaryNamesAndAtTheLogsNameAreNeverWrittenThrough)
{
    test_support::TempDir dir("classic-links");
    const runsim::RunTruth run = runsim::generate_run(recipe_for(dir.path() / "run"));
    const fs::path out = dir.path() / "out";
    const fs::path outside = dir.path() / "outside.txt";
    const std::string kept = "a file outside the output folder\n";
    const std::string& flowcell = run.identity.flowcell_id;
    const fs::path names[] = {out / "FASTQs" / (flowcell + "_L01_R1_Sample_Library.fastq.gz.partial"),
                              out / "Metrics" / (flowcell + "_L02_R4_Control_Library_Metrics.csv.partial"),
                              out / "quillon.log"};
    for (const auto& [symbolic, refusal] :
         {std::pair{true, "Too many levels of symbolic links"}, std::pair{false, "Too many links"}}) {
        SCOPED_TRACE(refusal);
        fs::remove_all(out);
        std::ofstream(outside) << kept;
        for (const fs::path& name : names) {
            fs::create_directories(name.parent_path());
            symbolic ? fs::create_symlink(outside, name) : fs::create_hard_link(outside, name);
        }
        const auto result = convert(run.run_folder, out, 1, 2, dir.path());
        // A log that is not the log's own file is an unwritable log; the files are written anew.
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find("ERROR: Unable to write log file '" + names[2].string() + "' : " + refusal),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(test_support::read_whole_file(outside), kept);
        expect_outputs(out, run, {1, 2});
    }
}

TEST(ClassicSharedFolder, LockFileOfAnotherUserDoesNotBlock)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "running as another user needs root";
    test_support::TempDir dir("classic-shared");
    const runsim::RunTruth run = runsim::generate_run(recipe_for(dir.path() / "run"));
    // A shared folder holding root's lock file; the run is nobody's, with a copy of the program.
    const fs::path out = dir.path() / "out";
    fs::create_directories(out);
    fs::permissions(out, fs::perms::all | fs::perms::sticky_bit);
    std::ofstream(out / ".quillon.lock").close();
    fs::copy_file(QUILLON_CLASSIC_BINARY, dir.path() / "quillon-classic");
    const auto result = test_support::run_program(
        "setpriv",
        {"--reuid=65534", "--regid=65534", "--clear-groups", (dir.path() / "quillon-classic").string(), "--input",
         run.run_folder.string(), "--output", out.string(), "--threadsperlane", "2"},
        dir.path());
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    expect_outputs(out, run, {1, 2});
}

} // namespace
