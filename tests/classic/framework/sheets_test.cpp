// The sheet loaders of the classic program, driven as its run drives them: the design sheet
// and the sample sheet of either format, their validation messages, and the cycle windows.
#include "classic/framework/af_exception.h"
#include "tests/classic/classic_state.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text_lines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using AlgorithmFramework::Parameters;

// A CreateFastq as the run has it when the sheets are loaded: parameters checked, flow cell id
// known, reads found (here 30, 8, 8 and 30 cycles).
class SheetLoad : public ClassicState {
public:
    explicit SheetLoad(std::uint64_t mismatches)
    {
        parameters = blackboard.write<Parameters>("parameters");
        fastq.barcode_allowed_mismatches = mismatches;
        fastq.file_prefix = "FC1";
        fastq.read_numbers = {1, 2, 3, 4};
        fastq.read_cycles = {30, 8, 8, 30};
    }
    ~SheetLoad() { blackboard.erase<Parameters>("parameters"); }

    // Writes the sheets, loads them as the run does (the design sheet and the sample sheet,
    // then the loader of the sheet's format) and keeps what it logs, with the sample sheet's path
    // written as "{sheet}", and the ERROR texts.
    void load(const std::string& sample_text, const std::string& design_text)
    {
        const std::string sheet = (dir.path() / "SampleSheet.csv").string();
        std::ofstream(sheet) << sample_text;
        (*parameters)["--samplesheet"] = sheet;
        (*parameters)["--designsheet"] = design_text.empty() ? "" : (dir.path() / "design.csv").string();
        std::ofstream(dir.path() / "design.csv") << design_text;
        log.echo = true;
        out = test_support::stdout_of([this] {
            try {
                fastq.load_quillon_sheet();
                if (fastq.sample_sheet.run_information.FileFormatVersion != 0)
                    fastq.load_sample_sheet_new();
                else
                    fastq.load_sample_sheet_old();
            } catch (const AlgorithmFramework::AFException&) {
                stopped = true;
            }
        });
        log.echo = false;
        for (auto at = out.find(sheet); at != std::string::npos; at = out.find(sheet))
            out.replace(at, sheet.size(), "{sheet}");
        for (const std::string& line : test_support::lines_of(out)) {
            if (const auto at = line.find("] [ERROR] \t"); at != std::string::npos)
                errors.push_back(line.substr(at + 11));
        }
    }

    bool logged(const std::string& text) const { return out.find("] \t" + text + "\n") != std::string::npos; }

    test_support::TempDir dir;
    Parameters* parameters = nullptr;
    std::string out;
    std::vector<std::string> errors;
    bool stopped = false;
};

const std::string Data_heading = "[Data]\nLane,Sample_ID,Index1,Index2,Sample_Project,Description\n";
const std::string Invalid = "Sample Sheet is invalid.";

const std::string Design_sheet =
    "[Header]\nFileFormatVersion,1\n[Quillon Settings]\nOutputControlFASTQ,False\nOutputIndexFASTQ,False\n"
    "MergeLanes,False\nIncludeTiles,L01/S01_T001\nI1Mismatches,1\nI2Mismatches,1\nR1CycleUsage,T1:Y*\n"
    "R2CycleUsage,T4:Y*\nI1CycleUsage,T2:Y*\nI2CycleUsage,T3:Y*\n";

// A sectioned sample sheet of the run's layout with the given settings and samples.
std::string sectioned(const std::string& settings, const std::string& samples,
                      const std::string& version = "FileFormatVersion,2\n")
{
    return "[Run Information]\n" + version +
           "InstrumentPlatform,Sim\n[Flow Cell Settings]\nRead1Cycles,30\n"
           "Read2Cycles,30\nIndex1Cycles,8\nIndex2Cycles,8\nCustomPrimer,False\nQUILLON,True\n"
           "[Quillon Settings]\n" +
           settings + "[Samples]\nBiosample,Lane,Index,Index2\n" + samples;
}

// Sample rows of the given lane, each with its own index: row k's is k written in base 4, so
// that neighbours differ in one letter.
std::string numbered_rows(int count, int lane, bool legacy)
{
    std::string rows;
    for (int k = 0; k < count; ++k) {
        std::string index(8, 'A');
        for (int at = 7, n = k; at >= 0; --at, n /= 4)
            index[std::size_t(at)] = "ACGT"[n % 4];
        const std::string id = "s" + std::to_string(lane) + "_" + std::to_string(k);
        rows += legacy ? std::to_string(lane) + "," + id + "," + index + ",,P,D\n"
                       : id + "," + std::to_string(lane) + "," + index + ",TTTTTTTT\n";
    }
    return rows;
}

