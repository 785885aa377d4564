// Metrics files: per lane and read the sample-library, tabled and control-library metrics, and
// the run's undetermined index frequencies.
#include "classic/processing/create_fastq.h"

#include "classic/framework/file_system.h"
#include "classic/framework/histograms.h"
#include "classic/framework/utilities.h"
#include "classic/processing/fastq_names.h"
#include "common/partial_files.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>

namespace {

using Metric = std::pair<double, std::map<std::string, double>>;

struct MetricName {
    const char* name;
    int precision; // digits after the point
};

// In file order: the sample side writes the first eight, the control side the first eight and,
// with --oscores, the last two.
constexpr MetricName Metric_names[] = {
    {"Reads Millions", 6}, {"Gb", 2},    {"P25 Read Length", 0},         {"80% Min Q", 2}, {"90% Min Q", 2},
    {"80% Q", 2},          {"90% Q", 2}, {"Fraction Of FASTQ Reads", 2}, {"80% O", 2},     {"90% O", 2}};
constexpr std::size_t Plain_metrics = 8;
constexpr std::size_t Metrics_with_o = 10;
constexpr int Frequency_lines = 100;

// One side (sample or control) of one read of a lane, in total or for one name.
struct Tally {
    std::uint64_t reads = 0;
    std::uint64_t bases = 0;
    const classic::LengthHistogram* lengths = nullptr;
    const classic::QualityHistogram* qualities = nullptr;
    const classic::ErrorHistogram* errors = nullptr; // only for the O metrics
    double fraction = 0;                             // of the read's FASTQ reads
};

double nan_as_zero(double value)
{
    return std::isnan(value) ? 0 : value;
}

// The values of a tally in file order.
std::vector<double> metric_values(const Tally& tally)
{
    std::vector<double> values = {static_cast<double>(tally.reads) / 1e6,
                                  static_cast<double>(tally.bases) / 1e9,
                                  std::trunc(nan_as_zero(classic::get_rl(*tally.lengths, 0.25))),
                                  classic::get_min_q(*tally.qualities, 0.2),
                                  classic::get_min_q(*tally.qualities, 0.1),
                                  classic::get_q(*tally.qualities, 0.2),
                                  classic::get_q(*tally.qualities, 0.1),
                                  tally.fraction};
    if (tally.errors != nullptr) {
        values.push_back(nan_as_zero(classic::get_o(*tally.errors, 0.2)));
        values.push_back(nan_as_zero(classic::get_o(*tally.errors, 0.1)));
    }
    return values;
}

// The entry of a name, or an empty (zero) one when the map has none.
template <typename Map>
const typename Map::mapped_type& entry_of(const Map& map, const std::string& name)
{
    static const typename Map::mapped_type none{};
    const auto entry = map.find(name);
    return entry != map.end() ? entry->second : none;
}

// Metrics of a side: the total's values and, for each name, its values.
template <typename TallyOf>
std::vector<Metric> metrics_of(const Tally& total, const std::map<std::string, bool>& names, TallyOf tally_of)
{
    const std::vector<double> totals = metric_values(total);
    std::vector<Metric> metrics(totals.size());
    for (std::size_t m = 0; m < totals.size(); ++m)
        metrics[m].first = totals[m];
    for (const auto& [name, present] : names) {
        const std::vector<double> values = metric_values(tally_of(name));
        for (std::size_t m = 0; m < values.size(); ++m)
            metrics[m].second[name] = values[m];
    }
    return metrics;
}

double share(std::uint64_t part, std::uint64_t whole)
{
    return static_cast<double>(part) / static_cast<double>(whole);
}

std::vector<Metric> sample_metrics(const Counts& counts, const std::map<std::string, bool>& names)
{
    const Tally total{counts.sample_reads,
                      counts.sample_bases,
                      &counts.sample_lengths,
                      &counts.sample_qualities,
                      nullptr,
                      1 - share(counts.control_reads, counts.reads)};
    return metrics_of(total, names, [&counts](const std::string& name) {
        const std::uint64_t reads = entry_of(counts.sample_reads_by_id, name);
        return Tally{reads,
                     entry_of(counts.sample_bases_by_id, name),
                     &entry_of(counts.sample_lengths_by_id, name),
                     &entry_of(counts.sample_qualities_by_id, name),
                     nullptr,
                     share(reads, counts.reads)};
    });
}

std::vector<Metric> control_metrics(const Counts& counts, const std::map<std::string, bool>& names, bool oscores)
{
    const Tally total{counts.control_reads,
                      counts.control_bases,
                      &counts.control_lengths,
                      &counts.control_qualities,
                      oscores ? &counts.quality_errors : nullptr,
                      share(counts.control_reads, counts.reads)};
    return metrics_of(total, names, [&counts, oscores](const std::string& name) {
        const std::uint64_t reads = entry_of(counts.control_reads_by_class, name);
        return Tally{reads,
                     entry_of(counts.control_bases_by_class, name),
                     &entry_of(counts.control_lengths_by_class, name),
                     &entry_of(counts.control_qualities_by_class, name),
                     oscores ? &entry_of(counts.quality_errors_by_class, name) : nullptr,
                     share(reads, counts.reads)};
    });
}

// Fixed notation with the given digits after the point. A quotient without a value (a lane
// without reads divides 0 by 0) prints as 0.
std::string fixed(double value, int precision)
{
    std::ostringstream text;
    text << std::fixed << std::setprecision(precision) << (std::isfinite(value) ? value : 0.0);
    return text.str();
}

// Writes the text to path under its temporary name, then renames it, unless it is incomplete:
// then it stays under its temporary name. Returns the failure's message, or "".
std::string write_whole_file(const std::string& path, const std::string& text, bool complete)
{
    DescriptorStream out;
    if (PartialFiles::open(out, path, false) != 0)
        return "Cannot open output file " + path;
    out << text;
    out.close();
    std::string why;
    if (out.fail() || !(complete ? PartialFiles::publish(path, why) : PartialFiles::leave(path)))
        return "Cannot write to output file " + path;
    return "";
}

// Writes folder/name through body, then the same text as copy_folder/name. Returns the first
// failure's message, or "".
template <typename Body>
std::string write_metrics_file(const std::string& folder, const std::string& copy_folder, const std::string& name,
                               bool complete, Body body)
{
    std::ostringstream text;
    body(text);
    const std::string failure = write_whole_file(folder + "/" + name, text.str(), complete);
    return failure.empty() ? write_whole_file(copy_folder + "/" + name, text.str(), complete) : failure;
}

// index1 + ":" + index2 of the first sample row of the ID in any lane, ":" without one.
std::string index_text(const std::vector<IndexData>& rows, const std::string& sample_id)
{
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [&sample_id](const IndexData& data) { return data.sample_id == sample_id; });
    return row != rows.end() ? row->index1 + ":" + row->index2 : ":";
}

