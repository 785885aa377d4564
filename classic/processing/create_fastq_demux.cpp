// Demultiplexing: the sample sheet's log lines, its lookup table and per-lane outputs, and per
// tile every spot's sample, UMI and control flag.
//
// Two modes: with mismatch settings of at most 1 the table holds every sample's key (index1 +
// index2) and its one-letter variants, and a spot's observed key is looked up; with a setting
// above 1 each spot scans the lane's samples and compares each index by edit distance.
#include "classic/framework/utilities.h"
#include "classic/processing/create_fastq.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const char* Variant_letters = "AGCTN";

// Calls place() with every one-letter variant of the text in place: each position set to each
// of A, G, C, T and N in turn (its own letter included), restored afterwards.
template <typename Place>
void for_each_variant(std::string& text, Place place)
{
    for (char& letter : text) {
        const char own = letter;
        for (const char* v = Variant_letters; *v != '\0'; ++v) {
            letter = *v;
            place();
        }
        letter = own;
    }
}

// Rebuilds the read's sequence and quality texts from spot row s: the usable cycles, up to the
// end of its text.
void rebuild_texts(ZelData& read, std::uint64_t s)
{
    const std::uint64_t usable = read.extra < read.cycles ? read.cycles - read.extra : read.cycles;
    spot_texts(read, s, std::min({usable, read.bases.cols(), read.quals.cols()}), read.sequence, read.quality);
}

} // namespace

void CreateFastq::log_sample_sheet(const std::string& path)
{
    const SampleSheetLocal& sheet = sample_sheet_local;
    log_status("[Header]\tBarcode\t" + sheet.barcode);
    for (const IndexRead& x : sheet.index_reads)
        log_status("[Index Reads]\tR" + std::to_string(x.read) + "," + x.data_column_name + "," +
                   std::to_string(x.position_start) + "," + std::to_string(x.position_stop));
    for (const PairRead& x : sheet.paired_reads)
        log_status("[Paired Reads]\tR" + std::to_string(x.read) + "," + x.pair);
    for (const Adapter& x : sheet.adapter_rows)
        log_status("[Adapters]\t" + x.adapter_name + "," + x.sequence);
    for (const UmiRead& x : sheet.umi_reads)
        log_status("[UMI Reads]\tR" + std::to_string(x.read) + "," + std::to_string(x.position_start) + "," +
                   std::to_string(x.position_stop));

    demux_table.clear();
    demux_key_length = 0;
    for (std::size_t p = 0; p < sheet.index_data.size(); ++p) {
        const IndexData& row = sheet.index_data[p];
        const auto sample = static_cast<short>(p);
        log_status("[Data]\t" + std::to_string(row.lane) + "," + row.sample_id + "," + row.index1 + "," + row.index2 +
                   "," + row.sample_project + "," + row.description);

        // Outputs go to the lane's entry (lane number - 1) when the run has that lane folder,
        // which is what puts the lane in the run's lane table.
        const bool lane_in_run = row.lane >= 1 && static_cast<std::size_t>(row.lane) <= lane_demux.size() &&
                                 std::filesystem::is_directory(input + data_folder + "/L0" + std::to_string(row.lane));
        if (lane_in_run) {
            for (std::size_t r = 1; r <= read_numbers.size(); ++r) {
                Demux sample_output;
                sample_output.sample = static_cast<int>(p);
                sample_output.read = static_cast<int>(r);
                lane_demux[static_cast<std::size_t>(row.lane - 1)][{sample, static_cast<int>(r - 1)}] = sample_output;
            }
        }

        const std::string key = row.index1 + row.index2;
        demux_table.insert_later(static_cast<short>(row.lane - 1), key, sample);
        demux_key_length = std::max<std::uint64_t>(demux_key_length, key.size());
        load_demux_variants(row, sample);
    }

    demux_table.flush();
    log_status("Sample Sheet is valid. " + path);
    log_status("demux hash count " + std::to_string(demux_table.size()));
    log_status("demux hash length " + std::to_string(demux_key_length));
}

