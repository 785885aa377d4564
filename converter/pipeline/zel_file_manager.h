#pragma once
// Reads the tiles of one lane ahead of the lane's main thread. A reader thread walks the
// lane's tile list in order, reads up to Batch_size tiles at a time (one thread per tile)
// and queues the filled bundles in tile order; it starts a new batch only while at most
// Queue_bound bundles are queued. The main thread takes the bundles one by one with
// get_spots, which unpacks a bundle into spots and returns it to the pool. The pool of
// bundles, the tile threads' readers and the threads that inflate the base-call files may be
// shared from lane to lane.
//
//   ZelFileManager loader(config, timers, lane, pool);
//   loader.run();
//   for each tile: if (!loader.get_spots(spots)) fail;  // no further tile will come
//   loader.stop();
//   loader.join();
#include "converter/pipeline/blocking_queue.h"
#include "converter/pipeline/spot.h"
#include "converter/pipeline/zel_bundle.h"
#include "converter/pipeline/zel_bundle_pool.h"

#include <memory>
#include <thread>
#include <vector>

class Config;
class SpotBlock;
class TimerManager;

class ZelFileManager {
public:
    static constexpr int Batch_size = 3;
    static constexpr std::size_t Queue_bound = 4;

    // Without a pool the manager makes its own (make_pool).
    ZelFileManager(const Config& config, TimerManager& timers, int lane, std::shared_ptr<ZelBundlePool> pool = nullptr);
    // Stops the reader and waits for it when it was not joined, so that a lane that ends by
    // an error never leaves a running thread behind.
    ~ZelFileManager();
    ZelFileManager(const ZelFileManager&) = delete;
    ZelFileManager& operator=(const ZelFileManager&) = delete;

    // A pool for the loaders of a run: a reader for each tile thread of a batch, inflating on
    // as many threads as the run's --threads count.
    static std::shared_ptr<ZelBundlePool> make_pool(const Config& config);

    int lane_number() const { return lane; }

    // Starts the reader thread.
    void run();
    // Tells the reader to end and wakes every wait; no tile is handed out afterwards.
    void stop();
    // Waits for the reader thread to end.
    void join();

    // The next tile's spots, in tile order, with their bases in the block when one is given.
    // Waits while nothing is queued and the reader is running; false when no further tile
    // will come (a tile failed, the lane's tiles are all handed out, or stop was called).
    // Times "Wait to read" and "Pack sequence"; called on the main thread only.
    bool get_spots(std::vector<Spot>& spots, SpotBlock* block = nullptr);

    // A bundle from the pool (or a new one) for the 1-based lane and tile.
    std::shared_ptr<ZelBundle> get_free_bundle(int lane, int tile);
    void return_free_bundle(std::shared_ptr<ZelBundle> bundle);
    // Reads the bundle's tile with the reader of the given tile thread. A failure, or an
    // error raised by a reader (logged at ERROR with its text), stops the manager and gives
    // false.
    bool read_bundle(std::shared_ptr<ZelBundle> bundle, int slot = 0);
    // The reader thread's body.
    void read_bundles();

protected:
    const Config& config;
    TimerManager& timers;
    int lane;
    std::shared_ptr<ZelBundlePool> pool;
    std::thread reader;
    // Filled bundles in tile order. Closed when every tile is queued; cancelled by stop()
    // and by a tile that fails.
    BlockingQueue<std::shared_ptr<ZelBundle>> ready;

private:
    // Starts one tile thread per bundle while the queue is open; a thread that cannot be
    // started stops the reader.
    void start_batch(std::vector<std::shared_ptr<ZelBundle>>& batch, std::vector<std::thread>& threads, int first_tile,
                     int count);
    void queue_batch(const std::vector<std::shared_ptr<ZelBundle>>& batch);
};