struct SheetCase {
    const char* name;
    std::string sample;
    std::vector<std::string> errors; // every ERROR line, in order; empty for a valid sheet
    std::function<void(const SheetLoad&)> check = {};
    std::string design = {};
    std::uint64_t mismatches = 0;
};

// Legacy sheets first, then sectioned ones over a design sheet.
TEST(ClassicSheets, SettingsAndMessagesOfEachSheet)
{
    const std::string samples = "s1,1,ACGTACGT,TTGGCCAA\ns2,2,CCCCGGGG,AAAATTTT\n";
    const SheetCase cases[] = {
        {"headings in any spelling, CR line ends, R and L prefixes",
         "[ header ],x\r\nbarcode,FC1\r\n[Index Reads]\nread,DataColumnName,position_start,position_stop\n"
         "r2,Index1,1,8\nR3,Index2,1,8\n[Paired Reads]\nRead,Pair\nR1,R1\nR4,R2\n"
         "[Adapters]\nName,Sequence\na1,ACGTAC\n[UMI Reads]\nRead,Position_Start,Position_Stop\nR1,1,6\n" +
             Data_heading + "L1,s1,ACGTACGT,TTGGCCAA,P,D\n2,s2,CCCCGGGG,AAAATTTT,,\n",
         {},
         [](const SheetLoad& run) {
             for (const char* line :
                  {"[Header]\tBarcode\tFC1", "[Index Reads]\tR2,Index1,1,8", "[Paired Reads]\tR4,R2",
                   "[UMI Reads]\tR1,1,6", "[Data]\t1,s1,ACGTACGT,TTGGCCAA,P,D", "Sample Sheet is valid. {sheet}"})
                 EXPECT_TRUE(run.logged(line)) << line;
         }},
        {"reads out of range, not numeric or beyond int",
         "[Index Reads]\nRead,Data_Column_Name,Position_Start,Position_Stop\nR5,Index1,1,8\n"
         "R4294967297,Index2,1,8\n[UMI Reads]\nRead,Position_Start,Position_Stop\nR1,x,99999999999\n" +
             Data_heading + "1,s1,ACGTACGT,,P,D\n",
         {"Invalid [Index Reads] data. Read should be from 1 to 4.\tfound\tR5,Index1,1,8",
          "Invalid [Index Reads] data. Read not numeric.\tfound\tR4294967297,Index2,1,8",
          "Invalid [UMI Reads] data. Position_Start not numeric.\tfound\tR1,x,99999999999",
          "Invalid [UMI Reads] data. Position_Stop not numeric.\tfound\tR1,x,99999999999",
          "[Index Reads] Invalid read.\tR5,Index1,1,8", "[Index Reads] Invalid read.\tR0,Index2,1,8",
          "[UMI Reads] Invalid position_start.\tR1,0,0", Invalid},
         {}},
        {"letters, duplicate column, overlaps; a UMI range around an index range passes",
         "[Index Reads]\nRead,Data_Column_Name,Position_Start,Position_Stop\nR1,Index1,5,12\nR1,Index1,9,16\n"
         "[Adapters]\nAdapter_Name,Sequence\na1,ACGU\n[UMI Reads]\nRead,Position_Start,Position_Stop\nR1,1,20\n" +
             Data_heading + "1,s1,ACGNN,,P,D\n",
         {"Invalid [Adapters] data. Sequence can only contain A, C, G, or T.\tfound\tACGU",
          "Invalid [Data] data. Index1 can only contain A, C, G, or T.\tfound\tACGNN",
          "Invalid [Data] data. Index1 can only contain A, C, G, or T.\tfound\tACGNN",
          "[Index Reads] Duplicate data_column_name found.\tR1,Index1,9,16",
          "[Index Reads] Overlap found.\t1,5,12;1,9,16", "[Index Reads] Overlap found.\t1,9,16;1,5,12", Invalid},
         {}},
        {"barcode, heading row, a heading inside [Data], lanes",
         "[Header]\nBarcode,OTHER\n[Data]\nLane,SampleID,Index1,Index2,Sample_Project,Description\n"
         "1,s1,ACGTACGT,,P,D\n[Extra],s2,ACGTACGA,,P,D\n3,s3,AAAAAAAA,,P,D\n",
         {"Invalid Barcode. Expecting\tFC1\tfound\tOTHER",
          "Invalid [Data] header. Expecting\tLane,Sample_ID,Index1,Index2,Sample_Project,Description\tfound\t"
          "Lane,SampleID,Index1,Index2,Sample_Project,Description",
          "Invalid [Data] data. Lane not numeric.\tfound\t[Extra],s2,ACGTACGA,,P,D",
          "[Data] Invalid lane.\t0,s2,ACGTACGA,,P,D", "[Data] Invalid lane.\t3,s3,AAAAAAAA,,P,D", Invalid},
         {}},
        {"duplicates and collisions within a lane with one allowed mismatch",
         Data_heading + "1,s1,ACGTACGT,,P,D\n1,s2,ACGTACGA,,P,D\n2,s3,ACGTACGA,,P,D\n1,s1,GGGGCCCC,,P,D\n"
                        "1,s4,ACGTACGA,,P,D\n",
         {"[Data] Sample Index collision found.\t1,s2,ACGTACGA,,P,D",
          "[Data] Duplicate Sample_ID found.\t1,s1,GGGGCCCC,,P,D",
          "[Data] Duplicate Sample Index sequence found.\t1,s4,ACGTACGA,,P,D",
          "[Data] Sample Index collision found.\t1,s4,ACGTACGA,,P,D", Invalid},
         {},
         "",
         1},
        {"sample ids that name a path or the undetermined outputs",
         Data_heading + "1,a/b,AAAAAAAA,,P,D\n1,..,CCCCCCCC,,P,D\n2,.,GGGGGGGG,,P,D\n2,Undetermined,TTTTTTTT,,P,D\n",
         {"[Data] Invalid Sample_ID 'a/b': it must not contain '/', be '.' or '..', or be Undetermined.\t"
          "1,a/b,AAAAAAAA,,P,D",
          "[Data] Invalid Sample_ID '..': it must not contain '/', be '.' or '..', or be Undetermined.\t"
          "1,..,CCCCCCCC,,P,D",
          "[Data] Invalid Sample_ID '.': it must not contain '/', be '.' or '..', or be Undetermined.\t"
          "2,.,GGGGGGGG,,P,D",
          "[Data] Invalid Sample_ID 'Undetermined': it must not contain '/', be '.' or '..', or be Undetermined.\t"
          "2,Undetermined,TTTTTTTT,,P,D",
          Invalid},
         {}},
        {"the sample sheet overrides only the settings it holds",
         sectioned("MergeLanes,True\n", samples),
         {},
         [](const SheetLoad& run) {
             const QuillonSettings& settings = run.fastq.design_sheet.quillon_settings;
             EXPECT_TRUE(settings.MergeLanes);
             EXPECT_FALSE(settings.OutputControlFASTQ);
             EXPECT_EQ(settings.IncludeTiles, std::vector<std::string>{"L01/S01_T001"});
             EXPECT_EQ(run.fastq.sample_sheet_local.cycle_windows.at(4), std::make_pair(1ul, 30ul));
         },
         Design_sheet},
        {"a text without sectioned sections is legacy and forces its settings",
         Data_heading + "1,s1,ACGTACGT,,P,D\n",
         {},
         [](const SheetLoad& run) {
             const QuillonSettings& settings = run.fastq.design_sheet.quillon_settings;
             EXPECT_TRUE(settings.OutputControlFASTQ && settings.OutputIndexFASTQ && !settings.MergeLanes);
             EXPECT_TRUE(settings.IncludeTiles.empty());
             EXPECT_EQ(settings.I1Mismatches, 0);
             EXPECT_TRUE(run.fastq.sample_sheet_local.cycle_windows.empty()); // design masks are not applied
         },
         Design_sheet},
        {"a sectioned sheet missing a section is reported, never read as legacy",
         "[Run Information]\nFileFormatVersion,2\nInstrumentPlatform,Sim\n[Samples]\nBiosample,Lane,Index,Index2\n"
         "s1,1,ACGTACGT,\n",
         {"Errors detected while trying to load sample sheet {sheet}",
          "{sheet}: Error: Missing section 'Flow Cell Settings'", "{sheet}: Error: Missing section 'Quillon Settings'",
          "Sample sheet failed validation"}},
        // Sample numbers are shorts: rows past 32767 would be numbered below 0. Such a sheet is
        // refused before any two of its rows are compared.
        {"more samples than a short numbers, sectioned",
         sectioned("I1Mismatches,1\n", numbered_rows(32768, 2, false) + numbered_rows(2, 1, false)),
         {"Errors detected while trying to load sample sheet {sheet}",
          "{sheet}: Error: Too many samples: 32770 (at most 32768)", "Sample sheet failed validation"},
         [](const SheetLoad& run) { EXPECT_EQ(run.out.find("Edit distance"), std::string::npos); }},
        {"more samples than a short numbers, legacy",
         Data_heading + numbered_rows(32769, 1, true),
         {"Too many samples: 32769 (at most 32768)", Invalid},
         {},
         "",
         1},
        {"a text in neither format",
         "Lane,Sample\n1,s1\n",
         {"Sample sheet {sheet} holds no section of either sample sheet format"}},
        {"a bad file format version is reported",
         sectioned("", samples, "FileFormatVersion,0\n"),
         {"Errors detected while trying to load sample sheet {sheet}",
          "{sheet}: line 2; Error: Value out of range: '0'", "Sample sheet failed validation"}},
        {"index letters other than A, C, G and T",
         sectioned("", "s1,1,acgn,TTGGCCAA\n"),
         {"Invalid [Data] data. Index1 can only contain A, C, G, or T.\tfound\tACGN", Invalid},
         {},
         Design_sheet},
        {"masks outside the reads and overlapping",
         sectioned("I1CycleUsage,T2:N4Y8\nU1CycleUsage,T2:Y6\nU2CycleUsage,T4:N28Y4\n", samples),
         {"[Index Reads] Invalid position_stop.\tR2,Index1,5,12", "[UMI Reads] Invalid position_stop.\tR4,29,32",
          "[Index Reads vs UMI Reads] Overlap found.\t2,5,12;2,1,6", Invalid},
         {},
         Design_sheet},
    };
    for (const SheetCase& c : cases) {
        SCOPED_TRACE(c.name);
        SheetLoad run(c.mismatches);
        run.load(c.sample, c.design);
        EXPECT_EQ(run.errors, c.errors);
        EXPECT_EQ(run.stopped, !c.errors.empty());
        if (c.check)
            c.check(run);
    }
}

