// The base-call file reader: header checks and their messages, the text block, the calls.
#include "converter/pipeline/zel_reader.h"

#include "converter/app/file_checks.h"
#include "tests/converter/app/config_test_support.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/zel_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<unsigned char> numbered_calls(std::size_t count)
{
    std::vector<unsigned char> calls(count);
    for (std::size_t i = 0; i < count; ++i)
        calls[i] = static_cast<unsigned char>(i * 7 + 3);
    return calls;
}

void set_u64(std::vector<unsigned char>& bytes, std::size_t at, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        bytes[at + std::size_t(i)] = static_cast<unsigned char>(value >> (8 * i));
}

// Small members, so that the header, the text and the calls straddle member borders.
runsim::ZelWriteOptions small_members()
{
    runsim::ZelWriteOptions options;
    options.member_text_size = 37;
    return options;
}

class ZelReaderTest : public ::testing::Test {
protected:
    fs::path write(const std::string& name, const runsim::ZelHeader& header, const std::vector<unsigned char>& calls)
    {
        const fs::path path = dir_.path() / name;
        runsim::write_zel_file(path, header, calls, small_members());
        return path;
    }
    // The header with its six fields as given (the text length field may lie), then the body.
    fs::path write_raw(const std::string& name, std::vector<unsigned char> head, const std::vector<unsigned char>& body)
    {
        const fs::path path = dir_.path() / name;
        runsim::write_block_gzip_file(path, head, body, 37, 1);
        return path;
    }
    std::vector<std::string> errors() const
    {
        std::vector<std::string> found;
        for (const std::string& line : log_.lines())
            if (line.rfind("[ERROR] ", 0) == 0)
                found.push_back(line.substr(8));
        return found;
    }

    test_support::TempDir dir_{"zel-reader"};
    config_test::LogCapture log_;
};

TEST_F(ZelReaderTest, ReadsHeaderSkipsTextAndHandsOutTheCalls)
{
    runsim::ZelHeader header;
    header.version = 3;
    header.spots = 9;
    header.cycles = 11;
    header.extra_cycles = 2;
    header.text = std::string(100, 't');
    const std::vector<unsigned char> calls = numbered_calls(9 * 11);
    const fs::path first = write("first.zel", header, calls);
    header.version = 4;
    header.spots = 1;
    header.text.clear();
    const fs::path second = write("second.zel", header, numbered_calls(11));

    ZelReader reader;
    int spots = -1, cycles = -1, extra = -1;
    ASSERT_TRUE(reader.open(first, spots, cycles, extra));
    EXPECT_EQ(spots, 9);
    EXPECT_EQ(cycles, 11);
    EXPECT_EQ(extra, 2);
    std::vector<unsigned char> got(calls.size());
    ASSERT_TRUE(reader.read(got.data(), got.size()));
    EXPECT_EQ(got, calls);
    unsigned char more = 0;
    EXPECT_FALSE(reader.read(&more, 1)); // nothing beyond the calls
    reader.close();

    // The same reader takes the next file, also when the previous one was not closed.
    ASSERT_TRUE(reader.open(second, spots, cycles, extra));
    EXPECT_EQ(spots, 1);
    ASSERT_TRUE(reader.open(first, spots, cycles, extra));
    EXPECT_EQ(spots, 9);
    EXPECT_TRUE(errors().empty());
}

struct HeaderCase {
    std::string name;
    std::uint64_t type, version, spots, cycles, extra;
    std::vector<std::string> messages; // each followed by the quoted path
};

void PrintTo(const HeaderCase& c, std::ostream* os)
{
    *os << c.name;
}

class ZelHeaderChecks : public ZelReaderTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(ZelHeaderChecks, RefusesTheHeaderNamingTheFile)
{
    const HeaderCase& c = GetParam();
    runsim::ZelHeader header;
    header.type = c.type;
    header.version = c.version;
    header.spots = c.spots;
    header.cycles = c.cycles;
    header.extra_cycles = c.extra;
    header.text = "run text";
    const fs::path path = write(c.name + ".zel", header, numbered_calls(64));

    ZelReader reader;
    int spots = -7, cycles = -7, extra = -7;
    EXPECT_FALSE(reader.open(path, spots, cycles, extra));
    EXPECT_EQ(spots, -7);
    EXPECT_EQ(cycles, -7);
    EXPECT_EQ(extra, -7);
    std::vector<std::string> expected;
    for (const std::string& message : c.messages)
        expected.push_back(message + quoted_path(path));
    EXPECT_EQ(errors(), expected);
}

