// Adapter search and trimming: the error bounds of whole and partial matches, the choice among
// candidates, the read binding of R1/R2 adapters, the --oscores gate, and on a generated run
// that exactly the planted adapters are cut, where they begin.
#include "converter/analysis/adapter_aligner.h"
#include "converter/analysis/adapter_finder.h"

#include "converter/analysis/fasta.h"
#include "converter/analysis/matcher_table.h"
#include "converter/app/config.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/runsim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

const std::string Adapter = "GACTTCAGGTCAGCTAAGCTGTACCTTAGGCAC"; // 33 bases
// Background bases that hold no adapter match of their own.
const std::string Background = "TTGCAATGTCCATTGAGTCACTACGTATCCGAATTCGTTGAGCATCCGATTGCAGTTCAACTGTACGCAT";

std::string background(std::size_t n)
{
    return Background.substr(0, n);
}

// The search patterns of an index's adapters at the default error rate.
AdapterPatterns patterns(const Index& index)
{
    return AdapterPatterns(index, 0.1);
}

// Random picks, and random substitutions, insertions and deletions of bases.
struct RandomEdits {
    std::size_t pick(std::size_t n) { return static_cast<std::size_t>(random() % n); }
    std::string mutate(std::string bases, int edits)
    {
        for (int e = 0; e < edits && !bases.empty(); ++e) {
            const std::size_t at = pick(bases.size());
            switch (pick(3)) {
            case 0:
                bases[at] = "ACGT"[(std::string("ACGT").find(bases[at]) + 1 + pick(3)) % 4];
                break;
            case 1:
                bases.insert(at, 1, "ACGT"[pick(4)]);
                break;
            default:
                bases.erase(at, 1);
            }
        }
        return bases;
    }
    std::string bases(std::size_t n)
    {
        std::string text(n, 'A');
        for (char& c : text)
            c = "ACGT"[pick(4)];
        return text;
    }

    std::mt19937 random;
};

// Substitutes the bases at the given positions.
std::string substitute(std::string bases, std::initializer_list<std::size_t> positions)
{
    for (std::size_t p : positions)
        bases[p] = bases[p] == 'A' ? 'C' : 'A';
    return bases;
}

class AdapterAlignerTest : public ::testing::Test {
protected:
    AdapterAlignerTest() { index_.load(Adapter, false); }

    bool align(const std::string& read) { return aligner_.align(patterns(index_), TwoBitSeq(read), info_); }

    Index index_{255, 4, 12};
    AdapterAligner aligner_{151, 0.1, 3};
    AlignmentInfo info_;
};

TEST_F(AdapterAlignerTest, BackgroundAloneHoldsNoAdapter)
{
    EXPECT_FALSE(align(background(70)));
    EXPECT_EQ(info_.length, 0);
    EXPECT_FALSE(align(""));
}

TEST_F(AdapterAlignerTest, PrefixAtTheReadsEndNeedsThreeBasesAndOneEditPerTen)
{
    ASSERT_TRUE(align(background(40) + Adapter.substr(0, 3)));
    EXPECT_EQ(info_.ref_start, 40);
    EXPECT_EQ(info_.length, 3);
    EXPECT_EQ(info_.distance, 0);
    EXPECT_FALSE(align(background(40) + Adapter.substr(0, 2)));

    ASSERT_TRUE(align(background(40) + substitute(Adapter.substr(0, 15), {7})));
    EXPECT_EQ(info_.ref_start, 40);
    EXPECT_EQ(info_.length, 15);
    EXPECT_EQ(info_.distance, 1);
    EXPECT_FALSE(align(background(40) + substitute(Adapter.substr(0, 9), {4})));
}

TEST_F(AdapterAlignerTest, WholeAdapterInsideTheReadAllowsFloorOfATenthInEdits)
{
    ASSERT_TRUE(align(background(40) + substitute(Adapter, {3, 14, 27}) + background(20)));
    EXPECT_EQ(info_.ref_start, 40);
    EXPECT_EQ(info_.query_start, 0);
    EXPECT_EQ(info_.length, 33);
    EXPECT_EQ(info_.distance, 3);
    EXPECT_EQ(info_.ref_id, 0);
    EXPECT_FALSE(align(background(40) + substitute(Adapter, {3, 14, 21, 27}) + background(20)));
}

