// The positions reader: integer and float values, header checks. Short data and unopenable
// files are covered through the tile bundle (zel_bundle_test.cpp).
#include "converter/pipeline/pos_reader.h"

#include "converter/app/file_checks.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/positions_file.h"
#include "tools/runsim/zel_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class PosReaderTest : public ::testing::TestWithParam<runsim::PositionsType> {
protected:
    fs::path write(const std::string& name, const std::vector<unsigned char>& bytes)
    {
        runsim::write_bytes(dir_.path() / name, bytes);
        return dir_.path() / name;
    }

    test_support::TempDir dir_{"pos-reader"};
    test_support::LogCapture log_;
};

TEST_P(PosReaderTest, ReadsEveryPairAsIntegersAndNothingBeyond)
{
    // Float files hold each value +-0.25, so only truncation toward zero gives it back.
    const std::vector<std::int32_t> xy = {0, 1, -1, 32767, 32768, -40000, 123456, -7};
    const fs::path path = write("R1_positions", runsim::positions_bytes(xy, GetParam(), 4));
    PosReader reader;
    std::uint64_t spots = 0;
    ASSERT_TRUE(reader.open(path, spots));
    EXPECT_EQ(spots, 4u);
    std::vector<int> got(xy.size());
    ASSERT_TRUE(reader.read(got.data(), 4));
    EXPECT_EQ(got, std::vector<int>(xy.begin(), xy.end()));
    EXPECT_FALSE(reader.read(got.data(), 1));
    EXPECT_TRUE(log_.lines().empty());
}

INSTANTIATE_TEST_SUITE_P(Types, PosReaderTest,
                         ::testing::Values(runsim::PositionsType::Int32, runsim::PositionsType::Float32));

TEST_F(PosReaderTest, RefusesIncompleteHeaderAndUnknownValueType)
{
    std::vector<unsigned char> type7 =
        runsim::positions_bytes(std::vector<std::int32_t>{1, 2}, runsim::PositionsType::Int32, 1);
    type7[8] = 7;
    const std::vector<fs::path> paths = {
        write("empty_positions", {}),
        write("short_positions", std::vector<unsigned char>(type7.begin(), type7.begin() + 23)),
        write("type7_positions", type7)};
    for (const fs::path& path : paths) {
        PosReader reader;
        std::uint64_t spots = 99;
        EXPECT_FALSE(reader.open(path, spots)) << path;
        EXPECT_EQ(spots, 99u);
    }
    const std::string incomplete = "[ERROR] ERROR: Incomplete header in positions file: ";
    EXPECT_EQ(log_.lines(), (std::vector<std::string>{
                                incomplete + quoted_path(paths[0]), incomplete + quoted_path(paths[1]),
                                "[ERROR] ERROR: Incorrect value type in positions file: " + quoted_path(paths[2])}));
}

} // namespace
