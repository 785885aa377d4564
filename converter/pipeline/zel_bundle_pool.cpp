#include "converter/pipeline/zel_bundle_pool.h"

#include <oneapi/tbb/info.h>

#include <algorithm>
#include <utility>

ZelBundlePool::ZelBundlePool(const Config& config, int readers, int inflate_threads)
    : config_(config), inflate_(inflate_threads)
{
    for (int i = 0; i < readers; ++i)
        readers_.push_back(std::make_unique<ZelReader>(inflate_));
}

int ZelBundlePool::inflate_threads(int threads)
{
    return std::max(1, threads > 0 ? threads : tbb::info::default_concurrency());
}

std::shared_ptr<ZelBundle> ZelBundlePool::get()
{
    {
        std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            std::shared_ptr<ZelBundle> bundle = std::move(idle_.back());
            idle_.pop_back();
            return bundle;
        }
    }
    return std::make_shared<ZelBundle>(config_);
}

void ZelBundlePool::put(std::shared_ptr<ZelBundle> bundle)
{
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(bundle));
}