// The classic sheet data after setting up masks (read, index or UMI by the name's start) on
// flow cell cycles of 151, 151, 8 and 10.
std::string windows_of(const std::vector<std::pair<std::string, std::string>>& masks)
{
    ClassicState state;
    CreateFastq& fastq = state.fastq;
    fastq.sample_sheet.flow_cell_settings = {
        .Read1Cycles = 151, .Read2Cycles = 151, .Index1Cycles = 8, .Index2Cycles = 10};
    std::vector<std::string> errors;
    for (const auto& [name, mask] : masks) {
        if (name.rfind("Read", 0) == 0)
            fastq.setup_read(name, mask, errors);
        else if (name.rfind("Index", 0) == 0)
            fastq.setup_index(name, mask, errors);
        else
            fastq.setup_umi(name, mask, errors);
    }
    const SampleSheetLocal& sheet = fastq.sample_sheet_local;
    std::string text;
    for (const auto& [track, name] : sheet.track_names)
        text += " T" + std::to_string(track) + "=" + name;
    for (const auto& [track, window] : sheet.cycle_windows)
        text += " W" + std::to_string(track) + "=" + std::to_string(window.first) + "-" + std::to_string(window.second);
    auto ranges = [&text](const char* head, const auto& list) {
        for (const auto& x : list)
            text += head + std::to_string(x.read) + "=" + std::to_string(x.position_start) + "-" +
                    std::to_string(x.position_stop);
    };
    ranges(" I", sheet.index_reads);
    ranges(" U", sheet.umi_reads);
    return text + " errors " + std::to_string(errors.size());
}

