#include "converter/pipeline/fastq_file_manager.h"

#include "converter/app/config.h"
#include "converter/app/timer_manager.h"
#include "converter/pipeline/parallel_ranges.h"
#include "converter/pipeline/spot.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

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

FastqFileManager::FastqFileManager(const Config& config, TimerManager& timers, int lane)
    : config(&config), timers(&timers), lane(lane)
{
    if (lane >= 1 && static_cast<std::size_t>(lane) <= config.lane_samples.size())
        num_samples_ = static_cast<int>(config.lane_samples[static_cast<std::size_t>(lane - 1)].size());
    const std::size_t slots = static_cast<std::size_t>(num_samples_) + 2;
    for (int read = 0; read < config.num_reads; ++read) {
        auto& row = files.emplace_back(slots);
        for (FastqFileReference& reference : row)
            reference.file = std::make_shared<FastqFile>(this);
    }
    groups_.resize(slots);
    new_bundles_.assign(files.size(), std::vector<std::vector<std::shared_ptr<FastqSpotBundle>>>(slots));
}

FastqFileManager::~FastqFileManager()
{
    stop();
    for (std::thread& thread : threads)
        if (thread.joinable())
            thread.join();
}

void FastqFileManager::run()
{
    open_files();
    running = true;
    if (!files.empty() && !files.front().empty())
        threads.emplace_back(&FastqFileManager::write_bundles, this);
}

void FastqFileManager::open_files()
{
    // Lanes after the first extend the merged files; FastqFile only appends to a file this
    // run has already opened.
    const bool append = config->MergeLanes && lane > 1;
    const bool any_samples = std::any_of(config->lane_samples.begin(), config->lane_samples.end(),
                                         [](const auto& samples) { return !samples.empty(); });
    const std::string undetermined = any_samples ? "Undetermined" : "";

    for (int read = 1; read <= static_cast<int>(files.size()); ++read) {
        if (!is_writable(read))
            continue;
        auto& row = files[static_cast<std::size_t>(read - 1)];
        auto open = [&](std::size_t slot, const std::filesystem::path& name) {
            row[slot].file->open(config->fastq_folder / name, config->compress, append);
        };
        open(0, FastqSpotBundle::get_sample_fastq_filename(*config, lane, read, undetermined));
        for (int i = 0; i < num_samples_; ++i)
            open(static_cast<std::size_t>(i) + 1,
                 FastqSpotBundle::get_sample_fastq_filename(
                     *config, lane, read,
                     config->lane_samples[static_cast<std::size_t>(lane - 1)][static_cast<std::size_t>(i)]
                         .Biosample));
        if (config->OutputControlFASTQ)
            open(static_cast<std::size_t>(num_samples_) + 1,
                 FastqSpotBundle::get_control_fastq_filename(*config, lane, read));
    }
}

void FastqFileManager::join()
{
    for (std::thread& thread : threads)
        if (thread.joinable())
            thread.join();
    threads.clear();
    close_files();
}

void FastqFileManager::close_files()
{
    // Merged lanes leave their files to the next lane, under their temporary names.
    const bool last = !config->MergeLanes || lane >= config->num_lanes;
    for (int read = 1; read <= static_cast<int>(files.size()); ++read)
        if (is_writable(read))
            for (FastqFileReference& reference : files[static_cast<std::size_t>(read - 1)])
                reference.file->close(last); // unopened files are skipped
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
    const std::size_t samples =
        lane >= 1 && static_cast<std::size_t>(lane) <= config.lane_samples.size()
            ? config.lane_samples[static_cast<std::size_t>(lane - 1)].size()
            : 0;
    const int per_read = static_cast<int>(samples) + 1 + (config.OutputControlFASTQ ? 1 : 0);
    int files = 0;
    for (int read = 1; read <= config.num_reads; ++read)
        if (is_writable(config, read))
            files += per_read;
    return files;
}

