#pragma once
// Helpers of the run generator's tests: temporary folders, independent readers of what the
// generator writes, and small reference versions of the converter's adapter search and sample
// matching, against which the planted truth is checked.
#include "common/block_gzip.h"
#include "tests/support/temp_dir.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <numeric>
#include <set>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace runsim_test {

using TempDir = test_support::TempDir;

inline std::vector<unsigned char> file_bytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string file_text(const std::filesystem::path& path)
{
    const std::vector<unsigned char> bytes = file_bytes(path);
    return {bytes.begin(), bytes.end()};
}

inline std::uint64_t u64_at(const std::vector<unsigned char>& bytes, std::size_t at)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | bytes.at(at + std::size_t(i));
    return value;
}

inline std::uint32_t u32_at(const std::vector<unsigned char>& bytes, std::size_t at)
{
    return std::uint32_t(bytes.at(at)) | std::uint32_t(bytes.at(at + 1)) << 8 | std::uint32_t(bytes.at(at + 2)) << 16 |
           std::uint32_t(bytes.at(at + 3)) << 24;
}

// Inflates a file of block-gzip members member by member, checking every member's layout.
// Returns false (with the reason) on the first problem.
inline bool inflate_block_gzip(const std::vector<unsigned char>& file, std::vector<unsigned char>& out,
                               std::string& problem, std::size_t* member_count = nullptr)
{
    out.clear();
    block_gzip::Decompressor decompressor;
    std::size_t offset = 0;
    std::size_t members = 0;
    while (offset < file.size()) {
        const std::size_t left = file.size() - offset;
        const unsigned char* m = file.data() + offset;
        if (left < 28 || m[0] != 0x1F || m[1] != 0x8B || m[2] != 8 || m[3] != 4 || m[10] != 8 || m[11] != 0 ||
            m[12] != 'B' || m[13] != 'S' || m[14] != 4 || m[15] != 0) {
            problem = "bad member header at " + std::to_string(offset);
            return false;
        }
        const std::size_t size = u32_at(file, offset + 16);
        if (size < 28 || size > left) {
            problem = "bad member size at " + std::to_string(offset);
            return false;
        }
        const std::size_t text = u32_at(file, offset + size - 4);
        const std::size_t at = out.size();
        out.resize(at + text);
        if (!decompressor.inflate(m, size, out.data() + at, text)) {
            problem = "member at " + std::to_string(offset) + " does not inflate";
            return false;
        }
        offset += size;
        ++members;
    }
    if (member_count)
        *member_count = members;
    return true;
}

inline char letter(unsigned char call)
{
    return call < 4 ? 'N' : "ACGT"[call & 3];
}

inline std::string letters(const unsigned char* calls, int first, int length)
{
    std::string text;
    for (int i = 0; i < length; ++i)
        text += letter(calls[first + i]);
    return text;
}

inline std::string reverse_complement(const std::string& text)
{
    std::string out(text.rbegin(), text.rend());
    for (char& c : out)
        c = c == 'A' ? 'T' : c == 'C' ? 'G' : c == 'G' ? 'C' : c == 'T' ? 'A' : 'N';
    return out;
}

inline int hamming(const std::string& a, const std::string& b)
{
    int distance = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        distance += a[i] != b[i];
    return distance + int(std::max(a.size(), b.size()) - std::min(a.size(), b.size()));
}

inline int levenshtein(const std::string& a, const std::string& b)
{
    std::vector<std::vector<int>> d(a.size() + 1, std::vector<int>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = int(i);
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = int(j);
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j)
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
    return d[a.size()][b.size()];
}

