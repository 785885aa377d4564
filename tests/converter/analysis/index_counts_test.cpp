// Index text counts: exact counts of texts of every length and letter, added one by one and by
// whole parts, and the highest counts chosen as the metrics files rank them.
#include "converter/analysis/index_counts.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// Texts kept packed in either word count, and unpacked: longer ones, other letters, none.
const std::vector<std::string> Texts = {
    "ACGTACGTNNCCGGTT",       // 16 letters
    "TTTTTTTTTTTTTTTTTTTTT",  // 21
    "AAAAAAAAAAAAAAAAAAAAAC", // 22
    std::string(42, 'N'),     // 42
    std::string(43, 'G'),     // 43
    "ACGX",                   // another letter
    "",                       // no letter at all
    "A",
    "AA",
};

TEST(IndexCounts, CountsEveryTextExactlyAndRanksAsTheTextsSort)
{
    // Counts drawn at random, checked against an ordinary map.
    std::mt19937 random(5);
    std::map<std::string, std::uint64_t> truth;
    IndexCounts counts;
    IndexCounts part;
    for (int i = 0; i < 2000; ++i) {
        const std::string& text = Texts[random() % Texts.size()];
        const std::uint64_t n = random() % 3 + 1;
        truth[text] += n;
        (i % 2 == 0 ? counts : part).add(text, n);
    }
    counts.add(part);
    EXPECT_EQ(counts.sorted(), (std::vector<IndexCounts::Entry>(truth.begin(), truth.end())));
    EXPECT_EQ(counts.size(), Texts.size());

    // Equal counts rank in text order whatever way each text is kept.
    IndexCounts ties;
    for (const std::string& text : Texts)
        ties.add(text, text == "AA" ? 2 : 1);
    std::vector<IndexCounts::Entry> expected = {{"AA", 2}};
    for (const auto& [text, count] : IndexCounts(ties).sorted())
        if (count == 1)
            expected.push_back({text, 1});
    expected.resize(5);
    EXPECT_EQ(ties.top(5), expected);
    EXPECT_EQ(ties.top(100).size(), Texts.size());
    EXPECT_TRUE(ties.top(0).empty());
    EXPECT_EQ((IndexCounts{{"GT", 7}, {"AC", 3}}), (IndexCounts{{"AC", 3}, {"GT", 7}}));
}

} // namespace
