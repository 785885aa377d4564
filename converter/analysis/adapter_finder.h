#pragma once
// Adapter detection and trimming, the stage after control detection. With --trimadapters
// every non-index read is searched for the adapters of the controls file and cut where the
// adapter begins; with only --oscores the search serves the observed-score metrics and runs
// only on control reads whose alignment ends in mismatches.
//
// One adapter index per read of the run (at most four): an adapter named ...R1 serves the R1
// read, ...R2 the R2 read, and either serves reads that are neither; other adapters serve
// every read. Each adapter is indexed with its one-edit variants, and the search patterns of
// an index's adapters are made beside it.
//
// The indexes and patterns are built once and only read afterwards; process_spots runs the
// search over the spots in parallel, every sub-range with aligners of its own (scratch only),
// and writes each spot from one sub-range only.
#include "converter/analysis/adapter_patterns.h"
#include "converter/analysis/index.h"
#include "converter/pipeline/spot.h"
#include "converter/pipeline/spot_read.h"

#include <string>
#include <vector>

class Config;
class Fasta;

class AdapterFinder {
public:
    static constexpr int Max_reads = 4;
    // Longest sequence an adapter index takes; a one-base insertion variant must fit, so
    // adapters may have at most Max_index_length - 1 bases.
    static constexpr int Max_index_length = 255;

    // Builds the adapter index of every read. Throws std::runtime_error when the run has more
    // than Max_reads reads or an index cannot take another adapter.
    AdapterFinder(const Config& config, const Fasta& fasta);

    // Searches (and with --trimadapters trims) the reads of a tile's spots; does nothing
    // unless --trimadapters or --oscores is set.
    void process_spots(std::vector<Spot>& spots) const;
    void process_spot_range(std::vector<Spot>& spots, int begin, int end) const;

    // Cuts a read at p: the cigar keeps the alignment of the first p bases and the sequence
    // keeps p bases.
    static void trim_adapter(SpotRead& read, int p);

    // 1 for an adapter whose name ends in "R1", 2 for "R2", else 0.
    static int adapter_tag(const std::string& name);

    const Config& config;
    const Fasta& fasta;
    std::vector<Index> indexes;            // read number - 1; Max_reads of them
    std::vector<AdapterPatterns> patterns; // of each index, at the configured error rate

private:
    int max_adapter_length = 0;
};