const std::uint64_t two_31 = std::uint64_t(1) << 31;

INSTANTIATE_TEST_SUITE_P(
    Header, ZelHeaderChecks,
    ::testing::Values(
        HeaderCase{"type43", 43, 4, 8, 8, 0, {"ERROR: Incorrect file type: "}},
        HeaderCase{"version2", 42, 2, 8, 8, 0, {"ERROR: Incorrect file version "}},
        HeaderCase{
            "type_and_version", 7, 1, 8, 8, 0, {"ERROR: Incorrect file type: ", "ERROR: Incorrect file version "}},
        HeaderCase{"extra_over_cycles", 42, 4, 8, 8, 9, {"ERROR: Invalid number of extra cycles in .zel file: "}},
        HeaderCase{"cycles0", 42, 4, 8, 0, 0, {"ERROR: Invalid number of cycles in .zel file: "}},
        HeaderCase{"cycles_2_31", 42, 4, 1, two_31, 0, {"ERROR: Invalid number of cycles in .zel file: "}},
        HeaderCase{"spots_2_31", 42, 4, two_31, 8, 0, {"ERROR: Invalid number of spots in .zel file: "}},
        HeaderCase{
            "huge_extra", 42, 4, 8, 8, ~std::uint64_t(0), {"ERROR: Invalid number of extra cycles in .zel file: "}}),
    [](const ::testing::TestParamInfo<HeaderCase>& test_info) { return test_info.param.name; });

TEST_F(ZelReaderTest, LargestCountsAndExtraEqualToCyclesPass)
{
    runsim::ZelHeader header;
    header.spots = two_31 - 1;
    header.cycles = 5;
    header.extra_cycles = 5;
    const fs::path path = write("edge.zel", header, {});
    ZelReader reader;
    int spots = 0, cycles = 0, extra = 0;
    EXPECT_TRUE(reader.open(path, spots, cycles, extra));
    EXPECT_EQ(spots, 2147483647);
    EXPECT_EQ(extra, 5);
}

TEST_F(ZelReaderTest, TextBlockPastTheEndOrShortHeaderIsRefused)
{
    runsim::ZelHeader header;
    header.spots = 2;
    header.cycles = 4;
    header.text = "abc";
    std::vector<unsigned char> head = runsim::zel_header_bytes(header);
    set_u64(head, 40, 3 + 8 + 1); // one byte more than text and calls together
    const fs::path past = write_raw("past.zel", head, numbered_calls(8));
    set_u64(head, 40, ~std::uint64_t(0)); // no allocation of that size is attempted
    const fs::path huge = write_raw("huge.zel", head, numbered_calls(8));
    const fs::path short_header =
        write_raw("short.zel", std::vector<unsigned char>(head.begin(), head.begin() + 40), {});

    ZelReader reader;
    int spots = -7, cycles = -7, extra = -7;
    EXPECT_FALSE(reader.open(past, spots, cycles, extra));
    EXPECT_FALSE(reader.open(huge, spots, cycles, extra));
    EXPECT_FALSE(reader.open(short_header, spots, cycles, extra));
    EXPECT_EQ(spots, -7);
    const std::string past_end = "ERROR: Text block runs past the end of .zel file: ";
    EXPECT_EQ(errors(),
              (std::vector<std::string>{past_end + quoted_path(past), past_end + quoted_path(huge),
                                        "ERROR: Incomplete header in .zel file: " + quoted_path(short_header)}));
}

TEST_F(ZelReaderTest, UnreadableFilesThrowFromOpen)
{
    runsim::ZelHeader header;
    header.spots = 2;
    header.cycles = 4;
    const fs::path plain = dir_.path() / "plain.zel";
    runsim::ZelWriteOptions options;
    options.storage = runsim::ZelStorage::Plain;
    runsim::write_zel_file(plain, header, numbered_calls(8), options);

    ZelReader reader;
    int spots = 0, cycles = 0, extra = 0;
    EXPECT_THROW(reader.open(plain, spots, cycles, extra), std::runtime_error);
    EXPECT_THROW(reader.open(dir_.path() / "missing.zel", spots, cycles, extra), std::runtime_error);
    // The reader stays usable afterwards.
    const fs::path good = write("good.zel", header, numbered_calls(8));
    EXPECT_TRUE(reader.open(good, spots, cycles, extra));
    EXPECT_EQ(cycles, 4);
}

} // namespace