// Adapter search with the converter's default settings over the whole read (a full table, no
// shortcuts). Returns the start of the best match in the read, or -1 when there is none; the
// best match's distance goes to *distance.
inline int adapter_search(const std::string& read, const std::string& adapter, int* distance = nullptr,
                          int* matched = nullptr)
{
    const int n = int(read.size());
    const int m = int(adapter.size());
    if (n < 1 || m < 1)
        return -1;
    // d[i][j]: the adapter's first j bases against the read's first i, entering the read anywhere.
    std::vector<std::vector<int>> d(std::size_t(n) + 1, std::vector<int>(std::size_t(m) + 1));
    for (int j = 0; j <= m; ++j)
        d[0][std::size_t(j)] = j;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= m; ++j)
            d[std::size_t(i)][std::size_t(j)] = std::min(
                {d[std::size_t(i - 1)][std::size_t(j - 1)] + (read[std::size_t(i - 1)] != adapter[std::size_t(j - 1)]),
                 d[std::size_t(i - 1)][std::size_t(j)] + 1, d[std::size_t(i)][std::size_t(j - 1)] + 1});
    struct Candidate {
        int length, cost, end;
    };
    std::vector<Candidate> candidates;
    const auto tolerance = [](int length) { return int(std::floor(length * 0.1)); };
    const int s = std::min(m, n);
    for (int i = std::max(0, s - tolerance(s) - 1); i < n; ++i)
        if (d[std::size_t(i + 1)][std::size_t(m)] <= tolerance(s))
            candidates.push_back({std::min(m, i + 1), d[std::size_t(i + 1)][std::size_t(m)], i});
    for (int l = 3; l < m; ++l)
        if (d[std::size_t(n)][std::size_t(l)] <= tolerance(l))
            candidates.push_back({std::min(n, l), d[std::size_t(n)][std::size_t(l)], n - 1});
    if (candidates.empty())
        return -1;
    const Candidate best =
        *std::min_element(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
            if (a.length - a.cost != b.length - b.cost)
                return a.length - a.cost > b.length - b.cost;
            if (a.cost != b.cost)
                return a.cost < b.cost;
            return a.end - a.length > b.end - b.length;
        });
    if (distance)
        *distance = best.cost;
    if (matched)
        *matched = best.length;
    return best.end - best.length + 1; // exact for a match without edits
}

struct IndexSample {
    std::string index, index2;
};

// Sample matching by index reads: exact and one-substitution keys over the letters AGCTN for a
// mismatch setting below 2, edit distances for a setting of 2. match returns the sample's
// position, -1 for none, -2 for several.
class SampleMatcher {
public:
    SampleMatcher(std::vector<IndexSample> samples, int m1, int m2) : samples_(std::move(samples)), m1_(m1), m2_(m2)
    {
        for (const IndexSample& s : samples_) {
            keys1_.push_back(variations(s.index, m1));
            keys2_.push_back(variations(s.index2, m2));
        }
    }

    int match(const std::string& s1, const std::string& s2) const
    {
        std::vector<int> found;
        for (std::size_t i = 0; i < samples_.size(); ++i) {
            const bool near1 = m1_ < 2 ? keys1_[i].count(s1) > 0 : levenshtein(samples_[i].index, s1) <= m1_;
            const bool near2 =
                s2.empty() || (m2_ < 2 ? keys2_[i].count(s2) > 0 : levenshtein(samples_[i].index2, s2) <= m2_);
            if (near1 && near2)
                found.push_back(int(i));
        }
        return found.empty() ? -1 : found.size() == 1 ? found[0] : -2;
    }

private:
    static std::set<std::string> variations(const std::string& text, int mismatches)
    {
        std::set<std::string> out{text};
        if (mismatches == 1)
            for (std::size_t p = 0; p < text.size(); ++p)
                for (const char c : std::string("AGCTN"))
                    if (c != text[p]) {
                        std::string v = text;
                        v[p] = c;
                        out.insert(v);
                    }
        return out;
    }

    std::vector<IndexSample> samples_;
    int m1_, m2_;
    std::vector<std::set<std::string>> keys1_, keys2_;
};

// The adapter the search reports among several: per adapter its best match, then the longest
// match (then fewest edits, latest start, last adapter). Returns the adapter's position in the
// list (-1 for none) and its start.
inline std::pair<int, int> adapter_choice(const std::string& read, const std::vector<std::string>& adapters)
{
    int best = -1, best_start = -1, best_length = 0, best_distance = 0;
    for (std::size_t a = 0; a < adapters.size(); ++a) {
        int distance = 0, length = 0;
        const int start = adapter_search(read, adapters[a], &distance, &length);
        if (start < 0)
            continue;
        if (best < 0 || length > best_length ||
            (length == best_length &&
             (distance < best_distance || (distance == best_distance && start >= best_start)))) {
            best = int(a);
            best_start = start;
            best_length = length;
            best_distance = distance;
        }
    }
    return {best, best_start};
}

// Every regular file under the folder, by path relative to it, with its bytes.
inline std::map<std::string, std::vector<unsigned char>> folder_files(const std::filesystem::path& root)
{
    std::map<std::string, std::vector<unsigned char>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[entry.path().lexically_relative(root).generic_string()] = file_bytes(entry.path());
    return files;
}

} // namespace runsim_test
