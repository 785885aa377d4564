#include "common/quillon_settings.h"

#include <climits>

#include "common/csv_text.h"

const SectionInfo& QuillonSettings::section_info()
{
    static const SectionInfo info{2,
                                  "Quillon Settings",
                                  true,
                                  SectionInfo::settings_kind,
                                  {{0, "IncludeTiles", false},
                                   {1, "ExcludeTiles", false},
                                   {2, "OutputControlFASTQ", false},
                                   {3, "OutputIndexFASTQ", false},
                                   {5, "I1Mismatches", false},
                                   {6, "I2Mismatches", false},
                                   {4, "MergeLanes", false},
                                   {7, "R1CycleUsage", true},
                                   {8, "R2CycleUsage", true},
                                   {9, "I1CycleUsage", true},
                                   {10, "I2CycleUsage", true},
                                   {11, "U1CycleUsage", false},
                                   {12, "U2CycleUsage", false}}};
    return info;
}

void QuillonSettings::load(PartitionedCsv& document)
{
    const SectionInfo& info = section_info();
    if (!document.validate_headings(info))
        return;
    validate_tile_list(document, 0, IncludeTiles);
    validate_tile_list(document, 1, ExcludeTiles);
    document.validate_boolean(info, 2, 1, OutputControlFASTQ, false);
    document.validate_boolean(info, 3, 1, OutputIndexFASTQ, false);
    document.validate_boolean(info, 4, 1, MergeLanes, false);
    document.validate_numeric(info, 5, 1, I1Mismatches, 0, 2, false);
    document.validate_numeric(info, 6, 1, I2Mismatches, 0, 2, false);
    validate_cycle_mask(document, 7, R1CycleUsage);
    validate_cycle_mask(document, 8, R2CycleUsage);
    validate_cycle_mask(document, 9, I1CycleUsage);
    validate_cycle_mask(document, 10, I2CycleUsage);
    validate_cycle_mask(document, 11, U1CycleUsage);
    validate_cycle_mask(document, 12, U2CycleUsage);
}

void QuillonSettings::store(PartitionedCsv& document) const
{
    const SectionInfo& info = section_info();
    document.store_text_list(info, 0, 1, IncludeTiles);
    document.store_text_list(info, 1, 1, ExcludeTiles);
    document.store_boolean(info, 2, 1, OutputControlFASTQ);
    document.store_boolean(info, 3, 1, OutputIndexFASTQ);
    document.store_boolean(info, 4, 1, MergeLanes);
    document.store_numeric(info, 5, 1, I1Mismatches);
    document.store_numeric(info, 6, 1, I2Mismatches);
    document.store_text(info, 7, 1, R1CycleUsage, true);
    document.store_text(info, 8, 1, R2CycleUsage, true);
    document.store_text(info, 9, 1, I1CycleUsage, true);
    document.store_text(info, 10, 1, I2CycleUsage, true);
    document.store_text(info, 11, 1, U1CycleUsage, true);
    document.store_text(info, 12, 1, U2CycleUsage, true);
}

// ---------------------------------------------------------------------------------------------
// Cycle masks

char QuillonSettings::parse_char(const std::string& text, std::size_t& position, bool peek)
{
    while (position < text.size() && is_ascii_space(static_cast<unsigned char>(text[position])))
        ++position;
    if (position >= text.size()) {
        if (!peek)
            position = text.size() + 1;
        return 0;
    }
    const char c = text[position];
    if (!peek)
        ++position;
    return c;
}

int QuillonSettings::parse_integer(const std::string& text, std::size_t& position, bool* too_large)
{
    while (position < text.size() && is_ascii_space(static_cast<unsigned char>(text[position])))
        ++position;
    long long value = 0;
    bool overflow = false;
    while (position < text.size() && is_ascii_digit(static_cast<unsigned char>(text[position]))) {
        if (!overflow) {
            value = value * 10 + (text[position] - '0');
            if (value > INT_MAX)
                overflow = true;
        }
        ++position;
    }
    if (too_large != nullptr)
        *too_large = overflow;
    return overflow ? INT_MAX : static_cast<int>(value);
}

