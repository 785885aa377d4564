// The lane's FASTQ writer: bundle cutting, routing of spots to files, file names, merged
// lanes, the writer thread's drain, the members on disk, and open, write and format errors.
// Every suite begins with "FastqFileManager" so the writer's tests can be selected together.
#include "converter/pipeline/fastq_file_manager.h"

#include "common/partial_files.h"
#include "converter/app/config.h"
#include "converter/app/timer_manager.h"
#include "converter/pipeline/spot.h"
#include "tests/converter/pipeline/gzip_members.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/time_limit.h"

#include <gtest/gtest.h>
#include <oneapi/tbb/global_control.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>

namespace fs = std::filesystem;
using test_support::read_whole_file;
using test_support::within_time_limit;

namespace {

// Calls of quality 30 for bases cycling through ACGT.
std::vector<unsigned char> calls_of_length(int length)
{
    std::vector<unsigned char> calls(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i)
        calls[static_cast<std::size_t>(i)] = static_cast<unsigned char>(30 * 4 + i % 4);
    return calls;
}

// The record of read 1 of a spot made by make_spots, surface 1, tile 5.
std::string record(int x, int length, int lane = 1)
{
    std::string bases;
    for (int i = 0; i < length; ++i)
        bases += "ACGT"[i % 4];
    return "@INS:7:FC1:" + std::to_string(lane) + ":01005:" + std::to_string(x) + ":0 1:N:0\n" + bases + "\n+\n" +
           std::string(static_cast<std::size_t>(length), '?') + "\n";
}

class FastqFileManagerTest : public ::testing::Test {
protected:
    FastqFileManagerTest()
    {
        FastqFile::reset_opened_paths();
        config.instrument_id = "INS";
        config.run_id = "7";
        config.flowcell_id = "FC1";
        config.num_reads = 2;
        config.num_lanes = 2;
        config.R1_range.read = 1;
        config.R2_range.read = 2;
        config.lane_samples = {{}, {}};
        config.fastq_folder = dir.path();
        config.compress = false;
    }

    // count spots with reads of length bases; x numbers the spots from first_x.
    std::vector<Spot> make_spots(int count, int length, int first_x = 0)
    {
        const auto calls = calls_of_length(length);
        std::vector<Spot> spots(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            Spot& spot = spots[static_cast<std::size_t>(i)];
            spot.init(config.num_reads);
            for (SpotRead& read : spot.reads)
                read.init(length, calls.data(), static_cast<short>(first_x + i), 0);
        }
        return spots;
    }

    // An empty output folder, as for a new run.
    void start_afresh()
    {
        fs::remove_all(dir.path());
        fs::create_directories(dir.path());
        FastqFile::reset_opened_paths();
    }

    std::string file(const std::string& name) { return read_whole_file(dir.path() / name); }

    std::set<std::string> files_in_folder()
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            names.insert(entry.path().filename().string());
        return names;
    }

    // Runs one lane over the tiles' spots (surface 1, tile 5 each) and stops it.
    void write_lane(int lane, std::vector<std::vector<Spot>>& tiles)
    {
        FastqFileManager manager(config, timers, lane);
        manager.run();
        for (auto& spots : tiles)
            manager.process_spots(spots, 1, 5);
        manager.stop();
        manager.join();
        EXPECT_FALSE(manager.has_write_error()) << manager.write_error();
        EXPECT_EQ(manager.total_bundles(), 0);
    }

    // The writer's tests also run under ThreadSanitizer, which misreads the task scheduler's
    // own parallel loops; one scheduler thread keeps its reports to our code.
    tbb::global_control serial{tbb::global_control::max_allowed_parallelism, 1};
    test_support::TempDir dir{"fastq-writer"};
    Config config;
    TimerManager timers;
};

using FastqFileManagerBundles = FastqFileManagerTest;
using FastqFileManagerRouting = FastqFileManagerTest;
using FastqFileManagerFiles = FastqFileManagerTest;
using FastqFileManagerWriter = FastqFileManagerTest;
using FastqFileManagerErrors = FastqFileManagerTest;

