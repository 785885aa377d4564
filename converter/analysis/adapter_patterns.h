#pragma once
// What the search of a read needs of the adapters of one index, made once from it and only
// read afterwards (by many aligners at once): each adapter's letters, its bit-vector pattern
// (none when the adapter is too long for one) and its piece filter for the most edits the
// error rate allows.
#include "converter/analysis/adapter_piece_filter.h"
#include "converter/analysis/index.h"
#include "converter/analysis/levenshtein_pattern.h"

#include <optional>
#include <string>
#include <vector>

class AdapterPatterns {
public:
    struct Adapter {
        std::string text;
        std::optional<LevenshteinPattern> pattern;
        AdapterPieceFilter filter;
    };

    // Edits allowed over length bases at the error rate; truncated toward zero.
    static int allowed_edits(int length, double max_error_rate) { return static_cast<int>(length * max_error_rate); }

    AdapterPatterns() = default;
    // Of the references of index, in order; the filters serve searches at max_error_rate or
    // below.
    AdapterPatterns(const Index& index, double max_error_rate);

    double max_error_rate = 0;
    std::vector<Adapter> adapters; // one per reference of the index
};
