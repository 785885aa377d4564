#include "converter/pipeline/compression_scheduler.h"

#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <utility>

CompressionScheduler::CompressionScheduler(bool compress, CompressedBundle on_compressed)
    : compress_(compress), on_compressed_(std::move(on_compressed))
{
}

CompressionScheduler::~CompressionScheduler()
{
    // The tasks use this object.
    try {
        finish();
    } catch (...) {
    }
}

bool CompressionScheduler::add(std::shared_ptr<Tile> tile)
{
    tile->sequence_ = next_sequence_++;
    const std::size_t weight = tile->bundles.size();
    start(tile);
    compressing_.push_back(tile);
    if (!queue_.push(std::move(tile), weight)) {
        // Nothing drains the queue once the writer has cancelled.
        finish();
        return false;
    }
    // At most two tiles compress at once: the one before this one is finished here.
    while (compressing_.size() > 1) {
        const std::shared_ptr<Tile> older = compressing_.front();
        compressing_.pop_front();
        finish_tile(*older);
    }
    return true;
}

bool CompressionScheduler::wait_for_room(std::size_t bound)
{
    if (queue_.weight() <= bound)
        return true;
    // The writer can only go on with compressed tiles.
    finish();
    return queue_.wait_at_most(bound);
}

void CompressionScheduler::finish()
{
    // Every tile is waited for before an error leaves, so that no task is left running.
    std::exception_ptr error;
    while (!compressing_.empty()) {
        try {
            finish_tile(*compressing_.front());
        } catch (...) {
            if (!error)
                error = std::current_exception();
        }
        compressing_.pop_front();
    }
    // The tasks find nothing left to take.
    compressors_.wait();
    if (error)
        std::rethrow_exception(error);
}

void CompressionScheduler::close()
{
    queue_.close();
}

bool CompressionScheduler::next(std::shared_ptr<Tile>& tile)
{
    if (!queue_.pop(tile))
        return false;
    tile->state_.wait(Tile::Compressing);
    return true;
}

void CompressionScheduler::cancel()
{
    queue_.cancel();
}

void CompressionScheduler::start(const std::shared_ptr<Tile>& tile)
{
    if (!compress_ || tile->bundles.empty()) {
        tile->state_ = Tile::Compressed;
        return;
    }
    tile->remaining_ = tile->bundles.size();
    {
        std::lock_guard lock(jobs_mutex_);
        for (const auto& bundle : tile->bundles)
            jobs_.push_back({tile, bundle.get()});
    }
    // Tasks that compress bundles, oldest first, as long as there are any.
    const std::size_t tasks = std::min<std::size_t>(
        tile->bundles.size(), static_cast<std::size_t>(std::max(1, tbb::this_task_arena::max_concurrency())));
    for (std::size_t t = 0; t < tasks; ++t)
        compressors_.run([this] {
            while (compress_next(nullptr)) {
            }
        });
}

bool CompressionScheduler::compress_next(const Tile* up_to)
{
    Job job;
    {
        std::lock_guard lock(jobs_mutex_);
        if (jobs_.empty() || (up_to && jobs_.front().tile->sequence_ > up_to->sequence_))
            return false;
        job = std::move(jobs_.front());
        jobs_.pop_front();
    }
    // The job's reference keeps the tile alive until its waiters have been woken.
    Tile& tile = *job.tile;
    try {
        job.bundle->compress(codecs_.local());
        on_compressed_(*job.bundle);
    } catch (...) {
        std::lock_guard lock(tile.error_mutex_);
        if (!tile.error_)
            tile.error_ = std::current_exception();
    }
    if (tile.remaining_.fetch_sub(1) == 1) {
        std::exception_ptr error;
        {
            std::lock_guard lock(tile.error_mutex_);
            error = tile.error_;
        }
        tile.state_ = error ? Tile::Failed : Tile::Compressed;
        tile.state_.notify_all();
    }
    return true;
}

void CompressionScheduler::finish_tile(Tile& tile)
{
    // The thread helps with the tile's bundles while any is left to take, then waits for the
    // others to finish theirs.
    while (tile.state_ == Tile::Compressing)
        if (!compress_next(&tile))
            tile.state_.wait(Tile::Compressing);
    std::lock_guard lock(tile.error_mutex_);
    if (tile.error_)
        std::rethrow_exception(tile.error_);
}
