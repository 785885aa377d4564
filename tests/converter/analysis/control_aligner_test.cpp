#include "converter/analysis/control_aligner.h"
#include "converter/analysis/controls_manager.h"

#include "converter/app/config.h"
#include "tests/support/temp_dir.h"
#include "tools/runsim/runsim.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr int W = 4;
constexpr int K = 12;

std::string random_bases(std::mt19937& random, int length)
{
    std::string bases;
    for (int i = 0; i < length; ++i)
        bases += "ACGT"[random() % 4];
    return bases;
}

std::string substitute(std::string bases, int position)
{
    const char b = bases[static_cast<std::size_t>(position)];
    bases[static_cast<std::size_t>(position)] = b == 'A' ? 'C' : 'A';
    return bases;
}

FastaControl make_control(const std::string& sequence)
{
    return FastaControl("ctl", sequence, {ControlClass::Undefined, "Undefined"}, W, K);
}

class ControlAlignerTest : public ::testing::Test {
protected:
    std::mt19937 random{11};
    std::string sequence = random_bases(random, 800);
    FastaControl control = make_control(sequence);
    ControlAligner aligner{151, W, K, 3, 75, false};
    AlignmentInfo info;

    bool align(const std::string& read) { return aligner.align(control.index, TwoBitSeq(read), info); }
};

TEST_F(ControlAlignerTest, ForwardReverseAndEditedReadsAlign)
{
    const std::string cut = sequence.substr(100, 151);
    ASSERT_TRUE(align(substitute(substitute(cut, 40), 90)));
    EXPECT_EQ(info.ref_id, 0);
    EXPECT_EQ(info.query_start, 0);
    EXPECT_EQ(info.ref_start, 100);
    EXPECT_EQ(info.length, 151);
    EXPECT_EQ(info.far_secondary, 0);
    EXPECT_GT(info.coverage, 0.85);
    EXPECT_TRUE(info.cigar.empty()); // no base-level alignment without full_alignment
    EXPECT_EQ(info.distance, -1);

    ASSERT_TRUE(align(reverse_complement(cut)));
    EXPECT_EQ(info.ref_id, 1);
    EXPECT_EQ(info.ref_start, 800 - 251);

    // One base deleted from the read: still on the forward reference.
    std::string deleted = sequence.substr(300, 152);
    deleted.erase(70, 1);
    ASSERT_TRUE(align(deleted));
    EXPECT_EQ(info.ref_id, 0);
    EXPECT_EQ(info.ref_start, 300);

    // A read hanging over the control's start: the window begins inside the read.
    ASSERT_TRUE(align(random_bases(random, 40) + sequence.substr(0, 111)));
    EXPECT_EQ(info.ref_id, 0);
    EXPECT_EQ(info.query_start, 40);
    EXPECT_EQ(info.ref_start, 0);
    EXPECT_EQ(info.length, 111);
    // Over its end: the window is cut there.
    ASSERT_TRUE(align(sequence.substr(760) + random_bases(random, 111)));
    EXPECT_EQ(info.ref_start, 760);
    EXPECT_EQ(info.length, 40);
    EXPECT_LT(info.coverage, 0.6);

    EXPECT_FALSE(align(random_bases(random, 151)));
    EXPECT_EQ(info.length, 0);
}

TEST_F(ControlAlignerTest, MinimumChainLength)
{
    // 23 bases give (23 - 12 + 1) / 4 = 3 minimizers: a chain of exactly minchain hits.
    EXPECT_TRUE(align(sequence.substr(200, 23)));
    // 22 bases give 2.
    EXPECT_FALSE(align(sequence.substr(200, 22)));
    EXPECT_FALSE(align(""));
}

TEST_F(ControlAlignerTest, FullTieGoesToReverseComplement)
{
    // A palindromic control: its reverse complement is itself, so both references tie.
    const std::string half = random_bases(random, 200);
    const FastaControl palindrome = make_control(half + reverse_complement(half));
    ASSERT_TRUE(aligner.align(palindrome.index, TwoBitSeq(half.substr(20, 151)), info));
    EXPECT_EQ(info.ref_id, 1);
    EXPECT_EQ(info.ref_start, 20);
}

