#pragma once
// Carries a lane's formatted tiles from the main thread to the writer thread. The main thread
// adds the tiles in sequence; their bundles are compressed by tasks on the task scheduler's
// threads, oldest bundles first, while the main thread goes on with the next tile. At most two
// tiles compress at once: adding a tile finishes the compression of the one before (the main
// thread helping with it). The writer takes the tiles in the order they were added, each once
// its compression has ended, compressed or failed. Without compression a tile is handed on as
// it was added.
//
//   CompressionScheduler compression(compress, on_compressed);
//   main thread:  if (!compression.add(tile)) ...the writer cancelled...;   // may throw
//                 if (!compression.wait_for_room(bound)) ...the writer cancelled...;
//                 compression.finish();                                   // may throw
//                 compression.close();
//   writer:       for (std::shared_ptr<Tile> tile; compression.next(tile);)
//                     if (!tile->failed()) ...write tile->files...;
//                 on an error: compression.cancel();
#include "common/block_gzip.h"
#include "converter/pipeline/blocking_queue.h"
#include "converter/pipeline/fastq_spot_bundle.h"

#include <oneapi/tbb/enumerable_thread_specific.h>
#include <oneapi/tbb/task_group.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class FastqFile;

class CompressionScheduler {
public:
    // One tile's bundles on their way to the writer, file by file, and the state of their
    // compression.
    class Tile {
    public:
        struct FileBundles {
            FastqFile* file;
            std::vector<std::shared_ptr<FastqSpotBundle>> bundles;
        };
        std::vector<FileBundles> files;
        std::vector<std::shared_ptr<FastqSpotBundle>> bundles; // all of them

        // A bundle's compression failed (once the writer has the tile).
        bool failed() const { return state_ == Failed; }

    private:
        friend class CompressionScheduler;
        enum State : int { Compressing, Compressed, Failed };

        std::uint64_t sequence_ = 0;            // tiles are numbered in order
        std::atomic<std::size_t> remaining_{0}; // bundles not yet compressed
        std::atomic<int> state_{Compressing};
        std::mutex error_mutex_;
        std::exception_ptr error_; // the first error; set before state_ becomes Failed
    };

    // Runs on the task that compressed the bundle, before the writer gets its tile; what it
    // throws fails the tile like a failed compression.
    using CompressedBundle = std::function<void(FastqSpotBundle&)>;

    // Without compress the bundles are handed on as they are.
    CompressionScheduler(bool compress, CompressedBundle on_compressed);
    // Finishes the compression under way.
    ~CompressionScheduler();
    CompressionScheduler(const CompressionScheduler&) = delete;
    CompressionScheduler& operator=(const CompressionScheduler&) = delete;

    // Main thread. Starts the compression of the tile's bundles and queues the tile for the
    // writer, weighed by its bundles; then finishes the compression of the tile before and
    // throws its error. False when the writer has cancelled: then the compression of every
    // tile has ended (and its error is thrown).
    bool add(std::shared_ptr<Tile> tile);
    // Main thread. When more than bound bundles are queued, finishes the compression of every
    // tile (the writer can only go on with compressed tiles; throws the first error) and waits
    // until at most bound are. False when the writer has cancelled or close was called.
    bool wait_for_room(std::size_t bound);
    // Main thread. Waits for the compression of every tile added so far, helping with it;
    // throws the first error it met.
    void finish();
    // No further tiles: the writer takes what is queued and then gets none.
    void close();

    // Writer thread. The next tile, once its compression has ended; false after close once
    // every tile is taken, and after cancel.
    bool next(std::shared_ptr<Tile>& tile);
    // Writer thread, ending: what is queued is dropped and add refuses further tiles.
    void cancel();

    // Bundles queued and not yet taken by the writer.
    std::size_t queued_bundles() const { return queue_.weight(); }

private:
    // A bundle to compress, of a tile on its way to the writer.
    struct Job {
        std::shared_ptr<Tile> tile;
        FastqSpotBundle* bundle = nullptr;
    };

    // Queues the tile's bundles for compression and starts tasks on the task scheduler's
    // threads that compress queued bundles, oldest first, until none is left.
    void start(const std::shared_ptr<Tile>& tile);
    // Compresses the oldest queued bundle, only when it belongs to up_to or an older tile
    // unless up_to is null; false when there is none such.
    bool compress_next(const Tile* up_to);
    // Waits for a tile's compression, helping with it; throws its error.
    void finish_tile(Tile& tile);

    bool compress_;
    CompressedBundle on_compressed_;
    // One codec per worker thread, rather than one per pooled bundle: a codec holds its
    // match-finder tables, which are large.
    tbb::enumerable_thread_specific<block_gzip::Compressor> codecs_;
    // Tiles on their way to the writer, weighed by their bundles.
    BlockingQueue<std::shared_ptr<Tile>> queue_;
    // Tiles whose compression the main thread has not yet seen finish, oldest first.
    std::deque<std::shared_ptr<Tile>> compressing_;
    std::uint64_t next_sequence_ = 0;
    // Bundles waiting for compression, oldest first, and the tasks that take them.
    std::mutex jobs_mutex_;
    std::deque<Job> jobs_;
    tbb::task_group compressors_;
};