void CreateFastq::load_demux_variants(const IndexData& row, short sample)
{
    const int i1 = design_sheet.quillon_settings.I1Mismatches;
    const int i2 = design_sheet.quillon_settings.I2Mismatches;
    if (i1 == 1 && i2 == 1) {
        if (!row.index1.empty() && !row.index2.empty()) {
            std::string varied = row.index1;
            for_each_variant(varied, [&] { load_demux_hashes_vary_index2(row.lane, varied, row.index2, sample); });
        } else if (!row.index1.empty()) {
            load_demux_hashes_vary_index1(row.lane, row.index1, row.index2, sample);
        } else if (!row.index2.empty()) {
            load_demux_hashes_vary_index2(row.lane, row.index1, row.index2, sample);
        }
    } else if (i1 == 1 && i2 == 0) {
        if (!row.index1.empty())
            load_demux_hashes_vary_index1(row.lane, row.index1, row.index2, sample);
    } else if (i1 == 0 && i2 == 1) {
        if (!row.index2.empty())
            load_demux_hashes_vary_index2(row.lane, row.index1, row.index2, sample);
    }
}

void CreateFastq::load_demux_hashes_vary_index1(int lane, std::string index1, const std::string& index2, short sample)
{
    std::string key; // one buffer for every variant's key
    for_each_variant(index1, [&] {
        demux_table.insert_later(static_cast<short>(lane - 1), key.assign(index1).append(index2), sample);
    });
}

void CreateFastq::load_demux_hashes_vary_index2(int lane, const std::string& index1, std::string index2, short sample)
{
    std::string key;
    for_each_variant(index2, [&] {
        demux_table.insert_later(static_cast<short>(lane - 1), key.assign(index1).append(index2), sample);
    });
}

// What demultiplexing one tile keeps from spot to spot.
struct CreateFastq::TileDemux {
    // Where one index lies in a spot's reads: the read (-1 when none), its first cycle (0-based)
    // and its length.
    struct IndexPlace {
        int read = -1;
        int start = 0;
        int length = 0;
    };

    std::vector<ZelData>& reads;
    short lane;
    // Where the indexes lie depends on the sheet and the run's reads alone.
    IndexPlace index1;
    IndexPlace index2;
    std::uint64_t index_prefix = 0;
    // The mismatch limits of the scan over the samples.
    int limit1 = 0;
    int limit2 = 0;
    // The observed key; the table and the undetermined counts are keyed by it and the lane.
    std::string key;
    std::vector<std::uint64_t> scratch;
    // Each index read's text with its low-quality letters as 'N', made once per spot for the
    // scan over the samples.
    std::vector<std::string> masked;
    // Counted here and added to the run's counts once the tile is done, so that tile threads
    // do not take the lock for every undetermined spot.
    IndexTable<std::uint64_t> undetermined;

    TileDemux(std::vector<ZelData>& tile_reads, short tile_lane, std::uint64_t key_length)
        : reads(tile_reads), lane(tile_lane), key(key_length, 'N'), masked(tile_reads.size())
    {
    }

    void count_undetermined() { ++undetermined.insert(lane, key); }

    // The index read's entry of masked: its text, a letter whose quality is below the cut-off as 'N'.
    void mask(const IndexPlace& index, unsigned char cutoff)
    {
        if (index.read < 0)
            return;
        const ZelData& data = reads[static_cast<std::size_t>(index.read)];
        std::string& text = masked[static_cast<std::size_t>(index.read)];
        text = data.sequence;
        for (std::size_t c = 0; c < text.size(); ++c)
            if (data.quality[c] - 33 < cutoff)
                text[c] = 'N';
    }
};

