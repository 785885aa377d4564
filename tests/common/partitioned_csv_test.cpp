// The sectioned CSV document model: reading, mapping, accessors, validators, message
// texts with their line numbers and order, and writing.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/partitioned_csv.h"

namespace {

using Strings = std::vector<std::string>;

const SectionInfo& settings_info()
{
    static const SectionInfo info{10,
                                  "Settings",
                                  true,
                                  SectionInfo::settings_kind,
                                  {{0, "Alpha", true}, {1, "Beta", false}, {2, "Gamma", false}}};
    return info;
}

const SectionInfo& table_info()
{
    static const SectionInfo info{
        11, "Table", true, SectionInfo::table_kind, {{0, "Name", true}, {1, "Value", true}, {2, "Note", false}}};
    return info;
}

const SectionInfoList& infos()
{
    static const SectionInfoList list{settings_info(), table_info()};
    return list;
}

// Loads the text into a plain document and maps the two test sections.
struct Doc {
    PartitionedCsv csv;
    Strings errors;
    Strings warnings;
    bool result = false;

    explicit Doc(const std::string& text)
    {
        result = csv.load(text, errors, warnings);
        csv.initialize_section_mapping(infos());
    }
};

// ---------------------------------------------------------------------------------------------
// Reading

TEST(PartitionedCsvLoad, EmptyOrBlankTextGivesNothing)
{
    for (const std::string text : {"", "\n\n", "  \t\n \r\n"}) {
        Doc d(text);
        EXPECT_TRUE(d.result);
        EXPECT_TRUE(d.csv.loaded);
        EXPECT_TRUE(d.csv.get_sections().empty());
        EXPECT_TRUE(d.errors.empty());
        EXPECT_TRUE(d.warnings.empty());
    }
}

TEST(PartitionedCsvLoad, LoadedFlagStartsFalse)
{
    PartitionedCsv csv;
    EXPECT_FALSE(csv.loaded);
}

TEST(PartitionedCsvLoad, SectionsRowsAndLineNumbers)
{
    Doc d("\n"                 // 1
          "  [ Settings ]  \n" // 2
          "Alpha, 1\n"         // 3
          "\n"                 // 4
          "Beta,\"x, y\"\n"    // 5
          "[Table]\n"          // 6
          "Name,Value\n"       // 7
          "a,1\r\n"            // 8
          "b,2");              // 9 (no final newline)
    ASSERT_TRUE(d.result);
    EXPECT_TRUE(d.errors.empty());
    EXPECT_TRUE(d.warnings.empty());
    const auto& sections = d.csv.get_sections();
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0].name, "Settings");
    ASSERT_EQ(sections[0].rows.size(), 2u);
    EXPECT_EQ(sections[0].rows[0].line, 3);
    EXPECT_EQ(sections[0].rows[0].fields, (Strings{"Alpha", "1"}));
    EXPECT_EQ(sections[0].rows[1].line, 5);
    EXPECT_EQ(sections[0].rows[1].fields, (Strings{"Beta", "x, y"}));
    EXPECT_EQ(sections[1].name, "Table");
    ASSERT_EQ(sections[1].rows.size(), 3u);
    EXPECT_EQ(sections[1].rows[1].line, 8);
    EXPECT_EQ(sections[1].rows[1].fields, (Strings{"a", "1"}));
    EXPECT_EQ(sections[1].rows[2].line, 9);
    EXPECT_EQ(d.csv.get_section_index(10), 0);
    EXPECT_EQ(d.csv.get_section_index(11), 1);
    EXPECT_EQ(d.csv.get_row_heading_index(10, 1), 1);
    EXPECT_EQ(d.csv.get_row_heading_index(10, 2), -1);
    EXPECT_EQ(d.csv.get_column_heading_index(11, 1), 1);
    EXPECT_EQ(d.csv.get_column_heading_index(11, 2), -1);
    EXPECT_EQ(d.csv.get_section_index(99), -1);
}

