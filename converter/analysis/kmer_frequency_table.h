#pragma once
// Counts of the k-mers of texts, and helpers for packed k-mer codes.
//
// A k-mer code holds up to 15 bases two bits each (A 0, C 1, G 2, T 3), the first base in
// the highest used pair: ACG with k = 3 is 0b00'01'10.
#include <cstdint>
#include <string>
#include <vector>

class KmerFrequencyTable {
public:
    // Throws std::invalid_argument unless 1 <= length <= 15. The table takes 4^k bytes.
    explicit KmerFrequencyTable(int length);

    // Adds the k-mers of text. A k-mer is counted when the base after it arrives, so the
    // last k-mer of the text and the one just before any character other than A, C, G, T
    // (either case) are not counted; such a character restarts the k-mer.
    void load(const std::string& text);

    // Writes "<k-mer> : <count>" to standard output for every k-mer counted more than once,
    // smallest count first (k-mers of equal count in code order).
    void print_counts() const;

    int k;
    std::vector<unsigned char> counts; // 4^k counters by k-mer code; they wrap from 255 to 0
};

struct KCount {
    std::uint32_t kmer;
    std::uint8_t count;

    bool operator<(const KCount& other) const { return count < other.count; }
};

// The code of the reverse complement of a k-mer of k bases; k = 0 gives 0.
unsigned int kmer_reverse_complement(unsigned char k, unsigned int kmer);

// The k letters of a code, first base first. Throws std::runtime_error "k is > MAX_K" when
// k > 15.
std::string k_hash_to_string(unsigned int code, unsigned long k);
