// Counts: one tile's decoded reads turned into FASTQ record texts and per-read statistics, and
// a finished slot's statistics added into the lane totals.
#include "classic/processing/create_fastq.h"

#include "classic/framework/histograms.h"
#include "classic/processing/cycle_ranges.h"
#include "classic/processing/fastq_names.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string position_text(int value)
{
    return value == No_position ? "NA" : std::to_string(value);
}

template <typename Map>
void add_counts(Map& into, const Map& from)
{
    for (const auto& [key, count] : from)
        into[key] += count;
}

void add_errors(classic::ErrorHistogram& into, const classic::ErrorHistogram& from)
{
    for (const auto& [key, pair] : from) {
        into[key].first += pair.first;
        into[key].second += pair.second;
    }
}

// The count of a name, 0 when the map lacks it.
std::uint64_t count_of(const std::map<std::string, std::uint64_t>& counts, const std::string& name)
{
    auto entry = counts.find(name);
    return entry == counts.end() ? 0 : entry->second;
}

template <typename Map>
void add_by_name(Map& into, const Map& from, const std::string& name)
{
    auto entry = from.find(name);
    auto& target = into[name];
    if (entry != from.end())
        add_counts(target, entry->second);
}

} // namespace

void CreateFastq::process_tile_reads(std::uint64_t lane, TileData& tile, std::string& tag, PositionMask& cells)
{
    for (std::uint64_t r = 0; r < tile.zel_data.size(); ++r) {
        ZelData& zel = tile.zel_data[r];
        ReadData& read = tile.read_data[r];
        if (!zel.has_positions)
            zel.positions = matrix<int>(zel.spots, 2);
        const std::uint64_t cycles = zel.extra < zel.cycles ? zel.cycles - zel.extra : zel.cycles;
        process_tile_read(lane, zel.spots, cycles, r + 1, tile, tag, cells);

        Counts& counts = read.counts;
        classic::load_counts(read.sample_lengths, counts.sample_lengths);
        classic::load_counts(read.control_lengths, counts.control_lengths);
        classic::load_counts(read.sample_qualities, counts.sample_qualities);
        classic::load_counts(read.control_qualities, counts.control_qualities);
        for (const auto& [name, used] : control_classes) {
            classic::load_counts(read.control_lengths_by_class[name], counts.control_lengths_by_class[name]);
            classic::load_counts(read.control_qualities_by_class[name], counts.control_qualities_by_class[name]);
        }
        for (const auto& [name, used] : sample_names) {
            classic::load_counts(read.sample_lengths_by_id[name], counts.sample_lengths_by_id[name]);
            classic::load_counts(read.sample_qualities_by_id[name], counts.sample_qualities_by_id[name]);
        }
        if (oscores)
            calculate_error(cycles, tile, r);
    }
}

