// Lanes: the tile threads of one lane, the lane's gzip FASTQ files, and the text of a FASTQ
// record.
//
// A lane runs its tiles in batches of threads_per_lane tile threads, one slot each. After a
// batch every started thread is joined, then the slots are written in slot order (so every file
// holds the lane's tiles in order) and every file is sync-flushed. An exception on a tile thread
// is kept until the batch is joined, then goes on from the lane; the lane's files are closed on
// that path too.
//
// Every FASTQ file is written under its name + ".partial" and renamed when the lane has closed
// it, so a file under its own name is always complete. A lane that lost a tile (skipped for an
// error) leaves its files under their temporary names.
#include "classic/processing/create_fastq.h"

#include "classic/framework/utilities.h"
#include "classic/processing/fastq_names.h"
#include "classic/processing/thread_group.h"
#include "common/partial_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

constexpr unsigned Gz_buffer_bytes = 262144;
constexpr int Gz_level = 4;
constexpr int Gz_default_strategy = 0;
// Files open besides the FASTQ files: the standard streams, the log, the output folder's lock
// and a few spare; and per tile thread a base-call and a positions file.
constexpr std::uint64_t Other_open_files = 8;
constexpr std::uint64_t Open_files_per_tile_thread = 2;

// The control file (control true) or the track file of read r of a lane.
std::string track_file_name(CreateFastq& run, std::uint64_t lane, std::uint64_t r, bool control)
{
    const std::string& library = control                        ? classic::control_library
                                 : run.lane_demux[lane].empty() ? classic::sample_library_of_lane
                                                                : classic::undetermined_library;
    return classic::fastq_file_name(classic::get_fastq_directory(run.output), run.file_prefix, classic::lane_name(lane),
                                    run.get_track_name(r), library);
}

// Appends the text in pieces that the gz layer accepts; false when a piece is refused.
bool write_all(GzFile file, const std::string& text)
{
    for (std::size_t done = 0; done < text.size();) {
        const auto piece = static_cast<unsigned>(std::min<std::size_t>(text.size() - done, Gz_max_chunk));
        if (gz_write(file, text.data() + done, piece) != static_cast<int>(piece))
            return false;
        done += piece;
    }
    return true;
}

// Closes whatever is still open when a lane ends early; the ordinary end closes each file with
// its result checked.
class OpenFiles {
public:
    OpenFiles(std::vector<GzFile>& controls, std::vector<GzFile>& tracks,
              std::map<std::pair<short, int>, Demux>& outputs)
        : controls_(controls), tracks_(tracks), outputs_(outputs)
    {
    }
    ~OpenFiles()
    {
        for (GzFile& file : controls_)
            close_quietly(file);
        for (GzFile& file : tracks_)
            close_quietly(file);
        for (auto& [key, out] : outputs_)
            close_quietly(out.file);
    }
    OpenFiles(const OpenFiles&) = delete;
    OpenFiles& operator=(const OpenFiles&) = delete;

private:
    static void close_quietly(GzFile& file)
    {
        if (file != nullptr)
            gz_close(file);
        file = nullptr;
    }

    std::vector<GzFile>& controls_;
    std::vector<GzFile>& tracks_;
    std::map<std::pair<short, int>, Demux>& outputs_;
};

// Empties what a slot's read held for the previous tile and resets every field of its counts.
void reset_read(ReadData& read, const std::map<std::string, bool>& classes, const std::map<std::string, bool>& samples)
{
    read.sample_lengths.clear();
    read.control_lengths.clear();
    read.sample_qualities.fill(0);
    read.control_qualities.fill(0);
    read.clean_control_spots.clear();
    auto empty_all = [](auto& by_name) {
        for (auto& entry : by_name)
            entry.second.clear();
    };
    auto zero_all = [](auto& by_name) {
        for (auto& entry : by_name)
            entry.second.fill(0);
    };
    empty_all(read.control_lengths_by_class);
    zero_all(read.control_qualities_by_class);
    empty_all(read.clean_control_spots_by_class);
    empty_all(read.sample_lengths_by_id);
    zero_all(read.sample_qualities_by_id);
    for (const auto& [name, used] : classes) {
        read.control_lengths_by_class[name];
        read.control_qualities_by_class[name];
        read.clean_control_spots_by_class[name];
    }
    for (const auto& [name, used] : samples) {
        read.sample_lengths_by_id[name];
        read.sample_qualities_by_id[name];
    }
    read.counts = Counts();
    read.counts.initialize(classes, samples);
    read.control_fastq.clear();
    read.sample_fastq.clear();
}

} // namespace

