#include "converter/pipeline/zel_file_manager.h"

#include "converter/app/config.h"
#include "converter/app/logger.h"
#include "converter/app/timer_manager.h"

#include <algorithm>
#include <exception>
#include <utility>

ZelFileManager::ZelFileManager(const Config& run_config, TimerManager& run_timers, int lane_number,
                               std::shared_ptr<ZelBundlePool> shared_pool)
    : config(run_config), timers(run_timers), lane(lane_number),
      pool(shared_pool ? std::move(shared_pool) : make_pool(run_config))
{
}

std::shared_ptr<ZelBundlePool> ZelFileManager::make_pool(const Config& config)
{
    return std::make_shared<ZelBundlePool>(config, Batch_size, ZelBundlePool::inflate_threads(config.threads));
}

ZelFileManager::~ZelFileManager()
{
    stop();
    join();
}

void ZelFileManager::run()
{
    reader = std::thread(&ZelFileManager::read_bundles, this);
}

void ZelFileManager::stop()
{
    ready.cancel();
}

void ZelFileManager::join()
{
    if (reader.joinable())
        reader.join();
}

bool ZelFileManager::get_spots(std::vector<Spot>& spots, SpotBlock* block)
{
    timers.start(TimerName::Wait_to_read);
    std::shared_ptr<ZelBundle> bundle;
    const bool got = ready.pop(bundle);
    timers.stop(TimerName::Wait_to_read);
    if (!got)
        return false;

    timers.start(TimerName::Pack_sequence);
    bundle->create_spots(spots, block);
    return_free_bundle(std::move(bundle));
    timers.stop(TimerName::Pack_sequence);
    return true;
}

std::shared_ptr<ZelBundle> ZelFileManager::get_free_bundle(int lane_number, int tile)
{
    std::shared_ptr<ZelBundle> bundle = pool->get();
    bundle->lane = lane_number;
    bundle->tile = tile;
    bundle->num_spots = 0;
    bundle->num_spots_known = false;
    return bundle;
}

void ZelFileManager::return_free_bundle(std::shared_ptr<ZelBundle> bundle)
{
    pool->put(std::move(bundle));
}

bool ZelFileManager::read_bundle(std::shared_ptr<ZelBundle> bundle, int slot)
{
    bool ok = false;
    try {
        ok = bundle->read_tile(pool->reader(slot));
    } catch (const std::exception& e) {
        log_error() << e.what();
        log_flush();
    }
    if (!ok)
        stop();
    return ok;
}

void ZelFileManager::read_bundles()
{
    // Nothing may leave the thread: an error ends the reading as a failed tile does.
    try {
        const auto& tiles = config.tiles_of_lane(lane);
        const int n = static_cast<int>(tiles.size());
        for (int next = 0; next < n; next += Batch_size) {
            if (!ready.wait_at_most(Queue_bound))
                return;
            std::vector<std::shared_ptr<ZelBundle>> batch;
            std::vector<std::thread> threads;
            start_batch(batch, threads, next + 1, std::min(n - next, Batch_size));
            for (std::thread& thread : threads)
                thread.join();
            queue_batch(batch);
            // A bundle of the batch that was not queued is released here, not pooled.
        }
        // Every tile is queued: the main thread takes them, then hears that none follows.
        ready.close();
    } catch (const std::exception& e) {
        log_error() << "Tile reader of lane " << lane << " failed: " << e.what();
        log_flush();
        stop();
    }
}

void ZelFileManager::start_batch(std::vector<std::shared_ptr<ZelBundle>>& batch, std::vector<std::thread>& threads,
                                 int first_tile, int count)
{
    try {
        for (int i = 0; i < count && !ready.closed(); ++i) {
            batch.push_back(get_free_bundle(lane, first_tile + i));
            threads.emplace_back(&ZelFileManager::read_bundle, this, batch.back(), i);
        }
    } catch (const std::exception& e) {
        log_error() << "Could not start reading tiles of lane " << lane << ": " << e.what();
        log_flush();
        stop();
    }
}

void ZelFileManager::queue_batch(const std::vector<std::shared_ptr<ZelBundle>>& batch)
{
    // After a failure in the batch the queue is cancelled and refuses them all.
    for (const auto& bundle : batch)
        if (!ready.push(bundle))
            break;
}