TEST_F(ControlAlignerTest, ChimeraSetsFarSecondary)
{
    ControlAligner full(151, W, K, 3, 75, true);
    const std::string chimera = sequence.substr(0, 75) + sequence.substr(500, 76);
    ASSERT_TRUE(full.align(control.index, TwoBitSeq(chimera), info));
    EXPECT_EQ(info.far_secondary, 1);
    ASSERT_GE(info.chains.size(), 2u);
    EXPECT_TRUE(info.cigar.empty()); // no base-level alignment for a chimera

    // Pieces closer than read length + 200 are no chimera.
    ASSERT_TRUE(full.align(control.index, TwoBitSeq(sequence.substr(0, 75) + sequence.substr(300, 76)), info));
    EXPECT_EQ(info.far_secondary, 0);
    EXPECT_FALSE(info.cigar.empty());
}

TEST_F(ControlAlignerTest, FullAlignmentGivesCigar)
{
    ControlAligner full(151, W, K, 3, 75, true);
    ASSERT_TRUE(full.align(control.index, TwoBitSeq(substitute(sequence.substr(100, 151), 20)), info));
    EXPECT_EQ(info.cigar.get_string(), "20M1X130M");
    EXPECT_EQ(info.distance, 1);
    // The next read reuses the aligner.
    ASSERT_TRUE(full.align(control.index, TwoBitSeq(sequence.substr(10, 151)), info));
    EXPECT_EQ(info.cigar.get_string(), "151M");
    EXPECT_EQ(info.distance, 0);

    // Reads of 255 bases or more.
    ControlAligner wide(300, W, K, 3, 75, true);
    ASSERT_TRUE(wide.align(control.index, TwoBitSeq(substitute(sequence.substr(400, 300), 150)), info));
    EXPECT_EQ(info.cigar.get_string(), "150M1X149M");
    EXPECT_EQ(info.distance, 1);
}

TEST_F(ControlAlignerTest, EmptyControlNeverAligns)
{
    const FastaControl empty = make_control("");
    EXPECT_TRUE(empty.index.refs.empty());
    EXPECT_FALSE(aligner.align(empty.index, TwoBitSeq(sequence.substr(0, 151)), info));
    EXPECT_EQ(info.length, 0);
}

TEST_F(ControlAlignerTest, MismatchedIndexEndsProcess)
{
    const FastaControl other = FastaControl("ctl", sequence, {ControlClass::Undefined, "Undefined"}, W, 11);
    EXPECT_EXIT(aligner.align(other.index, TwoBitSeq(sequence.substr(0, 151)), info), ::testing::ExitedWithCode(255),
                "Aligner::align - mismatch in k,w\n");
}

std::vector<unsigned char> calls_of(const std::string& bases)
{
    std::vector<unsigned char> calls;
    for (const char b : bases)
        calls.push_back(static_cast<unsigned char>(30 * 4 + std::string("ACGT").find(b)));
    return calls;
}

TEST(ControlsManagerTest, RecordsLastAligningControl)
{
    std::mt19937 random(5);
    const std::string first = random_bases(random, 400);
    const std::string second = random_bases(random, 400);
    Config config;
    config.num_reads = 1;
    config.cycles = {151};
    config.extra_cycles = {0};
    Fasta fasta(config);
    fasta.controls.push_back(make_control(first));
    fasta.controls.push_back(make_control(second));
    fasta.controls.push_back(make_control(""));
    fasta.controls.push_back(make_control(first));

    const std::vector<std::string> reads = {
        substitute(first.substr(50, 151), 20),             // controls 0 and 3
        second.substr(100, 60) + random_bases(random, 91), // control 1, partial
        random_bases(random, 151),                         // none
        random_bases(random, 20) + first.substr(0, 131),   // controls 0 and 3, from read base 20
    };
    std::vector<Spot> spots(reads.size());
    for (std::size_t s = 0; s < reads.size(); ++s) {
        spots[s].init(1);
        spots[s].reads[0].init(151, calls_of(reads[s]).data(), 1, 2);
    }
    ControlsManager manager(config, fasta);
    manager.process_spots(spots);
    EXPECT_EQ(spots[0].reads[0].control, 1);
    EXPECT_EQ(spots[0].reads[0].control_index, 3);
    EXPECT_EQ(spots[0].reads[0].partial, 0);
    EXPECT_TRUE(spots[0].reads[0].cigar.empty());
    EXPECT_EQ(spots[1].reads[0].control_index, 1);
    EXPECT_EQ(spots[1].reads[0].partial, 1);
    EXPECT_EQ(spots[2].reads[0].control, 0);
    EXPECT_EQ(spots[2].reads[0].control_index, -1);

    config.oscores = true;
    manager.process_spots(spots);
    EXPECT_EQ(spots[0].reads[0].cigar.get_string(), "20M1X130M");
    EXPECT_EQ(spots[0].reads[0].cigar_start, 0);
    // The cigar of a read that begins before the control starts at the read's first aligned
    // base, which the read keeps so that each element meets the quality of the base it covers.
    EXPECT_EQ(spots[3].reads[0].control_index, 3);
    EXPECT_EQ(spots[3].reads[0].cigar_start, 20);
    EXPECT_EQ(spots[3].reads[0].cigar.get_string(), "131M");

    // A slot reused for another tile starts without an alignment.
    spots[3].reads[0].init(151, calls_of(reads[2]).data(), 1, 2);
    EXPECT_EQ(spots[3].reads[0].cigar_start, 0);
    EXPECT_TRUE(spots[3].reads[0].cigar.empty());
}

