#pragma once
// What the tile loaders of a run keep from one lane to the next: the idle tile bundles with
// their buffers, one base-call reader per tile thread with its buffers, and the threads that
// inflate the base-call files for all of them, as many as the run's thread count.
#include "common/thread_pool.h"
#include "converter/pipeline/zel_bundle.h"
#include "converter/pipeline/zel_reader.h"

#include <memory>
#include <mutex>
#include <vector>

class Config;

class ZelBundlePool {
public:
    // readers: the tile threads that read at the same time; inflate_threads: at least 1.
    ZelBundlePool(const Config& config, int readers, int inflate_threads);
    ZelBundlePool(const ZelBundlePool&) = delete;
    ZelBundlePool& operator=(const ZelBundlePool&) = delete;

    // The threads that inflate for a run of the given --threads count (0: the machine's).
    static int inflate_threads(int threads);

    // An idle bundle, or a new one.
    std::shared_ptr<ZelBundle> get();
    void put(std::shared_ptr<ZelBundle> bundle);

    // The reader of one tile thread (0 to readers - 1); one thread uses it at a time.
    ZelReader& reader(int slot) { return *readers_.at(static_cast<std::size_t>(slot)); }

private:
    const Config& config_;
    std::mutex mutex_; // guards idle_
    std::vector<std::shared_ptr<ZelBundle>> idle_;
    // Declared before the readers, which inflate on it, so that it outlives them.
    Corvex::ThreadPool inflate_;
    std::vector<std::unique_ptr<ZelReader>> readers_;
};
