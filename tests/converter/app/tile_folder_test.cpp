// Tile folders: numbers from the folder names, input files by read number, file-name problems.
#include "converter/app/tile_folder.h"
#include "converter/app/tile_folder_checks.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TileFolderTest : public ::testing::Test {
protected:
    TileFolderTest() { fs::create_directories(tile_); }

    void touch(const fs::path& relative)
    {
        fs::create_directories((tile_ / relative).parent_path());
        std::ofstream(tile_ / relative) << "x";
    }

    test_support::TempDir dir_{"tile-folder"};
    const fs::path tile_ = dir_.path() / "L02" / "S03_T045";
};

TEST_F(TileFolderTest, NumbersComeFromTheFolderNames)
{
    for (const fs::path& path : {tile_, fs::path(tile_.string() + "/")}) {
        const TileFolder tile(path);
        EXPECT_EQ(tile.lane, 2);
        EXPECT_EQ(tile.surface, 3);
        EXPECT_EQ(tile.tile, 45);
        EXPECT_EQ(tile.folder, path);
    }
    const TileFolder missing(dir_.path() / "L01" / "S01_T007");
    EXPECT_EQ(missing.lane, 1);
    EXPECT_EQ(missing.tile, 7);
    EXPECT_TRUE(missing.zel_files.empty());
    EXPECT_TRUE(missing.pos_files.empty());
}

TEST_F(TileFolderTest, FilesAreIndexedByReadNumberAtAnyDepth)
{
    touch("R1.zel");
    touch("r3.zel");
    touch("R1_positions");
    touch("zel/R2_positions");
    for (const char* ignored :
         {"R1.zel.bak", "X2.zel", "R.zel", "R2.ZEL", "R2_positions.txt", "R2positions", "notes.txt"})
        touch(ignored);
    fs::create_directories(tile_ / "R2.zel"); // a folder, not a file

    const TileFolder tile(tile_);
    ASSERT_EQ(tile.zel_files.size(), 3u);
    EXPECT_EQ(tile.zel_files[0], tile_ / "R1.zel");
    EXPECT_TRUE(tile.zel_files[1].empty()); // a gap in the numbering
    EXPECT_EQ(tile.zel_files[2], tile_ / "r3.zel");
    ASSERT_EQ(tile.pos_files.size(), 2u);
    EXPECT_EQ(tile.pos_files[1], tile_ / "zel" / "R2_positions");
    EXPECT_TRUE(find_tile_file_problems(tile).empty());
}

TEST_F(TileFolderTest, ReadNumbersOutsideOneToFourAreProblemsNotSlots)
{
    for (const char* name : {"R0.zel", "R5.zel", "R00_positions", "R99999999999999999999.zel"})
        touch(name);
    touch("R0004.zel"); // leading zeros: read 4

    const TileFolder tile(tile_);
    ASSERT_EQ(tile.zel_files.size(), 4u);
    EXPECT_EQ(tile.zel_files[3], tile_ / "R0004.zel");
    EXPECT_TRUE(tile.pos_files.empty());
    const std::string prefix = "Read number not in 1 to 4 in file name: ";
    EXPECT_EQ(find_tile_file_problems(tile),
              (std::vector<std::string>{prefix + (tile_ / "R0.zel").string(), prefix + (tile_ / "R5.zel").string(),
                                        prefix + (tile_ / "R99999999999999999999.zel").string(),
                                        prefix + (tile_ / "R00_positions").string()}));
}

TEST_F(TileFolderTest, SecondFileForAReadNumberIsAProblem)
{
    touch("R1.zel");
    touch("r1.zel");
    touch("R01.zel");
    touch("copy/R1.zel");
    touch("R2.zel");
    touch("R1_positions");

    const TileFolder tile(tile_);
    ASSERT_EQ(tile.zel_files.size(), 2u);
    const std::string prefix = "More than one file for read 1: ";
    EXPECT_EQ(find_tile_file_problems(tile),
              (std::vector<std::string>{prefix + (tile_ / "R01.zel").string(), prefix + (tile_ / "R1.zel").string(),
                                        prefix + (tile_ / "copy" / "R1.zel").string(),
                                        prefix + (tile_ / "r1.zel").string()}));
}

TEST(TileFolderNames, LaneAndTileNamesHaveExactShapes)
{
    for (const char* name : {"L01", "L02", "L00", "L99"})
        EXPECT_TRUE(is_lane_name(name)) << name;
    for (const char* name : {"L1", "L01x", "l01", "L0a", "", "LL01"})
        EXPECT_FALSE(is_lane_name(name)) << name;
    for (const char* name : {"S01_T001", "S99_T999"})
        EXPECT_TRUE(is_tile_name(name)) << name;
    for (const char* name : {"S01_T01", "S01_T0001", "S01-T001", "s01_t001", "S1_T0001", "S0a_T001"})
        EXPECT_FALSE(is_tile_name(name)) << name;
}

} // namespace