// The tabled sample-library metrics of one read of a lane: a column per metric, a row per
// sample of the lane and one for the undetermined spots.
void write_tabled_metrics(std::ostream& out, const std::string& label, const std::vector<Metric>& sample,
                          const std::map<std::string, bool>& sample_names, const std::set<std::string>& lane_samples,
                          const std::vector<IndexData>& rows)
{
    out << "SampleID,Index";
    for (std::size_t m = 0; m < Plain_metrics; ++m)
        out << "," << label << Metric_names[m].name;
    out << '\n';
    for (const auto& [sample_id, present] : sample_names) {
        if (sample_id != "Undetermined" && lane_samples.count(sample_id) == 0)
            continue;
        out << sample_id << "," << index_text(rows, sample_id);
        for (std::size_t m = 0; m < Plain_metrics; ++m)
            out << "," << fixed(entry_of(sample[m].second, sample_id), Metric_names[m].precision);
        out << '\n';
    }
}

} // namespace

void CreateFastq::output_metric(bool is_control, const std::string& label, const std::string& metric_name,
                                std::pair<double, std::map<std::string, double>>& metric, int precision,
                                std::ostream& out)
{
    auto write_line = [&](const std::string& line) {
        log_status(line);
        out << line << '\n';
    };
    write_line(label + metric_name + (is_control ? " Total," : ",") + fixed(metric.first, precision));
    for (const auto& [name, value] : metric.second)
        write_line(label + metric_name + " " + name + "," + fixed(value, precision));
}

