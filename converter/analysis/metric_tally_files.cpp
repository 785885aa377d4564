// The metrics files of a summed tally: the sample library list and table and the control
// library list, and the adapter, chimera and partial log lines.
#include "converter/analysis/metric_tally.h"

#include "converter/analysis/control_class.h"
#include "converter/analysis/fasta.h"
#include "converter/analysis/metric_values.h"
#include "converter/analysis/metrics_file.h"
#include "converter/app/config.h"
#include "converter/app/logger.h"
#include "converter/app/utilities.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

std::string format_value(const MetricElement& metric)
{
    char buffer[512];
    if (metric.is_float)
        std::snprintf(buffer, sizeof buffer, "%f", metric.value);
    else
        std::snprintf(buffer, sizeof buffer, "%ld", std::lround(metric.value));
    return buffer;
}

double fraction_of(std::uint64_t part, std::uint64_t whole)
{
    return static_cast<double>(part) / static_cast<double>(std::max<std::uint64_t>(whole, 1));
}

// Every line is flushed as soon as it is written.
void write_line(DescriptorStream& out, const std::string& line)
{
    out << line << '\n';
    out.flush();
}

} // namespace

bool MetricTally::write_control(const std::filesystem::path& path) const
{
    std::vector<MetricElement> total;
    MetricValues(control_bases, control_reads, fraction_of(control_reads, reads), control_length_hist,
                 control_quality_hist, control_matches)
        .get_values(total, config.oscores);
    std::vector<std::vector<MetricElement>> classes(control_reads_by_class.size());
    for (std::size_t c = 0; c < classes.size(); ++c)
        MetricValues(control_bases_by_class[c], control_reads_by_class[c],
                     fraction_of(control_reads_by_class[c], reads), control_length_hist_by_class[c],
                     control_quality_hist_by_class[c], control_matches_by_class[c])
            .get_values(classes[c], config.oscores);

    DescriptorStream out;
    if (!open_metrics_file(out, path)) {
        log_error() << "ERROR: Cannot open metrics file for output: " << path.string();
        log_flush();
        return false;
    }
    const std::string prefix = "L0" + std::to_string(lane) + " R" + std::to_string(read) + " Control Library ";
    write_line(out, "Metric,Value");
    for (std::size_t m = 0; m < total.size(); ++m) {
        const std::string& name = total[m].name;
        write_line(out, prefix + name + " Total," + format_value(total[m]));
        for (std::size_t c = 1; c < classes.size() && c < Control_classes.size(); ++c)
            write_line(out, prefix + name + " " + std::string(Control_classes[c].second) + "," +
                                format_value(classes[c][m]));
        write_line(out, prefix + name + " Undefined," + format_value(classes[0][m]));
    }
    return finish_metrics_file(out, path);
}

void MetricTally::write_library(const std::filesystem::path& list_path, const std::filesystem::path& table_path,
                                bool& list_written, bool& table_written) const
{
    std::vector<MetricElement> total;
    MetricValues(sample_bases, sample_reads, fraction_of(sample_reads, reads), sample_length_hist, sample_quality_hist,
                 {})
        .get_values(total, false);
    std::vector<std::vector<MetricElement>> rows(sample_reads_by_sample.size());
    for (std::size_t j = 0; j < rows.size(); ++j)
        MetricValues(sample_bases_by_sample[j], sample_reads_by_sample[j],
                     fraction_of(sample_reads_by_sample[j], reads), sample_length_hist_by_sample[j],
                     sample_quality_hist_by_sample[j], {})
            .get_values(rows[j], false);

    list_written = write_library_as_list(list_path, rows, total);
    table_written = !config.samples_of_lane(lane).empty() && write_library_as_table(table_path, rows, total);
}

bool MetricTally::write_library_as_list(const std::filesystem::path& path,
                                        const std::vector<std::vector<MetricElement>>& rows,
                                        const std::vector<MetricElement>& total) const
{
    DescriptorStream out;
    if (!open_metrics_file(out, path)) {
        log_error() << "Cannot open metrics file for output: " << path.string();
        log_flush();
        return false;
    }
    const std::vector<Sample>& samples = config.samples_of_lane(lane);
    const std::size_t sample_rows = rows.empty() ? 0 : std::min(samples.size(), rows.size() - 1);
    const std::string prefix = "L0" + std::to_string(lane) + " R" + std::to_string(read) + " Sample Library ";
    write_line(out, "Metric,Value");
    for (std::size_t m = 0; m < total.size(); ++m) {
        const std::string& name = total[m].name;
        write_line(out, prefix + name + "," + format_value(total[m]));
        for (std::size_t k = 0; k < sample_rows; ++k)
            write_line(out, prefix + name + " " + samples[k].Biosample + "," + format_value(rows[k + 1][m]));
        if (!rows.empty())
            write_line(out, prefix + name + " Undetermined," + format_value(rows[0][m]));
    }
    return finish_metrics_file(out, path);
}

bool MetricTally::write_library_as_table(const std::filesystem::path& path,
                                         const std::vector<std::vector<MetricElement>>& rows,
                                         const std::vector<MetricElement>& total) const
{
    DescriptorStream out;
    if (!open_metrics_file(out, path))
        return false;
    const auto joined_values = [](const std::vector<MetricElement>& row) {
        std::string text;
        for (std::size_t m = 0; m < row.size(); ++m)
            text += (m == 0 ? "" : ",") + format_value(row[m]);
        return text;
    };
    const std::vector<Sample>& samples = config.samples_of_lane(lane);
    const std::size_t sample_rows = rows.empty() ? 0 : std::min(samples.size(), rows.size() - 1);
    const std::string prefix = "L0" + std::to_string(lane) + " R" + std::to_string(read) + " Sample Library ";

    std::string heading = "SampleID,Index,";
    for (std::size_t m = 0; m < total.size(); ++m)
        heading += (m == 0 ? "" : ",") + prefix + total[m].name;
    write_line(out, heading);
    for (std::size_t k = 0; k < sample_rows; ++k) {
        const Sample& sample = samples[k];
        write_line(out, sample.Biosample + "," + sample.Index + ":" + sample.Index2 + "," + joined_values(rows[k + 1]));
    }
    if (!rows.empty())
        write_line(out, "Undetermined,:," + joined_values(rows[0]));
    return finish_metrics_file(out, path);
}

void MetricTally::write_log() const
{
    const std::string prefix = "L0" + std::to_string(lane) + " " + get_read_label(config, read);
    log_info() << prefix << " Control Library Adapter Reads: " << control_adapter_reads;
    log_info() << prefix << " Control Library Chimera Reads: " << control_chimera_reads;
    log_info() << prefix << " Control Library Partial Reads: " << control_partial_reads;
    log_info() << prefix << " Sample Library Adapter Reads: " << sample_adapter_reads;
}