TEST(PartitionedCsvLoad, StructuralMessagesInOrderWithLines)
{
    Doc d("Alpha,1\n"      // 1: before any heading
          "[]\n"           // 2
          "[   ]\n"        // 3
          "[Settings]\n"   // 4
          "Alpha,\"1\n"    // 5: unclosed quote
          "Beta,2\n"       // 6
          "[Settings]\n"   // 7
          "Gamma,\"a\"b\n" // 8: text after closing quote
          "[Table],,,\n"); // 9: not a heading -> a data row of the second Settings
    EXPECT_TRUE(d.result); // the base load always completes with true
    EXPECT_EQ(d.errors, (Strings{
                            "line 1; Error: Unexpected input 'Alpha,1'",
                            "line 2; Error: Unexpected blank section heading",
                            "line 3; Error: Unexpected blank section heading",
                            "line 5; Error: Syntax error",
                            "line 7; Error: Section 'Settings' is specified more than once",
                            "line 8; Error: Syntax error",
                        }));
    const auto& sections = d.csv.get_sections();
    ASSERT_EQ(sections.size(), 4u);         // the duplicate and the blank ones are kept
    EXPECT_EQ(sections[2].rows.size(), 1u); // Alpha row dropped, Beta kept
    EXPECT_EQ(sections[2].rows[0].line, 6);
    ASSERT_EQ(sections[3].rows.size(), 1u);
    EXPECT_EQ(sections[3].rows[0].fields, (Strings{"[Table]", "", ""}));
    EXPECT_EQ(d.csv.find_section("Settings"), 2); // lookups find the first one
}

TEST(PartitionedCsvLoad, NonAsciiBytesWarnOncePerLineAndAreTrimmedAtFieldEnds)
{
    Doc d("[Settings]\n"
          "Alpha,\x01value\xC3\n"              // 2
          "Beta,\tok\t\r\n"                    // 3: tab and CR are white space
          "Gamma,\xC3\xA9t\xC3\xA9t\xC3\xA9\n" // 4
          "\x7F\n");                           // 5: DEL alone: a warning, then an empty line
    EXPECT_TRUE(d.errors.empty());
    EXPECT_EQ(d.warnings, (Strings{
                              "line 2; Warning: Invalid (non-ascii) characters in input",
                              "line 4; Warning: Invalid (non-ascii) characters in input",
                              "line 5; Warning: Invalid (non-ascii) characters in input",
                          }));
    const auto& rows = d.csv.get_sections().at(0).rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].fields[1], "value");
    EXPECT_EQ(rows[1].fields[1], "ok");
    EXPECT_EQ(rows[2].fields[1], "t\xC3\xA9t");
}

TEST(PartitionedCsvLoad, HeadingOnThirdPhysicalLineReportsLineThree)
{
    Doc d("\n\n[Oops]\n");
    EXPECT_TRUE(d.csv.validate_sections({SectionInfo{1, "Other", false, 1, {}}}));
    EXPECT_EQ(d.csv.warnings, (Strings{"Warning: Unknown section 'Oops'"})); // no rows: no line
    Doc e("\n\n[]\n");
    EXPECT_EQ(e.errors, (Strings{"line 3; Error: Unexpected blank section heading"}));
}

TEST(PartitionedCsvLoad, BaseLoadAppendsAndDocumentListsAccumulate)
{
    PartitionedCsv csv;
    Strings errors = {"earlier"};
    Strings warnings;
    csv.load("junk\n", errors, warnings);
    EXPECT_EQ(errors, (Strings{"earlier", "line 1; Error: Unexpected input 'junk'"}));
    Strings again;
    csv.load("more\n", again, warnings);
    EXPECT_EQ(again, (Strings{"line 1; Error: Unexpected input 'junk'", "line 1; Error: Unexpected input 'more'"}));
}

TEST(PartitionedCsvLoad, LoadingIntoTheDocumentsOwnListsIsSafe)
{
    PartitionedCsv csv;
    csv.load("junk\n", csv.errors, csv.warnings);
    EXPECT_EQ(csv.errors, (Strings{"line 1; Error: Unexpected input 'junk'"}));
}

// ---------------------------------------------------------------------------------------------
// Messages

