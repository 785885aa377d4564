#include "tools/runsim/run_truth.h"

#include <stdexcept>

namespace runsim {

std::string_view index_origin_name(IndexOrigin origin)
{
    switch (origin) {
    case IndexOrigin::Exact:
        return "exact";
    case IndexOrigin::OneMismatch:
        return "one-mismatch";
    case IndexOrigin::TwoMismatches:
        return "two-mismatches";
    case IndexOrigin::Random:
        return "random";
    }
    return "?";
}

void TileCounts::add(const TileCounts& other)
{
    spots += other.spots;
    exact += other.exact;
    one_mismatch += other.one_mismatch;
    two_mismatches += other.two_mismatches;
    undetermined += other.undetermined;
    control_spots += other.control_spots;
    kept_control_spots += other.kept_control_spots;
    adapter_reads += other.adapter_reads;
    no_calls += other.no_calls;
    trailing_no_call_reads += other.trailing_no_call_reads;
    odd_positions += other.odd_positions;
    if (per_sample.size() < other.per_sample.size())
        per_sample.resize(other.per_sample.size());
    for (std::size_t i = 0; i < other.per_sample.size(); ++i)
        per_sample[i] += other.per_sample[i];
}

const TileTruth& RunTruth::tile(int lane, int position) const
{
    if (lane < 1 || lane > static_cast<int>(lanes.size()) || position < 1 ||
        position > static_cast<int>(lanes[lane - 1].size()))
        throw std::out_of_range("no tile " + std::to_string(position) + " in lane " + std::to_string(lane));
    return lanes[lane - 1][position - 1];
}

std::vector<const SampleTruth*> RunTruth::lane_samples(int lane) const
{
    std::vector<const SampleTruth*> list;
    for (const SampleTruth& sample : samples)
        if (sample.lane == lane)
            list.push_back(&sample);
    return list;
}

} // namespace runsim
