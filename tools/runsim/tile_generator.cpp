#include "tools/runsim/tile_generator.h"

#include "tools/runsim/prng.h"
#include "tools/runsim/random_calls.h"

#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace runsim {
namespace {

void write_letters(unsigned char* record, int first, std::string_view letters)
{
    for (std::size_t k = 0; k < letters.size(); ++k)
        record[first + static_cast<int>(k)] = with_base(record[first + static_cast<int>(k)], base_code(letters[k]));
}

std::string read_letters(const unsigned char* record, int first, int length)
{
    std::string text(static_cast<std::size_t>(std::max(length, 0)), 'N');
    for (int k = 0; k < length; ++k) {
        const unsigned char call = record[first + k];
        if (call >= 4)
            text[static_cast<std::size_t>(k)] = Base_letters[call & 3];
    }
    return text;
}

// Replaces the letters at count distinct positions by other letters; returns the count made.
int substitute(std::string& text, int count, Prng& rng)
{
    count = std::min(count, static_cast<int>(text.size()));
    std::vector<int> done;
    while (static_cast<int>(done.size()) < count) {
        const int position = static_cast<int>(rng.below(static_cast<std::uint32_t>(text.size())));
        if (std::find(done.begin(), done.end(), position) != done.end())
            continue;
        done.push_back(position);
        char& c = text[static_cast<std::size_t>(position)];
        c = Base_letters[(base_code(c) + 1 + static_cast<int>(rng.below(3))) & 3];
    }
    return count;
}

// 1 for a name ending in "R1", 2 for "R2", else 0.
int adapter_tag(const std::string& name)
{
    if (name.size() >= 2 && name.compare(name.size() - 2, 2, "R1") == 0)
        return 1;
    if (name.size() >= 2 && name.compare(name.size() - 2, 2, "R2") == 0)
        return 2;
    return 0;
}

// Places the halves of a chimeric read of n bases on one strand's control text, either half
// first, the later one at least RunRecipe::chimera_gap(n) after the earlier (the recipe makes
// sure the text is long enough), and returns the read's bases.
std::string chimeric_cut(const std::string& text, int n, ReadTruth& read, Prng& rng)
{
    const int first = n / 2;
    const int second = n - first;
    const int size = static_cast<int>(text.size());
    const int gap = RunRecipe::chimera_gap(n);
    if (rng.below(2) == 0) {
        read.control_offset = rng.between(0, size - second - gap);
        read.chimera_offset = rng.between(read.control_offset + gap, size - second);
    } else {
        read.chimera_offset = rng.between(0, size - first - gap);
        read.control_offset = rng.between(read.chimera_offset + gap, size - first);
    }
    return text.substr(std::size_t(read.control_offset), std::size_t(first)) +
           text.substr(std::size_t(read.chimera_offset), std::size_t(second));
}

std::vector<std::string> adapter_texts(const ControlLibrary& library)
{
    std::vector<std::string> texts;
    for (const AdapterRecord& adapter : library.adapters)
        texts.push_back(adapter.sequence);
    return texts;
}

} // namespace

TileGenerator::TileGenerator(const RunRecipe& recipe, const std::vector<SampleTruth>& samples,
                             const ControlLibrary& library)
    : recipe_(recipe), library_(library), i1_(recipe.layout.range(ReadRole::I1)),
      i2_(recipe.layout.range(ReadRole::I2)), u1_(recipe.layout.range(ReadRole::U1)),
      u2_(recipe.layout.range(ReadRole::U2)), screen_(adapter_texts(library)),
      picker_(i1_.length(), i2_.length(), 3, 3, 4)
{
    const ReadLayout& layout = recipe.layout;
    for (std::size_t r = 0; r < layout.reads.size(); ++r) {
        ReadPlan plan;
        plan.used = layout.reads[r].cycles;
        plan.record = layout.reads[r].header_cycles();
        plan.index = layout.is_index_read(static_cast<int>(r) + 1);
        const ReadRole role = layout.reads[r].role;
        const int read_tag = role == ReadRole::R1 ? 1 : role == ReadRole::R2 ? 2 : 0;
        for (std::size_t a = 0; a < library.adapters.size(); ++a) {
            const int tag = adapter_tag(library.adapters[a].name);
            if (read_tag == 0 || tag == 0 || tag == read_tag) {
                plan.searched.push_back(static_cast<int>(a));
                if (plan.planted < 0 || (read_tag != 0 && tag == read_tag))
                    plan.planted = static_cast<int>(a);
            }
        }
        reads_.push_back(std::move(plan));
    }
    lanes_.resize(static_cast<std::size_t>(recipe.lanes));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        LaneSamples& lane = lanes_.at(static_cast<std::size_t>(samples[i].lane - 1));
        lane.ids.push_back(static_cast<int>(i));
        lane.pairs.push_back({samples[i].index, samples[i].index2});
    }
    for (const ControlRecord& control : library.controls) {
        control_forward_.push_back(control.sequence);
        control_reverse_.push_back(reverse_complement(control.sequence));
    }
}