TEST_F(AdapterAlignerTest, EditsAnywhereWithinTheBoundStillMatch)
{
    // Most reads are turned away by a quick test before the full search; no read whose
    // adapter (whole inside it, or a prefix at its end) lies within the edit bound may be.
    RandomEdits random{std::mt19937(7)};
    const auto pick = [&](std::size_t n) { return random.pick(n); };
    const auto mutate = [&](const std::string& bases, int edits) { return random.mutate(bases, edits); };
    for (int trial = 0; trial < 3000; ++trial) {
        const int edits = static_cast<int>(pick(4)); // floor(33 / 10) = 3 at most
        const std::string whole = background(pick(60)) + mutate(Adapter, edits) + background(pick(40));
        EXPECT_TRUE(align(whole)) << whole;
        // Prefixes of 10 to 32 bases allow one edit.
        const std::size_t prefix = 10 + pick(23);
        const std::string end = background(20 + pick(50)) + mutate(Adapter.substr(0, prefix), 1);
        EXPECT_TRUE(align(end)) << end;
        // A no-call inside the adapter costs one edit, like a substitution.
        const std::size_t before = pick(60);
        const std::string adapter = mutate(Adapter, std::min(edits, 2));
        TwoBitSeq called(background(before) + adapter + background(pick(40)));
        called.qual[before + pick(adapter.size())] = 0;
        EXPECT_TRUE(aligner_.align(patterns(index_), called, info_)) << before << " " << adapter;
    }
}

// The search as the table walk it stands for: each adapter's semi-global table, scanned in
// its last column and last row for candidates within the bounds, and each adapter's best
// candidate (a stable sort: the first of equals).
std::vector<AlignmentInfo> table_walk(const std::vector<std::string>& adapters, const std::string& read, double rate,
                                      int min_overlap)
{
    using Table = MatcherTable<std::uint16_t>;
    Table table(300, 300);
    const int n = static_cast<int>(read.size());
    std::vector<AlignmentInfo> alignments(adapters.size());
    for (std::size_t r = 0; r < adapters.size(); ++r) {
        const int m = static_cast<int>(adapters[r].size());
        std::vector<MatchCandidate> found;
        const auto add = [&](int i, int j, int length, int bound) {
            const int d = table.get_distance(std::uint32_t(i + 1), std::uint32_t(j + 1));
            MatchCandidate c{0, 0, length, d};
            int steps[2];
            table.backtrack_levenshtein(i, j, c.read_start, c.adapter_start, steps[0], steps[1]);
            if (d <= bound)
                found.push_back(c);
        };
        if (n >= 1 && m >= 1) {
            table.populate_levenshtein(read.data(), adapters[r].data(), std::uint32_t(n), std::uint32_t(m),
                                       Table::Semi_global);
            const int s = std::min(m, n);
            for (int i = std::max(0, s - int(s * rate) - 1); i < n; ++i)
                add(i, m - 1, std::min(m, i + 1), int(s * rate));
            for (int length = min_overlap; length < m; ++length)
                add(n - 1, length - 1, std::min(n, length), int(length * rate));
        }
        std::stable_sort(found.begin(), found.end(), compare_adapter_candidates);
        if (found.empty())
            continue;
        alignments[r].ref_id = int(r);
        alignments[r].query_start = found[0].adapter_start;
        alignments[r].ref_start = found[0].read_start;
        alignments[r].length = found[0].length;
        alignments[r].distance = found[0].distance;
    }
    return alignments;
}

// Every field of an alignment.
auto fields(const AlignmentInfo& info)
{
    return std::tuple(info.ref_id, info.query_start, info.ref_start, info.length, info.distance, info.coverage,
                      info.far_secondary, info.cigar.size(), info.chains.size(), info.hits.size());
}