TEST(PartitionedCsvMessages, Prefixes)
{
    PartitionedCsv csv;
    EXPECT_TRUE(csv.error("boom", 12));
    EXPECT_TRUE(csv.error("bare", 0));
    csv.warning("hmm", 3);
    csv.warning("plain", -1);
    EXPECT_EQ(csv.errors, (Strings{"line 12; Error: boom", "Error: bare"}));
    EXPECT_EQ(csv.warnings, (Strings{"line 3; Warning: hmm", "Warning: plain"}));
}

// ---------------------------------------------------------------------------------------------
// Sections, keys and headings

TEST(PartitionedCsvValidate, MissingSectionHasNoLineAndStops)
{
    Doc d("[Settings]\nAlpha,1\n[Extra]\nx\n");
    EXPECT_FALSE(d.csv.validate_sections(infos()));
    EXPECT_EQ(d.csv.errors, (Strings{"Error: Missing section 'Table'"}));
    EXPECT_TRUE(d.csv.warnings.empty()); // no unknown-section check after a missing one
}

TEST(PartitionedCsvValidate, UnknownSectionsWarnAtTheirFirstRow)
{
    Doc d("[Settings]\nAlpha,1\n[Extra]\n\nx,y\n[Table]\nName,Value\n[]\n");
    EXPECT_TRUE(d.csv.validate_sections(infos()));
    EXPECT_EQ(d.csv.warnings, (Strings{"line 5; Warning: Unknown section 'Extra'", "Warning: Unknown section ''"}));
}

TEST(PartitionedCsvValidate, OptionalSectionMayBeMissing)
{
    SectionInfoList list = infos();
    list[1].required = false;
    Doc d("[Settings]\nAlpha,1\n");
    EXPECT_TRUE(d.csv.validate_sections(list));
    EXPECT_TRUE(d.csv.errors.empty());
}

TEST(PartitionedCsvValidate, SettingsKeys)
{
    Doc d("[Settings]\n"
          "\n"
          "Beta,1\n"    // 3: first row
          "Delta,2\n"   // 4
          "Gamma,3\n"   // 5
          "alpha,4\n"); // 6: case-sensitive
    EXPECT_FALSE(d.csv.validate_headings(settings_info()));
    EXPECT_EQ(d.csv.errors, (Strings{"line 3; Error: Missing required setting 'Alpha' for section 'Settings'"}));
    EXPECT_EQ(d.csv.warnings, (Strings{"line 4; Warning: Unknown setting 'Delta' for section 'Settings'",
                                       "line 6; Warning: Unknown setting 'alpha' for section 'Settings'"}));
}

TEST(PartitionedCsvValidate, TableHeadings)
{
    Doc d("[Table]\n"
          "Value,Extra,Note\n" // 2
          "1,2,3\n");
    EXPECT_FALSE(d.csv.validate_headings(table_info()));
    EXPECT_EQ(d.csv.errors, (Strings{"line 2; Error: Missing required column heading 'Name' for "
                                     "section 'Table'"}));
    EXPECT_EQ(d.csv.warnings, (Strings{"line 2; Warning: Unknown column heading 'Extra' for section 'Table'"}));
}

TEST(PartitionedCsvValidate, EmptySectionHasNoLineNumber)
{
    Doc d("[Table]\n[Settings]\n");
    EXPECT_FALSE(d.csv.validate_headings(table_info()));
    EXPECT_FALSE(d.csv.validate_headings(settings_info()));
    EXPECT_EQ(d.csv.errors, (Strings{"Error: Missing required column heading 'Name' for section 'Table'",
                                     "Error: Missing required column heading 'Value' for section 'Table'",
                                     "Error: Missing required setting 'Alpha' for section 'Settings'"}));
}

TEST(PartitionedCsvValidate, HeadingsPassDespiteEarlierErrors)
{
    Doc d("junk\n[Settings]\nAlpha,1\n");
    ASSERT_EQ(d.csv.errors.size(), 1u);
    EXPECT_TRUE(d.csv.validate_headings(settings_info())); // only this call's errors count
}

