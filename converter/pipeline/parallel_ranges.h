#pragma once
// The stages' parallel loop: the index range [0, count) cut into sub-ranges on the task
// scheduler's threads (grain 1, automatic partitioning); body(begin, end) handles one
// sub-range. Nothing runs for a count of 0.
#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/partitioner.h>

#include <cstddef>

template <typename Body>
void parallel_ranges(std::size_t count, Body&& body)
{
    if (count == 0)
        return;
    tbb::parallel_for(
        tbb::blocked_range<int>(0, static_cast<int>(count), 1),
        [&](const tbb::blocked_range<int>& range) { body(range.begin(), range.end()); }, tbb::auto_partitioner());
}