TEST(AdapterAlignerDifferentialTest, FastSearchEqualsTheTableWalkOnRandomReads)
{
    // 12 to 64 bases: all searched on bit vectors, with a piece filter or, where the pieces
    // would be too short, without; the reads hold pieces of them, edited, and no-calls.
    const std::vector<std::string> adapters = {Adapter.substr(5, 12), "TTGACCGTAGCTAGGATCCATG", Adapter,
                                               Adapter + "ACGGTCATTGCAAGCTTGAACGTCCATGATC"};
    Index index{255, 4, 12};
    for (const std::string& adapter : adapters)
        index.load(adapter, false);
    RandomEdits random{std::mt19937(23)};
    int matched = 0;
    for (const auto& [rate, min_overlap] : {std::pair{0.1, 3}, {0.2, 1}, {0.0, 3}}) {
        const AdapterPatterns patterns(index, rate);
        AdapterAligner aligner(300, rate, min_overlap);
        AlignmentInfo info;
        for (int trial = 0; trial < 3000; ++trial) {
            std::string bases = random.bases(random.pick(60));
            for (std::size_t piece = random.pick(4); piece > 0; --piece) {
                const std::string& adapter = adapters[random.pick(adapters.size())];
                const std::size_t start = random.pick(4) == 0 ? random.pick(adapter.size()) : 0;
                const std::string cut = adapter.substr(start, 1 + random.pick(adapter.size() - start));
                bases += random.mutate(cut, int(random.pick(3 + cut.size() / 8))) + random.bases(random.pick(30));
            }
            bases.resize(std::min<std::size_t>(bases.size(), 290));
            TwoBitSeq read(bases);
            for (std::size_t no_calls = random.pick(3); no_calls > 0 && !bases.empty(); --no_calls)
                read.qual[random.pick(bases.size())] = 0;
            std::string text;
            read.seq_to_string(text);

            const bool found = aligner.align(patterns, read, info);
            std::vector<AlignmentInfo> expected = table_walk(adapters, text, rate, min_overlap);
            for (std::size_t r = 0; r < adapters.size(); ++r)
                ASSERT_EQ(fields(aligner.alignments[r]), fields(expected[r])) << text << " rate " << rate;
            std::stable_sort(expected.begin(), expected.end(), compare_adapter_alignments);
            ASSERT_EQ(fields(info), fields(expected[0])) << text << " rate " << rate;
            ASSERT_EQ(found, expected[0].length > 0);
            matched += found ? 1 : 0;
        }
    }
    // Both kinds of read are common.
    EXPECT_GT(matched, 2000);
    EXPECT_LT(matched, 7000);
}

TEST_F(AdapterAlignerTest, EqualMatchesGoToTheLaterStart)
{
    ASSERT_TRUE(align(background(10) + Adapter + background(20) + Adapter + background(5)));
    EXPECT_EQ(info_.ref_start, 10 + 33 + 20);

    const MatchCandidate early{10, 0, 20, 1};
    const MatchCandidate late{30, 0, 20, 1};
    EXPECT_TRUE(compare_adapter_candidates(late, early));
    EXPECT_FALSE(compare_adapter_candidates(early, late));
    // More matched bases less edits beats a later start; at equal score fewer edits win.
    EXPECT_TRUE(compare_adapter_candidates(MatchCandidate{5, 0, 33, 2}, late));
    EXPECT_TRUE(compare_adapter_candidates(MatchCandidate{5, 0, 19, 0}, late));
}

TEST_F(AdapterAlignerTest, LongerAdapterMatchWinsAndLaterAdapterBreaksFullTies)
{
    index_.load(Adapter.substr(0, 20), false); // reference 1: a shorter adapter
    ASSERT_TRUE(align(background(30) + Adapter + background(10)));
    EXPECT_EQ(info_.ref_id, 0);
    EXPECT_EQ(info_.length, 33);
    // Only the first 20 bases at the end: both adapters match them alike.
    ASSERT_TRUE(align(background(30) + Adapter.substr(0, 20)));
    EXPECT_EQ(info_.ref_id, 1);
    EXPECT_EQ(info_.ref_start, 30);
}

TEST_F(AdapterAlignerTest, ReadsOf255BasesOrMoreAreSearchedExactly)
{
    std::string read;
    while (read.size() < 280)
        read += background(70);
    read.resize(280);
    AdapterAligner aligner(300, 0.1, 3);
    ASSERT_TRUE(aligner.align(patterns(index_), TwoBitSeq(read + substitute(Adapter.substr(0, 12), {5})), info_));
    EXPECT_EQ(info_.ref_start, 280);
    EXPECT_EQ(info_.distance, 1);
    EXPECT_FALSE(aligner.align(patterns(index_), TwoBitSeq(read), info_));
}

TEST_F(AdapterAlignerTest, AdaptersTooLongForBitVectorsAreSearchedByTableAlike)
{
    // 70 bases: the table path, made on first use; the aligner then serves short ones too.
    const std::string long_adapter = Adapter + "ACGGTCATTGCAAGCTTGAACGTCCATGATCGGTACA";
    Index index{255, 4, 12};
    index.load(long_adapter, false);
    AdapterAligner aligner(151, 0.1, 3);
    ASSERT_TRUE(
        aligner.align(patterns(index), TwoBitSeq(background(40) + substitute(long_adapter, {3, 30, 60})), info_));
    EXPECT_EQ(info_.ref_start, 40);
    EXPECT_EQ(info_.length, 70);
    EXPECT_EQ(info_.distance, 3);
    EXPECT_FALSE(aligner.align(patterns(index), TwoBitSeq(background(70) + background(70)), info_));
    ASSERT_TRUE(aligner.align(patterns(index_), TwoBitSeq(background(50) + Adapter), info_));
    EXPECT_EQ(info_.ref_start, 50);
}