bool CreateFastq::demux(std::uint64_t lane, TileData& tile, const std::string& tag)
{
    std::vector<ZelData>& reads = tile.zel_data;
    const std::uint64_t spots = reads.empty() ? 0 : reads.front().spots;
    tile.spot_data.assign(spots, SpotData{});
    // Every read must hold the tile's spots (and its calls must be there for them) before any
    // spot is looked at, also when the first read holds none.
    for (const ZelData& read : reads) {
        if (read.spots != spots || (spots != 0 && (read.bases.rows() < spots || read.quals.rows() < spots))) {
            log_error("Tile " + tag + " not all tracks contain the same number of reads.");
            return false;
        }
    }

    const QuillonSettings& settings = design_sheet.quillon_settings;
    const bool scan = settings.I1Mismatches > 1 || settings.I2Mismatches > 1;
    TileDemux pass(reads, static_cast<short>(lane), demux_key_length);
    pass.limit1 = settings.I1Mismatches < 0 ? static_cast<int>(barcode_allowed_mismatches) : settings.I1Mismatches;
    pass.limit2 = settings.I2Mismatches < 0 ? static_cast<int>(barcode_allowed_mismatches) : settings.I2Mismatches;
    for (const IndexRead& x : sample_sheet_local.index_reads) {
        if (x.data_column_name == "Index1")
            find_index(x, reads, pass.index1.read, pass.index1.start, pass.index1.length, pass.index_prefix);
        else if (x.data_column_name == "Index2")
            find_index(x, reads, pass.index2.read, pass.index2.start, pass.index2.length, pass.index_prefix);
    }

    for (std::uint64_t s = 0; s < spots; ++s) {
        SpotData& spot = tile.spot_data[s];
        spot.control = load_spot_texts(reads, s);
        spot.index_prefix = pass.index_prefix;
        spot.umi = spot_umi(reads);
        if (!scan) {
            if (!demux_table.empty())
                spot.sample = table_sample(pass);
        } else if (!sample_sheet_local.index_data.empty()) {
            spot.sample = scan_sample(pass);
        }
    }

    if (!pass.undetermined.empty()) {
        std::lock_guard lock(undetermined_mutex);
        undetermined.add(pass.undetermined);
    }
    return true;
}

bool CreateFastq::load_spot_texts(std::vector<ZelData>& reads, std::uint64_t spot)
{
    bool control = false;
    for (ZelData& read : reads) {
        rebuild_texts(read, spot);
        std::uint64_t offset = 0;
        if (!get_control_key(read.sequence, offset).empty())
            control = true;
    }
    return control;
}

std::string CreateFastq::spot_umi(const std::vector<ZelData>& reads)
{
    const char separator = umi_tag.empty() ? '+' : '-';
    std::string umi;
    std::string umi_quality;
    for (const UmiRead& x : sample_sheet_local.umi_reads) {
        if (x.read < 1 || static_cast<std::size_t>(x.read) > reads.size())
            continue;
        const ZelData& read = reads[static_cast<std::size_t>(x.read - 1)];
        if (!umi.empty())
            umi += separator;
        if (umi_qscores != 0 && !umi_quality.empty())
            umi_quality += separator;
        for (std::int64_t c = std::int64_t{x.position_start} - 1; c < x.position_stop; ++c) {
            const bool inside = c >= 0 && static_cast<std::uint64_t>(c) < read.sequence.size();
            umi += inside ? read.sequence[static_cast<std::size_t>(c)] : 'N';
            if (umi_qscores != 0)
                umi_quality += inside ? read.quality[static_cast<std::size_t>(c)] : '!';
        }
    }
    if (umi_qscores == 0)
        return umi;
    return umi + ":" + umi_quality;
}

void CreateFastq::observe_key(TileDemux& pass)
{
    std::fill(pass.key.begin(), pass.key.end(), 'N');
    std::uint64_t position = 0;
    if (pass.index1.read != -1)
        load_index(pass.reads, pass.index1.read, pass.index1.start, pass.index1.length, position, pass.key);
    if (pass.index2.read != -1)
        load_index(pass.reads, pass.index2.read, pass.index2.start, pass.index2.length, position, pass.key);
}

short CreateFastq::table_sample(TileDemux& pass)
{
    observe_key(pass);
    if (const short* found = demux_table.find(pass.lane, pass.key))
        return *found;
    pass.count_undetermined();
    return -1;
}

