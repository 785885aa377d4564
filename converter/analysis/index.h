#pragma once
// Minimizer index of a small set of reference sequences: a hash table from minimizer value to
// the places where it occurs. A hit packs the base position of the minimizer's k-mer in bits
// 0-31 and the reference id (its position in refs) in bits 32-39, so an index holds at most 256
// references. Variants of a reference (one-edit mutations) are indexed under its id.
//
// Building (load, clear) is single-threaded; once built, an index may be read by many threads
// at once through find_hits, which never inserts.
#include "converter/analysis/minimizers.h"
#include "converter/pipeline/two_bit_seq.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

class Index {
public:
    static constexpr int Max_references = 256;

    // max_length: the longest sequence (variants included) the index will take.
    Index(int max_length, int w, int k);

    // Adds sequence as a new reference and, when mutate is set, every distinct one-edit
    // variant of it (substitutions, insertions and deletions by windows of w + k - 1 bases)
    // under the same id. False, with an ERROR line and the index unchanged, when the index
    // already holds Max_references references.
    bool load(const std::string& sequence, bool mutate);
    // Adds the minimizers of sequence; unless variant is set the sequence first becomes a new
    // reference, else they go under the last reference's id. False, with an ERROR line and the
    // index unchanged, for a new reference beyond Max_references or a variant without any
    // reference.
    bool load(std::shared_ptr<TwoBitSeq> sequence, bool variant);
    // Releases all references and hits.
    void clear();

    // The hits stored under a minimizer value (empty when none); safe for concurrent readers.
    std::span<const std::uint64_t> find_hits(std::uint32_t value) const;

    std::int32_t w;
    std::int32_t k;
    std::vector<std::shared_ptr<TwoBitSeq>> refs;
    std::unordered_map<std::uint32_t, std::vector<std::uint64_t>> hits;
    std::uint32_t kmer_mask;
    Minimizers minimizers;

private:
    // A bit set for every minimizer value with hits (by a hash of it), so that most of the
    // many values of a read that have none are turned away without a look into the hash
    // table; empty while the index holds nothing.
    std::vector<std::uint64_t> present_;
};
