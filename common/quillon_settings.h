#pragma once
// QuillonSettings: the "Quillon Settings" section, part of both the design sheet
// (QuillonSheet) and the sample sheet (SampleSheet), with the cycle-mask language.
//
// Members are read directly by the sheets' users (e.g. sheet.quillon_settings.I1Mismatches).
// Defaults are the initial values; a key absent from the text leaves its member unchanged.
//
// Keys (id, name, required key): 0 IncludeTiles, 1 ExcludeTiles, 2 OutputControlFASTQ,
// 3 OutputIndexFASTQ, 5 I1Mismatches, 6 I2Mismatches, 4 MergeLanes (in this order), then
// 7 R1CycleUsage (required), 8 R2CycleUsage (required), 9 I1CycleUsage (required),
// 10 I2CycleUsage (required), 11 U1CycleUsage, 12 U2CycleUsage.
//
// Cycle mask grammar (white space allowed before every token):
//   mask  := "" | ('T'|'t') track ':' group [group [group]]
//   group := ('Y'|'y'|'N'|'n') (count | '*')      count >= 1, track 1..4
// Accepted group shapes: N, Y, N Y, Y N, N Y N, with at most one '*'.

#include <string>
#include <vector>

#include "common/cycle_mask.h"
#include "common/partitioned_csv.h"
#include "common/section_info.h"

class QuillonSettings {
public:
    // Key ids of the section (the HeadingInfo ids), for validate_field and the validators.
    enum Key : int {
        IncludeTilesKey = 0,
        ExcludeTilesKey = 1,
        OutputControlFASTQKey = 2,
        OutputIndexFASTQKey = 3,
        MergeLanesKey = 4,
        I1MismatchesKey = 5,
        I2MismatchesKey = 6,
        R1CycleUsageKey = 7,
        R2CycleUsageKey = 8,
        I1CycleUsageKey = 9,
        I2CycleUsageKey = 10,
        U1CycleUsageKey = 11,
        U2CycleUsageKey = 12,
    };

    std::vector<std::string> IncludeTiles; // "L00/S00_T000" elements
    std::vector<std::string> ExcludeTiles;
    bool OutputControlFASTQ = true;
    bool OutputIndexFASTQ = false;
    bool MergeLanes = false;
    int I1Mismatches = 1;     // 0..2
    int I2Mismatches = 1;     // 0..2
    std::string R1CycleUsage; // cycle masks of read 1, read 2, index reads 1 and 2, UMI reads 1, 2
    std::string R2CycleUsage;
    std::string I1CycleUsage;
    std::string I2CycleUsage;
    std::string U1CycleUsage;
    std::string U2CycleUsage;

    // Section id 2, "Quillon Settings", required, settings. Built on first use (independent of
    // the order of static initialisation across source files).
    static const SectionInfo& section_info();

    // When validate_headings passes, reads every value as not required (absent: default kept).
    void load(PartitionedCsv& document);
    // Writes all thirteen keys into value column 1 (lists and masks quoted).
    void store(PartitionedCsv& document) const;

    // Parses one mask. On a problem appends one message "Involving '" + mask + "'; " + text to
    // errors (no line prefix) and stops; the result is meaningful only when nothing was appended.
    // A track number or cycle count too large for an int gives "integer value too large".
    static CycleMask read_cycle_mask(const std::string& mask, std::vector<std::string>& errors);
    // validate_text of the key's value (not required); read_cycle_mask; its message becomes an
    // error at the key's line. True and out = text when the mask is good.
    static bool validate_cycle_mask(PartitionedCsv& document, int key_id, std::string& out);
    // Comma-separated list of tiles "L00/S00_T000" (digits where the template has '0').
    static bool validate_tile_list(PartitionedCsv& document, int key_id, std::vector<std::string>& out);
    // Skips white space and returns the next character, stepping over it unless peek is set; at
    // the end returns 0 (when not peeking the position is then left one past the end).
    static char parse_char(const std::string& text, std::size_t& position, bool peek);
    // Skips white space and returns the value of the run of ASCII digits that follows (0, with the
    // position at the first non-blank character, when there is none). A value above INT_MAX sets
    // *too_large (when given) and returns INT_MAX; the whole run of digits is consumed.
    static int parse_integer(const std::string& text, std::size_t& position, bool* too_large = nullptr);
};