void CreateFastq::thread_work(const std::string& lane_name, std::vector<std::pair<std::uint64_t, std::string>> tiles)
{
    const std::uint64_t k =
        std::strtoul(lane_name.c_str() + std::min<std::size_t>(1, lane_name.size()), nullptr, 10) - 1;
    if (k >= lane_tiles.size() || k >= lane_demux.size() || k >= lane_counts.size() || k >= lost_tiles.size())
        log_exception("Invalid lane " + lane_name);
    const std::uint64_t reads = read_numbers.size();
    std::vector<TileData>& slots = lane_tiles[k];
    slots.assign(threads_per_lane, TileData());
    for (TileData& slot : slots) {
        slot.zel_data.resize(reads);
        slot.read_data.resize(reads);
    }

    std::vector<GzFile> control_files(reads, nullptr);
    std::vector<GzFile> tracks(reads, nullptr);
    OpenFiles open_files(control_files, tracks, lane_demux[k]);
    open_lane_outputs(k, control_files, tracks);

    std::vector<std::string> lost(threads_per_lane); // per slot: the tag of a tile skipped, or ""
    ThreadGroup threads;
    auto finish_batch = [&](std::uint64_t used) {
        threads.join();
        for (std::uint64_t s = 0; s < used; ++s) {
            if (!lost[s].empty())
                lost_tiles[k].push_back(lost[s]);
            lost[s].clear();
            write(k, s, control_files, tracks);
            for (ReadData& read : slots[s].read_data)
                read.counts.initialize(control_classes, sample_names);
        }
        flush(k, control_files, tracks);
        log->flush();
    };
    std::uint64_t slot = 0;
    for (const auto& [number, folder] : tiles) {
        threads.start([this, k, slot, &lost, number = number, folder = folder] {
            if (!output_fastq(k, slot, number, folder))
                lost[slot] = get_tag(folder, k, number);
        });
        if (++slot == threads_per_lane) {
            finish_batch(slot);
            slot = 0;
        }
    }
    if (slot > 0)
        finish_batch(slot);

    close_lane_outputs(k, control_files, tracks);
    slots.clear();
    if (lost_tiles_of(k)) {
        std::string tags;
        for (const std::string& tag : lost_tiles[k])
            tags += (tags.empty() ? "" : ", ") + tag;
        log_warning("Lane " + lane_name + " lost tiles " + tags +
                    ": its FASTQ and metrics files and the run's frequency files are incomplete and left under "
                    "their names ending in " +
                    PartialFiles::Suffix +
                    (design_sheet.quillon_settings.MergeLanes ? "; its FASTQ files are not merged" : ""));
    }
}

void CreateFastq::open_lane_outputs(std::uint64_t lane, std::vector<GzFile>& control_files, std::vector<GzFile>& tracks)
{
    auto& outputs = lane_demux[lane];
    const auto& rows = sample_sheet_local.index_data;
    for (auto& [key, out] : outputs) {
        out.file_name = classic::fastq_file_name(
            classic::get_fastq_directory(output), file_prefix, classic::lane_name(lane),
            get_track_name(std::uint64_t(key.second)),
            classic::sample_library(classic::sample_name(rows, out.sample),
                                    classic::pair_suffix(sample_sheet_local.paired_reads, out.read)));
    }
    auto open = [this](const std::string& name) { return open_fastq_output(name, Gz_buffer_bytes); };
    for (std::uint64_t r = 0; r < read_numbers.size(); ++r) {
        const bool written = is_read_written(r);
        if (written && design_sheet.quillon_settings.OutputControlFASTQ)
            control_files[r] = open(track_file_name(*this, lane, r, true));
        if (written)
            tracks[r] = open(track_file_name(*this, lane, r, false));
    }
    for (auto& [key, out] : outputs)
        if (is_read_written(std::uint64_t(key.second)))
            out.file = open(out.file_name);
}