TEST(ClassicCycleWindows, MasksResolveAgainstTheirReadsCycles)
{
    const struct {
        std::vector<std::pair<std::string, std::string>> masks;
        std::string expected;
    } cases[] = {
        {{{"Read1", "T1:Y*"}}, " T1=Read1 W1=1-151 errors 0"},
        {{{"Read1", "T1:N*Y8"}}, " T1=Read1 W1=144-151 errors 0"},
        {{{"Read1", "T1:Y*N5"}}, " T1=Read1 W1=1-146 errors 0"},
        {{{"Read2", "T3:Y8"}}, " T3=Read2 W3=1-8 errors 0"},
        {{{"Index2", "T2:N2Y*N2"}}, " T2=Index2 I2=3-8 errors 0"},
        {{{"Umi1", "T4:Y*"}}, " U4=1-0 errors 0"}, // an unnamed track has no cycles, and stays unnamed
        {{{"Read1", "T1:Y*N6"}, {"Umi1", "T1:N*Y6"}}, " T1=Read1 W1=1-145 U1=146-151 errors 0"},
        {{{"Read1", "T1:Y10"}, {"Read2", "T1:N10Y*"}}, " T1=Read2 W1=11-151 errors 0"},
        {{{"Read1", "T1:N200Y*"}}, " T1=Read1 W1=201-200 errors 0"},
        {{{"Read1", "T1:N*Y2147483647N2147483647"}}, " T1=Read1 W1=1-2147483647 errors 0"},
        {{{"Index1", "T2:Q8"}, {"Umi2", "T9:Y*"}}, " errors 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.masks.front().second);
        EXPECT_EQ(windows_of(c.masks), c.expected);
    }
}

} // namespace
