#pragma once
// The reads of a synthetic run and the roles of their cycles.
//
// Read n of the run is the base-call file Rn.zel of every tile and the track n of the cycle
// masks. Each read has one role (R1, I1, I2, R2, or U1/U2 for a read that is all UMI), a number
// of used cycles and a number of extra cycles that follow them in every record. A UMI may also
// be taken from the start or the end of another read's cycles; that read's role then keeps the
// remaining cycles.
//
// Text form (ReadLayout::parse, the --reads option): comma-separated items ROLE:CYCLES or
// ROLE:CYCLES+EXTRA, in read order, e.g. "R1:151,I1:8,I2:8,R2:151" or "R1:30+2,I1:16".
// A UMI inside a read is written as a cycle mask (ReadLayout::add_umi, the --umi1 and --umi2
// options): "T2:N8Y8" takes cycles 9 to 16 of read 2, "T1:Y6N24" the first 6 cycles of read 1.
#include <string>
#include <string_view>
#include <vector>

namespace runsim {

enum class ReadRole { R1, I1, I2, R2, U1, U2 };

inline constexpr ReadRole All_roles[] = {ReadRole::R1, ReadRole::I1, ReadRole::I2,
                                         ReadRole::R2, ReadRole::U1, ReadRole::U2};

// "R1", "I1", "I2", "R2", "U1", "U2".
std::string_view role_name(ReadRole role);

// The role named by the text; throws std::invalid_argument for any other text.
ReadRole parse_role(std::string_view text);

bool is_index_role(ReadRole role);
bool is_umi_role(ReadRole role);

struct ReadSpec {
    ReadRole role = ReadRole::R1;
    int cycles = 0;       // used cycles
    int extra_cycles = 0; // cycles after the used ones, skipped by the converters

    // The record length written in the base-call header.
    int header_cycles() const { return cycles + extra_cycles; }
};

// A UMI taken from the cycles of a read.
struct UmiSpec {
    ReadRole role = ReadRole::U1; // U1 or U2
    int read = 0;                 // 1-based read number (track)
    int first = 0;                // first cycle, 1-based
    int length = 0;               // cycles
};

// Where a role's cycles are: read 0 when the layout has no such role.
struct RoleRange {
    int read = 0;
    int first = 0; // 1-based, inclusive
    int last = 0;  // 1-based, inclusive

    bool present() const { return read > 0; }
    int length() const { return present() ? last - first + 1 : 0; }
};

class ReadLayout {
public:
    std::vector<ReadSpec> reads;
    std::vector<UmiSpec> umis;

    // R1 of read_cycles, I1 and I2 of index_cycles, R2 of read_cycles.
    static ReadLayout standard(int read_cycles = 151, int index_cycles = 8);

    // Parses the text form; throws std::invalid_argument with the reason.
    static ReadLayout parse(std::string_view text);

    // Takes a UMI from a read by a cycle mask of the shapes Y b, N a Y b, Y b N c or N a Y b N c
    // (counts only, no '*'); the UMI must lie at the start or the end of the read's used cycles.
    // Throws std::invalid_argument.
    void add_umi(ReadRole role, std::string_view mask);

    // Throws std::invalid_argument unless the layout is usable: 1 to 4 reads, each role at most
    // once, an R1 read, cycles >= 1, extra cycles >= 0, UMIs at the start or end of a read that
    // keep at least one cycle for the read's own role.
    void validate() const;

    // 1-based number of the read whose role this is (0 when absent); UMIs taken from inside a
    // read are not counted here.
    int read_of(ReadRole role) const;

    // The cycles of the role: a read's role without the cycles of UMIs taken from it, or the
    // UMI's own cycles.
    RoleRange range(ReadRole role) const;

    // The role's cycle mask for the sheets, e.g. "T1:Y151" or "T2:Y8N8"; empty when absent.
    // Counts are explicit (no '*'), so extra cycles never enter a mask.
    std::string mask(ReadRole role) const;

    bool has(ReadRole role) const { return range(role).present(); }
    bool dual_index() const { return has(ReadRole::I2); }

    // True for the reads of the I1 and I2 roles.
    bool is_index_read(int read) const;

    // The text form (UMIs inside reads are not part of it).
    std::string text() const;
};

} // namespace runsim