TEST_F(AdapterAlignerTest, AdapterAtTheFirstBaseTrimsTheReadToNothing)
{
    SpotRead read;
    read.seq = TwoBitSeq(Adapter + background(10));
    read.cigar.elements = {Cigar::element(Cigar::M, 43)};
    ASSERT_TRUE(aligner_.align(patterns(index_), read.seq, info_));
    ASSERT_EQ(info_.ref_start, 0);
    AdapterFinder::trim_adapter(read, info_.ref_start);
    EXPECT_EQ(read.seq.length, 0);
    EXPECT_TRUE(read.cigar.empty());
}

// A run of reads R1, I1, I2, R2.
void describe_reads(Config& config, int read_cycles)
{
    config.num_reads = 4;
    config.cycles = {read_cycles, 8, 8, read_cycles};
    config.extra_cycles = {0, 0, 0, 0};
    config.R1_range = {1, 1, read_cycles};
    config.I1_range = {2, 1, 8};
    config.I2_range = {3, 1, 8};
    config.R2_range = {4, 1, read_cycles};
}

TEST(AdapterFinderTest, AdaptersTaggedR1OrR2ServeTheirReadAndReadsThatAreNeither)
{
    EXPECT_EQ(AdapterFinder::adapter_tag("adapter_R1"), 1);
    EXPECT_EQ(AdapterFinder::adapter_tag("adapter_R2"), 2);
    EXPECT_EQ(AdapterFinder::adapter_tag("R2"), 2);
    EXPECT_EQ(AdapterFinder::adapter_tag("2"), 0);
    EXPECT_EQ(AdapterFinder::adapter_tag("adapter_r1"), 0);

    Config config;
    describe_reads(config, 62);
    config.I2_range = {}; // read 3 plays no role: neither R1 nor R2
    Fasta fasta(config);
    fasta.adapters.emplace_back("adapter_R1", "ACGTTGCAACGTAGGCTAGCTA");
    fasta.adapters.emplace_back("adapter_R2", "TTGACCGTAGCTAGGATCCATG");
    fasta.adapters.emplace_back("adapter_X", "GGCATTACGATCGATCAGTTCA");
    const AdapterFinder finder(config, fasta);
    auto names = [&](int read) {
        std::string text;
        for (const auto& ref : finder.indexes[std::size_t(read - 1)].refs) {
            std::string bases;
            ref->seq_to_string(bases);
            for (const FastaAdapter& adapter : fasta.adapters)
                if (adapter.sequence == bases)
                    text += adapter.name + " ";
        }
        return text;
    };
    EXPECT_EQ(names(1), "adapter_R1 adapter_X ");
    EXPECT_EQ(names(2), "adapter_R1 adapter_R2 adapter_X ");
    EXPECT_EQ(names(3), "adapter_R1 adapter_R2 adapter_X ");
    EXPECT_EQ(names(4), "adapter_R2 adapter_X ");

    // The R2 adapter at the end of read 1 is not looked for there; in read 4 it is cut.
    config.trim_adapters = true;
    std::vector<Spot> spots(1);
    spots[0].init(4);
    for (int r : {0, 3})
        spots[0].reads[std::size_t(r)].seq = TwoBitSeq(background(40) + "TTGACCGTAGCTAGGATCCATG");
    finder.process_spots(spots);
    EXPECT_EQ(spots[0].reads[0].adapter, 0);
    EXPECT_EQ(spots[0].reads[0].seq.length, 62);
    EXPECT_EQ(spots[0].reads[3].adapter, 1);
    EXPECT_EQ(spots[0].reads[3].seq.length, 40);
}

TEST(AdapterFinderTest, MoreThanFourReadsIsRejectedAtConstruction)
{
    Config config;
    config.num_reads = 5;
    config.cycles.assign(5, 30);
    config.extra_cycles.assign(5, 0);
    Fasta fasta(config);
    try {
        AdapterFinder finder(config, fasta);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Adapter detection supports at most 4 reads; the run has 5");
    }
}