// A bundle closes after the spot whose estimate (2 x length + 69) takes the sum past 0xFFFFF:
// 500 bases: 1069 each, 980 x 1069 = 1,047,620, the 981st passes; 151 bases: 371 each,
// 2826 x 371 = 1,048,446, the 2827th passes; 100 bases: 269 each, 3898 x 269 = 1,048,562,
// the 3899th passes.
TEST_F(FastqFileManagerBundles, CutsAtTheEstimateLimit)
{
    struct Case {
        int length, spots;
        std::vector<std::size_t> sizes;
    } cases[] = {
        {500, 1000, {981, 19}}, {151, 6000, {2827, 2827, 346}}, {100, 3899, {3899}}, {100, 3900, {3899, 1}},
        {100, 0, {}},
    };
    FastqFileManager manager(config, timers, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::vector<Spot> spots(static_cast<std::size_t>(c.spots));
        std::vector<Spot*> pointers;
        for (Spot& spot : spots) {
            spot.init(2);
            spot.reads[1].seq.resize(c.length);
            pointers.push_back(&spot);
        }
        std::vector<std::shared_ptr<FastqSpotBundle>> bundles;
        manager.create_bundles(pointers, 1, 5, 2, bundles);
        std::vector<std::size_t> sizes;
        const Spot* next = spots.data();
        for (const auto& bundle : bundles) {
            sizes.push_back(bundle->spots.size());
            EXPECT_EQ(bundle->spots.front(), next); // in spot order, none skipped
            next += bundle->spots.size();
            EXPECT_EQ(bundle->read, 2);
            EXPECT_EQ(bundle->tile, "01005");
        }
        EXPECT_EQ(sizes, c.sizes);
        for (auto& bundle : bundles)
            manager.return_bundle(bundle);
    }
}

TEST_F(FastqFileManagerRouting, ChoosesSlotsAndWritableReads)
{
    config.lane_samples = {{{1, "A", "", ""}, {1, "B", "", ""}}, {}};
    FastqFileManager manager(config, timers, 1);
    EXPECT_EQ(manager.get_file_index(false, -1), 0);
    EXPECT_EQ(manager.get_file_index(true, -1), 3);
    EXPECT_EQ(manager.get_file_index(true, 1), 2);
    EXPECT_EQ(manager.get_file_index(false, 0), 1);

    struct Case {
        int read1, read2;
        bool index_output;
        int read;
        bool writable;
    } cases[] = {
        {0, 0, false, 3, true}, {1, 4, false, 2, false}, {1, 4, false, 4, true},
        {1, 4, true, 2, true},  {1, 0, false, 1, true},  {1, 0, false, 2, false},
    };
    for (const Case& c : cases) {
        config.R1_range.read = c.read1;
        config.R2_range.read = c.read2;
        config.OutputIndexFASTQ = c.index_output;
        EXPECT_EQ(manager.is_writable(c.read), c.writable) << c.read1 << c.read2 << c.read;
    }
}

TEST_F(FastqFileManagerRouting, WritesEachSpotToItsSlotsFile)
{
    config.lane_samples = {{{1, "A", "", ""}, {1, "B", "", ""}}, {}};
    for (bool control_output : {true, false}) {
        SCOPED_TRACE(control_output);
        config.OutputControlFASTQ = control_output;
        std::vector<std::vector<Spot>> tiles{make_spots(5, 4, 1)};
        auto& spots = tiles[0];
        spots[0].sample = 0;
        spots[1].sample = 1;
        spots[2].reads[1].control = 1; // control without sample
        spots[3].reads[0].control = 1; // control with sample B
        spots[3].sample = 1;
        write_lane(1, tiles);

        EXPECT_EQ(file("FC1_L01_Read1_Sample_Library_Undetermined.fastq"), record(5, 4));
        EXPECT_EQ(file("FC1_L01_Read1_Sample_Library_A.fastq"), record(1, 4));
        EXPECT_EQ(file("FC1_L01_Read1_Sample_Library_B.fastq"), record(2, 4) + record(4, 4));
        EXPECT_EQ(fs::exists(dir.path() / "FC1_L01_Read1_Control_Library.fastq"), control_output);
        if (control_output) {
            EXPECT_EQ(file("FC1_L01_Read1_Control_Library.fastq"), record(3, 4));
        }
        start_afresh();
    }
}

