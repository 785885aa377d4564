#include "converter/pipeline/fastq_file_manager.h"

#include "converter/app/config.h"
#include "converter/app/timer_manager.h"
#include "converter/pipeline/parallel_ranges.h"
#include "converter/pipeline/spot.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <utility>

namespace {

// Runs body(bundle) for every bundle on the task scheduler's threads.
template <typename Body>
void for_each_bundle(std::vector<std::shared_ptr<FastqSpotBundle>>& bundles, Body body)
{
    parallel_ranges(bundles.size(), [&](int begin, int end) {
        for (int i = begin; i != end; ++i)
            body(*bundles[static_cast<std::size_t>(i)]);
    });
}

} // namespace

FastqFileManager::FastqFileManager(const Config& run_config, TimerManager& run_timers, int lane_number)
    : config(&run_config), timers(&run_timers), lane(lane_number),
      compression_(run_config.compress, [this](FastqSpotBundle& bundle) { take_text(bundle); })
{
    num_samples_ = static_cast<int>(run_config.samples_of_lane(lane_number).size());
    const std::size_t slots = static_cast<std::size_t>(num_samples_) + 2;
    for (int read = 0; read < run_config.num_reads; ++read) {
        auto& row = files.emplace_back(slots);
        for (FastqFileReference& reference : row)
            reference.file = std::make_shared<FastqFile>();
    }
    groups_.resize(slots);
    new_bundles_.assign(files.size(), std::vector<std::vector<std::shared_ptr<FastqSpotBundle>>>(slots));
}

FastqFileManager::~FastqFileManager()
{
    // The compression tasks use this object; the writer waits for them.
    try {
        compression_.finish();
    } catch (...) {
    }
    stop();
    for (std::thread& thread : threads)
        if (thread.joinable())
            thread.join();
}

void FastqFileManager::run()
{
    open_files();
    if (!files.empty() && !files.front().empty())
        threads.emplace_back(&FastqFileManager::write_bundles, this);
}

std::vector<FastqFileManager::LaneFile> FastqFileManager::lane_files(const Config& config, int lane)
{
    const std::vector<Sample>& samples = config.samples_of_lane(lane);
    const bool any_samples = std::any_of(config.lane_samples.begin(), config.lane_samples.end(),
                                         [](const auto& lane_samples) { return !lane_samples.empty(); });
    const std::string undetermined = any_samples ? "Undetermined" : "";

    std::vector<LaneFile> names;
    for (int read = 1; read <= config.num_reads; ++read) {
        if (!is_writable(config, read))
            continue;
        const auto name = [&](std::size_t slot, const std::filesystem::path& file) {
            names.push_back({read, slot, config.fastq_folder / file});
        };
        name(0, FastqSpotBundle::get_sample_fastq_filename(config, lane, read, undetermined));
        for (std::size_t i = 0; i < samples.size(); ++i)
            name(i + 1, FastqSpotBundle::get_sample_fastq_filename(config, lane, read, samples[i].Biosample));
        if (config.OutputControlFASTQ)
            name(samples.size() + 1, FastqSpotBundle::get_control_fastq_filename(config, lane, read));
    }
    return names;
}

void FastqFileManager::open_files()
{
    // Lanes after the first extend the merged files; FastqFile only appends to a file this
    // run has already opened. A merged file is complete after the last lane that has it.
    const bool append = config->MergeLanes && lane > 1;
    std::set<std::filesystem::path> later;
    if (config->MergeLanes)
        for (int other = lane + 1; other <= config->num_lanes; ++other)
            for (const LaneFile& file : lane_files(*config, other))
                later.insert(file.path);

    for (const LaneFile& file : lane_files(*config, lane)) {
        FastqFileReference& reference = files[static_cast<std::size_t>(file.read - 1)][file.slot];
        reference.last = later.count(file.path) == 0;
        reference.file->open(file.path, config->compress, append);
    }
}

void FastqFileManager::finish()
{
    compression_.finish();
}

void FastqFileManager::stop()
{
    compression_.close();
}

void FastqFileManager::join()
{
    // The writer waits for each tile's compression, which the tasks of this thread finish.
    try {
        finish();
    } catch (...) {
        // The tile's error reached the lane from process_spots or finish; its bundles and
        // those after it are not written.
    }
    for (std::thread& thread : threads)
        if (thread.joinable())
            thread.join();
    threads.clear();
    close_files();
}

void FastqFileManager::close_files()
{
    // Merged lanes leave a file that a later lane extends to that lane, under its temporary
    // name.
    const auto each_file = [this](auto action) {
        for (auto& row : files)
            for (FastqFileReference& reference : row)
                if (reference.file->opened()) // unopened files are skipped
                    action(reference);
    };
    each_file([this](FastqFileReference& reference) {
        if (!reference.file->close(reference.last))
            report_file(*reference.file);
    });
    if (!lane_failed_ && !has_write_error())
        each_file([this](FastqFileReference& reference) {
            if (reference.last && !reference.file->publish())
                report_file(*reference.file);
        });
    if (lane_failed_ || has_write_error())
        each_file([this](FastqFileReference& reference) { files_left_ += reference.file->leave() ? 1 : 0; });
}