// Every read planted from a kept control with at most one edit (substitution or no-call) is found
// against the right control; no random read is.
TEST(ControlsManagerTest, FindsPlantedControlReads)
{
    test_support::TempDir dir("quillon-controls");
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = dir.path();
    recipe.lanes = 1;
    recipe.control_fraction = 0.2;
    recipe.max_control_substitutions = 1;
    recipe.keep_calls = true;
    // Reads long enough that a clean cut shares minimizers with the control at any offset.
    recipe.layout = runsim::ReadLayout::standard(100, 8);
    recipe.control_length = 300;
    const runsim::RunTruth run = runsim::generate_run(recipe);

    Config config;
    const auto& layout = run.recipe.layout;
    config.num_reads = static_cast<int>(layout.reads.size());
    for (const auto& read : layout.reads) {
        config.cycles.push_back(read.header_cycles());
        config.extra_cycles.push_back(read.extra_cycles);
    }
    config.I1_range.read = layout.read_of(runsim::ReadRole::I1);
    config.I2_range.read = layout.read_of(runsim::ReadRole::I2);
    Fasta fasta(config);
    ASSERT_TRUE(fasta.read(run.controls_file));
    ControlsManager manager(config, fasta);

    int clean = 0;
    for (const auto& tile : run.lanes[0]) {
        std::vector<Spot> spots(tile.spots);
        for (std::size_t s = 0; s < spots.size(); ++s) {
            spots[s].init(config.num_reads);
            for (int r = 0; r < config.num_reads; ++r) {
                const int cycles = config.cycles[static_cast<std::size_t>(r)];
                spots[s].reads[static_cast<std::size_t>(r)].init(
                    cycles - config.extra_cycles[static_cast<std::size_t>(r)],
                    tile.calls[static_cast<std::size_t>(r)].data() + s * static_cast<std::size_t>(cycles), 0, 0);
            }
        }
        manager.process_spots(spots);
        for (std::size_t s = 0; s < spots.size(); ++s) {
            const runsim::SpotTruth& truth = tile.spot_truth[s];
            for (int r = 1; r <= config.num_reads; ++r) {
                const SpotRead& read = spots[s].reads[static_cast<std::size_t>(r - 1)];
                SCOPED_TRACE("spot " + std::to_string(s) + " read " + std::to_string(r));
                if (r == config.I1_range.read || r == config.I2_range.read) {
                    EXPECT_EQ(read.control, 0);
                    continue;
                }
                const runsim::ReadTruth& read_truth = truth.reads[static_cast<std::size_t>(r - 1)];
                const bool kept =
                    truth.control >= 0 && run.library.controls[static_cast<std::size_t>(truth.control)].kept;
                if (!kept) {
                    EXPECT_EQ(read.control, 0);
                    continue;
                }
                if (read.control) {
                    EXPECT_EQ(read.control_index,
                              run.library.controls[static_cast<std::size_t>(truth.control)].kept_index);
                }
                if (read_truth.control_substitutions + read_truth.no_calls <= 1) {
                    ++clean;
                    EXPECT_EQ(read.control, 1);
                }
            }
        }
    }
    EXPECT_GT(clean, 20);
}

} // namespace