TEST_F(FastqFileManagerFiles, NamesTheLanesFiles)
{
    struct Case {
        std::vector<std::vector<Sample>> samples;
        int reads;
        bool merge, compress;
        std::set<std::string> names;
    } cases[] = {
        {{{}, {}},
         2,
         false,
         false,
         {"FC1_L01_Read1_Sample_Library.fastq", "FC1_L01_Read1_Control_Library.fastq",
          "FC1_L01_Read2_Sample_Library.fastq", "FC1_L01_Read2_Control_Library.fastq"}},
        // Samples in lane 2 only: lane 1's undetermined file is named so all the same.
        {{{}, {{2, "A", "", ""}}},
         2,
         true,
         true,
         {"FC1_Read1_Sample_Library_Undetermined.fastq.gz", "FC1_Read1_Control_Library.fastq.gz",
          "FC1_Read2_Sample_Library_Undetermined.fastq.gz", "FC1_Read2_Control_Library.fastq.gz"}},
        // An index read between Read1 and Read2 gets no file.
        {{{}, {}},
         3,
         false,
         false,
         {"FC1_L01_Read1_Sample_Library.fastq", "FC1_L01_Read1_Control_Library.fastq",
          "FC1_L01_Read2_Sample_Library.fastq", "FC1_L01_Read2_Control_Library.fastq"}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(*c.names.begin());
        config.lane_samples = c.samples;
        config.num_reads = c.reads;
        config.I1_range.read = c.reads == 3 ? 2 : 0;
        config.R2_range.read = c.reads;
        config.MergeLanes = c.merge;
        config.compress = c.compress;
        std::vector<std::vector<Spot>> tiles;
        write_lane(1, tiles);
        // Merged lanes leave their files to the end of the run, which renames them.
        std::vector<std::string> errors;
        EXPECT_TRUE(PartialFiles::publish_all(errors));
        EXPECT_EQ(files_in_folder(), c.names);
        start_afresh();
    }
}

TEST_F(FastqFileManagerFiles, MergedLanesTruncateFirstThenAppend)
{
    config.MergeLanes = true;
    config.lane_samples = {{{1, "A", "", ""}}, {{2, "B", "", ""}}};
    // Leftovers of an earlier run under the same names are never extended.
    for (const char* name : {"FC1_Read1_Sample_Library_Undetermined.fastq", "FC1_Read1_Sample_Library_B.fastq"})
        std::ofstream(dir.path() / name) << "old\n";

    std::vector<std::vector<Spot>> lane1{make_spots(2, 4, 1)};
    lane1[0][1].sample = 0;
    write_lane(1, lane1);
    std::vector<std::vector<Spot>> lane2{make_spots(2, 4, 3)};
    lane2[0][1].sample = 0;
    write_lane(2, lane2);
    // The run renames the files of merged lanes at its end.
    std::vector<std::string> errors;
    EXPECT_TRUE(PartialFiles::publish_all(errors));

    EXPECT_EQ(file("FC1_Read1_Sample_Library_Undetermined.fastq"), record(1, 4, 1) + record(3, 4, 2));
    EXPECT_EQ(file("FC1_Read1_Sample_Library_A.fastq"), record(2, 4));
    EXPECT_EQ(file("FC1_Read1_Sample_Library_B.fastq"), record(4, 4, 2));
}

TEST_F(FastqFileManagerWriter, DrainsAfterStopIntoSoundMembers)
{
    config.compress = true;
    const int tiles = 6;
    const int per_tile = 4000; // two bundles per tile and read
    std::vector<std::vector<Spot>> spots;
    std::string expected;
    for (int t = 0; t < tiles; ++t) {
        spots.push_back(make_spots(per_tile, 151, t * per_tile));
        for (int i = 0; i < per_tile; ++i)
            expected += record(t * per_tile + i, 151);
    }

    FastqFileManager manager(config, timers, 1);
    manager.run();
    for (auto& tile : spots)
        manager.process_spots(tile, 1, 5);
    manager.stop();
    manager.join();
    EXPECT_EQ(manager.total_bundles(), 0);
    EXPECT_FALSE(manager.has_write_error());

    // Walked by the sizes the members record; zlib checks each member's CRC-32 and ISIZE.
    const fs::path path = dir.path() / "FC1_L01_Read1_Sample_Library.fastq.gz";
    std::string error;
    const auto texts = gzip_members::member_texts(read_whole_file(path), error);
    ASSERT_EQ(error, "");
    EXPECT_EQ(texts.size(), 2u * tiles);
    std::string text;
    for (const std::string& part : texts)
        text += part;
    EXPECT_TRUE(text == expected) << "the file's text differs from the records in spot order";
    EXPECT_EQ(std::system(("gzip -t " + test_support::shell_quoted(path.string())).c_str()), 0);

    std::uint64_t on_disk = 0;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        on_disk += entry.file_size();
    EXPECT_EQ(manager.total_bytes_written(), on_disk);
}

TEST_F(FastqFileManagerErrors, OpenFailureLeavesAnOrderlyManager)
{
    config.fastq_folder = dir.path() / "missing";
    FastqFileManager manager(config, timers, 1);
    try {
        manager.run();
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "ERROR: Unable to open '" + (dir.path() / "missing" / "FC1_L01_Read1_Sample_Library.fastq").string() +
                      "' : No such file or directory");
    }
    manager.stop();
    manager.join();
}

