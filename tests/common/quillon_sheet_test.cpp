// The design sheet: loading, messages with their lines and order, defaults, tile
// lists, cycle masks in the sheet, store round trips and the section tables.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/quillon_sheet.h"

namespace {

using Strings = std::vector<std::string>;

std::string lines(const Strings& parts)
{
    std::string text;
    for (const auto& p : parts)
        text += p + "\n";
    return text;
}

// A complete design sheet; the line numbers are in the comments.
const Strings full_sheet = {
    "[Header]",                                   // 1
    "FileFormatVersion,1",                        // 2
    "",                                           // 3
    "[Quillon Settings]",                         // 4
    "IncludeTiles,\"L01/S01_T001,L02/S02_T123\"", // 5
    "ExcludeTiles,",                              // 6
    "OutputControlFASTQ,False",                   // 7
    "OutputIndexFASTQ,true",                      // 8
    "I1Mismatches,2",                             // 9
    "I2Mismatches,0",                             // 10
    "MergeLanes,TRUE",                            // 11
    "R1CycleUsage,T1:Y151",                       // 12
    "R2CycleUsage,\"T4:N*Y8N2\"",                 // 13
    "I1CycleUsage,t2 : y 8",                      // 14
    "I2CycleUsage,T3:Y8",                         // 15
    "U1CycleUsage,",                              // 16
};

// The required keys only, with masks.
Strings minimal_sheet()
{
    return {"[Header]",           "FileFormatVersion,7", "[Quillon Settings]", "R1CycleUsage,T1:Y5",
            "R2CycleUsage,T2:Y5", "I1CycleUsage,T3:Y5",  "I2CycleUsage,T4:Y5"};
}

TEST(QuillonSheet, LoadsACompleteSheet)
{
    QuillonSheet sheet;
    EXPECT_FALSE(sheet.loaded);
    Strings errors = {"caller's old error"};
    Strings warnings = {"caller's old warning"};
    ASSERT_TRUE(sheet.load(lines(full_sheet), errors, warnings));
    EXPECT_TRUE(sheet.loaded);
    EXPECT_TRUE(errors.empty()); // replaced, not appended to
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(sheet.quillon_header.FileFormatVersion, 1);
    const QuillonSettings& s = sheet.quillon_settings;
    EXPECT_EQ(s.IncludeTiles, (Strings{"L01/S01_T001", "L02/S02_T123"}));
    EXPECT_TRUE(s.ExcludeTiles.empty());
    EXPECT_FALSE(s.OutputControlFASTQ);
    EXPECT_TRUE(s.OutputIndexFASTQ);
    EXPECT_TRUE(s.MergeLanes);
    EXPECT_EQ(s.I1Mismatches, 2);
    EXPECT_EQ(s.I2Mismatches, 0);
    EXPECT_EQ(s.R1CycleUsage, "T1:Y151");
    EXPECT_EQ(s.R2CycleUsage, "T4:N*Y8N2");
    EXPECT_EQ(s.I1CycleUsage, "t2 : y 8");
    EXPECT_EQ(s.I2CycleUsage, "T3:Y8");
    EXPECT_EQ(s.U1CycleUsage, "");
    EXPECT_EQ(s.U2CycleUsage, "");
}

TEST(QuillonSheet, AbsentKeysKeepDefaults)
{
    QuillonSheet sheet;
    Strings errors, warnings;
    ASSERT_TRUE(sheet.load(lines(minimal_sheet()), errors, warnings));
    const QuillonSettings& s = sheet.quillon_settings;
    EXPECT_EQ(sheet.quillon_header.FileFormatVersion, 7);
    EXPECT_TRUE(s.IncludeTiles.empty());
    EXPECT_TRUE(s.OutputControlFASTQ);
    EXPECT_FALSE(s.OutputIndexFASTQ);
    EXPECT_FALSE(s.MergeLanes);
    EXPECT_EQ(s.I1Mismatches, 1);
    EXPECT_EQ(s.I2Mismatches, 1);
    EXPECT_EQ(s.R2CycleUsage, "T2:Y5");
}

TEST(QuillonSheet, MissingSectionsReplaceTheCallersLists)
{
    QuillonSheet sheet;
    Strings errors = {"old"};
    Strings warnings = {"old"};
    EXPECT_FALSE(sheet.load("[Other]\nx,1\n", errors, warnings));
    EXPECT_TRUE(sheet.loaded);
    EXPECT_EQ(errors, (Strings{"Error: Missing section 'Header'", "Error: Missing section 'Quillon Settings'"}));
    EXPECT_TRUE(warnings.empty()); // unknown sections are not checked after a missing one
    EXPECT_EQ(errors, sheet.errors);

    QuillonSheet empty;
    EXPECT_FALSE(empty.load("", errors, warnings));
    EXPECT_EQ(errors.size(), 2u);
}

TEST(QuillonSheet, MissingRequiredKeyAndKeyWithoutValue)
{
    Strings text = minimal_sheet();
    text.erase(text.begin() + 3);   // R1CycleUsage
    text.push_back("U2CycleUsage"); // present, no value: loads, mask stays empty
    QuillonSheet sheet;
    Strings errors, warnings;
    EXPECT_FALSE(sheet.load(lines(text), errors, warnings));
    EXPECT_EQ(errors, (Strings{"line 4; Error: Missing required setting 'R1CycleUsage' for "
                               "section 'Quillon Settings'"}));
    EXPECT_EQ(sheet.quillon_settings.R2CycleUsage, ""); // no value read after a failed check

    text = minimal_sheet();
    text[3] = "R1CycleUsage"; // the key alone on its line
    QuillonSheet again;
    EXPECT_TRUE(again.load(lines(text), errors, warnings));
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(again.quillon_settings.R1CycleUsage, "");
}

TEST(QuillonSheet, EveryBadValueReportedInOrderWithItsLine)
{
    const Strings text = {
        "[Header]",                                              // 1
        "FileFormatVersion,1000",                                // 2
        "[Quillon Settings]",                                    // 3
        "IncludeTiles,\"L01/S01_T001, L1/S2_T3 ,l01/s02_t123\"", // 4
        "ExcludeTiles,L01/S01_T001",                             // 5
        "OutputControlFASTQ,yes",                                // 6
        "OutputIndexFASTQ,",                                     // 7: no value, optional
        "I1Mismatches,3",                                        // 8
        "I2Mismatches,x",                                        // 9
        "MergeLanes,False",                                      // 10
        "R1CycleUsage,T5:Y10",                                   // 11
        "R2CycleUsage,T1:Y8+N2",                                 // 12
        "I1CycleUsage,T1:Y99999999999",                          // 13
        "I2CycleUsage,T3:Y8",                                    // 14
        "Surprise,1",                                            // 15
        "[Extra]",                                               // 16
        "a,b",                                                   // 17
    };
    QuillonSheet sheet;
    Strings errors, warnings;
    EXPECT_FALSE(sheet.load(lines(text), errors, warnings));
    EXPECT_EQ(errors, (Strings{
                          "line 2; Error: Value out of range: '1000'",
                          "line 4; Error: Invalid tile specification 'L1/S2_T3'",
                          "line 4; Error: Invalid tile specification 'l01/s02_t123'",
                          "line 6; Error: Unexpected value 'yes'",
                          "line 8; Error: Value out of range: '3'",
                          "line 9; Error: Expecting integer value but got: 'x'",
                          "line 11; Error: Involving 'T5:Y10'; track number must be 1-4",
                          "line 12; Error: Involving 'T1:Y8+N2'; position: (6); '+' unexpected",
                          "line 13; Error: Involving 'T1:Y99999999999'; integer value too large",
                      }));
    EXPECT_EQ(warnings, (Strings{"line 17; Warning: Unknown section 'Extra'",
                                 "line 15; Warning: Unknown setting 'Surprise' for section 'Quillon "
                                 "Settings'"}));
    const QuillonSettings& s = sheet.quillon_settings;
    EXPECT_EQ(sheet.quillon_header.FileFormatVersion, 1); // defaults kept for bad values
    EXPECT_TRUE(s.IncludeTiles.empty());
    EXPECT_EQ(s.ExcludeTiles, (Strings{"L01/S01_T001"}));
    EXPECT_TRUE(s.OutputControlFASTQ);
    EXPECT_FALSE(s.OutputIndexFASTQ);
    EXPECT_EQ(s.I1Mismatches, 1);
    EXPECT_EQ(s.I2Mismatches, 1);
    EXPECT_EQ(s.R1CycleUsage, "");
    EXPECT_EQ(s.R2CycleUsage, "");
    EXPECT_EQ(s.I1CycleUsage, "");
    EXPECT_EQ(s.I2CycleUsage, "T3:Y8");
}

TEST(QuillonSheet, HeaderVersionIsRequiredAndNumeric)
{
    Strings text = minimal_sheet();
    text[1] = "FileFormatVersion";
    QuillonSheet a;
    Strings errors, warnings;
    EXPECT_FALSE(a.load(lines(text), errors, warnings));
    EXPECT_EQ(errors, (Strings{"line 2; Error: Missing data column"}));
    text[1] = "FileFormatVersion,v2";
    QuillonSheet b;
    EXPECT_FALSE(b.load(lines(text), errors, warnings));
    EXPECT_EQ(errors, (Strings{"line 2; Error: Expecting integer value but got: 'v2'"}));
    text[1] = "FileFormatVersion,0";
    QuillonSheet c;
    EXPECT_FALSE(c.load(lines(text), errors, warnings));
    EXPECT_EQ(errors, (Strings{"line 2; Error: Value out of range: '0'"}));
}

TEST(QuillonSheet, MismatchValues)
{
    for (const auto& [value, ok, expected] : std::vector<std::tuple<std::string, bool, int>>{
             {"0", true, 0}, {"2", true, 2}, {"3", false, 1}, {"-1", false, 1}}) {
        Strings text = minimal_sheet();
        text.push_back("I1Mismatches," + value);
        QuillonSheet sheet;
        Strings errors, warnings;
        EXPECT_EQ(sheet.load(lines(text), errors, warnings), ok) << value;
        EXPECT_EQ(sheet.quillon_settings.I1Mismatches, expected) << value;
    }
}

TEST(QuillonSheet, TileLists)
{
    Strings text = minimal_sheet();
    text.push_back("IncludeTiles,\"L01/S01_T001 , L02/S09_T999\"");
    text.push_back("ExcludeTiles,\"\"");
    QuillonSheet sheet;
    Strings errors, warnings;
    ASSERT_TRUE(sheet.load(lines(text), errors, warnings));
    EXPECT_EQ(sheet.quillon_settings.IncludeTiles, (Strings{"L01/S01_T001", "L02/S09_T999"}));
    EXPECT_TRUE(sheet.quillon_settings.ExcludeTiles.empty());

    // Any digits load (the converter checks lanes and numbers later); an unquoted list keeps only
    // its first element (reading A-8).
    text = minimal_sheet();
    text.push_back("IncludeTiles,L03/S00_T000,L01/S01_T001");
    QuillonSheet other;
    ASSERT_TRUE(other.load(lines(text), errors, warnings));
    EXPECT_EQ(other.quillon_settings.IncludeTiles, (Strings{"L03/S00_T000"}));

    // One bad element rejects the whole list; only the bad one is reported.
    QuillonSheet bad;
    bad.quillon_settings.ExcludeTiles = {"previous"};
    text = minimal_sheet();
    text.push_back("ExcludeTiles,\"L01/S01_T001,L01/S01_T0x1,L01/S01_T002\""); // line 8
    EXPECT_FALSE(bad.load(lines(text), errors, warnings));
    EXPECT_EQ(errors, (Strings{"line 8; Error: Invalid tile specification 'L01/S01_T0x1'"}));
    EXPECT_EQ(bad.quillon_settings.ExcludeTiles, (Strings{"previous"}));
}

TEST(QuillonSheet, CallersFindKeysWithValidateField)
{
    Strings text = minimal_sheet();
    text.push_back("MergeLanes,true");
    text.push_back("I2Mismatches");
    QuillonSheet sheet;
    Strings errors, warnings;
    ASSERT_TRUE(sheet.load(lines(text), errors, warnings));
    const SectionInfo& info = QuillonSettings::section_info();
    EXPECT_TRUE(sheet.validate_field(info, QuillonSettings::MergeLanesKey, 1, false));
    EXPECT_FALSE(sheet.validate_field(info, QuillonSettings::I2MismatchesKey, 1, false));
    EXPECT_FALSE(sheet.validate_field(info, QuillonSettings::IncludeTilesKey, 1, false));
    EXPECT_TRUE(sheet.errors.empty());
}

TEST(QuillonSheet, DuplicateKeyFirstRowWins)
{
    Strings text = minimal_sheet();
    text.push_back("I1Mismatches,0");
    text.push_back("I1Mismatches,2");
    QuillonSheet sheet;
    Strings errors, warnings;
    ASSERT_TRUE(sheet.load(lines(text), errors, warnings));
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(sheet.quillon_settings.I1Mismatches, 0);
}

TEST(QuillonSheet, NonAsciiTextNeitherThrowsNorFails)
{
    Strings text = minimal_sheet();
    text.push_back("MergeLanes,\xC3\xA9true\xFF");
    text.push_back("\xFF\xFE");
    QuillonSheet sheet;
    Strings errors, warnings;
    EXPECT_NO_THROW(EXPECT_TRUE(sheet.load(lines(text), errors, warnings)));
    EXPECT_TRUE(sheet.quillon_settings.MergeLanes);
    EXPECT_EQ(warnings, (Strings{"line 8; Warning: Invalid (non-ascii) characters in input",
                                 "line 9; Warning: Invalid (non-ascii) characters in input"}));
}

const char* const stored_full_sheet = "[Header]\n"
                                      "FileFormatVersion,1\n"
                                      "\n"
                                      "[Quillon Settings]\n"
                                      "IncludeTiles,\"L01/S01_T001,L02/S02_T123\"\n"
                                      "ExcludeTiles,\"\"\n"
                                      "OutputControlFASTQ,False\n"
                                      "OutputIndexFASTQ,True\n"
                                      "I1Mismatches,2\n"
                                      "I2Mismatches,0\n"
                                      "MergeLanes,True\n"
                                      "R1CycleUsage,\"T1:Y151\"\n"
                                      "R2CycleUsage,\"T4:N*Y8N2\"\n"
                                      "I1CycleUsage,\"t2 : y 8\"\n"
                                      "I2CycleUsage,\"T3:Y8\"\n"
                                      "U1CycleUsage,\"\"\n"
                                      "U2CycleUsage,\"\"\n"
                                      "\n";

TEST(QuillonSheet, StoreAfterLoadWritesTheOwnLayout)
{
    QuillonSheet sheet;
    Strings errors, warnings;
    ASSERT_TRUE(sheet.load(lines(full_sheet), errors, warnings));
    std::string out;
    sheet.store(out);
    EXPECT_EQ(out, stored_full_sheet);
}

TEST(QuillonSheet, StoreRoundTrip)
{
    QuillonSheet original;
    QuillonSettings& s = original.quillon_settings;
    original.quillon_header.FileFormatVersion = 42;
    s.IncludeTiles = {"L01/S01_T001"};
    s.ExcludeTiles = {"L02/S01_T001", "L02/S02_T002"};
    s.OutputControlFASTQ = false;
    s.OutputIndexFASTQ = true;
    s.MergeLanes = true;
    s.I1Mismatches = 0;
    s.I2Mismatches = 2;
    s.R1CycleUsage = "T1:N2Y*N3";
    s.R2CycleUsage = "T2:Y100";
    s.I1CycleUsage = "T3:Y8";
    s.I2CycleUsage = "T4:N*Y8";
    s.U1CycleUsage = "T3:N8Y*";
    s.U2CycleUsage = "";
    std::string text;
    original.store(text);

    QuillonSheet copy;
    Strings errors, warnings;
    ASSERT_TRUE(copy.load(text, errors, warnings)) << (errors.empty() ? "" : errors[0]);
    EXPECT_TRUE(warnings.empty());
    const QuillonSettings& c = copy.quillon_settings;
    EXPECT_EQ(copy.quillon_header.FileFormatVersion, 42);
    EXPECT_EQ(c.IncludeTiles, s.IncludeTiles);
    EXPECT_EQ(c.ExcludeTiles, s.ExcludeTiles);
    EXPECT_EQ(c.OutputControlFASTQ, s.OutputControlFASTQ);
    EXPECT_EQ(c.OutputIndexFASTQ, s.OutputIndexFASTQ);
    EXPECT_EQ(c.MergeLanes, s.MergeLanes);
    EXPECT_EQ(c.I1Mismatches, s.I1Mismatches);
    EXPECT_EQ(c.I2Mismatches, s.I2Mismatches);
    EXPECT_EQ(c.R1CycleUsage, s.R1CycleUsage);
    EXPECT_EQ(c.R2CycleUsage, s.R2CycleUsage);
    EXPECT_EQ(c.I1CycleUsage, s.I1CycleUsage);
    EXPECT_EQ(c.I2CycleUsage, s.I2CycleUsage);
    EXPECT_EQ(c.U1CycleUsage, s.U1CycleUsage);
    EXPECT_EQ(c.U2CycleUsage, s.U2CycleUsage);

    std::string again;
    copy.store(again);
    EXPECT_EQ(again, text);
}

TEST(QuillonSheet, SectionTables)
{
    const QuillonSheetInfo& info = QuillonSheet::quillon_sheet_info_();
    ASSERT_EQ(info.size(), 2u);
    EXPECT_EQ(info[0].id, 1);
    EXPECT_EQ(info[0].name, "Header");
    EXPECT_TRUE(info[0].required);
    EXPECT_TRUE(info[0].is_settings());
    ASSERT_EQ(info[0].headings.size(), 1u);
    EXPECT_EQ(info[0].headings[0].name, "FileFormatVersion");
    EXPECT_TRUE(info[0].headings[0].required);
    EXPECT_EQ(info[1].id, 2);
    EXPECT_EQ(info[1].name, "Quillon Settings");
    EXPECT_TRUE(info[1].is_settings());
    const std::vector<std::tuple<int, std::string, bool>> keys = {
        {0, "IncludeTiles", false},     {1, "ExcludeTiles", false}, {2, "OutputControlFASTQ", false},
        {3, "OutputIndexFASTQ", false}, {5, "I1Mismatches", false}, {6, "I2Mismatches", false},
        {4, "MergeLanes", false},       {7, "R1CycleUsage", true},  {8, "R2CycleUsage", true},
        {9, "I1CycleUsage", true},      {10, "I2CycleUsage", true}, {11, "U1CycleUsage", false},
        {12, "U2CycleUsage", false}};
    ASSERT_EQ(info[1].headings.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(info[1].headings[i].id, std::get<0>(keys[i]));
        EXPECT_EQ(info[1].headings[i].name, std::get<1>(keys[i]));
        EXPECT_EQ(info[1].headings[i].required, std::get<2>(keys[i]));
    }
    EXPECT_EQ(&info, &QuillonSheet::quillon_sheet_info_()); // one table, built once
    EXPECT_EQ(info[1].headings[6].id, QuillonSettings::MergeLanesKey);
    EXPECT_EQ(info[1].headings[4].id, QuillonSettings::I1MismatchesKey);
    EXPECT_EQ(info[1].headings[12].id, QuillonSettings::U2CycleUsageKey);
}

} // namespace
