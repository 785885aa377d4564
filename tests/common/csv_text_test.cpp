// Line splitting, trimming and byte classification of the sectioned CSV documents.

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "common/csv_text.h"

namespace {

struct SplitCase {
    std::string line;
    char separator;
    bool ok;
    std::vector<std::string> fields; // compared only when ok
};

class CsvParseLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CsvParseLineTest, SplitsAsSpecified)
{
    const SplitCase& c = GetParam();
    std::vector<std::string> fields = {"stale"};
    EXPECT_EQ(csv_parse_line(c.line, fields, c.separator), c.ok) << "line: [" << c.line << "]";
    if (c.ok) {
        EXPECT_EQ(fields, c.fields) << "line: [" << c.line << "]";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CsvParseLineTest,
    ::testing::Values(
        // Empty and blank lines give no field.
        SplitCase{"", ',', true, {}}, SplitCase{"   \t ", ',', true, {}},
        // Plain fields, trimmed.
        SplitCase{"a", ',', true, {"a"}}, SplitCase{"a,b,c", ',', true, {"a", "b", "c"}},
        SplitCase{"  a  ,\tb\t, c ", ',', true, {"a", "b", "c"}},
        // Empty fields: between separators and at the start, but none after the last separator.
        SplitCase{"a,,b", ',', true, {"a", "", "b"}}, SplitCase{",a", ',', true, {"", "a"}},
        SplitCase{"a,", ',', true, {"a"}}, SplitCase{"a,  ", ',', true, {"a"}}, SplitCase{",", ',', true, {""}},
        SplitCase{",,", ',', true, {"", ""}}, SplitCase{"Key,", ',', true, {"Key"}},
        // Quoted fields keep separators and blanks inside.
        SplitCase{"a,\"b,c\",d", ',', true, {"a", "b,c", "d"}}, SplitCase{"\" x \"", ',', true, {" x "}},
        SplitCase{"\"\"", ',', true, {""}}, SplitCase{"  \"q\"  ,z", ',', true, {"q", "z"}},
        SplitCase{"\"a\",", ',', true, {"a"}},
        SplitCase{"k,\"L01/S01_T001,L01/S01_T002\"", ',', true, {"k", "L01/S01_T001,L01/S01_T002"}},
        // Syntax errors.
        SplitCase{"\"abc", ',', false, {}}, SplitCase{"a,\"b", ',', false, {}}, SplitCase{"\"a\"x", ',', false, {}},
        SplitCase{"\"a\" x,b", ',', false, {}}, SplitCase{"a\"b", ',', false, {}}, SplitCase{"ab\"", ',', false, {}},
        SplitCase{"a,b\"c\",d", ',', false, {}},
        // Other separators; a comma is then ordinary text.
        SplitCase{"1;2; 3", ';', true, {"1", "2", "3"}}, SplitCase{"a,b", ';', true, {"a,b"}},
        // Bytes outside ASCII at the ends of an unquoted field are trimmed, inner ones kept.
        SplitCase{"\xC3\xA9x\xC3\xA9y\x01,b", ',', true, {"x\xC3\xA9y", "b"}}));

TEST(CsvParseLine, EveryLineReachingAFieldGivesAtLeastOne)
{
    std::vector<std::string> fields;
    for (const std::string line : {"x", ",", "\"\"", " ,", "a,b"}) {
        ASSERT_TRUE(csv_parse_line(line, fields, ','));
        EXPECT_GE(fields.size(), 1u) << line;
    }
}

struct TrimCase {
    std::string in;
    std::string out;
};

class TrimTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimTest, StripsNonGraphicBytesAtBothEnds)
{
    EXPECT_EQ(trim(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Table, TrimTest,
                         ::testing::Values(TrimCase{"", ""}, TrimCase{"   ", ""}, TrimCase{"abc", "abc"},
                                           TrimCase{"  a b  ", "a b"}, TrimCase{"\t\r\nx\r\n", "x"},
                                           TrimCase{"\x01\x7F"
                                                    "a\x1F",
                                                    "a"},
                                           TrimCase{"\xC3\xA9"
                                                    "abc\xFF",
                                                    "abc"},
                                           TrimCase{"a\xC3\xA9"
                                                    "b",
                                                    "a\xC3\xA9"
                                                    "b"},
                                           TrimCase{"\x80\x81\xFE", ""}, TrimCase{std::string("\0a\0", 3), "a"}));

TEST(AsciiClassification, DefinedForEveryByteAndEqualToTheCLocale)
{
    for (int b = 0; b < 256; ++b) {
        const unsigned char c = static_cast<unsigned char>(b);
        // The C locale (never changed by the program) classifies bytes >= 0x80 as nothing.
        EXPECT_EQ(is_ascii_print(c), std::isprint(b) != 0) << b;
        EXPECT_EQ(is_ascii_graph(c), std::isgraph(b) != 0) << b;
        EXPECT_EQ(is_ascii_space(c), std::isspace(b) != 0) << b;
        EXPECT_EQ(is_ascii_digit(c), std::isdigit(b) != 0) << b;
        EXPECT_EQ(static_cast<unsigned char>(ascii_to_upper(static_cast<char>(c))),
                  static_cast<unsigned char>(std::toupper(b)))
            << b;
        if (b >= 0x80) {
            EXPECT_FALSE(is_ascii_print(c));
            EXPECT_FALSE(is_ascii_space(c));
        }
    }
}

TEST(AsciiClassification, UpperCasesOnlyAsciiLetters)
{
    EXPECT_EQ(ascii_upper("acgtN-1"), "ACGTN-1");
    EXPECT_EQ(ascii_upper("a\xC3\xA9z\xFF"), "A\xC3\xA9Z\xFF");
}

} // namespace