TEST_F(FastqFileManagerErrors, DestructionStopsARunningWriter)
{
    std::vector<Spot> spots = make_spots(10, 20);
    within_time_limit(
        [&] {
            FastqFileManager manager(config, timers, 1);
            manager.run();
            manager.process_spots(spots, 1, 5);
        },
        "FASTQ writer");
}

TEST_F(FastqFileManagerWriter, DestructionWithCompressionInFlightEnds)
{
    // With one scheduler thread a tile's members are made only when the main thread waits for
    // them: the writer is still waiting for both tiles when the manager is destroyed.
    config.compress = true;
    std::vector<std::vector<Spot>> tiles{make_spots(3000, 151), make_spots(3000, 151, 3000)};
    within_time_limit(
        [&] {
            FastqFileManager manager(config, timers, 1);
            manager.run();
            for (auto& spots : tiles)
                manager.process_spots(spots, 1, 5);
        },
        "FASTQ writer");
}

TEST_F(FastqFileManagerErrors, WriteFailureIsReportedAndNotCounted)
{
    const fs::path full = dir.path() / "FC1_L01_Read1_Sample_Library.fastq";
    std::vector<Spot> spots = make_spots(100, 20);
    FastqFileManager manager(config, timers, 1);
    manager.run();
    // The disk fills up once the file is made.
    manager.files[0][0].file->out.attach(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    manager.process_spots(spots, 1, 5);
    manager.stop();
    manager.join();
    ASSERT_TRUE(manager.has_write_error());
    EXPECT_EQ(manager.write_error(), "ERROR: Unable to write '" + full.string() + "' : No space left on device");
    // The lane failed: its files keep their temporary names.
    EXPECT_EQ(manager.total_bytes_written(),
              fs::file_size(PartialFiles::partial_path(dir.path() / "FC1_L01_Read2_Sample_Library.fastq")));
    EXPECT_FALSE(fs::exists(dir.path() / "FC1_L01_Read2_Sample_Library.fastq"));
}

TEST_F(FastqFileManagerErrors, WriterThreadErrorFailsTheLaneNamingTheFile)
{
    std::vector<Spot> spots = make_spots(100, 20);
    FastqFileManager manager(config, timers, 1);
    manager.run();
    // A stream that throws when it fails: the error is raised on the writer thread.
    FastqFile& file = *manager.files[0][0].file;
    file.out.close();
    file.out.exceptions(std::ios::badbit | std::ios::failbit);
    manager.process_spots(spots, 1, 5);
    manager.stop();
    manager.join();
    ASSERT_TRUE(manager.has_write_error());
    const std::string name = (dir.path() / "FC1_L01_Read1_Sample_Library.fastq").string();
    EXPECT_EQ(manager.write_error().rfind("ERROR: Unable to write '" + name + "' : ", 0), 0u) << manager.write_error();
    EXPECT_EQ(manager.total_bundles(), 0);
}

TEST_F(FastqFileManagerErrors, FormatFailureQueuesNothingAndRecyclesBundles)
{
    std::vector<Spot> spots = make_spots(3, 20);
    spots[1] = make_spots(1, 600)[0];
    FastqFileManager manager(config, timers, 1);
    manager.run();
    try {
        manager.process_spots(spots, 1, 5);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "seq buffer is out of bounds: seq_size= 600");
    }
    EXPECT_EQ(manager.total_bundles(), 0);
    EXPECT_EQ(manager.free_bundle_count(), manager.bundle_count());
    manager.stop();
    manager.join();
    EXPECT_EQ(manager.total_bytes_written(), 0u);
    EXPECT_FALSE(manager.has_write_error());
}

} // namespace