int FastqFileManager::get_file_index(bool is_control, int sample) const
{
    if (sample >= 0)
        return sample + 1;
    return is_control ? num_samples_ + 1 : 0;
}

bool FastqFileManager::is_writable(int read) const
{
    return is_writable(*config, read);
}

bool FastqFileManager::is_writable(const Config& config, int read)
{
    const int read1 = config.R1_range.read;
    const int read2 = config.R2_range.read;
    return (read1 == 0 && read2 == 0) || read == read1 || read == read2 || config.OutputIndexFASTQ;
}

int FastqFileManager::count_files(const Config& config, int lane)
{
    const int per_read =
        static_cast<int>(config.samples_of_lane(lane).size()) + 1 + (config.OutputControlFASTQ ? 1 : 0);
    int files = 0;
    for (int read = 1; read <= config.num_reads; ++read)
        if (is_writable(config, read))
            files += per_read;
    return files;
}

void FastqFileManager::process_spots(std::vector<Spot>& spots, int surface, int tile)
{
    timers->start(TimerName::Format_fastq);
    group_spots(spots);
    // Without control output the control slot has no file and its spots are dropped.
    const std::size_t used_slots = static_cast<std::size_t>(num_samples_) + (config->OutputControlFASTQ ? 2 : 1);
    const std::size_t reads = files.size();
    create_tile_bundles(used_slots, surface, tile);
    format_tile_bundles();
    timers->stop(TimerName::Format_fastq);

    timers->start(TimerName::Compress_fastq);
    auto output = std::make_shared<TileOutput>();
    for (std::size_t r = 0; r < reads; ++r)
        if (is_writable(static_cast<int>(r) + 1))
            for (std::size_t slot = 0; slot < used_slots; ++slot)
                if (!new_bundles_[r][slot].empty())
                    output->files.push_back({files[r][slot].file.get(), new_bundles_[r][slot]});
    output->bundles = std::move(batch_bundles_);
    batch_bundles_.clear();
    // Nothing takes the tiles once the writer thread has ended on an error.
    if (!compression_.add(std::move(output)))
        throw std::runtime_error(write_error());
    timers->stop(TimerName::Compress_fastq);

    timers->start(TimerName::Wait_to_write);
    if (!compression_.wait_for_room(static_cast<std::size_t>(Max_queued_bundles)))
        throw std::runtime_error(write_error());
    timers->stop(TimerName::Wait_to_write);
}

void FastqFileManager::group_spots(std::vector<Spot>& spots)
{
    for (auto& group : groups_)
        group.clear();
    for (std::size_t s = 0; s < spots.size(); ++s) {
        Spot& spot = spots[s];
        const int slot = get_file_index(spot.is_control() != 0, spot.sample);
        if (slot > num_samples_ + 1)
            throw std::runtime_error("Sample index out of range: " + std::to_string(spot.sample));
        groups_[static_cast<std::size_t>(slot)].push_back(&spot);
    }
}

void FastqFileManager::create_tile_bundles(std::size_t used_slots, int surface, int tile)
{
    batch_bundles_.clear();
    for (auto& row : new_bundles_)
        for (auto& list : row)
            list.clear();
    for (std::size_t slot = 0; slot < used_slots; ++slot)
        for (std::size_t r = 0; r < files.size(); ++r)
            if (is_writable(static_cast<int>(r) + 1)) {
                auto& list = new_bundles_[r][slot];
                create_bundles(groups_[slot], surface, tile, static_cast<int>(r) + 1, list);
                batch_bundles_.insert(batch_bundles_.end(), list.begin(), list.end());
            }
}

void FastqFileManager::format_tile_bundles()
{
    try {
        for (auto& bundle : batch_bundles_)
            lend_text(*bundle);
        for_each_bundle(batch_bundles_, [](FastqSpotBundle& bundle) { bundle.format(); });
    } catch (...) {
        // None of this tile's bundles reaches a file; they go back to the pool.
        for (auto& bundle : batch_bundles_)
            return_bundle(bundle);
        batch_bundles_.clear();
        throw;
    }
}

void FastqFileManager::create_bundles(std::vector<Spot*>& spots, int surface, int tile, int read,
                                      std::vector<std::shared_ptr<FastqSpotBundle>>& out)
{
    const std::size_t read_index = static_cast<std::size_t>(read - 1);
    std::vector<Spot*> batch;
    std::size_t first = 0;
    while (first < spots.size()) {
        std::uint64_t estimate = 0;
        std::size_t last = first;
        while (last < spots.size() && estimate <= Max_bundle_estimate) {
            estimate += static_cast<std::uint64_t>(
                FastqSpotBundle::get_estimated_formatted_size(spots[last]->reads[read_index]));
            ++last;
        }
        batch.assign(spots.begin() + static_cast<std::ptrdiff_t>(first),
                     spots.begin() + static_cast<std::ptrdiff_t>(last));
        auto bundle = get_bundle();
        bundle->set_spots(batch, lane, surface, tile, read);
        bundle->estimated_size = estimate;
        out.push_back(std::move(bundle));
        first = last;
    }
}