TEST(PartitionedCsvValidate, DuplicateKeyFirstRowWins)
{
    Doc d("[Settings]\nAlpha,1\nAlpha,2\n");
    EXPECT_TRUE(d.csv.validate_headings(settings_info()));
    EXPECT_TRUE(d.csv.warnings.empty()); // the second row is not "unknown"
    int value = 0;
    EXPECT_TRUE(d.csv.validate_numeric(settings_info(), 0, 1, value, 0, 9, true));
    EXPECT_EQ(value, 1);
    EXPECT_EQ(d.csv.line_number(settings_info(), 0, 1), 2);
}

// ---------------------------------------------------------------------------------------------
// Fields and typed values

TEST(PartitionedCsvValidate, FieldPresence)
{
    Doc d("[Settings]\nAlpha,\nBeta,x\n[Table]\nName,Value\nn1\nn2,v2\n");
    const SectionInfo& s = settings_info();
    const SectionInfo& t = table_info();
    EXPECT_FALSE(d.csv.validate_field(s, 0, 1, false)); // key and comma: one field, no message
    EXPECT_FALSE(d.csv.validate_field(s, 2, 1, false)); // key absent, no message
    EXPECT_TRUE(d.csv.errors.empty());
    EXPECT_FALSE(d.csv.validate_field(s, 0, 1, true));
    EXPECT_FALSE(d.csv.validate_field(s, 2, 1, true));
    EXPECT_TRUE(d.csv.validate_field(s, 1, 1, true));
    EXPECT_TRUE(d.csv.validate_field(t, 0, 1, true));
    EXPECT_FALSE(d.csv.validate_field(t, 1, 1, true)); // row 1 lacks the Value column
    EXPECT_TRUE(d.csv.validate_field(t, 1, 2, true));
    EXPECT_FALSE(d.csv.validate_field(t, 0, 3, true)); // no data row 3
    EXPECT_FALSE(d.csv.validate_field(t, 2, 1, true)); // no Note column at all
    EXPECT_EQ(d.csv.errors, (Strings{"line 2; Error: Missing data column", "Error: Missing data row",
                                     "line 6; Error: Missing data column", "Error: Missing data row",
                                     "line 6; Error: Missing data column"}));
    EXPECT_EQ(d.csv.row_count(t), 3);
    EXPECT_EQ(d.csv.row_count(s), 2);
}

TEST(PartitionedCsvValidate, AbsentSectionHoldsNoRows)
{
    Doc d("[Settings]\nAlpha,1\n");
    std::string text = "unchanged";
    EXPECT_FALSE(d.csv.validate_text(table_info(), 0, 1, text, false));
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(d.csv.row_count(table_info()), 0);
    EXPECT_EQ(d.csv.line_number(table_info(), 0, 1), 0);
    d.csv.store_text(table_info(), 0, 1, "x", false); // nothing to write into, no crash
    EXPECT_TRUE(d.csv.errors.empty());
}

TEST(PartitionedCsvValidate, Numeric)
{
    Doc d("[Settings]\n"
          "Alpha,3abc\n" // 2
          "Beta,0\n"     // 3
          "Gamma,42\n"   // 4
          "[Table]\n"
          "Name,Value\n"
          "x,abc\n"         // 7
          "y,99999999999\n" // 8
          "z,-7\n"          // 9
          "w,0\n");         // 10
    const SectionInfo& s = settings_info();
    const SectionInfo& t = table_info();
    int v = -1;
    EXPECT_TRUE(d.csv.validate_numeric(s, 0, 1, v, 1, 5, true));
    EXPECT_EQ(v, 3);
    v = -1;
    EXPECT_TRUE(d.csv.validate_numeric(s, 1, 1, v, 1, 5, false)); // optional 0: no range check
    EXPECT_EQ(v, 0);
    v = -1;
    EXPECT_FALSE(d.csv.validate_numeric(s, 2, 1, v, 1, 5, false));
    EXPECT_EQ(v, -1);
    EXPECT_FALSE(d.csv.validate_numeric(t, 1, 1, v, 0, 9, true));
    EXPECT_FALSE(d.csv.validate_numeric(t, 1, 2, v, 0, 9, true));
    EXPECT_FALSE(d.csv.validate_numeric(t, 1, 3, v, 0, 9, true));
    EXPECT_FALSE(d.csv.validate_numeric(t, 1, 4, v, 1, 9, true)); // required 0 is range-checked
    EXPECT_EQ(v, -1);
    EXPECT_EQ(
        d.csv.errors,
        (Strings{"line 4; Error: Value out of range: '42'", "line 7; Error: Expecting integer value but got: 'abc'",
                 "line 8; Error: Expecting integer value but got: '99999999999'",
                 "line 9; Error: Value out of range: '-7'", "line 10; Error: Value out of range: '0'"}));
}

