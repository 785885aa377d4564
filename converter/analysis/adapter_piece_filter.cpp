#include "converter/analysis/adapter_piece_filter.h"

#include "converter/analysis/levenshtein_pattern.h"

#include <algorithm>
#include <cstring>

namespace {

// Letters of a piece that the filter keeps: pieces shorter than Min_piece letters occur in
// most reads by chance.
constexpr int Max_piece = 8;
constexpr int Min_piece = 5;

} // namespace

AdapterPieceFilter::AdapterPieceFilter(const std::string& adapter, int pieces)
{
    const int m = static_cast<int>(adapter.size());
    const int k = pieces >= 1 ? std::min(Max_piece, m / pieces) : 0;
    if (k < Min_piece)
        return;
    q = k - 1;
    const std::uint32_t mask = (std::uint32_t(1) << (2 * q)) - 1;
    codes.assign(std::max<std::uint32_t>(1, (mask + 1) / 64), 0);
    for (int p = 0; p < pieces; ++p) {
        // Packed as reads are: the first letter in the lowest bits.
        std::uint32_t code = 0;
        for (int i = 0; i < k; ++i) {
            const int letter = LevenshteinPattern::base_code(adapter[static_cast<std::size_t>(p * m / pieces + i)]);
            if (letter == 4) { // only bases are kept
                q = 0;
                return;
            }
            code |= static_cast<std::uint32_t>(letter) << (2 * i);
        }
        // The piece's first q letters and its last q.
        for (const std::uint32_t part : {code & mask, code >> 2})
            codes[part / 64] |= std::uint64_t(1) << (part % 64);
    }
}

bool AdapterPieceFilter::may_hold(const TwoBitSeq& read) const
{
    // A copy of a piece's q + 1 letters holds the q letters that start at an even place of
    // the read, so only those are looked up, straight from the packed bases. No-calls are
    // packed as some base: a place that holds one may pass, which costs a search, never a
    // match.
    const std::uint32_t mask = (std::uint32_t(1) << (2 * q)) - 1;
    const unsigned char* packed = read.packed.data();
    for (int p = 0; p + q <= read.length; p += 2) {
        // At most 4 + 2q <= 32 bits from the byte of base p; the padding covers the bytes
        // read past the data.
        std::uint32_t word;
        std::memcpy(&word, packed + p / 4, sizeof word);
        const std::uint32_t code = (word >> (2 * (p % 4))) & mask;
        if ((codes[code / 64] >> (code % 64)) & 1)
            return true;
    }
    return false;
}