namespace {

// One group of a cycle mask: Y (used) or N, and its count.
struct MaskGroup {
    bool used;
    int count; // -1 for '*'
};

// The track: 'T', its number and ':'. The problem found, or "".
std::string read_mask_track(const std::string& mask, std::size_t& pos, int& track)
{
    bool too_large = false;
    char c = QuillonSettings::parse_char(mask, pos, false);
    if (c != 'T' && c != 't')
        return "expecting 'T'";
    c = QuillonSettings::parse_char(mask, pos, true);
    if (!is_ascii_digit(static_cast<unsigned char>(c)))
        return "expecting integer track number";
    track = QuillonSettings::parse_integer(mask, pos, &too_large);
    if (too_large)
        return "integer value too large";
    if (track < 1 || track > 4)
        return "track number must be 1-4";
    c = QuillonSettings::parse_char(mask, pos, false);
    if (c != ':')
        return "':' expected after track number";
    return "";
}

// Up to three groups, then the end of the text. The problem found, or "".
std::string read_mask_groups(const std::string& mask, std::size_t& pos, std::vector<MaskGroup>& groups)
{
    bool too_large = false;
    char c = 0;
    for (int slot = 0; slot < 3; ++slot) {
        c = QuillonSettings::parse_char(mask, pos, true);
        if (c == 0 || c == '+')
            break; // end of the text, or a '+' (reported below)
        c = QuillonSettings::parse_char(mask, pos, false);
        MaskGroup group{false, 0};
        if (c == 'Y' || c == 'y') {
            group.used = true;
        } else if (c == 'N' || c == 'n') {
            group.used = false;
        } else {
            return "'Y' or 'N' expected";
        }
        c = QuillonSettings::parse_char(mask, pos, true);
        if (is_ascii_digit(static_cast<unsigned char>(c))) {
            group.count = QuillonSettings::parse_integer(mask, pos, &too_large);
            if (too_large)
                return "integer value too large";
            if (group.count < 1)
                return "cycle count must be > 0";
        } else {
            c = QuillonSettings::parse_char(mask, pos, false);
            if (c != '*')
                return "integer cycle count or '*' expected";
            group.count = -1;
        }
        groups.push_back(group);
    }

    // Any text left (after three groups, or from a '+') is unexpected.
    c = QuillonSettings::parse_char(mask, pos, true);
    if (c != 0)
        return "position: (" + std::to_string(pos + 1) + "); '" + std::string(1, c) + "' unexpected";
    return "";
}

// The mask of the groups, in one of the accepted shapes (N, Y, N Y, Y N, N Y N, at most one
// '*'). The problem found, or "".
std::string shape_mask(const std::vector<MaskGroup>& groups, CycleMask& result)
{
    int stars = 0;
    for (const MaskGroup& group : groups)
        stars += group.count < 0 ? 1 : 0;
    if (groups.empty() || stars > 1)
        return "Unsupported specification";

    const std::size_t n = groups.size();
    if (n == 1) {
        if (groups[0].used) {
            result.use = groups[0].count;
        } else {
            result.skip_before = groups[0].count;
        }
    } else if (n == 2 && !groups[0].used && groups[1].used) {
        result.skip_before = groups[0].count;
        result.use = groups[1].count;
    } else if (n == 2 && groups[0].used && !groups[1].used) {
        result.use = groups[0].count;
        result.skip_after = groups[1].count;
    } else if (n == 3 && !groups[0].used && groups[1].used && !groups[2].used) {
        result.skip_before = groups[0].count;
        result.use = groups[1].count;
        result.skip_after = groups[2].count;
    } else {
        return "Unsupported specification";
    }
    return "";
}

} // namespace

CycleMask QuillonSettings::read_cycle_mask(const std::string& mask, std::vector<std::string>& errors)
{
    if (mask.empty())
        return CycleMask{};
    std::size_t pos = 0;
    CycleMask result;
    std::vector<MaskGroup> groups;
    std::string problem = read_mask_track(mask, pos, result.track);
    if (problem.empty())
        problem = read_mask_groups(mask, pos, groups);
    if (problem.empty())
        problem = shape_mask(groups, result);
    if (problem.empty())
        return result;
    errors.push_back("Involving '" + mask + "'; " + problem);
    return CycleMask{};
}

bool QuillonSettings::validate_cycle_mask(PartitionedCsv& document, int key_id, std::string& out)
{
    const SectionInfo& info = section_info();
    std::string text;
    if (!document.validate_text(info, key_id, 1, text, false))
        return false;
    std::vector<std::string> messages;
    read_cycle_mask(text, messages);
    if (messages.empty()) {
        out = text;
        return true;
    }
    const int line = document.line_number(info, key_id, 1);
    for (const std::string& message : messages)
        document.error(message, line);
    return false;
}

namespace {

bool is_tile_specification(const std::string& element)
{
    static const std::string tile_template = "L00/S00_T000";
    const std::string text = trim(element);
    if (text.size() != tile_template.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (tile_template[i] == '0') {
            if (!is_ascii_digit(static_cast<unsigned char>(text[i])))
                return false;
        } else if (text[i] != tile_template[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

bool QuillonSettings::validate_tile_list(PartitionedCsv& document, int key_id, std::vector<std::string>& out)
{
    const SectionInfo& info = section_info();
    std::vector<std::string> list;
    if (!document.validate_text_list(info, key_id, 1, list, 0, false, ',')) {
        out.clear();
        return true;
    }
    bool ok = true;
    const int line = document.line_number(info, key_id, 1);
    for (const std::string& element : list) {
        if (!is_tile_specification(element)) {
            document.error("Invalid tile specification '" + element + "'", line);
            ok = false;
        }
    }
    if (!ok)
        return false;
    out = std::move(list);
    return true;
}
