// The sample sheet: loading, messages with their lines and order, duplicates, the
// closeness check and its edit distance, store round trips, and the mended faults (section tables
// usable during static initialisation; no (L + 1)^2 table for the closeness check).

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "common/lev_distance.h"
#include "common/quillon_sheet.h"
#include "common/sample_sheet.h"

namespace {

using Strings = std::vector<std::string>;

std::string lines(const Strings& parts)
{
    std::string text;
    for (const auto& p : parts)
        text += p + "\n";
    return text;
}

const char* const valid_sheet_text = "[Run Information]\n"           // 1
                                     "FileFormatVersion,2\n"         // 2
                                     "InstrumentPlatform,Quill\n"    // 3
                                     "FlowcellBarcode,FC123\n"       // 4
                                     "RunName,\"Run 1\"\n"           // 5
                                     "\n"                            // 6
                                     "[Flow Cell Settings]\n"        // 7
                                     "Read1Cycles,151\n"             // 8
                                     "Read2Cycles,0\n"               // 9
                                     "Index1Cycles,8\n"              // 10
                                     "Index2Cycles,8\n"              // 11
                                     "CustomPrimer,False\n"          // 12
                                     "QUILLON,True\n"                // 13
                                     "\n"                            // 14
                                     "[Quillon Settings]\n"          // 15
                                     "MergeLanes,true\n"             // 16
                                     "\n"                            // 17
                                     "[Samples]\n"                   // 18
                                     "Biosample,Lane,Index,Index2\n" // 19
                                     "S1,1,acgtacgt,TTTTAAAA\n"      // 20
                                     "S2,1,CCCCGGGG,aaaatttt\n"      // 21
                                     "S1,2,acgtacgt,TTTTAAAA\n";     // 22

// The head of a sheet (lines 1 to 9) whose Quillon Settings section holds the given lines;
// Samples follows with its heading row.
Strings head(const Strings& quillon_settings = {})
{
    Strings text = {"[Run Information]",    "FileFormatVersion,2", "InstrumentPlatform,Quill",
                    "[Flow Cell Settings]", "Read1Cycles,151",     "CustomPrimer,false",
                    "QUILLON,true",         "[Quillon Settings]"};
    text.insert(text.end(), quillon_settings.begin(), quillon_settings.end());
    text.push_back("[Samples]");
    text.push_back("Biosample,Lane,Index,Index2");
    return text;
}

// ---------------------------------------------------------------------------------------------
// Fault F-6: the section tables are usable from any static initialiser, whatever the order in
// which the program's source files are initialised. This object is built during the static
// initialisation of this test file (which the linker places before the library's files).

struct EarlyUse {
    SampleSheetInfo sample_info;
    QuillonSheetInfo quillon_info;
    bool sample_loaded = false;
    bool design_loaded = false;
    Strings errors;

