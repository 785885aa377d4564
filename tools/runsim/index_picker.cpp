#include "tools/runsim/index_picker.h"

#include "tools/runsim/random_calls.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

namespace runsim {

int edit_distance(std::string_view a, std::string_view b)
{
    std::vector<int> row(b.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

int hamming_distance(std::string_view a, std::string_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    int distance = static_cast<int>(std::max(a.size(), b.size()) - common);
    for (std::size_t i = 0; i < common; ++i)
        distance += a[i] != b[i];
    return distance;
}

IndexPicker::IndexPicker(int index_length, int index2_length, int min_edit, int min_edit2, int min_hamming)
    : index_length_(index_length), index2_length_(index2_length), min_edit_(min_edit), min_edit2_(min_edit2),
      min_hamming_(min_hamming)
{
}

std::string IndexPicker::random_index(int length, Prng& rng)
{
    std::string text(static_cast<std::size_t>(length), 'A');
    for (char& c : text)
        c = Base_letters[rng.below(4)];
    return text;
}

bool IndexPicker::far_apart(const IndexPair& a, const IndexPair& b) const
{
    const auto far = [this](const std::string& x, const std::string& y, int min_edit) {
        return edit_distance(x, y) >= min_edit && hamming_distance(x, y) >= min_hamming_;
    };
    return far(a.index, b.index, min_edit_) && (index2_length_ == 0 || far(a.index2, b.index2, min_edit2_));
}

void IndexPicker::pick(int count, std::vector<IndexPair>& pairs, Prng& rng) const
{
    constexpr int Attempts_per_pair = 20000;
    for (int n = 0; n < count; ++n) {
        bool found = false;
        for (int attempt = 0; attempt < Attempts_per_pair && !found; ++attempt) {
            IndexPair candidate{random_index(index_length_, rng),
                                index2_length_ > 0 ? random_index(index2_length_, rng) : ""};
            found = std::all_of(pairs.begin(), pairs.end(),
                                [&](const IndexPair& other) { return far_apart(candidate, other); });
            if (found)
                pairs.push_back(std::move(candidate));
        }
        if (!found)
            throw std::runtime_error("cannot find " + std::to_string(pairs.size() + count - n) + " indexes of " +
                                     std::to_string(index_length_) + " cycles at least " + std::to_string(min_edit_) +
                                     " edits apart; ask for fewer samples or longer index reads");
    }
}

bool IndexPicker::is_clear_of(const IndexPair& pair, const std::vector<IndexPair>& samples, int max_edit) const
{
    for (const IndexPair& sample : samples) {
        const bool near1 = edit_distance(pair.index, sample.index) <= max_edit;
        const bool near2 = index2_length_ == 0 || edit_distance(pair.index2, sample.index2) <= max_edit;
        if (near1 && near2)
            return false;
    }
    return true;
}

} // namespace runsim
