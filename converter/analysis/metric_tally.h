#pragma once
// The metric counts of one lane and one read, over the spots one worker has tallied: reads,
// called bases, histograms of called length and quality per sample and per control class,
// adapter, chimera and partial counts, and with --oscores the observed-score counts of
// control reads. Tallies of a lane and read are summed and then written as the lane's
// metrics files.
//
// Per-sample tables have one row more than the lane has samples: row 0 for spots without a
// sample, row k + 1 for the lane's sample at position k. Per-class tables have a row per
// control class id up to the number of kept classes. Length histograms are indexed by called
// length (0..cycles of the read), quality histograms and match tables by quality (0..93).
#include "converter/analysis/match_element.h"
#include "converter/analysis/metric_element.h"

#include <cstdint>
#include <filesystem>
#include <vector>

class Config;
class Fasta;
class Spot;
class SpotRead;

class MetricTally {
public:
    static constexpr int Num_qualities = 94;

    MetricTally(const Config& config, const Fasta& fasta, int lane, int read);

    // Counts read `read` of the spot.
    void tally_spot(const Spot& spot);
    // Adds every count of other (same lane and read) into this tally.
    void sum_metrics(const MetricTally& other);
    static void sum_vectors(std::vector<std::uint64_t>& to, const std::vector<std::uint64_t>& from);
    static void sum_vectors(std::vector<MatchElement>& to, const std::vector<MatchElement>& from);
    static void sum_vectors(std::vector<std::vector<std::uint64_t>>& to,
                            const std::vector<std::vector<std::uint64_t>>& from);
    static void sum_vectors(std::vector<std::vector<MatchElement>>& to,
                            const std::vector<std::vector<MatchElement>>& from);

    // Writers of a summed tally. Each returns true when its file was written completely;
    // failures are logged at ERROR (the tabled file is skipped silently when it cannot be
    // created). write_library writes the table only when the lane has samples.
    bool write_control(const std::filesystem::path& path) const;
    void write_library(const std::filesystem::path& list_path, const std::filesystem::path& table_path,
                       bool& list_written, bool& table_written) const;
    bool write_library_as_list(const std::filesystem::path& path, const std::vector<std::vector<MetricElement>>& rows,
                               const std::vector<MetricElement>& total) const;
    bool write_library_as_table(const std::filesystem::path& path, const std::vector<std::vector<MetricElement>>& rows,
                                const std::vector<MetricElement>& total) const;
    // The four INFO lines of adapter, chimera and partial counts.
    void write_log() const;

    const Config& config;
    const Fasta& fasta;
    int lane;
    int read;

    std::uint64_t reads = 0;
    std::uint64_t control_reads = 0;
    std::uint64_t control_bases = 0;
    std::uint64_t sample_reads = 0;
    std::uint64_t sample_bases = 0;
    std::vector<std::uint64_t> sample_reads_by_sample;
    std::vector<std::uint64_t> sample_bases_by_sample;
    std::vector<std::uint64_t> control_reads_by_class;
    std::vector<std::uint64_t> control_bases_by_class;
    std::vector<std::uint64_t> control_length_hist;
    std::vector<std::uint64_t> control_quality_hist;
    std::vector<MatchElement> control_matches;
    std::vector<std::uint64_t> sample_length_hist;
    std::vector<std::uint64_t> sample_quality_hist;
    std::vector<std::vector<std::uint64_t>> sample_length_hist_by_sample;
    std::vector<std::vector<std::uint64_t>> sample_quality_hist_by_sample;
    std::vector<std::vector<std::uint64_t>> control_length_hist_by_class;
    std::vector<std::vector<std::uint64_t>> control_quality_hist_by_class;
    std::vector<std::vector<MatchElement>> control_matches_by_class;
    std::uint64_t control_adapter_reads = 0;
    std::uint64_t control_chimera_reads = 0;
    std::uint64_t control_partial_reads = 0;
    std::uint64_t sample_adapter_reads = 0;

private:
    // The per-class row of a read: its control's class id, 0 for none or one beyond the table.
    std::size_t class_row(const SpotRead& sr) const;
    // With --oscores: the observed-score counts of the first n bases of a control read that
    // aligned itself.
    void add_observed_scores(const SpotRead& sr, std::size_t cls, std::size_t n);
};
