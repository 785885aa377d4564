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

const std::string Undetermined = "Undetermined";
const std::string No_umi;

// The cycles of the sheet's index and UMI reads that lie inside this read: first cycle -> last
// cycle, a later range with the same first cycle replacing an earlier one.
std::map<int, int> embedded_cycles(const SampleSheetLocal& sheet, std::uint64_t read_number)
{
    std::map<int, int> embedded;
    for (const IndexRead& index : sheet.index_reads)
        if (std::uint64_t(index.read) == read_number)
            embedded[index.position_start] = index.position_stop;
    for (const UmiRead& umi : sheet.umi_reads)
        if (std::uint64_t(umi.read) == read_number)
            embedded[umi.position_start] = umi.position_stop;
    return embedded;
}

// The spot's x and y, No_position when the positions do not reach it.
std::pair<int, int> spot_position(const matrix<int>& positions, std::uint64_t spot)
{
    if (positions.rows() > spot && positions.cols() > 1)
        return {positions(spot, 0), positions(spot, 1)};
    return {No_position, No_position};
}

// The position filter. With two or more reads a spot is kept where every read has one spot at
// its place, and a spot of the first read without a call drops that place from every read; with
// one read only a spot without a call is dropped.
bool passes_position_filter(PositionMask& cells, unsigned char reads, std::uint64_t spot, int x, int y, bool has_call)
{
    if (reads < 2)
        return has_call;
    if (!cells.by_spot() && (x < 0 || y < 0))
        return false;
    unsigned char* cell = cells.find(cells.by_spot() ? spot : PositionMask::key(x, y));
    if (!has_call && cell != nullptr)
        *cell = 0;
    return cell != nullptr && *cell == reads && has_call;
}

// Counting on the sample path: the spot's read and its called bases, in the read's totals and
// under its sample ID when initialize entered the ID.
void count_sample_spot(ReadData& read, const std::string& name, const std::string& sequence, const unsigned char* quals)
{
    Counts& counts = read.counts;
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
}