TileData TileGenerator::generate(int lane, int surface, int tile) const
{
    const std::size_t spots = static_cast<std::size_t>(recipe_.spots);
    const int read_count = static_cast<int>(reads_.size());
    TileData data;
    TileTruth& truth = data.truth;
    truth.lane = lane;
    truth.surface = surface;
    truth.tile = tile;
    char name[32];
    std::snprintf(name, sizeof name, "S%02d_T%03d", surface, tile);
    truth.name = name;
    truth.spots = spots;
    std::size_t sample_total = 0;
    for (const LaneSamples& l : lanes_)
        sample_total += l.ids.size();
    truth.counts.per_sample.assign(sample_total, 0);
    if (recipe_.spot_truth)
        truth.spot_truth.reserve(spots);

    data.calls.resize(static_cast<std::size_t>(read_count));
    tbb::parallel_for(0, read_count, [&](int r) {
        std::vector<unsigned char>& calls = data.calls[static_cast<std::size_t>(r)];
        calls.resize(spots * static_cast<std::size_t>(reads_[static_cast<std::size_t>(r)].record));
        Prng bulk(derive_seed({recipe_.seed, std::uint64_t(lane), std::uint64_t(surface), std::uint64_t(tile),
                               0xB0u + std::uint64_t(r)}));
        fill_random_calls(calls.data(), calls.size(), bulk);
    });
    data.xy.resize(2 * spots);

    Prng rng(derive_seed({recipe_.seed, std::uint64_t(lane), std::uint64_t(surface), std::uint64_t(tile)}));
    // Chimeras draw from a stream of their own, untouched when there are none.
    Prng chimeras(derive_seed({recipe_.seed, std::uint64_t(lane), std::uint64_t(surface), std::uint64_t(tile), 0xC0u}));
    const LaneSamples& lane_samples = lanes_.at(static_cast<std::size_t>(lane - 1));
    const int side = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(spots)))));
    const int step = std::max(1, 32000 / side);
    int longest_insert_read = 0;
    for (const ReadPlan& plan : reads_)
        if (!plan.index)
            longest_insert_read = std::max(longest_insert_read, plan.used);

    for (std::size_t s = 0; s < spots; ++s) {
        SpotTruth spot;
        TileCounts& counts = truth.counts;
        ++counts.spots;

        // Position: a jittered grid point, sometimes moved out of the 16-bit range.
        spot.x = static_cast<std::int32_t>(s % std::size_t(side)) * step +
                 static_cast<std::int32_t>(rng.below(static_cast<std::uint32_t>(step)));
        spot.y = static_cast<std::int32_t>(s / std::size_t(side)) * step +
                 static_cast<std::int32_t>(rng.below(static_cast<std::uint32_t>(step)));
        if (rng.chance(recipe_.odd_position_fraction)) {
            switch (rng.below(4)) {
            case 0:
                spot.x += 32768;
                break;
            case 1:
                spot.y += 32768;
                break;
            case 2:
                spot.x = -1 - spot.x;
                break;
            default:
                spot.y = -1 - spot.y;
                break;
            }
            ++counts.odd_positions;
        }
        data.xy[2 * s] = spot.x;
        data.xy[2 * s + 1] = spot.y;

        // Kind of spot.
        const double kind = rng.unit();
        const bool control_spot = !library_.controls.empty() && kind < recipe_.control_fraction;
        const bool sample_spot = !control_spot && !lane_samples.ids.empty() &&
                                 kind >= recipe_.control_fraction + recipe_.undetermined_fraction;
        const bool chimeric_spot = control_spot && chimeras.chance(recipe_.chimera_fraction);

        // Index reads.
        IndexPair pair;
        if (sample_spot) {
            const std::size_t pick = rng.below(static_cast<std::uint32_t>(lane_samples.ids.size()));
            spot.sample = lane_samples.ids[pick];
            pair = lane_samples.pairs[pick];
            const double origin = rng.unit();
            if (origin < recipe_.one_mismatch_fraction) {
                spot.index_origin = IndexOrigin::OneMismatch;
                const int which = i2_.present() ? static_cast<int>(rng.below(3)) : 0;
                if (which != 1)
                    spot.i1_substitutions = substitute(pair.index, 1, rng);
                if (which != 0)
                    spot.i2_substitutions = substitute(pair.index2, 1, rng);
            } else if (origin < recipe_.one_mismatch_fraction + recipe_.two_mismatch_fraction) {
                spot.index_origin = IndexOrigin::TwoMismatches;
                if (i2_.present() && rng.below(2) == 1)
                    spot.i2_substitutions = substitute(pair.index2, 2, rng);
                else
                    spot.i1_substitutions = substitute(pair.index, 2, rng);
            } else {
                spot.index_origin = IndexOrigin::Exact;
            }
            ++counts.per_sample[static_cast<std::size_t>(spot.sample)];
            ++(spot.index_origin == IndexOrigin::Exact         ? counts.exact
               : spot.index_origin == IndexOrigin::OneMismatch ? counts.one_mismatch
                                                               : counts.two_mismatches);
        } else if (i1_.present()) {
            int attempts = 0;
            do {
                if (++attempts > 10000)
                    throw std::runtime_error("cannot draw an index clear of every sample of lane " +
                                             std::to_string(lane) + "; use longer index reads");
                pair.index = IndexPicker::random_index(i1_.length(), rng);
                pair.index2 = i2_.present() ? IndexPicker::random_index(i2_.length(), rng) : "";
            } while (!picker_.is_clear_of(pair, lane_samples.pairs, 2));
        }
        if (i1_.present())
            write_letters(data.calls[std::size_t(i1_.read - 1)].data() +
                              s * std::size_t(reads_[std::size_t(i1_.read - 1)].record),
                          i1_.first - 1, pair.index);
        if (i2_.present())
            write_letters(data.calls[std::size_t(i2_.read - 1)].data() +
                              s * std::size_t(reads_[std::size_t(i2_.read - 1)].record),
                          i2_.first - 1, pair.index2);
        if (control_spot) {
            spot.control = static_cast<int>(rng.below(static_cast<std::uint32_t>(library_.controls.size())));
            ++counts.control_spots;
            counts.kept_control_spots += library_.controls[std::size_t(spot.control)].kept;
        } else if (!sample_spot) {
            ++counts.undetermined;
        }

        // Insert length of a spot whose reads run into the adapter.
        int insert = -1;
        if (!control_spot && longest_insert_read >= Adapter_min_overlap && rng.chance(recipe_.adapter_fraction))
            insert = rng.between(0, longest_insert_read - Adapter_min_overlap);

        // Non-index reads.
        for (int r = 0; r < read_count; ++r) {
            const ReadPlan& plan = reads_[std::size_t(r)];
            if (plan.index)
                continue;
            unsigned char* record = data.calls[std::size_t(r)].data() + s * std::size_t(plan.record);
            ReadTruth& read = spot.reads[std::size_t(r)];
            const int n = plan.used;
            const std::string* control_text = nullptr;
            if (control_spot) {
                read.control_reverse = rng.below(2) == 1;
                control_text = &(read.control_reverse ? control_reverse_ : control_forward_)[std::size_t(spot.control)];
                read.control_offset = rng.between(0, static_cast<int>(control_text->size()) - n);
                // A chimeric read draws its own offsets, control_offset included.
                std::string cut = chimeric_spot
                                      ? chimeric_cut(*control_text, n, read, chimeras)
                                      : control_text->substr(std::size_t(read.control_offset), std::size_t(n));
                substitute(cut, rng.between(0, recipe_.max_control_substitutions), rng);
                write_letters(record, 0, cut);
            }
            int limit = n;
            if (insert >= 0 && insert <= n - Adapter_min_overlap && plan.planted >= 0) {
                const std::string& adapter = library_.adapters[std::size_t(plan.planted)].sequence;
                write_letters(record, insert, std::string_view(adapter).substr(0, std::size_t(n - insert)));
                read.adapter = plan.planted;
                read.adapter_start = insert;
                limit = insert;
            }
            if (recipe_.no_call_rate > 0) {
                for (std::uint64_t p = rng.gap(recipe_.no_call_rate); p < std::uint64_t(limit);
                     p += 1 + rng.gap(recipe_.no_call_rate))
                    record[p] = 0;
            }
            // The bases just before an adapter that runs off the read's end can lengthen its
            // match or let another adapter win: change them until the search reports the
            // planted adapter where it begins, or give the adapter up. (A whole adapter inside
            // the read has no rival: nothing scores more than its full, exact match.)
            const bool partial =
                read.adapter >= 0 && n - insert < int(library_.adapters[std::size_t(read.adapter)].sequence.size());
            for (int tries = 0; partial && read.adapter >= 0; ++tries) {
                const AdapterScreen::Match match = screen_.best_match(record, n, plan.searched);
                if (match.adapter == read.adapter && match.start == insert && match.distance == 0)
                    break;
                if (tries == 20 || insert == 0) {
                    fill_random_calls(record + insert, std::size_t(n - insert), rng);
                    read.adapter = -1;
                    read.adapter_start = -1;
                    break;
                }
                const int position = insert - 1 - int(rng.below(std::uint32_t(std::min(insert, 4))));
                const unsigned char call = record[position] >= 4 ? record[position] : make_call(30, 0);
                record[position] = with_base(call, ((call & 3) + 1 + int(rng.below(3))) & 3);
            }
            counts.adapter_reads += read.adapter >= 0;
            if (read.adapter < 0 && rng.chance(recipe_.trailing_no_call_fraction)) {
                const int run = rng.between(1, n);
                std::fill(record + (n - run), record + n, static_cast<unsigned char>(0));
            }
            int end = n;
            while (end > 0 && record[end - 1] < 4)
                --end;
            if (read.adapter < 0) {
                // Change the last called base (later any base) until no adapter shows.
                for (int tries = 0; end > 0 && screen_.finds_adapter(record, end, plan.searched); ++tries) {
                    if (tries == 1000)
                        throw std::runtime_error("cannot clear a read of adapters; use longer "
                                                 "adapters");
                    const int position = tries < 100 ? end - 1 : end - 1 - int(rng.below(std::uint32_t(end)));
                    const int base = record[position] & 3;
                    record[position] = with_base(record[position], (base + 1 + int(rng.below(3))) & 3);
                }
            }
            if (control_text != nullptr) {
                read.control_substitutions = 0;
                for (int k = 0; k < n; ++k) {
                    const int source = read.chimera_offset < 0 || k < n / 2 ? read.control_offset + k
                                                                            : read.chimera_offset + k - n / 2;
                    read.control_substitutions +=
                        record[k] >= 4 && Base_letters[record[k] & 3] != (*control_text)[std::size_t(source)];
                }
            }
            read.trailing_no_calls = n - end;
            read.no_calls =
                static_cast<int>(std::count_if(record, record + n, [](unsigned char call) { return call < 4; }));
            counts.no_calls += std::uint64_t(read.no_calls);
            counts.trailing_no_call_reads += read.trailing_no_calls > 0;
        }

        const auto role_letters = [&](const RoleRange& range) {
            if (!range.present())
                return std::string();
            const ReadPlan& plan = reads_[std::size_t(range.read - 1)];
            return read_letters(data.calls[std::size_t(range.read - 1)].data() + s * std::size_t(plan.record),
                                range.first - 1, range.length());
        };
        spot.index1 = role_letters(i1_);
        spot.index2 = role_letters(i2_);
        spot.umi1 = role_letters(u1_);
        spot.umi2 = role_letters(u2_);
        if (recipe_.spot_truth)
            truth.spot_truth.push_back(std::move(spot));
    }
    return data;
}

} // namespace runsim