void CreateFastq::process_tile_read(std::uint64_t lane, std::uint64_t spots, std::uint64_t cycles,
                                    std::uint64_t read_number, TileData& tile, std::string& tag,
                                    PositionMask& cells)
{
    const std::uint64_t r = read_number - 1;
    ZelData& zel = tile.zel_data[r];
    ReadData& read = tile.read_data[r];
    Counts& counts = read.counts;
    std::string& sequence = zel.sequence;
    std::string& quality = zel.quality;
    const auto reads = static_cast<unsigned char>(read_numbers.size());
    const auto& outputs = lane_demux[lane];
    // Outputs, record routing and the legacy cut follow the lane's own sample outputs.
    const bool lane_has_samples = !outputs.empty();
    const bool legacy_sheet = sample_sheet.run_information.FileFormatVersion == 0;
    std::map<int, int> embedded; // cycles of index and UMI reads inside this read
    for (const IndexRead& index : sample_sheet_local.index_reads)
        if (std::uint64_t(index.read) == read_number)
            embedded[index.position_start] = index.position_stop;
    for (const UmiRead& umi : sample_sheet_local.umi_reads)
        if (std::uint64_t(umi.read) == read_number)
            embedded[umi.position_start] = umi.position_stop;
    std::vector<std::uint64_t> scratch;
    const std::string no_umi;
    // Records of a track whose files are not written are counted but never built.
    const QuillonSettings& settings = design_sheet.quillon_settings;
    const bool track_written = classic::is_track_written(get_track_name(r), settings.OutputIndexFASTQ);
    const bool controls_written = track_written && settings.OutputControlFASTQ;
    reserve_texts(lane, spots, cycles, read_number, tile, tag, track_written, controls_written);

    for (std::uint64_t i = 0; i < spots; ++i) {
        spot_texts(zel, i, cycles, sequence, quality);
        const unsigned char* quals = zel.quals.row(i);
        bool chimera = false;
        const bool has_call = read_number > 1 || sequence.find_first_not_of('N') != std::string::npos;

        const bool has_xy = zel.positions.rows() > i && zel.positions.cols() > 1;
        const int px = has_xy ? zel.positions(i, 0) : No_position;
        const int py = has_xy ? zel.positions(i, 1) : No_position;
        const std::string x = has_xy ? position_text(px) : "NA";
        const std::string y = has_xy ? position_text(py) : "NA";

        // Position filter: a spot is kept where every read has one spot at its place. A spot of
        // the first read without a call drops that place from every read.
        if (reads >= 2) {
            if (!cells.by_spot() && (px < 0 || py < 0))
                continue;
            unsigned char* cell = cells.find(cells.by_spot() ? i : PositionMask::key(px, py));
            if (!has_call && cell != nullptr)
                *cell = 0;
            if (cell == nullptr || *cell != reads || !has_call)
                continue;
        } else if (!has_call) {
            continue;
        }
        if (sequence.empty()) {
            sequence = "N";
            quality = "!";
        }

        // Control key and, with --oscores, the control's faults.
        const SpotData& spot = tile.spot_data[i];
        std::string class_name = "Undefined";
        bool excluded = false;
        std::uint64_t offset = 0;
        const std::string key = get_control_key(sequence, offset);
        if (key.empty()) {
            ++counts.keyless_spots;
        } else if (spot.control) {
            if (const auto* found = control_keys.find(key); found != nullptr && found->first < controls.size()) {
                const ControlRecord& control = controls[found->first];
                class_name = control.class_name;
                if (oscores) {
                    const std::uint64_t mismatches = calculate_error(sequence, offset, sequence.size(), control.sequence,
                                                                     found->second, control.sequence.size());
                    if (is_chimera(sequence, key, offset, mismatches)) {
                        ++counts.chimeras;
                        chimera = true;
                        excluded = true;
                    } else if (mismatches > 1) {
                        if (is_right_adapter(sequence, key, offset, mismatches, scratch)) {
                            ++counts.right_adapters;
                            excluded = true;
                        } else if (is_indel(sequence, key, offset, mismatches, scratch)) {
                            ++counts.indels;
                            excluded = true;
                        }
                    }
                }
            }
        }

        // Sample, and which path the spot takes.
        std::string name = "Undetermined";
        const std::pair<short, int> output_key(spot.sample, static_cast<int>(r));
        const bool has_output = spot.sample >= 0 && outputs.count(output_key) != 0;
        if (has_output && std::size_t(spot.sample) < sample_sheet_local.index_data.size())
            name = sample_sheet_local.index_data[std::size_t(spot.sample)].sample_id;
        const bool placeholder = sequence == "N";
        const bool control_record = !has_output && spot.control;
        if (!placeholder && (has_output || !spot.control)) {
            ++counts.sample_reads;
            auto reads_by_id = counts.sample_reads_by_id.find(name);
            auto bases_by_id = counts.sample_bases_by_id.find(name);
            auto qualities_by_id = read.sample_qualities_by_id.find(name);
            if (reads_by_id != counts.sample_reads_by_id.end())
                ++reads_by_id->second;
            for (std::size_t j = 0; j < sequence.size(); ++j) {
                if (sequence[j] == 'N')
                    continue;
                ++counts.sample_bases;
                if (bases_by_id != counts.sample_bases_by_id.end())
                    ++bases_by_id->second;
                ++read.sample_qualities[quals[j]];
                if (qualities_by_id != read.sample_qualities_by_id.end())
                    ++qualities_by_id->second[quals[j]];
            }
            ++counts.reads;
        } else if (!placeholder) {
            ++counts.control_reads;
            ++counts.control_reads_by_class[class_name];
            if (!excluded) {
                read.clean_control_spots.push_back(i);
                read.clean_control_spots_by_class[class_name].push_back(i);
            }
            std::uint64_t& class_bases = counts.control_bases_by_class[class_name];
            classic::QualityTally& class_qualities = read.control_qualities_by_class[class_name];
            for (std::size_t j = 0; j < sequence.size(); ++j) {
                if (sequence[j] == 'N')
                    continue;
                ++counts.control_bases;
                ++class_bases;
                ++read.control_qualities[quals[j]];
                ++class_qualities[quals[j]];
            }
            ++counts.reads;
        }

        // The record.
        std::string* text = &read.sample_fastq;
        const std::string* umi = nullptr;
        if (control_record) {
            if (!placeholder) {
                read.control_lengths.push_back(static_cast<short>(sequence.size()));
                read.control_lengths_by_class[class_name].push_back(static_cast<short>(sequence.size()));
            }
            text = &read.control_fastq;
        } else if (!lane_has_samples) {
            if (!placeholder)
                read.sample_lengths.push_back(static_cast<short>(sequence.size()));
        } else {
            if (legacy_sheet && !embedded.empty())
                classic::cut_cycle_ranges(embedded, sequence, quality);
            if (sequence != "N") {
                read.sample_lengths.push_back(static_cast<short>(sequence.size()));
                if (auto lengths = read.sample_lengths_by_id.find(name); lengths != read.sample_lengths_by_id.end())
                    lengths->second.push_back(static_cast<short>(sequence.size()));
            }
            if (name != "Undetermined" && track_written) {
                text = &tile.sample_fastq[output_key];
                umi = &spot.umi;
            }
        }
        if (!(control_record ? controls_written : track_written))
            continue;
        append_read_name(*text, tag, x, y, read_number, chimera, umi != nullptr ? *umi : no_umi);
        append_read_data(read_number, *text, zel);
    }
}

