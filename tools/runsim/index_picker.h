#pragma once
// Chooses the index sequences of the samples of a run so that they lie far enough apart:
// every two samples differ in each index by at least the given numbers of edits and of
// substitutions. Far indexes keep the sample sheet's closeness check quiet and make the truth of
// a spot whose index carries one or two substitutions unambiguous.
#include "tools/runsim/prng.h"

#include <string>
#include <string_view>
#include <vector>

namespace runsim {

// Edit distance: insertions, deletions and substitutions cost 1 each.
int edit_distance(std::string_view a, std::string_view b);

// Positions at which the texts differ, each character of the longer text beyond the shorter
// one counting as a difference.
int hamming_distance(std::string_view a, std::string_view b);

struct IndexPair {
    std::string index;  // index read 1
    std::string index2; // index read 2; empty for single-index samples
};

class IndexPicker {
public:
    // index2_length 0 picks single indexes. min_edit applies to the first index, min_edit2 to
    // the second, min_hamming to both.
    IndexPicker(int index_length, int index2_length, int min_edit, int min_edit2, int min_hamming);

    // Appends count new pairs, each far from every pair already in the list. Throws
    // std::runtime_error when no such pair can be found.
    void pick(int count, std::vector<IndexPair>& pairs, Prng& rng) const;

    // True when the pair lies farther than max_edit edits from each listed pair in at least one
    // of its indexes (in its first index for single indexes), so that no sample claims it.
    bool is_clear_of(const IndexPair& pair, const std::vector<IndexPair>& samples, int max_edit) const;

    // A random index of the length (letters A, C, G, T).
    static std::string random_index(int length, Prng& rng);

private:
    bool far_apart(const IndexPair& a, const IndexPair& b) const;

    int index_length_;
    int index2_length_;
    int min_edit_;
    int min_edit2_;
    int min_hamming_;
};

} // namespace runsim