short CreateFastq::scan_sample(TileDemux& pass)
{
    pass.mask(pass.index1, qscore_cutoff);
    pass.mask(pass.index2, qscore_cutoff);
    const std::vector<IndexData>& rows = sample_sheet_local.index_data;
    int matches = 0;
    short sample = -1;
    for (std::size_t p = 0; p < rows.size(); ++p) {
        const IndexData& row = rows[p];
        if (row.lane != pass.lane + 1 || (row.index1.empty() && row.index2.empty()))
            continue;
        bool match = true;
        check_for_match(pass.masked, row.index1, pass.index1.read, pass.index1.start, pass.index1.length, pass.limit1,
                        pass.scratch, match);
        check_for_match(pass.masked, row.index2, pass.index2.read, pass.index2.start, pass.index2.length, pass.limit2,
                        pass.scratch, match);
        if (match) {
            ++matches;
            sample = static_cast<short>(p);
        }
    }
    if (matches == 1)
        return sample;
    observe_key(pass);
    if (demux_table.find(pass.lane, pass.key) == nullptr)
        pass.count_undetermined();
    return -1;
}

void CreateFastq::find_index(const IndexRead& index_read, std::vector<ZelData>& reads, int& read, int& start,
                             int& length, std::uint64_t& prefix)
{
    const int r = index_read.read - 1;
    if (r < 0 || static_cast<std::size_t>(r) >= reads.size())
        return;
    read = r;
    start = index_read.position_start - 1;
    length = index_read.position_stop - index_read.position_start + 1;
    // An index at the start of the run's only read: the reads of that spot begin with it.
    if (reads.size() == 1 && sample_sheet_local.index_reads.size() == 1 && index_read.position_start == 1)
        prefix = static_cast<std::uint64_t>(index_read.position_stop);
}

void CreateFastq::load_index(std::vector<ZelData>& reads, int read, int start, int length, std::uint64_t& position,
                             std::string& key)
{
    if (read < 0 || static_cast<std::size_t>(read) >= reads.size())
        return;
    const ZelData& data = reads[static_cast<std::size_t>(read)];
    for (std::int64_t c = start; c < std::int64_t{start} + length; ++c, ++position) {
        if (position >= key.size())
            continue;
        if (c < 0 || static_cast<std::uint64_t>(c) >= data.sequence.size())
            key[position] = 'N';
        else if (data.quality[static_cast<std::size_t>(c)] - 33 >= qscore_cutoff)
            key[position] = data.sequence[static_cast<std::size_t>(c)];
        else
            key[position] = 'N';
    }
}

void CreateFastq::check_for_match(const std::vector<std::string>& masked, const std::string& expected, int read,
                                  int start, int length, int limit, std::vector<std::uint64_t>& scratch, bool& match)
{
    if (expected.empty())
        return;
    if (read < 0 || static_cast<std::size_t>(read) >= masked.size() || start < 0 || length < 0 ||
        static_cast<std::uint64_t>(start) + static_cast<std::uint64_t>(length) >
            masked[static_cast<std::size_t>(read)].size()) {
        match = false;
        return;
    }
    if (!compare_barcode(masked[static_cast<std::size_t>(read)], start, length, expected, limit, scratch))
        match = false;
}

bool CreateFastq::compare_barcode(const std::string& observed, int start, int length, const std::string& expected,
                                  int limit, std::vector<std::uint64_t>& scratch)
{
    if (expected.empty())
        return false;
    // Leading 'N's of the expected index cover cycles that are not compared.
    std::size_t first = 0;
    while (first < expected.size() && expected[first] == 'N') {
        ++first;
        const auto remaining = static_cast<int>(expected.size() - first);
        if (remaining < length) {
            ++start;
            length = remaining;
        }
    }
    std::size_t last = expected.size();
    while (last > first && expected[last - 1] == 'N') {
        --last;
        length = std::min(length, static_cast<int>(last - first));
    }
    if (first == last)
        return false;
    if (start < 0 || length < 0 || static_cast<std::size_t>(start) > observed.size())
        return false;
    length = std::min(length, static_cast<int>(observed.size() - static_cast<std::size_t>(start)));
    const std::uint64_t distance = classic::LevenshteinDistance(
        observed.data() + start, static_cast<std::uint64_t>(length), expected.data() + first, last - first, scratch);
    return static_cast<std::int64_t>(distance) <= limit;
}