std::shared_ptr<FastqSpotBundle> FastqFileManager::get_bundle()
{
    std::lock_guard lock(mutex);
    if (!free_bundles.empty()) {
        auto bundle = std::move(free_bundles.back());
        free_bundles.pop_back();
        return bundle;
    }
    auto bundle = std::make_shared<FastqSpotBundle>(*config);
    all_bundles.push_back(bundle);
    return bundle;
}

void FastqFileManager::return_bundle(std::shared_ptr<FastqSpotBundle> bundle)
{
    std::lock_guard lock(mutex);
    bundle->clear_spots();
    free_bundles.push_back(std::move(bundle));
}

void FastqFileManager::lend_text(FastqSpotBundle& bundle)
{
    if (bundle.formatted.capacity() > 0)
        return;
    std::lock_guard lock(mutex);
    if (!idle_texts_.empty()) {
        bundle.formatted = std::move(idle_texts_.back());
        idle_texts_.pop_back();
    }
}

void FastqFileManager::take_text(FastqSpotBundle& bundle)
{
    // Only the member is written; the text serves the next tiles' bundles, so that text
    // memory follows the bundles being formatted and compressed, not all those queued.
    std::vector<char> text = std::move(bundle.formatted);
    bundle.formatted = {};
    std::lock_guard lock(mutex);
    idle_texts_.push_back(std::move(text));
}

std::size_t FastqFileManager::free_bundle_count()
{
    std::lock_guard lock(mutex);
    return free_bundles.size();
}

std::size_t FastqFileManager::bundle_count()
{
    std::lock_guard lock(mutex);
    return all_bundles.size();
}

int FastqFileManager::total_bundles()
{
    return static_cast<int>(compression_.queued_bundles());
}

std::uint64_t FastqFileManager::total_bytes_written()
{
    std::uint64_t total = 0;
    for (auto& row : files)
        for (FastqFileReference& reference : row)
            total += reference.file->bytes_written;
    return total;
}

// The waiting rules between the lane's main thread and the writer thread, and where they are
// kept:
// - The tile stage waits while more than Max_queued_bundles (1024) bundles are queued over all
//   the lane's files (process_spots, through CompressionScheduler::wait_for_room). Rather than
//   sleeping 20 ms between looks, it waits on the queue's weight and goes on as soon as the
//   writer has taken enough.
// - The writer waits while nothing is queued, woken by the queue rather than looking again
//   every 20 ms (CompressionScheduler::next, which also waits for the tile's compression).
//   After stop() it writes everything queued before it ends.
// - The writer goes on with the file that is not being written and has the most bundles
//   waiting, the first in read and slot order on equal counts. It writes one tile at a time,
//   so that rule orders each tile's files (write_tile).
// - Every file gets its bundles in the order they were queued: tile after tile, and within a
//   tile in spot order.
void FastqFileManager::write_bundles()
{
    // Nothing may leave the thread: an error with a file fails that file like a failed write
    // and the other files go on; any other error ends the thread and fails the lane.
    try {
        // Once a tile's compression failed, neither it nor any later tile is written, so
        // that every file holds whole tiles in order.
        bool broken = false;
        for (std::shared_ptr<TileOutput> output; compression_.next(output);) {
            broken = broken || output->failed();
            if (!broken)
                write_tile(*output);
            for (auto& bundle : output->bundles)
                return_bundle(bundle);
            output.reset();
        }
    } catch (const std::exception& e) {
        report_write_error("the FASTQ files of lane " + std::to_string(lane), e.what());
        // Nothing drains the queue any more: the main thread hears of it when it queues.
        compression_.cancel();
    }
}

void FastqFileManager::write_tile(const TileOutput& output)
{
    // The file with the most bundles first; on equal counts the first in read and slot order.
    std::vector<const TileOutput::FileBundles*> order;
    for (const auto& entry : output.files)
        order.push_back(&entry);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto* a, const auto* b) { return a->bundles.size() > b->bundles.size(); });
    for (const TileOutput::FileBundles* entry : order) {
        FastqFile& file = *entry->file;
        try {
            for (const auto& bundle : entry->bundles)
                if (!file.write(*bundle))
                    break;
        } catch (const std::exception& e) {
            file.fail_with(e.what());
        }
        if (file.failed())
            report_file(file);
    }
}

void FastqFileManager::report_file(const FastqFile& file)
{
    report_write_error(file.name(), file.error());
}

bool FastqFileManager::has_write_error() const
{
    std::lock_guard lock(error_mutex_);
    return !write_error_.empty();
}

std::string FastqFileManager::write_error() const
{
    std::lock_guard lock(error_mutex_);
    return write_error_;
}

void FastqFileManager::report_write_error(const std::string& name, const std::string& system_text)
{
    std::lock_guard lock(error_mutex_);
    if (write_error_.empty())
        write_error_ = "ERROR: Unable to write '" + name + "' : " + system_text;
}
