#include "converter/pipeline/zel_file_manager.h"

#include "converter/app/config.h"
#include "converter/app/logger.h"
#include "converter/app/timer_manager.h"

#include <algorithm>
#include <exception>
#include <utility>

ZelFileManager::ZelFileManager(const Config& config, TimerManager& timers, int lane)
    : config(config), timers(timers), lane(lane)
{
}

ZelFileManager::~ZelFileManager()
{
    stop();
    join();
}

void ZelFileManager::run()
{
    running = true;
    reader = std::thread(&ZelFileManager::read_bundles, this);
}

void ZelFileManager::stop()
{
    {
        // Changed under the lock, so that a waiter that has just tested its condition is
        // asleep before the notification comes.
        std::lock_guard<std::mutex> lock(queue_mutex);
        running = false;
    }
    ready_cv.notify_all();
    space_cv.notify_all();
}

void ZelFileManager::join()
{
    if (reader.joinable())
        reader.join();
}

bool ZelFileManager::get_spots(std::vector<Spot>& spots)
{
    timers.start(TimerName::Wait_to_read);
    std::unique_lock<std::mutex> lock(queue_mutex);
    ready_cv.wait(lock, [this] { return !running || !ready.empty(); });
    timers.stop(TimerName::Wait_to_read);
    if (ready.empty() || !running)
        return false;

    timers.start(TimerName::Pack_sequence);
    std::shared_ptr<ZelBundle> bundle = std::move(ready.front());
    ready.pop_front();
    lock.unlock();

    bundle->create_spots(spots);
    return_free_bundle(std::move(bundle));
    space_cv.notify_one();
    timers.stop(TimerName::Pack_sequence);
    return true;
}

std::shared_ptr<ZelBundle> ZelFileManager::get_free_bundle(int lane, int tile)
{
    std::shared_ptr<ZelBundle> bundle;
    {
        std::lock_guard<std::mutex> lock(pool_mutex);
        if (!free_bundles.empty()) {
            bundle = std::move(free_bundles.back());
            free_bundles.pop_back();
        }
    }
    if (!bundle)
        bundle = std::make_shared<ZelBundle>(config);
    bundle->lane = lane;
    bundle->tile = tile;
    bundle->num_spots = 0;
    bundle->num_spots_known = false;
    return bundle;
}

void ZelFileManager::return_free_bundle(std::shared_ptr<ZelBundle> bundle)
{
    std::lock_guard<std::mutex> lock(pool_mutex);
    free_bundles.push_back(std::move(bundle));
}

bool ZelFileManager::read_bundle(std::shared_ptr<ZelBundle> bundle)
{
    bool ok = false;
    try {
        ok = bundle->read_tile();
    } catch (const std::exception& e) {
        log_error() << e.what();
        log_flush();
    }
    if (!ok)
        running = false;
    return ok;
}

void ZelFileManager::read_bundles()
{
    // Nothing may leave the thread: an error ends the reading as a failed tile does.
    try {
        const auto& tiles = config.lane_tiles.at(static_cast<std::size_t>(lane - 1));
        const int n = static_cast<int>(tiles.size());
        for (int next = 0; running && next < n; next += Batch_size) {
            const int count = std::min(n - next, Batch_size);
            {
                std::unique_lock<std::mutex> lock(queue_mutex);
                space_cv.wait(lock, [this] { return !running || ready.size() <= Queue_bound; });
            }

            std::vector<std::shared_ptr<ZelBundle>> batch;
            std::vector<std::thread> threads;
            start_batch(batch, threads, next + 1, count);
            for (std::thread& thread : threads)
                thread.join();
            queue_batch(batch);
            // A bundle of the batch that was not queued is released here, not pooled.
        }
    } catch (const std::exception& e) {
        log_error() << "Tile reader of lane " << lane << " failed: " << e.what();
        log_flush();
        stop();
    }
}

void ZelFileManager::start_batch(std::vector<std::shared_ptr<ZelBundle>>& batch,
                                 std::vector<std::thread>& threads, int first_tile, int count)
{
    try {
        for (int i = 0; i < count && running; ++i) {
            batch.push_back(get_free_bundle(lane, first_tile + i));
            threads.emplace_back(&ZelFileManager::read_bundle, this, batch.back());
        }
    } catch (const std::exception& e) {
        log_error() << "Could not start reading tiles of lane " << lane << ": " << e.what();
        log_flush();
        running = false;
    }
}

void ZelFileManager::queue_batch(const std::vector<std::shared_ptr<ZelBundle>>& batch)
{
    {
        std::lock_guard<std::mutex> lock(queue_mutex);
        for (const auto& bundle : batch) {
            if (!running)
                break;
            ready.push_back(bundle);
        }
    }
    ready_cv.notify_one();
}
