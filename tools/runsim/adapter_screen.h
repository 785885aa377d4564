#pragma once
// Tells whether the converter's adapter search would report an adapter in a read, and which, so
// that reads meant to carry none can be changed until they do not, and reads with a planted
// adapter until the search reports exactly that one. It applies the search's rules with its
// default settings (at most one edit per 10 bases, at least 3 bases of overlap): an adapter
// prefix running off the read's end, or a whole adapter ending near it, within that many edits.
// Only the last bases of the read are examined: a whole adapter matching elsewhere in a random
// read needs all but a tenth of its bases to agree by chance, which does not happen (below one
// read in 10^8) for adapters of 24 bases or more.
#include <span>
#include <string>
#include <vector>

namespace runsim {

inline constexpr double Adapter_max_error_rate = 0.1;
inline constexpr int Adapter_min_overlap = 3;

class AdapterScreen {
public:
    // What the search reports for a read: the adapter (position in the constructor's list, -1
    // for none), where the match begins in the read, its length and its edit distance. The
    // start is exact for matches without edits.
    struct Match {
        int adapter = -1;
        int start = -1;
        int length = 0;
        int distance = 0;
    };

    explicit AdapterScreen(const std::vector<std::string>& adapters);

    // True when one of the listed adapters (positions in the constructor's list) would be found
    // in the read. The read is given as call bytes; a call of quality 0 (below 4) reads as N,
    // which matches no base. Examines the read's end only (see above).
    bool finds_adapter(const unsigned char* calls, int length, std::span<const int> adapters) const;

    // The match the search reports among the listed adapters: per adapter its best match (most
    // matched bases less edits, then fewest edits, then the latest start), and of those the
    // longest (then fewest edits, latest start, last adapter). Examines the read's end only.
    Match best_match(const unsigned char* calls, int length, std::span<const int> adapters) const;

private:
    bool finds(const std::vector<unsigned char>& adapter, const unsigned char* calls, int length) const;

    std::vector<std::vector<unsigned char>> adapters_; // base codes
};

} // namespace runsim
