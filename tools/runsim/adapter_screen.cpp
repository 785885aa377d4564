#include "tools/runsim/adapter_screen.h"

#include "tools/runsim/random_calls.h"

#include <algorithm>
#include <cmath>

namespace runsim {
namespace {

int tolerance(int length)
{
    return static_cast<int>(std::floor(length * Adapter_max_error_rate));
}

} // namespace

AdapterScreen::AdapterScreen(const std::vector<std::string>& adapters)
{
    for (const std::string& text : adapters) {
        std::vector<unsigned char> codes;
        for (const char c : text)
            codes.push_back(static_cast<unsigned char>(base_code(c)));
        adapters_.push_back(std::move(codes));
    }
}

bool AdapterScreen::finds_adapter(const unsigned char* calls, int length, std::span<const int> adapters) const
{
    for (const int a : adapters)
        if (finds(adapters_[static_cast<std::size_t>(a)], calls, length))
            return true;
    return false;
}

bool AdapterScreen::finds(const std::vector<unsigned char>& adapter, const unsigned char* calls, int length) const
{
    const int m = static_cast<int>(adapter.size());
    if (length < 1 || m < 1)
        return false;
    // The read's last w bases: rows 0..w of the table, row i having consumed i of them.
    const int w = std::min(length, m + tolerance(m) + 1);
    const int offset = length - w;
    unsigned char read[512];
    std::vector<unsigned char> long_read;
    unsigned char* codes = read;
    if (w > static_cast<int>(sizeof read)) {
        long_read.resize(static_cast<std::size_t>(w));
        codes = long_read.data();
    }
    for (int i = 0; i < w; ++i) {
        const unsigned char call = calls[offset + i];
        codes[i] = call < 4 ? 4 : static_cast<unsigned char>(call & 3);
    }

    // Column j holds the cost of the adapter's first j bases against the read up to row i,
    // entering the read anywhere (row 0 of every column is j, column 0 is 0).
    std::vector<int> column(static_cast<std::size_t>(w) + 1, 0);
    const int s = std::min(m, length);
    const int whole_tolerance = tolerance(s);
    const int first_whole_row = std::max(0, s - whole_tolerance - 1); // read position of scan A
    const int max_tolerance = tolerance(m);
    for (int j = 1; j <= m; ++j) {
        int diagonal = column[0];
        column[0] = j;
        int column_min = j;
        for (int i = 1; i <= w; ++i) {
            const int above = column[i];
            const int cost = diagonal + (codes[i - 1] != adapter[j - 1]);
            column[i] = std::min({cost, above + 1, column[i - 1] + 1});
            diagonal = above;
            column_min = std::min(column_min, column[i]);
        }
        // The whole adapter ending at some read position.
        if (j == m)
            for (int i = 1; i <= w; ++i)
                if (offset + i - 1 >= first_whole_row && column[i] <= whole_tolerance)
                    return true;
        // A prefix running off the read's end.
        if (j >= Adapter_min_overlap && j < m && column[w] <= tolerance(j))
            return true;
        if (column_min > max_tolerance)
            return false;
    }
    return false;
}

AdapterScreen::Match AdapterScreen::best_match(const unsigned char* calls, int length,
                                               std::span<const int> adapters) const
{
    Match best;
    if (length < 1)
        return best;
    // The last bases of the read, enough for every match of the longest adapter that reaches
    // the read's end; a match ending earlier has the whole adapter within edits, which random
    // bases never give. Matches are found in the window and placed in the read.
    int longest = 0;
    for (const int a : adapters)
        longest = std::max(longest, static_cast<int>(adapters_[static_cast<std::size_t>(a)].size()));
    const int offset = length - std::min(length, longest + tolerance(longest) + 1);
    calls += offset;
    length -= offset;
    std::vector<unsigned char> codes(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i)
        codes[std::size_t(i)] = calls[i] < 4 ? 4 : static_cast<unsigned char>(calls[i] & 3);
    std::vector<int> column(static_cast<std::size_t>(length) + 1);
    for (const int a : adapters) {
        const std::vector<unsigned char>& adapter = adapters_[static_cast<std::size_t>(a)];
        const int m = static_cast<int>(adapter.size());
        if (m < 1)
            continue;
        Match mine;
        mine.adapter = a;
        const auto consider = [&](int matched, int distance, int end) {
            const int start = offset + end - matched + 1;
            const bool better = mine.start < 0 || matched - distance > mine.length - mine.distance ||
                                (matched - distance == mine.length - mine.distance &&
                                 (distance < mine.distance || (distance == mine.distance && start > mine.start)));
            if (better) {
                mine.start = start;
                mine.length = matched;
                mine.distance = distance;
            }
        };
        std::fill(column.begin(), column.end(), 0);
        const int s = std::min(m, length);
        for (int j = 1; j <= m; ++j) {
            int diagonal = column[0];
            column[0] = j;
            for (int i = 1; i <= length; ++i) {
                const int left = column[std::size_t(i)];
                column[std::size_t(i)] =
                    std::min({diagonal + (codes[std::size_t(i - 1)] != adapter[std::size_t(j - 1)]), left + 1,
                              column[std::size_t(i - 1)] + 1});
                diagonal = left;
            }
            if (j >= Adapter_min_overlap && j < m && column[std::size_t(length)] <= tolerance(j))
                consider(std::min(length, j), column[std::size_t(length)], length - 1);
        }
        for (int i = std::max(0, s - tolerance(s) - 1); i < length; ++i)
            if (column[std::size_t(i + 1)] <= tolerance(s))
                consider(std::min(m, i + 1), column[std::size_t(i + 1)], i);
        if (mine.start < 0)
            continue;
        const bool better = best.adapter < 0 || mine.length > best.length ||
                            (mine.length == best.length &&
                             (mine.distance < best.distance ||
                              (mine.distance == best.distance &&
                               (mine.start > best.start || (mine.start == best.start && a > best.adapter)))));
        if (better)
            best = mine;
    }
    return best;
}

} // namespace runsim