// Counting on the control path: the spot's read and its called bases, in the read's totals and
// under its class (entered on first use); a spot not excluded is a clean control spot, which
// the error count with --oscores compares with its control.
void count_control_spot(ReadData& read, const CreateFastq::ControlCall& call, std::uint64_t spot,
                        const std::string& sequence, const unsigned char* quals)
{
    Counts& counts = read.counts;
    ++counts.control_reads;
    ++counts.control_reads_by_class[call.class_name];
    if (!call.excluded) {
        read.clean_control_spots.push_back(spot);
        read.clean_control_spots_by_class[call.class_name].push_back(spot);
    }
    std::uint64_t& class_bases = counts.control_bases_by_class[call.class_name];
    classic::QualityTally& class_qualities = read.control_qualities_by_class[call.class_name];
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

// Where the records of one read of a tile go.
struct RecordPlan {
    ReadData& read;
    TileData& tile;
    bool lane_has_samples;         // routing and the cut follow the lane's own sample outputs
    const std::map<int, int>* cut; // legacy sheet: the embedded cycles cut out of sample records
    bool track_written;            // the read's files are written
    bool controls_written;         // and its control file too
};

// The text a record goes to, null when its file is not written, and the UMI its name takes.
struct RecordTarget {
    std::string* text = nullptr;
    const std::string* umi = &No_umi;
};

// Record building, up to its text: a control record goes to the read's control text, a record of
// a lane without samples and an undetermined one to the read's sample-library text, any other to
// its sample's text with the spot's UMI. A record that goes to a lane's samples first loses the
// legacy sheet's embedded cycles. The length of every record but the placeholder "N" goes to the
// length histograms of its path.
RecordTarget place_record(const RecordPlan& plan, ZelData& zel, const SpotData& spot,
                          const std::pair<short, int>& output_key, const std::string& name, bool control_record,
                          const std::string& class_name)
{
    ReadData& read = plan.read;
    const std::string& sequence = zel.sequence;
    auto length = [&sequence] { return static_cast<short>(sequence.size()); };
    if (control_record) {
        if (sequence != "N") {
            read.control_lengths.push_back(length());
            read.control_lengths_by_class[class_name].push_back(length());
        }
        return {plan.controls_written ? &read.control_fastq : nullptr};
    }
    if (!plan.lane_has_samples) {
        if (sequence != "N")
            read.sample_lengths.push_back(length());
        return {plan.track_written ? &read.sample_fastq : nullptr};
    }
    if (plan.cut != nullptr)
        classic::cut_cycle_ranges(*plan.cut, zel.sequence, zel.quality);
    if (sequence != "N") {
        read.sample_lengths.push_back(length());
        if (auto lengths = read.sample_lengths_by_id.find(name); lengths != read.sample_lengths_by_id.end())
            lengths->second.push_back(length());
    }
    if (!plan.track_written)
        return {};
    if (name == Undetermined)
        return {&read.sample_fastq};
    return {&plan.tile.sample_fastq[output_key], &spot.umi};
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
                                    std::uint64_t read_number, TileData& tile, std::string& tag, PositionMask& cells)
{
    const std::uint64_t r = read_number - 1;
    ZelData& zel = tile.zel_data[r];
    ReadData& read = tile.read_data[r];
    std::string& sequence = zel.sequence;
    const auto reads = static_cast<unsigned char>(read_numbers.size());
    const auto& outputs = lane_demux[lane];
    const std::vector<IndexData>& rows = sample_sheet_local.index_data;
    const std::map<int, int> embedded = sample_sheet.run_information.FileFormatVersion == 0
                                            ? embedded_cycles(sample_sheet_local, read_number)
                                            : std::map<int, int>();
    // Records of a track whose files are not written are counted but never built.
    const QuillonSettings& settings = design_sheet.quillon_settings;
    const bool track_written = classic::is_track_written(get_track_name(r), settings.OutputIndexFASTQ);
    const RecordPlan plan{read,
                          tile,
                          !outputs.empty(),
                          embedded.empty() ? nullptr : &embedded,
                          track_written,
                          track_written && settings.OutputControlFASTQ};
    reserve_texts(lane, spots, cycles, read_number, tile, tag, plan.track_written, plan.controls_written);
    std::vector<std::uint64_t> scratch;

    for (std::uint64_t i = 0; i < spots; ++i) {
        spot_texts(zel, i, cycles, sequence, zel.quality);
        const unsigned char* quals = zel.quals.row(i);
        const bool has_call = read_number > 1 || sequence.find_first_not_of('N') != std::string::npos;
        const auto [px, py] = spot_position(zel.positions, i);
        if (!passes_position_filter(cells, reads, i, px, py, has_call))
            continue;
        if (sequence.empty()) {
            sequence = "N";
            zel.quality = "!";
        }

        const SpotData& spot = tile.spot_data[i];
        const ControlCall call = classify_control(sequence, spot.control, read.counts, scratch);

        // Sample and path: with an output of its sample for this read the sample path, else the
        // control path with the control flag and the sample path as undetermined without.
        const std::pair<short, int> output_key(spot.sample, static_cast<int>(r));
        const bool has_output = spot.sample >= 0 && outputs.count(output_key) != 0;
        const std::string& name = has_output && std::size_t(spot.sample) < rows.size()
                                      ? rows[std::size_t(spot.sample)].sample_id
                                      : Undetermined;
        const bool control_record = !has_output && spot.control;
        if (sequence != "N") {
            if (control_record)
                count_control_spot(read, call, i, sequence, quals);
            else
                count_sample_spot(read, name, sequence, quals);
        }

        const RecordTarget target = place_record(plan, zel, spot, output_key, name, control_record, call.class_name);
        if (target.text == nullptr)
            continue;
        append_read_name(*target.text, tag, position_text(px), position_text(py), read_number, call.chimera,
                         *target.umi);
        append_read_data(read_number, *target.text, zel);
    }
}

CreateFastq::ControlCall CreateFastq::classify_control(const std::string& sequence, bool flagged, Counts& counts,
                                                       std::vector<std::uint64_t>& scratch)
{
    ControlCall call;
    std::uint64_t offset = 0;
    const std::string key = get_control_key(sequence, offset);
    if (key.empty()) {
        ++counts.keyless_spots;
        return call;
    }
    // A key on a spot without the control flag is not looked at.
    const KmerTable::Value* found = flagged ? control_keys.find(key) : nullptr;
    if (found == nullptr || found->first >= controls.size())
        return call;
    const ControlRecord& control = controls[found->first];
    call.class_name = control.class_name;
    if (!oscores)
        return call;
    const std::uint64_t mismatches =
        calculate_error(sequence, offset, sequence.size(), control.sequence, found->second, control.sequence.size());
    if (is_chimera(sequence, key, offset, mismatches)) {
        ++counts.chimeras;
        call.chimera = true;
        call.excluded = true;
    } else if (mismatches > 1) {
        if (is_right_adapter(sequence, key, offset, mismatches, scratch)) {
            ++counts.right_adapters;
            call.excluded = true;
        } else if (is_indel(sequence, key, offset, mismatches, scratch)) {
            ++counts.indels;
            call.excluded = true;
        }
    }
    return call;
}

void CreateFastq::reserve_texts(std::uint64_t lane, std::uint64_t spots, std::uint64_t cycles,
                                std::uint64_t read_number, TileData& tile, const std::string& tag, bool track_written,
                                bool controls_written)
{
    // Every record is at most this long: its header with the longest positions and its UMI,
    // then the bases and qualities of every cycle.
    const std::uint64_t fixed = 1 + instrument_id.size() + 1 + run_id.size() + 1 + flowcell_id.size() + 1 + tag.size() +
                                2 * (1 + 11) + 2 + umi_tag.size() + 4 + 1 + 20 + 4 + 2 * cycles + 4;
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
