#pragma once
// Owns the metric tallies of the lane being converted and writes the metrics files: per lane
// and read the sample library metrics (a list, and a table when the lane has samples) and
// the control library metrics with four log lines, and at the end of the run the
// undetermined and ambiguous index frequency files. Every file is written into the metrics
// folder and then copied into the analysis metrics folder.
//
// The metrics stage spreads a tile's spots over up to Num_slots chunks in parallel. Each
// worker thread counts into tallies of its own (one per read, made on its first chunk of
// the lane), so no chunk shares a tally with another running at the same time and memory
// grows with the number of threads, not with the number of chunks. The lane's tallies are
// summed per read when its files are written and freed when the lane closes.
//
// Usage (per lane):
//   metrics.open_lane(lane);
//   metrics.process_spots(spots);          // per tile
//   metrics.process_samples(sample_finder);
//   metrics.write_lane_metrics();          // successful lanes only
//   metrics.close_lane();
// and after every lane succeeded, with a sample sheet: metrics.write_frequency_metrics().
#include "converter/analysis/index_counts.h"
#include "converter/analysis/metric_tally.h"

#include <oneapi/tbb/enumerable_thread_specific.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class Config;
class Fasta;
class SampleFinder;
class Spot;

class MetricsManager {
public:
    using FrequencyTotal = std::pair<std::string, std::uint64_t>;
    using FrequencyList = std::vector<FrequencyTotal>;

    // Chunks of one tile in the metrics stage.
    static constexpr int Num_slots = 256;
    // Entries kept per lane in each frequency list.
    static constexpr std::size_t Max_frequency_entries = 100;

    MetricsManager(const Config& config, const Fasta& fasta);

    void open_lane(int lane);
    // The metrics stage of one tile: counts every read of every valid spot.
    void process_spots(const std::vector<Spot>& spots);
    // Keeps the lane's 100 most frequent undetermined and ambiguous index texts.
    void process_samples(const SampleFinder& samples);
    void write_lane_metrics();
    void close_lane();
    void write_frequency_metrics();

    // Spots [first, second) of chunk (0-based) when count spots are cut into chunks:
    // round(chunk / chunks * count) .. round((chunk + 1) / chunks * count), rounded half away
    // from zero, so every spot falls into exactly one chunk and the last ends at count.
    static std::pair<int, int> get_chunk_range(int chunk, int chunks, int count);

    // The sum of every tally of read (1-based) of the open lane.
    std::unique_ptr<MetricTally> sum_lane_read(int read) const;

    // Appends the counts' entries to list, orders them by count, highest first (equal counts
    // keep ascending index-text order), and keeps the first Max_frequency_entries.
    static void compute_frequency_totals(const IndexCounts& counts, FrequencyList& list);
    static bool frequency_total_comparator(const FrequencyTotal& a, const FrequencyTotal& b);
    // Writes metrics folder / name with a row per entry of every lane's list, then copies it
    // to the analysis metrics folder; an ERROR when it cannot be written.
    void write_frequency_totals(const std::string& name, const std::vector<FrequencyList>& lists) const;

    // flowcell id + "_L" + two-digit lane + "_" + read label + suffix.
    static std::string get_output_filename(const Config& config, int lane, int read, const std::string& suffix);

    const Config& config;
    const Fasta& fasta;
    int lane = 0;
    // Per worker thread: one tally per read of the open lane (index read - 1).
    tbb::enumerable_thread_specific<std::vector<std::unique_ptr<MetricTally>>> tallies;
    std::vector<FrequencyList> undetermined_totals; // per lane
    std::vector<FrequencyList> ambiguous_totals;    // per lane
};