void FastqFileManager::process_spots(std::vector<Spot>& spots, int surface, int tile)
{
    timers->start(TimerName::Format_fastq);
    for (auto& group : groups_)
        group.clear();
    for (Spot& spot : spots) {
        const int slot = get_file_index(spot.is_control() != 0, spot.sample);
        if (slot > num_samples_ + 1)
            throw std::runtime_error("Sample index out of range: " + std::to_string(spot.sample));
        groups_[static_cast<std::size_t>(slot)].push_back(&spot);
    }

    // Without control output the control slot has no file and its spots are dropped.
    const std::size_t used_slots =
        static_cast<std::size_t>(num_samples_) + (config->OutputControlFASTQ ? 2 : 1);
    const std::size_t reads = files.size();
    batch_bundles_.clear();
    for (auto& row : new_bundles_)
        for (auto& list : row)
            list.clear();
    for (std::size_t slot = 0; slot < used_slots; ++slot)
        for (std::size_t r = 0; r < reads; ++r)
            if (is_writable(static_cast<int>(r) + 1)) {
                auto& list = new_bundles_[r][slot];
                create_bundles(groups_[slot], surface, tile, static_cast<int>(r) + 1, list);
                batch_bundles_.insert(batch_bundles_.end(), list.begin(), list.end());
            }

    try {
        for_each_bundle(batch_bundles_, [](FastqSpotBundle& bundle) { bundle.format(); });
        timers->stop(TimerName::Format_fastq);
        timers->start(TimerName::Compress_fastq);
        if (config->compress && !batch_bundles_.empty())
            for_each_bundle(batch_bundles_, [this](FastqSpotBundle& bundle) { bundle.compress(codecs_.local()); });
    } catch (...) {
        // None of this tile's bundles reaches a file; they go back to the pool.
        for (auto& bundle : batch_bundles_)
            return_bundle(bundle);
        batch_bundles_.clear();
        throw;
    }

    for (std::size_t r = 0; r < reads; ++r)
        if (is_writable(static_cast<int>(r) + 1))
            for (std::size_t slot = 0; slot < used_slots; ++slot)
                for (auto& bundle : new_bundles_[r][slot])
                    files[r][slot].file->add_bundle(bundle);
    timers->stop(TimerName::Compress_fastq);

    timers->start(TimerName::Wait_to_write);
    while (total_bundles() > Max_queued_bundles) {
        // Nothing drains the queues once the writer thread has ended on an error.
        if (writer_failed_)
            throw std::runtime_error(write_error());
        std::this_thread::sleep_for(std::chrono::milliseconds(Sleep_ms));
    }
    timers->stop(TimerName::Wait_to_write);
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

FastqFileReference* FastqFileManager::select_file()
{
    FastqFileReference* best = nullptr;
    std::size_t longest = 0;
    for (std::size_t r = 0; r < files.size(); ++r) {
        if (!is_writable(static_cast<int>(r) + 1))
            continue;
        for (FastqFileReference& reference : files[r]) {
            if (reference.busy)
                continue;
            const std::size_t queued = reference.file->queued();
            if (queued > longest) {
                longest = queued;
                best = &reference;
            }
        }
    }
    return best;
}

int FastqFileManager::total_bundles()
{
    std::size_t total = 0;
    for (auto& row : files)
        for (FastqFileReference& reference : row)
            total += reference.file->queued();
    return static_cast<int>(total);
}

std::uint64_t FastqFileManager::total_bytes_written()
{
    std::uint64_t total = 0;
    for (auto& row : files)
        for (FastqFileReference& reference : row)
            total += reference.file->bytes_written;
    return total;
}

void FastqFileManager::write_bundles()
{
    // Nothing may leave the thread: an error with a file fails that file like a failed write
    // and the other files go on; any other error ends the thread and fails the lane.
    try {
        for (;;) {
            // running is read first: once it is seen clear, every bundle queued before stop()
            // is counted below.
            if (!running && total_bundles() == 0)
                return;
            FastqFileReference* chosen = nullptr;
            {
                std::lock_guard lock(mutex);
                chosen = select_file();
                if (chosen)
                    chosen->busy = 1;
            }
            if (chosen) {
                try {
                    chosen->file->write();
                } catch (const std::exception& e) {
                    chosen->file->fail_with(e.what());
                }
                std::lock_guard lock(mutex);
                chosen->busy = 0;
                continue;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(Sleep_ms));
        }
    } catch (const std::exception& e) {
        report_write_error("the FASTQ files of lane " + std::to_string(lane), e.what());
        writer_failed_ = true;
    }
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