void CreateFastq::close_lane_outputs(std::uint64_t lane, std::vector<GzFile>& control_files,
                                     std::vector<GzFile>& tracks)
{
    const bool whole = !lost_tiles_of(lane);
    auto close = [this, lane, whole](GzFile& file, const std::string& name) {
        GzFile closing = file;
        file = nullptr;
        if (closing == nullptr)
            return;
        if (gz_close(closing) != Gz_ok)
            log_exception("Cannot write to output file " + name);
        if (whole) {
            publish_fastq_output(name);
        } else {
            PartialFiles::leave(name);
            left_fastqs[lane].insert(name);
        }
    };
    for (std::uint64_t r = 0; r < read_numbers.size(); ++r) {
        if (control_files[r] != nullptr)
            close(control_files[r], track_file_name(*this, lane, r, true));
        if (tracks[r] != nullptr)
            close(tracks[r], track_file_name(*this, lane, r, false));
    }
    for (auto& [key, out] : lane_demux[lane])
        close(out.file, out.file_name);
}

std::uint64_t CreateFastq::fastq_files_of_lane(std::uint64_t lane)
{
    std::uint64_t files = 0;
    for (std::uint64_t r = 0; r < read_numbers.size(); ++r)
        if (is_read_written(r))
            files += design_sheet.quillon_settings.OutputControlFASTQ ? 2 : 1;
    for (const auto& [key, out] : lane_demux[lane])
        if (is_read_written(std::uint64_t(key.second)))
            ++files;
    return files;
}

void CreateFastq::check_open_files(const LaneTable& lanes)
{
    std::uint64_t fastq = 0;
    std::uint64_t tile_threads = 0;
    for (const auto& [name, tiles] : lanes) {
        const std::uint64_t files = fastq_files_of_lane(classic::lane_index(name));
        // Lanes side by side hold their files at the same time.
        fastq = thread_lanes ? fastq + files : std::max(fastq, files);
        tile_threads = thread_lanes ? tile_threads + threads_per_lane : threads_per_lane;
    }
    const std::uint64_t others = Other_open_files + Open_files_per_tile_thread * tile_threads;
    const std::uint64_t limit = classic::raise_open_file_limit();
    if (fastq + others > limit)
        log_exception("The run needs " + std::to_string(fastq + others) + " open files at once (" +
                      std::to_string(fastq) + " FASTQ files and " + std::to_string(others) +
                      " others), more than the " + std::to_string(limit) + " this process may open");
}

bool CreateFastq::output_fastq(std::uint64_t lane, std::uint64_t slot, std::uint64_t tile_number,
                               const std::string& folder)
{
    const std::string tag = get_tag(folder, lane, tile_number);
    TileData& tile = lane_tiles[lane][slot];
    for (ReadData& read : tile.read_data)
        reset_read(read, control_classes, sample_names);
    for (auto& [key, text] : tile.sample_fastq)
        text.clear();
    tile.spot_data.clear();
    return process_reads(folder, tile, lane, tag);
}

void CreateFastq::write(std::uint64_t lane, std::uint64_t slot, std::vector<GzFile>& control_files,
                        std::vector<GzFile>& tracks)
{
    TileData& tile = lane_tiles[lane][slot];
    for (std::uint64_t r = 0; r < tile.read_data.size(); ++r) {
        ReadData& read = tile.read_data[r];
        if (control_files[r] != nullptr && !write_all(control_files[r], read.control_fastq))
            log_exception("Cannot write to output file " + track_file_name(*this, lane, r, true));
        read.control_fastq.clear();
        if (tracks[r] != nullptr && !write_all(tracks[r], read.sample_fastq))
            log_exception("Cannot write to output file " + track_file_name(*this, lane, r, false));
        read.sample_fastq.clear();
    }
    for (auto& [key, out] : lane_demux[lane]) {
        auto text = tile.sample_fastq.find(key);
        if (text != tile.sample_fastq.end() && out.file != nullptr && !write_all(out.file, text->second))
            log_exception("Cannot write to output file " + out.file_name);
    }
    // Texts of outputs whose files are not written are dropped too, so they never pile up.
    for (auto& [key, text] : tile.sample_fastq)
        text.clear();
    update_counts(lane, slot);
}