void CreateFastq::reserve_texts(std::uint64_t lane, std::uint64_t spots, std::uint64_t cycles,
                                std::uint64_t read_number, TileData& tile, const std::string& tag, bool track_written,
                                bool controls_written)
{
    // Every record is at most this long: its header with the longest positions and its UMI,
    // then the bases and qualities of every cycle.
    const std::uint64_t fixed = 1 + instrument_id.size() + 1 + run_id.size() + 1 + flowcell_id.size() + 1 +
                                tag.size() + 2 * (1 + 11) + 2 + umi_tag.size() + 4 + 1 + 20 + 4 + 2 * cycles + 4;
    ReadData& read = tile.read_data[read_number - 1];
    const auto& outputs = lane_demux[lane];
    std::uint64_t rest = 0;
    std::uint64_t control = 0;
    std::map<std::pair<short, int>, std::uint64_t> by_output;
    for (std::uint64_t i = 0; i < spots && i < tile.spot_data.size(); ++i) {
        const SpotData& spot = tile.spot_data[i];
        const std::uint64_t bytes = fixed + spot.umi.size();
        const std::pair<short, int> key(spot.sample, int(read_number - 1));
        if (spot.sample >= 0 && outputs.count(key) != 0)
            by_output[key] += bytes;
        else if (spot.control)
            control += fixed;
        else
            rest += fixed;
    }
    if (track_written) {
        read.sample_fastq.reserve(read.sample_fastq.size() + rest);
        for (const auto& [key, bytes] : by_output) {
            std::string& text = tile.sample_fastq[key];
            text.reserve(text.size() + bytes);
        }
    }
    if (controls_written)
        read.control_fastq.reserve(read.control_fastq.size() + control);
}

void CreateFastq::update_counts(std::uint64_t lane, std::uint64_t slot)
{
    std::lock_guard lock(counts_mutex);
    if (read_numbers.empty())
        return;
    std::vector<ReadData>& slot_reads = lane_tiles[lane][slot].read_data;
    for (std::size_t r = 0; r < slot_reads.size(); ++r) {
        Counts& into = lane_counts[lane][r];
        const Counts& from = slot_reads[r].counts;
        into.reads += from.reads;
        into.sample_reads += from.sample_reads;
        into.sample_bases += from.sample_bases;
        into.control_reads += from.control_reads;
        into.control_bases += from.control_bases;
        into.chimeras += from.chimeras;
        into.right_adapters += from.right_adapters;
        into.indels += from.indels;
        into.keyless_spots += from.keyless_spots;
        Counts::add(into.sample_lengths, from.sample_lengths);
        Counts::add(into.control_lengths, from.control_lengths);
        Counts::add(into.sample_qualities, from.sample_qualities);
        Counts::add(into.control_qualities, from.control_qualities);
        add_errors(into.quality_errors, from.quality_errors);
        for (const auto& [name, used] : control_classes) {
            into.control_reads_by_class[name] += count_of(from.control_reads_by_class, name);
            into.control_bases_by_class[name] += count_of(from.control_bases_by_class, name);
            add_by_name(into.control_lengths_by_class, from.control_lengths_by_class, name);
            add_by_name(into.control_qualities_by_class, from.control_qualities_by_class, name);
            auto errors = from.quality_errors_by_class.find(name);
            auto& target = into.quality_errors_by_class[name];
            if (errors != from.quality_errors_by_class.end())
                add_errors(target, errors->second);
        }
        for (const auto& [name, used] : sample_names) {
            into.sample_reads_by_id[name] += count_of(from.sample_reads_by_id, name);
            into.sample_bases_by_id[name] += count_of(from.sample_bases_by_id, name);
            add_by_name(into.sample_lengths_by_id, from.sample_lengths_by_id, name);
            add_by_name(into.sample_qualities_by_id, from.sample_qualities_by_id, name);
        }
    }
}