struct IntegerCase {
    std::string text;
    bool bad;
    int value;
};

class StringToIntegerTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(StringToIntegerTest, NeverThrows)
{
    PartitionedCsv csv;
    bool bad = !GetParam().bad;
    int value = 0;
    EXPECT_NO_THROW(value = csv.string_to_integer(GetParam().text, bad, 7));
    EXPECT_EQ(bad, GetParam().bad) << GetParam().text;
    EXPECT_EQ(value, GetParam().value) << GetParam().text;
    if (GetParam().bad) {
        EXPECT_EQ(csv.errors, (Strings{"line 7; Error: Expecting integer value but got: '" + GetParam().text + "'"}));
    } else {
        EXPECT_TRUE(csv.errors.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StringToIntegerTest,
    ::testing::Values(IntegerCase{"12", false, 12}, IntegerCase{"12x", false, 12}, IntegerCase{"  -5", false, -5},
                      IntegerCase{"+7", false, 7}, IntegerCase{"007", false, 7}, IntegerCase{"0x1F", false, 0},
                      IntegerCase{"2147483647", false, 2147483647}, IntegerCase{"-2147483648", false, -2147483647 - 1},
                      IntegerCase{"2147483648", true, 0}, IntegerCase{"-2147483649", true, 0},
                      IntegerCase{"99999999999999999999999", true, 0}, IntegerCase{"", true, 0},
                      IntegerCase{"abc", true, 0}, IntegerCase{"-", true, 0}, IntegerCase{"\xC3\xA9", true, 0}));

TEST(PartitionedCsvValidate, RealValues)
{
    Doc d("[Table]\nName,Value\na,2.5x\nb,abc\nc,1e999\n");
    bool bad = true;
    const int section = d.csv.get_section_index(11);
    EXPECT_DOUBLE_EQ(d.csv.get_real_at(section, 1, 1, bad), 2.5);
    EXPECT_FALSE(bad);
    EXPECT_NO_THROW(d.csv.get_real_at(section, 2, 1, bad));
    EXPECT_TRUE(bad);
    EXPECT_NO_THROW(d.csv.get_real_at(section, 3, 1, bad));
    EXPECT_TRUE(bad);
    EXPECT_EQ(d.csv.errors, (Strings{"line 4; Error: Expecting real value but got: 'abc'",
                                     "line 5; Error: Expecting real value but got: '1e999'"}));
}

TEST(PartitionedCsvValidate, Booleans)
{
    const Strings good_true = {"true", "True", "TRUE"};
    const Strings good_false = {"false", "False", "FALSE"};
    for (const auto& t : good_true) {
        Doc d("[Settings]\nAlpha," + t + "\n");
        bool out = false;
        EXPECT_TRUE(d.csv.validate_boolean(settings_info(), 0, 1, out, true));
        EXPECT_TRUE(out);
    }
    for (const auto& t : good_false) {
        Doc d("[Settings]\nAlpha," + t + "\n");
        bool out = true;
        EXPECT_TRUE(d.csv.validate_boolean(settings_info(), 0, 1, out, true));
        EXPECT_FALSE(out);
    }
    Doc d("[Settings]\nAlpha,yes\nBeta,tRUE\n");
    bool out = true;
    EXPECT_FALSE(d.csv.validate_boolean(settings_info(), 0, 1, out, true));
    EXPECT_FALSE(d.csv.validate_boolean(settings_info(), 1, 1, out, false));
    EXPECT_TRUE(out);
    EXPECT_EQ(d.csv.errors,
              (Strings{"line 2; Error: Unexpected value 'yes'", "line 3; Error: Unexpected value 'tRUE'"}));
}

TEST(PartitionedCsvValidate, TextWithAllowedCharacters)
{
    Doc d("[Settings]\nAlpha,ACGT\nBeta,ACNT\nGamma,\"\"\n");
    std::string out = "keep";
    EXPECT_TRUE(d.csv.validate_text(settings_info(), 0, 1, out, std::string("ACGT"), true));
    EXPECT_EQ(out, "ACGT");
    out = "keep";
    EXPECT_FALSE(d.csv.validate_text(settings_info(), 1, 1, out, std::string("ACGT"), true));
    EXPECT_EQ(out, "keep");
    EXPECT_TRUE(d.csv.validate_text(settings_info(), 2, 1, out, std::string("ACGT"), true));
    EXPECT_EQ(out, "");
    EXPECT_EQ(d.csv.errors, (Strings{"line 3; Error: [ACGT] expected"}));
}

TEST(PartitionedCsvValidate, TextWithAllowedValues)
{
    Doc d("[Settings]\nAlpha,two\nBeta,Two\n");
    std::string out = "keep";
    const Strings allowed = {"one", "two"};
    EXPECT_TRUE(d.csv.validate_text(settings_info(), 0, 1, out, allowed, true));
    EXPECT_EQ(out, "two");
    EXPECT_FALSE(d.csv.validate_text(settings_info(), 1, 1, out, allowed, true));
    EXPECT_EQ(out, "two");
    EXPECT_EQ(d.csv.errors, (Strings{"line 3; Error: Unexpected value 'Two'"}));
}

TEST(PartitionedCsvValidate, TextLists)
{
    Doc d("[Settings]\n"
          "Alpha,\"a, b ,c\"\n" // 2
          "Beta,\"\"\n"         // 3
          "Gamma,\"x,y\"\n");   // 4
    const SectionInfo& s = settings_info();
    Strings out = {"old"};
    EXPECT_TRUE(d.csv.validate_text_list(s, 0, 1, out, 0, true, ','));
    EXPECT_EQ(out, (Strings{"a", "b", "c"}));
    EXPECT_TRUE(d.csv.validate_text_list(s, 0, 1, out, 3, true, ','));
    out = {"old"};
    EXPECT_TRUE(d.csv.validate_text_list(s, 1, 1, out, 0, false, ','));
    EXPECT_TRUE(out.empty());
    out = {"old"};
    EXPECT_FALSE(d.csv.validate_text_list(s, 1, 1, out, 0, true, ','));
    EXPECT_FALSE(d.csv.validate_text_list(s, 2, 1, out, 3, true, ','));
    EXPECT_EQ(out, (Strings{"old"}));
    EXPECT_EQ(d.csv.errors, (Strings{"line 3; Error: Expected text value or values",
                                     "line 4; Error: Expecting '3' elements in list"}));
}

TEST(PartitionedCsvValidate, NumericPairs)
{
    Doc d("[Table]\nName,Value\n"
          "a,\"3,7\"\n"   // 3
          "b,\"\"\n"      // 4
          "c,\"1,2,3\"\n" // 5
          "d,\"1,99\"\n"  // 6
          "e,\"7,3\"\n"   // 7
          "f,\"1,x\"\n"); // 8
    const SectionInfo& t = table_info();
    std::pair<int, int> out{-1, -1};
    EXPECT_TRUE(d.csv.validate_numeric_pair(t, 1, 1, out, 0, 10, true, true, ','));
    EXPECT_EQ(out, std::make_pair(3, 7));
    EXPECT_FALSE(d.csv.validate_numeric_pair(t, 1, 2, out, 0, 10, true, true, ','));
    EXPECT_TRUE(d.csv.validate_numeric_pair(t, 1, 2, out, 0, 10, true, false, ','));
    EXPECT_EQ(out, std::make_pair(0, 0));
    out = {-1, -1};
    EXPECT_FALSE(d.csv.validate_numeric_pair(t, 1, 3, out, 0, 10, true, true, ','));
    EXPECT_FALSE(d.csv.validate_numeric_pair(t, 1, 4, out, 0, 10, true, true, ','));
    EXPECT_FALSE(d.csv.validate_numeric_pair(t, 1, 5, out, 0, 10, true, true, ','));
    EXPECT_TRUE(d.csv.validate_numeric_pair(t, 1, 5, out, 0, 10, false, true, ','));
    EXPECT_EQ(out, std::make_pair(7, 3));
    EXPECT_FALSE(d.csv.validate_numeric_pair(t, 1, 6, out, 0, 10, false, true, ','));
    EXPECT_EQ(d.csv.errors,
              (Strings{"line 4; Error: Expected integer value or values", "line 5; Error: Expecting 2 elements in list",
                       "line 6; Error: Value '99' out of range",
                       "line 7; Error: Range expected; second value must be >= first value",
                       "line 8; Error: Expecting integer value but got: 'x'"}));
}

// ---------------------------------------------------------------------------------------------
// Writing

TEST(PartitionedCsvStore, AddSectionLayout)
{
    PartitionedCsv csv;
    csv.add_section(settings_info());
    csv.add_section(table_info());
    const auto& sections = csv.get_sections();
    ASSERT_EQ(sections.size(), 2u);
    ASSERT_EQ(sections[0].rows.size(), 3u);
    EXPECT_EQ(sections[0].rows[2].line, 3);
    EXPECT_EQ(sections[0].rows[2].fields, (Strings{"Gamma"}));
    ASSERT_EQ(sections[1].rows.size(), 1u);
    EXPECT_EQ(sections[1].rows[0].line, 1);
    EXPECT_EQ(sections[1].rows[0].fields, (Strings{"Name", "Value", "Note"}));
}

TEST(PartitionedCsvStore, StoreAfterClearAndStoreOperations)
{
    PartitionedCsv csv;
    Strings errors, warnings;
    csv.load("junk\n[Old]\nx\n", errors, warnings);
    csv.clear();
    EXPECT_TRUE(csv.get_sections().empty());
    EXPECT_EQ(csv.errors.size(), 1u); // kept
    csv.add_section(settings_info());
    csv.add_section(table_info());
    csv.initialize_section_mapping(infos());
    const SectionInfo& s = settings_info();
    const SectionInfo& t = table_info();
    csv.store_boolean(s, 0, 1, true);
    csv.store_numeric(s, 1, 1, -12);
    csv.store_text_list(s, 2, 1, {"a", "b"});
    csv.store_text(t, 0, 1, "n1", false);
    csv.store_numeric_pair(t, 1, 1, {3, 4});
    csv.store_text(t, 0, 2, "n2", true);
    csv.store_numeric_pair(t, 1, 2, {0, 0});
    csv.store_text(t, 2, 3, "note", false); // row 3 created with empty fields before it
    std::string out;
    csv.store(out);
    EXPECT_EQ(out, "[Settings]\n"
                   "Alpha,True\n"
                   "Beta,-12\n"
                   "Gamma,\"a,b\"\n"
                   "\n"
                   "[Table]\n"
                   "Name,Value,Note\n"
                   "n1,\"3,4\"\n"
                   "\"n2\",\"\"\n"
                   ",,note\n"
                   "\n");
    EXPECT_EQ(csv.get_line_number_at(1, 3), 0); // created rows have line 0

    // The written text reads back to the same values.
    PartitionedCsv back;
    Strings e2, w2;
    back.load(out, e2, w2);
    back.initialize_section_mapping(infos());
    EXPECT_TRUE(e2.empty());
    bool flag = false;
    int number = 0;
    Strings list;
    std::pair<int, int> pair{9, 9};
    EXPECT_TRUE(back.validate_boolean(s, 0, 1, flag, true));
    EXPECT_TRUE(flag);
    EXPECT_TRUE(back.validate_numeric(s, 1, 1, number, -100, 100, true));
    EXPECT_EQ(number, -12);
    EXPECT_TRUE(back.validate_text_list(s, 2, 1, list, 0, true, ','));
    EXPECT_EQ(list, (Strings{"a", "b"}));
    EXPECT_TRUE(back.validate_numeric_pair(t, 1, 1, pair, 0, 10, true, true, ','));
    EXPECT_EQ(pair, std::make_pair(3, 4));
    EXPECT_TRUE(back.validate_numeric_pair(t, 1, 2, pair, 0, 10, true, false, ','));
    EXPECT_EQ(pair, std::make_pair(0, 0));
}

} // namespace