void CreateFastq::output_metrics(LaneTable& lanes)
{
    const std::string folder = classic::get_log_metrics_directory(output);
    const std::string copy_folder = classic::get_metrics_directory(output);
    AlgorithmFramework::FileSystem::mkdir(folder + "/");
    AlgorithmFramework::FileSystem::mkdir(copy_folder + "/");
    std::map<int, std::set<std::string>> samples_of_lane;
    for (const IndexData& row : sample_sheet_local.index_data)
        samples_of_lane[row.lane].insert(row.sample_id);
    auto write_file = [&](const std::string& name, bool complete, auto body) {
        const std::string failure = write_metrics_file(folder, copy_folder, name, complete, body);
        if (!failure.empty())
            log_exception(failure);
    };
    const Counts none{};

    for (const auto& lane_entry : lanes) {
        const std::string& lane = lane_entry.first;
        // The lane folder's number decides the lane, whichever lanes the run has.
        const std::uint64_t k = classic::lane_index(lane);
        const std::set<std::string>& lane_samples = samples_of_lane[static_cast<int>(k + 1)];
        const bool complete = !lost_tiles_of(k);
        for (std::uint64_t r = 0; r < read_numbers.size(); ++r) {
            const Counts& counts = k < lane_counts.size() && r < lane_counts[k].size() ? lane_counts[k][r] : none;
            const std::string track = get_track_name(r);
            const std::string name = file_prefix + "_" + lane + "_" + track;

            const std::string sample_label = lane + " " + track + " Sample Library ";
            std::vector<Metric> sample = sample_metrics(counts, sample_names);
            write_file(name + "_Sample_Library_Metrics.csv", complete, [&](std::ostream& out) {
                log_status("Metric,Value");
                out << "Metric,Value\n";
                for (std::size_t m = 0; m < Plain_metrics; ++m)
                    output_metric(false, sample_label, Metric_names[m].name, sample[m], Metric_names[m].precision, out);
            });

            if (!sample_names.empty()) {
                write_file(name + "_Sample_Library_Metrics_tabled.csv", complete, [&](std::ostream& out) {
                    write_tabled_metrics(out, sample_label, sample, sample_names, lane_samples,
                                         sample_sheet_local.index_data);
                });
            }

            const std::string control_label = lane + " " + track + " Control Library ";
            std::vector<Metric> control = control_metrics(counts, control_classes, oscores);
            write_file(name + "_Control_Library_Metrics.csv", complete, [&](std::ostream& out) {
                log_status("Metric,Value");
                out << "Metric,Value\n";
                for (std::size_t m = 0; m < (oscores ? Metrics_with_o : Plain_metrics); ++m)
                    output_metric(true, control_label, Metric_names[m].name, control[m], Metric_names[m].precision,
                                  out);
            });
        }
    }
}

void CreateFastq::frequency_metrics()
{
    const std::string folder = classic::get_log_metrics_directory(output);
    const std::string copy_folder = classic::get_metrics_directory(output);
    AlgorithmFramework::FileSystem::mkdir(folder + "/");
    AlgorithmFramework::FileSystem::mkdir(copy_folder + "/");
    // One index text per distinct count: of those with the same count, the last in (lane, text)
    // order.
    std::map<std::uint64_t, std::pair<short, std::string>> by_count;
    undetermined.for_each([&by_count](short lane, const std::string& text, std::uint64_t count) {
        auto& last = by_count[count];
        last = std::max(last, std::make_pair(lane, text));
    });
    // Built from every lane, so incomplete when any lane lost tiles.
    const bool complete =
        std::all_of(lost_tiles.begin(), lost_tiles.end(), [](const auto& tags) { return tags.empty(); });
    const std::string failure = write_metrics_file(
        folder, copy_folder, file_prefix + "_Undetermined_SID_Frequency_Metrics.csv", complete, [&](std::ostream& out) {
            out << "Rank,Lane,SID,Count\n";
            int rank = 0;
            for (auto entry = by_count.rbegin(); entry != by_count.rend() && rank < Frequency_lines; ++entry) {
                ++rank;
                out << rank << "," << entry->second.first + 1 << "," << entry->second.second << "," << entry->first
                    << '\n';
            }
        });
    if (!failure.empty())
        log_exception(failure);
}