    EarlyUse() : sample_info(SampleSheet::sample_sheet_info_()), quillon_info(QuillonSheet::quillon_sheet_info_())
    {
        SampleSheet sheet;
        Strings warnings;
        sample_loaded = sheet.load(valid_sheet_text, errors, warnings);
        QuillonSheet design;
        Strings design_errors;
        design_loaded = design.load("[Header]\nFileFormatVersion,1\n[Quillon Settings]\nR1CycleUsage\nR2CycleUsage\n"
                                    "I1CycleUsage\nI2CycleUsage\n",
                                    design_errors, warnings);
        errors.insert(errors.end(), design_errors.begin(), design_errors.end());
    }
};

const EarlyUse early_use;

TEST(SampleSheetStaticTables, UsableDuringStaticInitialisation)
{
    EXPECT_TRUE(early_use.sample_loaded);
    EXPECT_TRUE(early_use.design_loaded);
    EXPECT_TRUE(early_use.errors.empty()) << early_use.errors.front();
    ASSERT_EQ(early_use.sample_info.size(), 4u);
    EXPECT_EQ(early_use.sample_info[2].name, "Quillon Settings");
    EXPECT_EQ(early_use.sample_info[2].headings.size(), 13u);
    ASSERT_EQ(early_use.quillon_info.size(), 2u);
    EXPECT_EQ(early_use.quillon_info[1].headings.size(), 13u);
}

TEST(SampleSheetStaticTables, Contents)
{
    const SampleSheetInfo& info = SampleSheet::sample_sheet_info_();
    ASSERT_EQ(info.size(), 4u);
    const std::vector<std::tuple<int, std::string, int>> sections = {
        {3, "Run Information", SectionInfo::settings_kind},
        {4, "Flow Cell Settings", SectionInfo::settings_kind},
        {2, "Quillon Settings", SectionInfo::settings_kind},
        {6, "Samples", SectionInfo::table_kind}};
    for (std::size_t i = 0; i < sections.size(); ++i) {
        EXPECT_EQ(info[i].id, std::get<0>(sections[i]));
        EXPECT_EQ(info[i].name, std::get<1>(sections[i]));
        EXPECT_EQ(info[i].kind, std::get<2>(sections[i]));
        EXPECT_TRUE(info[i].required);
    }
    auto names = [](const SectionInfo& s) {
        Strings out;
        for (const auto& h : s.headings)
            out.push_back(h.name + (h.required ? "*" : ""));
        return out;
    };
    EXPECT_EQ(names(info[0]), (Strings{"FileFormatVersion*", "InstrumentPlatform*", "FlowcellBarcode", "RunName"}));
    EXPECT_EQ(names(info[1]),
              (Strings{"Read1Cycles*", "Read2Cycles", "Index1Cycles", "Index2Cycles", "CustomPrimer*", "QUILLON*"}));
    EXPECT_EQ(names(info[3]), (Strings{"Biosample*", "Lane*", "Index*", "Index2*"}));
    for (std::size_t i = 0; i < info[3].headings.size(); ++i) {
        EXPECT_EQ(info[3].headings[i].id, static_cast<int>(i));
    }
}

TEST(SampleSheetStaticTables, QuillonSettingsKeysAreOptionalInTheSampleSheetOnly)
{
    SampleSheet sheet;
    QuillonSheet design;
    const SectionInfo& settings = QuillonSettings::section_info();
    const SectionInfo& flow = FlowCellSettings::section_info();
    for (const HeadingInfo& h : settings.headings) {
        EXPECT_FALSE(sheet.is_required(settings, h)) << h.name;
        EXPECT_EQ(design.is_required(settings, h), h.required) << h.name;
    }
    EXPECT_TRUE(sheet.is_required(flow, flow.headings[0]));
    EXPECT_FALSE(sheet.is_required(flow, flow.headings[1]));
    // Through the virtual slot of the base.
    PartitionedCsv& base = sheet;
    EXPECT_FALSE(base.is_required(settings, settings.headings[7]));
}

// ---------------------------------------------------------------------------------------------
// Loading

TEST(SampleSheet, LoadsAValidSheet)
{
    SampleSheet sheet;
    EXPECT_FALSE(sheet.loaded);
    Strings errors = {"old"}, warnings = {"old"};
    ASSERT_TRUE(sheet.load(valid_sheet_text, errors, warnings));
    EXPECT_TRUE(sheet.loaded);
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(sheet.run_information.FileFormatVersion, 2);
    EXPECT_EQ(sheet.run_information.InstrumentPlatform, "Quill");
    EXPECT_EQ(sheet.run_information.FlowcellBarcode, "FC123");
    EXPECT_EQ(sheet.run_information.RunName, "Run 1");
    EXPECT_EQ(sheet.flow_cell_settings.Read1Cycles, 151);
    EXPECT_EQ(sheet.flow_cell_settings.Read2Cycles, 0);
    EXPECT_EQ(sheet.flow_cell_settings.Index1Cycles, 8);
    EXPECT_EQ(sheet.flow_cell_settings.Index2Cycles, 8);
    EXPECT_FALSE(sheet.flow_cell_settings.CustomPrimer);
    EXPECT_TRUE(sheet.flow_cell_settings.QUILLON);
    EXPECT_TRUE(sheet.quillon_settings.MergeLanes);
    EXPECT_EQ(sheet.quillon_settings.I1Mismatches, 1);
    ASSERT_EQ(sheet.samples.size(), 3u);
    EXPECT_EQ(sheet.samples[0].Biosample, "S1");
    EXPECT_EQ(sheet.samples[0].Lane, 1);
    EXPECT_EQ(sheet.samples[0].Index, "ACGTACGT"); // upper-cased
    EXPECT_EQ(sheet.samples[0].Index2, "TTTTAAAA");
    EXPECT_EQ(sheet.samples[1].Index2, "AAAATTTT");
    EXPECT_EQ(sheet.samples[2].Biosample, "S1"); // same id and pair in lane 2: no duplicate
    EXPECT_EQ(sheet.samples[2].Lane, 2);
}

TEST(SampleSheet, EmptyQuillonSettingsSectionLoads)
{
    SampleSheet sheet;
    Strings errors, warnings;
    Strings text = head();
    text.push_back("A,1,ACGT,TTTT");
    ASSERT_TRUE(sheet.load(lines(text), errors, warnings)) << errors.front();
    EXPECT_TRUE(sheet.quillon_settings.OutputControlFASTQ);
    EXPECT_EQ(sheet.quillon_settings.I2Mismatches, 1);
    EXPECT_EQ(sheet.quillon_settings.R1CycleUsage, "");
}

TEST(SampleSheet, MissingSections)
{
    SampleSheet sheet;
    Strings errors = {"old"}, warnings = {"old"};
    EXPECT_FALSE(sheet.load("[Samples]\nBiosample,Lane,Index,Index2\n[Header]\nx,1\n", errors, warnings));
    EXPECT_EQ(errors,
              (Strings{"Error: Missing section 'Run Information'", "Error: Missing section 'Flow Cell Settings'",
                       "Error: Missing section 'Quillon Settings'"}));
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(sheet.run_information.FileFormatVersion, 2); // nothing read

    Strings text = head();
    text.erase(text.begin() + 7); // "[Quillon Settings]"
    SampleSheet other;
    EXPECT_FALSE(other.load(lines(text), errors, warnings));
    EXPECT_EQ(errors, (Strings{"Error: Missing section 'Quillon Settings'"}));
}

TEST(SampleSheet, MissingKeysAndHeadings)
{
    const Strings text = {
        "[Run Information]",            // 1
        "FileFormatVersion,2",          // 2
        "Platform,Quill",               // 3
        "[Flow Cell Settings]",         // 4
        "Read2Cycles,5",                // 5
        "CustomPrimer,true",            // 6
        "[Quillon Settings]",           // 7
        "[Samples]",                    // 8
        "Biosample,Index,Index2,Extra", // 9
        "A,ACGT,TTTT,x",                // 10
    };
    SampleSheet sheet;
    Strings errors, warnings;
    EXPECT_FALSE(sheet.load(lines(text), errors, warnings));
    EXPECT_EQ(errors, (Strings{"line 2; Error: Missing required setting 'InstrumentPlatform' for section "
                               "'Run Information'",
                               "line 5; Error: Missing required setting 'Read1Cycles' for section 'Flow "
                               "Cell Settings'",
                               "line 5; Error: Missing required setting 'QUILLON' for section 'Flow Cell "
                               "Settings'",
                               "line 9; Error: Missing required column heading 'Lane' for section "
                               "'Samples'"}));
    EXPECT_EQ(warnings, (Strings{"line 3; Warning: Unknown setting 'Platform' for section 'Run Information'",
                                 "line 9; Warning: Unknown column heading 'Extra' for section 'Samples'"}));
    EXPECT_EQ(sheet.flow_cell_settings.Read2Cycles, 0); // no value read after a failed check
    EXPECT_TRUE(sheet.samples.empty());
}

TEST(SampleSheet, BadValuesInOrderWithLines)
{
    const Strings text = {
        "[Run Information]",           // 1
        "FileFormatVersion,0",         // 2
        "InstrumentPlatform",          // 3
        "[Flow Cell Settings]",        // 4
        "Read1Cycles,7",               // 5
        "Read2Cycles,5",               // 6
        "Index1Cycles,0",              // 7
        "Index2Cycles,",               // 8: key alone, optional
        "CustomPrimer,maybe",          // 9
        "QUILLON,True",                // 10
        "[Quillon Settings]",          // 11
        "I2Mismatches,4",              // 12
        "[Samples]",                   // 13
        "Biosample,Lane,Index,Index2", // 14
        "A,3,ACGT,TTTT",               // 15
        "B,x,ACGA,TTTT",               // 16
    };
    SampleSheet sheet;
    Strings errors, warnings;
    EXPECT_FALSE(sheet.load(lines(text), errors, warnings));
    EXPECT_EQ(errors, (Strings{"line 2; Error: Value out of range: '0'", "line 3; Error: Missing data column",
                               "line 5; Error: Value out of range: '7'", "line 6; Error: Value out of range: '5'",
                               "line 9; Error: Unexpected value 'maybe'", "line 12; Error: Value out of range: '4'",
                               "line 15; Error: Value out of range: '3'",
                               "line 16; Error: Expecting integer value but got: 'x'"}));
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(sheet.flow_cell_settings.Read2Cycles, 0);
    EXPECT_EQ(sheet.flow_cell_settings.Index1Cycles, 0);
    ASSERT_EQ(sheet.samples.size(), 2u); // rows with bad values are still appended
    EXPECT_EQ(sheet.samples[0].Lane, 0);
    EXPECT_EQ(sheet.samples[1].Lane, 0);
}

TEST(SampleSheet, MissingValuesInSampleRows)
{
    Strings text = head();       // Samples heading row on line 10
    text.push_back("A,1,ACGT");  // 11: no Index2
    text.push_back("B,1,,GGGG"); // 12: an empty Index is a value
    text.push_back("C,1,TTTT,"); // 13: the trailing comma adds no field
    text.push_back("D");         // 14
    SampleSheet sheet;
    Strings errors, warnings;
    EXPECT_FALSE(sheet.load(lines(text), errors, warnings));
    EXPECT_EQ(errors, (Strings{"line 11; Error: Missing data column", "line 13; Error: Missing data column",
                               "line 14; Error: Missing data column", "line 14; Error: Missing data column",
                               "line 14; Error: Missing data column"}));
    ASSERT_EQ(sheet.samples.size(), 4u);
    EXPECT_EQ(sheet.samples[1].Index, "");
    EXPECT_EQ(sheet.samples[1].Index2, "GGGG");
}

TEST(SampleSheet, Duplicates)
{
    Strings text = head();            // Samples heading row on line 10
    text.push_back("S1,1,acgt,tttt"); // 11
    text.push_back("S2,1,ACGT,TTTT"); // 12: same pair as line 11 after upper-casing
    text.push_back("S1,1,GGGG,CCCC"); // 13: same id as line 11
    text.push_back("S1,2,ACGT,TTTT"); // 14: other lane: neither
    text.push_back("S1,1,AAAA,CCCC"); // 15: same id, the earlier line is now 13
    text.push_back("S3,1,ACGT,TTTT"); // 16: same pair, the earlier line is now 12
    SampleSheet sheet;
    Strings errors, warnings;
    EXPECT_FALSE(sheet.load(lines(text), errors, warnings));
    EXPECT_EQ(errors, (Strings{"Error: Duplicate Index+Index2 sequence: ACGT+TTTT, lane: 1, on lines: 11, 12",
                               "Error: Duplicate sample id (biosample): S1, lane: 1, lines: 11, 13",
                               "Error: Duplicate sample id (biosample): S1, lane: 1, lines: 13, 15",
                               "Error: Duplicate Index+Index2 sequence: ACGT+TTTT, lane: 1, on lines: 12, "
                               "16"}));
    EXPECT_TRUE(warnings.empty()); // no closeness check on a sheet with errors
    EXPECT_EQ(sheet.samples.size(), 6u);
}

TEST(SampleSheet, FlowCellCycleCounts)
{
    for (const auto& [value, ok] : std::vector<std::pair<std::string, bool>>{
             {"0", true}, {"8", true}, {"255", true}, {"5", false}, {"256", false}}) {
        Strings text = head();
        text.insert(text.begin() + 5, "Read2Cycles," + value);
        SampleSheet sheet;
        Strings errors, warnings;
        EXPECT_EQ(sheet.load(lines(text), errors, warnings), ok) << value;
    }
}

// ---------------------------------------------------------------------------------------------
// Closeness check

TEST(SampleSheetCloseness, DistanceAgainstTwiceTheMismatches)
{
    Strings text = head();
    text.push_back("X,1,AAAAAAAA,CCCCCCCC");
    text.push_back("P,2,AAAAAAAA,CCCCCCCC"); // other lane: never compared with X
    text.push_back("Y,1,AAAAAATT,CCCCCCGG"); // X-Y: 2 and 2
    text.push_back("Q,2,AAAAATTT,CCCCCCGG"); // P-Q: 3 and 2
    text.push_back("R,2,AAAAAAAA,CCCCCGGG"); // P-R: 0 and 3; Q-R: 3 and 1
    SampleSheet sheet;
    Strings errors, warnings;
    ASSERT_TRUE(sheet.load(lines(text), errors, warnings));
    EXPECT_EQ(warnings, (Strings{"Warning: Edit distance between samples 'X' (row 1) and 'Y' (row 3) in lane "
                                 "(1) is too low for I1Mismatches (1) and I2Mismatches (1)"}));
}

TEST(SampleSheetCloseness, UsesTheSheetsOwnMismatchSettings)
{
    Strings text = head({"I1Mismatches,0", "I2Mismatches,2"});
    text.push_back("X,1,AAAAAAAA,CCCCCCCC");
    text.push_back("Y,1,AAAAAAAA,CCCCGGGG"); // 0 and 4
    text.push_back("Z,1,AAAAAAAT,CCCCCCCC"); // X-Z: 1 and 0; Y-Z: 1 and 4
    SampleSheet sheet;
    Strings errors, warnings;
    ASSERT_TRUE(sheet.load(lines(text), errors, warnings));
    EXPECT_EQ(warnings, (Strings{"Warning: Edit distance between samples 'X' (row 1) and 'Y' (row 2) in lane "
                                 "(1) is too low for I1Mismatches (0) and I2Mismatches (2)"}));
}

TEST(SampleSheetCloseness, ValidateDirectly)
{
    Samples samples;
    samples.push_back({1, "a", "ACGT", ""});
    samples.push_back({1, "b", "AGT", ""});
    samples.push_back({1, "c", "", ""});
    Strings messages;
    samples.validate(1, 0, messages);
    EXPECT_EQ(messages, (Strings{"Edit distance between samples 'a' (row 1) and 'b' (row 2) in lane (1) is "
                                 "too low for I1Mismatches (1) and I2Mismatches (0)"}));
    messages.clear();
    samples.validate(2, 0, messages); // limit 4: a-b 1, a-c 4, b-c 3
    EXPECT_EQ(messages.size(), 3u);
    messages.clear();
    samples.validate(-1, 5, messages);
    EXPECT_TRUE(messages.empty());
}

// Fault F-7: one absurd Index cell must neither exhaust memory nor throw out of load; the result
// is the same as with the full table.
TEST(SampleSheetCloseness, HugeIndexCellsNeedNoSquareTable)
{
    const std::string huge(100000, 'A');
    std::string near_huge = huge;
    near_huge[50000] = 'C';
    Strings text = head();
    text.push_back("Big,1," + huge + ",ACGTACGT");       // 11
    text.push_back("Small,1,ACGTACGT,ACGTACGT");         // 12
    text.push_back("Twin,1," + near_huge + ",ACGTACGA"); // 13: Big-Twin 1 and 1
    text.push_back("Far,1," + std::string(99999, 'G') + "T,TTTTTTTT");
    SampleSheet sheet;
    Strings errors, warnings;
    const auto start = std::chrono::steady_clock::now();
    bool ok = false;
    EXPECT_NO_THROW(ok = sheet.load(lines(text), errors, warnings));
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    EXPECT_TRUE(ok);
    EXPECT_EQ(warnings, (Strings{"Warning: Edit distance between samples 'Big' (row 1) and 'Twin' "
                                 "(row 3) in lane (1) is too low for I1Mismatches (1) and "
                                 "I2Mismatches (1)"}));
    EXPECT_LT(seconds.count(), 20.0);
    ASSERT_EQ(sheet.samples.size(), 4u);
    EXPECT_EQ(sheet.samples[0].Index.size(), 100000u);
}

TEST(SampleSheet, NonAsciiIndexBytesAreKeptAndNeverThrow)
{
    Strings text = head();
    text.push_back("A,1,ac\xC3\xA9gt,tt");
    text.push_back("B,1,ACGT,TT");
    SampleSheet sheet;
    Strings errors, warnings;
    EXPECT_NO_THROW(EXPECT_TRUE(sheet.load(lines(text), errors, warnings)));
    ASSERT_EQ(sheet.samples.size(), 2u);
    EXPECT_EQ(sheet.samples[0].Index, "AC\xC3\xA9GT");
    EXPECT_EQ(warnings, (Strings{"line 11; Warning: Invalid (non-ascii) characters in input",
                                 "Warning: Edit distance between samples 'A' (row 1) and 'B' (row "
                                 "2) in lane (1) is too low for I1Mismatches (1) and I2Mismatches "
                                 "(1)"}));
}

// ---------------------------------------------------------------------------------------------
// Edit distance

struct DistanceCase {
    std::string a;
    std::string b;
    int distance;
};

class LevDistanceTest : public ::testing::TestWithParam<DistanceCase> {};

TEST_P(LevDistanceTest, AllThreeFormsAgree)
{
    const auto& c = GetParam();
    std::vector<int> table;
    EXPECT_EQ(get_lev_distance(table, c.a, c.b), c.distance);
    EXPECT_EQ(get_lev_distance(c.a, c.b), c.distance);
    EXPECT_EQ(get_lev_distance(c.b, c.a), c.distance);
    for (int limit = 0; limit <= 6; ++limit) {
        EXPECT_EQ(get_lev_distance_bounded(c.a, c.b, limit), std::min(c.distance, limit + 1))
            << c.a << " " << c.b << " " << limit;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, LevDistanceTest,
                         ::testing::Values(DistanceCase{"", "", 0}, DistanceCase{"", "ACGT", 4},
                                           DistanceCase{"ACGT", "ACGT", 0}, DistanceCase{"ACGT", "AGGT", 1},
                                           DistanceCase{"ACGT", "AGT", 1}, DistanceCase{"kitten", "sitting", 3},
                                           DistanceCase{"AAAAAAAA", "AAAAAATT", 2}, DistanceCase{"ACGT", "TGCA", 4},
                                           DistanceCase{"acgt", "ACGT", 4}, DistanceCase{"\xC3\xA9", "\xC3\xA8", 1}));

TEST(LevDistance, RandomStringsMatchTheFullTable)
{
    std::mt19937 random(12345);
    const std::string letters = "ACGTNx";
    std::vector<int> table;
    for (int trial = 0; trial < 3000; ++trial) {
        // Every thousandth pair as long as a bit-parallel pattern may be.
        const std::size_t longest = trial % 1000 == 0 ? 65 : 13;
        std::string a(random() % longest, 'A');
        std::string b(random() % longest, 'A');
        for (char& c : a)
            c = letters[random() % (trial % 2 == 0 ? 4 : 6)];
        for (char& c : b)
            c = letters[random() % (trial % 2 == 0 ? 4 : 6)];
        const int full = get_lev_distance(table, a, b);
        ASSERT_EQ(get_lev_distance(a, b), full) << a << " " << b;
        ASSERT_EQ(LevPattern(a).distance(b), full) << a << " " << b;
        for (int limit = 0; limit <= 5; ++limit) {
            ASSERT_EQ(get_lev_distance_bounded(a, b, limit), std::min(full, limit + 1))
                << a << " " << b << " " << limit;
        }
    }
}

TEST(LevDistance, TableSizeDoesNotOverflow)
{
    EXPECT_EQ(get_lev_table_size(8, 10), 99);
    EXPECT_EQ(get_lev_table_size(100000, 100000), 10000200001LL);
    EXPECT_EQ(get_lev_table_size(2147483647, 2147483647), 4611686018427387904LL);
}

// ---------------------------------------------------------------------------------------------
// Writing

const char* const stored_valid_sheet = "[Run Information]\n"
                                       "FileFormatVersion,2\n"
                                       "InstrumentPlatform,\"Quill\"\n"
                                       "FlowcellBarcode,\"FC123\"\n"
                                       "RunName,\"Run 1\"\n"
                                       "\n"
                                       "[Flow Cell Settings]\n"
                                       "Read1Cycles,151\n"
                                       "Read2Cycles,0\n"
                                       "Index1Cycles,8\n"
                                       "Index2Cycles,8\n"
                                       "CustomPrimer,False\n"
                                       "QUILLON,True\n"
                                       "\n"
                                       "[Quillon Settings]\n"
                                       "IncludeTiles,\"\"\n"
                                       "ExcludeTiles,\"\"\n"
                                       "OutputControlFASTQ,True\n"
                                       "OutputIndexFASTQ,False\n"
                                       "I1Mismatches,1\n"
                                       "I2Mismatches,1\n"
                                       "MergeLanes,True\n"
                                       "R1CycleUsage,\"\"\n"
                                       "R2CycleUsage,\"\"\n"
                                       "I1CycleUsage,\"\"\n"
                                       "I2CycleUsage,\"\"\n"
                                       "U1CycleUsage,\"\"\n"
                                       "U2CycleUsage,\"\"\n"
                                       "\n"
                                       "[Samples]\n"
                                       "Biosample,Lane,Index,Index2\n"
                                       "S1,1,ACGTACGT,TTTTAAAA\n"
                                       "S2,1,CCCCGGGG,AAAATTTT\n"
                                       "S1,2,ACGTACGT,TTTTAAAA\n"
                                       "\n";

TEST(SampleSheetStore, StoreAfterLoad)
{
    SampleSheet sheet;
    Strings errors, warnings;
    ASSERT_TRUE(sheet.load(valid_sheet_text, errors, warnings));
    std::string out;
    sheet.store(out);
    EXPECT_EQ(out, stored_valid_sheet);
}

TEST(SampleSheetStore, RoundTrip)
{
    SampleSheet original;
    original.run_information.FileFormatVersion = 3;
    original.run_information.InstrumentPlatform = "Quill X";
    original.run_information.FlowcellBarcode = "";
    original.run_information.RunName = "run, with comma";
    original.flow_cell_settings = FlowCellSettings{100, 50, 10, 0, true, false};
    original.quillon_settings.IncludeTiles = {"L01/S01_T001", "L02/S03_T004"};
    original.quillon_settings.I2Mismatches = 0;
    original.quillon_settings.R1CycleUsage = "T1:Y*";
    original.quillon_settings.U1CycleUsage = "T2:N8Y*";
    original.samples.push_back({2, "B-1", "ACGTAC", "GGTTAA"});
    original.samples.push_back({1, "A_2", "TTTTTT", "CA"});
    std::string text;
    original.store(text);

    SampleSheet copy;
    Strings errors, warnings;
    ASSERT_TRUE(copy.load(text, errors, warnings)) << errors.front();
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(copy.run_information.FileFormatVersion, 3);
    EXPECT_EQ(copy.run_information.InstrumentPlatform, "Quill X");
    EXPECT_EQ(copy.run_information.FlowcellBarcode, "");
    EXPECT_EQ(copy.run_information.RunName, "run, with comma");
    EXPECT_EQ(copy.flow_cell_settings.Read1Cycles, 100);
    EXPECT_EQ(copy.flow_cell_settings.Read2Cycles, 50);
    EXPECT_EQ(copy.flow_cell_settings.Index1Cycles, 10);
    EXPECT_EQ(copy.flow_cell_settings.Index2Cycles, 0);
    EXPECT_TRUE(copy.flow_cell_settings.CustomPrimer);
    EXPECT_FALSE(copy.flow_cell_settings.QUILLON);
    EXPECT_EQ(copy.quillon_settings.IncludeTiles, original.quillon_settings.IncludeTiles);
    EXPECT_EQ(copy.quillon_settings.I2Mismatches, 0);
    EXPECT_EQ(copy.quillon_settings.R1CycleUsage, "T1:Y*");
    EXPECT_EQ(copy.quillon_settings.U1CycleUsage, "T2:N8Y*");
    ASSERT_EQ(copy.samples.size(), 2u);
    EXPECT_EQ(copy.samples[0].Lane, 2);
    EXPECT_EQ(copy.samples[0].Biosample, "B-1");
    EXPECT_EQ(copy.samples[0].Index, "ACGTAC");
    EXPECT_EQ(copy.samples[0].Index2, "GGTTAA");
    EXPECT_EQ(copy.samples[1].Biosample, "A_2");
    EXPECT_EQ(copy.samples[1].Index2, "CA");

    std::string again;
    copy.store(again);
    EXPECT_EQ(again, text);
}

} // namespace