TEST(AdapterFinderTest, WithOscoresOnlyControlReadsEndingInMismatchesAreSearchedNotTrimmed)
{
    Config config;
    describe_reads(config, 73);
    config.oscores = true;
    Fasta fasta(config);
    fasta.adapters.emplace_back("adapter", Adapter);
    const AdapterFinder finder(config, fasta);

    std::vector<Spot> spots(3);
    for (Spot& spot : spots) {
        spot.init(4);
        SpotRead& read = spot.reads[0];
        read.seq = TwoBitSeq(background(40) + Adapter);
        read.control = 1;
        read.control_index = 0;
    }
    // Ends in 7 matching bases: not searched.
    spots[0].reads[0].cigar.elements = {Cigar::element(Cigar::M, 60), Cigar::element(Cigar::X, 1),
                                        Cigar::element(Cigar::M, 7)};
    // Ends in mismatches: searched, flagged, kept whole.
    spots[1].reads[0].cigar.elements = {Cigar::element(Cigar::M, 60), Cigar::element(Cigar::X, 1),
                                        Cigar::element(Cigar::M, 6)};
    // The same cigar on a spot that is no control: not searched.
    spots[2].reads[0].cigar = spots[1].reads[0].cigar;
    spots[2].reads[0].control = 0;

    finder.process_spots(spots);
    EXPECT_EQ(spots[0].reads[0].adapter, 0);
    EXPECT_EQ(spots[1].reads[0].adapter, 1);
    EXPECT_EQ(spots[1].reads[0].seq.length, 73);
    EXPECT_EQ(spots[1].reads[0].cigar.size(), 3u);
    EXPECT_EQ(spots[2].reads[0].adapter, 0);
}

TEST(AdapterFinderTest, GeneratedRunIsTrimmedExactlyAtThePlantedAdapters)
{
    test_support::TempDir dir("adapter-finder");
    test_support::LogCapture log;
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = dir.path();
    recipe.lanes = 1;
    recipe.keep_calls = true;
    recipe.adapter_fraction = 0.3;
    const runsim::RunTruth run = runsim::generate_run(recipe);

    Config config;
    config.trim_adapters = true;
    config.num_reads = static_cast<int>(run.recipe.layout.reads.size());
    for (const runsim::ReadSpec& read : run.recipe.layout.reads) {
        config.cycles.push_back(read.header_cycles());
        config.extra_cycles.push_back(read.extra_cycles);
    }
    ASSERT_EQ(config.num_reads, 4);
    config.R1_range = {1, 1, 30};
    config.I1_range = {2, 1, 8};
    config.I2_range = {3, 1, 8};
    config.R2_range = {4, 1, 30};
    Fasta fasta(config);
    ASSERT_TRUE(fasta.read(run.controls_file));
    ASSERT_FALSE(fasta.adapters.empty());
    const AdapterFinder finder(config, fasta);

    int planted = 0;
    std::vector<Spot> spots;
    for (const runsim::TileTruth& tile : run.lanes[0]) {
        spots.resize(tile.spots);
        for (std::size_t s = 0; s < spots.size(); ++s) {
            spots[s].init(4);
            for (std::size_t r = 0; r < 4; ++r) {
                const auto cycles = std::size_t(config.cycles[r]);
                spots[s].reads[r].init(config.cycles[r] - config.extra_cycles[r], tile.calls[r].data() + cycles * s, 0,
                                       0);
            }
        }
        std::vector<int> untrimmed;
        for (const Spot& spot : spots)
            for (const SpotRead& read : spot.reads)
                untrimmed.push_back(read.seq.length);
        finder.process_spots(spots);

        for (std::size_t s = 0; s < spots.size(); ++s) {
            for (std::size_t r : {0u, 3u}) {
                const runsim::ReadTruth& truth = tile.spot_truth[s].reads[r];
                const SpotRead& read = spots[s].reads[r];
                if (truth.adapter >= 0) {
                    ++planted;
                    EXPECT_EQ(read.adapter, 1) << "spot " << s << " read " << r + 1;
                    EXPECT_EQ(read.seq.length, truth.adapter_start) << "spot " << s << " read " << r + 1;
                } else {
                    EXPECT_EQ(read.adapter, 0) << "spot " << s << " read " << r + 1;
                    EXPECT_EQ(read.seq.length, untrimmed[4 * s + r]) << "spot " << s << " read " << r + 1;
                }
            }
            for (std::size_t r : {1u, 2u}) // index reads are never searched
                EXPECT_EQ(spots[s].reads[r].seq.length, 8 - tile.spot_truth[s].reads[r].trailing_no_calls);
        }
    }
    EXPECT_GT(planted, 50);
}

} // namespace