void CreateFastq::flush(std::uint64_t lane, std::vector<GzFile>& control_files, std::vector<GzFile>& tracks)
{
    for (std::uint64_t r = 0; r < control_files.size(); ++r)
        if (control_files[r] != nullptr && gz_flush(control_files[r], Gz_sync_flush) != Gz_ok)
            log_exception("Cannot write to output file " + track_file_name(*this, lane, r, true));
    for (std::uint64_t r = 0; r < tracks.size(); ++r)
        if (tracks[r] != nullptr && gz_flush(tracks[r], Gz_sync_flush) != Gz_ok)
            log_exception("Cannot write to output file " + track_file_name(*this, lane, r, false));
    for (auto& [key, out] : lane_demux[lane])
        if (out.file != nullptr && gz_flush(out.file, Gz_sync_flush) != Gz_ok)
            log_exception("Cannot write to output file " + out.file_name);
}

std::string CreateFastq::get_tag(const std::string& folder, std::uint64_t lane, std::uint64_t)
{
    const std::string base = input + data_folder;
    std::string t = folder.compare(0, base.size(), base) == 0 ? folder.substr(base.size()) : folder;
    if (!t.empty() && t.front() == '/')
        t.erase(0, 1);
    if (!t.empty() && t.front() == '\\')
        t.erase(0, 1);
    if (t.size() > 3 && (t[3] == '/' || t[3] == '\\'))
        t[3] = ':';
    if (t.size() >= 12)
        return std::to_string(lane + 1) + ":" + t.substr(5, 2) + t.substr(9, 3);
    return t;
}

std::string CreateFastq::get_track_name(std::uint64_t read_index)
{
    const std::uint64_t number = read_numbers.at(read_index);
    auto named = sample_sheet_local.track_names.find(number);
    return named != sample_sheet_local.track_names.end() ? named->second : "R" + std::to_string(number);
}

void CreateFastq::append_read_name(std::string& text, const std::string& tag, const std::string& x,
                                   const std::string& y, std::uint64_t read_number, bool chimera,
                                   const std::string& umi)
{
    text += '@';
    const std::initializer_list<const std::string*> fields = {&instrument_id, &run_id, &flowcell_id, &tag, &x};
    for (const std::string* part : fields) {
        text += *part;
        text += ':';
    }
    text += y;
    if (umi_tag.empty()) {
        if (!umi.empty()) {
            text += ':';
            text += umi;
        }
        text += ' ';
        text += std::to_string(read_number);
        text += chimera ? ":Y:0" : ":N:0";
    } else if (!umi.empty()) {
        text += ' ';
        text += umi_tag;
        text += ":Z:";
        text += umi;
    }
}

void CreateFastq::append_read_data(std::uint64_t read_number, std::string& text, ZelData& data)
{
    std::size_t start = 0;
    std::size_t count = data.sequence.size();
    auto window = sample_sheet_local.cycle_windows.find(read_number);
    if (window != sample_sheet_local.cycle_windows.end()) {
        const std::uint64_t n = data.sequence.size();
        const std::uint64_t first = std::min<std::uint64_t>(std::max<std::uint64_t>(window->second.first, 1), n);
        const std::uint64_t last = std::min<std::uint64_t>(std::max<std::uint64_t>(window->second.second, 1), n);
        start = first == 0 ? 0 : first - 1;
        count = last >= first ? last - first + 1 : 0;
    }
    text += '\n';
    text.append(data.sequence, start, count);
    text += "\n+\n";
    text.append(data.quality, std::min(start, data.quality.size()), count);
    text += '\n';
}

GzFile CreateFastq::open_fastq_output(const std::string& name, unsigned buffer_bytes)
{
    GzFile file = nullptr;
    const int error = PartialFiles::create(name, [&file](int fd) {
        errno = 0;
        file = gz_dopen(fd, "wb");
        return file != nullptr ? 0 : errno != 0 ? errno : EIO;
    });
    if (error != 0)
        log_exception("Cannot open output file " + name);
    gz_buffer(file, buffer_bytes);
    gz_setparams(file, Gz_level, Gz_default_strategy);
    return file;
}

void CreateFastq::publish_fastq_output(const std::string& name)
{
    if (std::string why; !PartialFiles::publish(name, why))
        log_exception("Cannot rename " + PartialFiles::partial_path(name).string() + " to " + name + ": " + why);
}

bool CreateFastq::is_read_written(std::uint64_t read_index)
{
    return classic::is_track_written(get_track_name(read_index), design_sheet.quillon_settings.OutputIndexFASTQ);
}
