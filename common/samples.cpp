#include "common/samples.h"

#include <algorithm>
#include <climits>
#include <map>
#include <optional>
#include <utility>

#include "common/csv_text.h"
#include "common/lev_distance.h"

const SectionInfo& Samples::section_info()
{
    static const SectionInfo info{6,
                                  "Samples",
                                  true,
                                  SectionInfo::table_kind,
                                  {{0, "Biosample", true}, {1, "Lane", true}, {2, "Index", true}, {3, "Index2", true}}};
    return info;
}

void Samples::load(PartitionedCsv& document)
{
    clear();
    const SectionInfo& info = section_info();
    if (!document.validate_headings(info))
        return;
    std::map<std::pair<int, std::string>, int> id_lines;
    std::map<std::pair<int, std::string>, int> index_lines;
    const int rows = document.row_count(info);
    for (int r = 1; r < rows; ++r) {
        Sample sample;
        document.validate_text(info, 0, r, sample.Biosample, true);
        document.validate_numeric(info, 1, r, sample.Lane, 1, 2, true);
        document.validate_text(info, 2, r, sample.Index, true);
        document.validate_text(info, 3, r, sample.Index2, true);
        sample.Index = ascii_upper(sample.Index);
        sample.Index2 = ascii_upper(sample.Index2);

        const int id_line = document.line_number(info, 0, r);
        const auto id_key = std::make_pair(sample.Lane, sample.Biosample);
        const auto id_seen = id_lines.find(id_key);
        if (id_seen != id_lines.end()) {
            document.error("Duplicate sample id (biosample): " + sample.Biosample +
                               ", lane: " + std::to_string(sample.Lane) +
                               ", lines: " + std::to_string(id_seen->second) + ", " + std::to_string(id_line),
                           0);
        }
        id_lines[id_key] = id_line;

        const int index_line = document.line_number(info, 2, r);
        const std::string pair = sample.Index + "+" + sample.Index2;
        const auto index_key = std::make_pair(sample.Lane, pair);
        const auto index_seen = index_lines.find(index_key);
        if (index_seen != index_lines.end()) {
            document.error("Duplicate Index+Index2 sequence: " + pair + ", lane: " + std::to_string(sample.Lane) +
                               ", on lines: " + std::to_string(index_seen->second) + ", " + std::to_string(index_line),
                           0);
        }
        index_lines[index_key] = index_line;

        push_back(std::move(sample));
    }
}

void Samples::store(PartitionedCsv& document) const
{
    const SectionInfo& info = section_info();
    for (std::size_t k = 0; k < size(); ++k) {
        const Sample& sample = (*this)[k];
        const int row = static_cast<int>(k) + 1;
        document.store_text(info, 0, row, sample.Biosample, false);
        document.store_numeric(info, 1, row, sample.Lane);
        document.store_text(info, 2, row, sample.Index, false);
        document.store_text(info, 3, row, sample.Index2, false);
    }
}

namespace {

// 2 * mismatches, kept within int.
int closeness_limit(int mismatches)
{
    const long long limit = 2LL * mismatches;
    return static_cast<int>(std::clamp<long long>(limit, INT_MIN, INT_MAX));
}

} // namespace

void Samples::validate(int i1_mismatches, int i2_mismatches, std::vector<std::string>& messages) const
{
    // Only the pairs of one lane are compared, and each distance only with its limit. An index
    // of at most 64 letters is set up once for the bit-parallel distance to every later one;
    // a longer one takes a band of the limit's width and two rows (same results as the full
    // table, memory linear in the shorter string).
    const int limit1 = closeness_limit(i1_mismatches);
    const int limit2 = closeness_limit(i2_mismatches);
    std::map<int, std::vector<std::size_t>> lanes; // lane -> its samples' positions, ascending
    std::vector<std::optional<LevPattern>> patterns1(size());
    std::vector<std::optional<LevPattern>> patterns2(size());
    for (std::size_t i = 0; i < size(); ++i) {
        const Sample& sample = (*this)[i];
        lanes[sample.Lane].push_back(i);
        if (sample.Index.size() <= LevPattern::Max_length)
            patterns1[i].emplace(sample.Index);
        if (sample.Index2.size() <= LevPattern::Max_length)
            patterns2[i].emplace(sample.Index2);
    }
    // The cheap bound of both indexes is looked at before either distance.
    const auto may_be_within = [](const std::optional<LevPattern>& pattern, const std::optional<LevPattern>& other,
                                  int limit) { return !pattern || !other || pattern->lower_bound(*other) <= limit; };
    const auto within = [](const std::optional<LevPattern>& pattern, const std::string& a, const std::string& b,
                           int limit) {
        return pattern ? pattern->distance(b) <= limit : get_lev_distance_bounded(a, b, limit) <= limit;
    };
    for (std::size_t i = 0; i < size(); ++i) {
        const Sample& a = (*this)[i];
        const std::vector<std::size_t>& lane = lanes[a.Lane];
        for (auto later = std::upper_bound(lane.begin(), lane.end(), i); later != lane.end(); ++later) {
            const std::size_t j = *later;
            const Sample& b = (*this)[j];
            if (!may_be_within(patterns1[i], patterns1[j], limit1) ||
                !may_be_within(patterns2[i], patterns2[j], limit2))
                continue;
            if (!within(patterns1[i], a.Index, b.Index, limit1))
                continue;
            if (!within(patterns2[i], a.Index2, b.Index2, limit2))
                continue;
            messages.push_back("Edit distance between samples '" + a.Biosample + "' (row " + std::to_string(i + 1) +
                               ") and '" + b.Biosample + "' (row " + std::to_string(j + 1) + ") in lane (" +
                               std::to_string(a.Lane) + ") is too low for I1Mismatches (" +
                               std::to_string(i1_mismatches) + ") and I2Mismatches (" + std::to_string(i2_mismatches) +
                               ")");
        }
    }
}
