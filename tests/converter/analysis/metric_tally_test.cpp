#include "converter/analysis/metric_tally.h"

#include "common/partial_files.h"
#include "converter/analysis/cigar.h"
#include "converter/analysis/control_aligner.h"
#include "converter/analysis/controls_manager.h"
#include "converter/analysis/fasta.h"
#include "converter/app/config.h"
#include "converter/pipeline/spot.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/log_capture.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Quals = std::vector<unsigned char>;
constexpr std::int16_t Undefined_control = 0;
constexpr std::int16_t Lqc_control = 1;

std::uint16_t op(int code, int length)
{
    return Cigar::element(code, length);
}

// Lane 1 has samples A and B, lane 2 none; two reads of 6 cycles; one control of each kept
// class (control index 0 Undefined, 1 LQC).
class MetricTallyTest : public ::testing::Test {
protected:
    MetricTallyTest()
    {
        config.num_reads = 2;
        config.cycles = {6, 6};
        config.extra_cycles = {0, 0};
        config.R1_range.read = 1;
        config.R2_range.read = 2;
        config.flowcell_id = "FC1";
        config.lane_samples = {{{1, "A", "AC", "GT"}, {1, "B", "TT", ""}}, {}};
        using Class = std::pair<ControlClass, std::string>;
        fasta.controls.emplace_back("undefined", "", Class{ControlClass::Undefined, "Undefined"}, 4, 12);
        fasta.controls.emplace_back("lqc", "", Class{ControlClass::LQC, "LQC"}, 4, 12);
    }

    // A spot whose first read has these qualities; the second read is empty.
    static Spot make_spot(const Quals& quals, int sample = -1)
    {
        Spot spot;
        spot.init(2);
        SpotRead& read = spot.reads[0];
        read.seq = TwoBitSeq(std::string(quals.size(), 'A'));
        for (std::size_t i = 0; i < quals.size(); ++i)
            read.seq.qual[i] = quals[i];
        spot.sample = static_cast<std::int16_t>(sample);
        return spot;
    }

    // A control spot: its first read aligned to the LQC control with the cigar.
    static Spot make_control_spot(const Quals& quals, std::vector<std::uint16_t> cigar, int sample = -1)
    {
        Spot spot = make_spot(quals, sample);
        spot.reads[0].control = 1;
        spot.reads[0].control_index = Lqc_control;
        spot.reads[0].cigar.elements = std::move(cigar);
        return spot;
    }

    Config config;
    Fasta fasta{config};
};

std::uint64_t sum_totals(const std::vector<MatchElement>& matches)
{
    std::uint64_t total = 0;
    for (const auto& row : matches)
        total += row.total;
    return total;
}

struct PathCase {
    const char* what;
    bool control;
    int sample;
    bool adapter, far_secondary, partial;
    int sample_row;                   // -1: the control path
    std::vector<std::uint64_t> flags; // sample adapter, control adapter, chimera, partial, walked
    bool no_calls = false;
};

TEST_F(MetricTallyTest, SpotsTakeTheSampleOrTheControlPathAndCountFlags)
{
    config.oscores = true;
    const PathCase cases[] = {
        {"no control, no sample", false, -1, false, false, false, 0, {0, 0, 0, 0, 0}},
        {"no control, sample B, adapter", false, 1, true, false, false, 2, {1, 0, 0, 0, 0}},
        {"control with a sample", true, 0, true, true, true, 1, {1, 0, 0, 0, 0}},
        {"control", true, -1, false, false, false, -1, {0, 0, 0, 0, 3}},
        {"chimera and partial", true, -1, false, true, true, -1, {0, 0, 1, 0, 0}},
        {"partial and adapter", true, -1, true, false, true, -1, {0, 1, 0, 0, 0}},
        {"partial", true, -1, false, false, true, -1, {0, 0, 0, 1, 0}},
        {"no calls only", false, -1, false, false, false, 0, {0, 0, 0, 0, 0}, true},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.what);
        const bool no_calls = c.no_calls;
        const Quals quals = no_calls ? Quals{0, 0, 0} : Quals{30, 0, 20, 30, 0, 0};
        Spot spot = c.control ? make_control_spot(quals, {op(Cigar::M, 3)}, c.sample) : make_spot(quals, c.sample);
        spot.reads[0].adapter = c.adapter;
        spot.reads[0].far_secondary = c.far_secondary;
        spot.reads[0].partial = c.partial;
        MetricTally tally(config, fasta, 1, 1);
        tally.tally_spot(spot);

        // Called length 3 (qualities 30, 20, 30), or 0 without calls.
        const std::size_t length = no_calls ? 0 : 3;
        const std::size_t row = c.sample_row >= 0 ? static_cast<std::size_t>(c.sample_row) : 1;
        const bool sampled = c.sample_row >= 0;
        EXPECT_EQ(tally.reads, 1u);
        EXPECT_EQ(tally.sample_reads, sampled ? 1u : 0u);
        EXPECT_EQ(tally.control_reads, sampled ? 0u : 1u);
        EXPECT_EQ(sampled ? tally.sample_bases_by_sample[row] : tally.control_bases_by_class[row], length);
        EXPECT_EQ(sampled ? tally.sample_length_hist_by_sample[row][length]
                          : tally.control_length_hist_by_class[row][length],
                  1u);
        const auto& quality =
            sampled ? tally.sample_quality_hist_by_sample[row] : tally.control_quality_hist_by_class[row];
        EXPECT_EQ(quality[30], no_calls ? 0u : 2u);
        EXPECT_EQ(quality[20], no_calls ? 0u : 1u);
        EXPECT_EQ((std::vector<std::uint64_t>{tally.sample_adapter_reads, tally.control_adapter_reads,
                                              tally.control_chimera_reads, tally.control_partial_reads,
                                              sum_totals(tally.control_matches_by_class[1])}),
                  c.flags);
    }
}

struct WalkCase {
    const char* what;
    std::vector<std::uint16_t> cigar;
    int cigar_start;
    Quals quals;
    std::vector<std::tuple<int, std::uint64_t, std::uint64_t>> expected; // quality, match, total
    bool own_flag = true;
    bool oscores = true;
};

TEST_F(MetricTallyTest, ObservedScoreWalk)
{
    using C = Cigar;
    const WalkCase cases[] = {
        {"3M1I2M", {op(C::M, 3), op(C::I, 1), op(C::M, 2)}, 0, Quals(6, 30), {{30, 5, 6}}},
        {"D does not move",
         {op(C::M, 2), op(C::D, 1), op(C::M, 2)},
         0,
         {10, 20, 30, 40},
         {{10, 1, 1}, {20, 1, 1}, {30, 1, 1}, {40, 1, 1}}},
        {"N moves without counting",
         {op(C::M, 1), op(C::N, 1), op(C::M, 1)},
         0,
         {10, 20, 30},
         {{10, 1, 1}, {30, 1, 1}}},
        {"X and I count totals only",
         {op(C::X, 1), op(C::I, 1), op(C::M, 0), op(C::M, 1)},
         0,
         {10, 20, 30},
         {{10, 0, 1}, {20, 0, 1}, {30, 1, 1}}},
        {"no-calls count at quality 0", {op(C::M, 2)}, 0, {0, 30}, {{0, 1, 1}, {30, 1, 1}}},
        {"starts at cigar_start", {op(C::M, 2)}, 2, {10, 10, 30, 30}, {{30, 2, 2}}},
        {"stops at the read's end", {op(C::M, 5), op(C::I, 3)}, 2, {10, 10, 30, 30}, {{30, 2, 2}}},
        {"another read aligned", {op(C::M, 2)}, 0, {10, 10}, {}, false},
        {"without oscores", {op(C::M, 2)}, 0, {10, 10}, {}, true, false},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.what);
        config.oscores = c.oscores;
        Spot spot = make_control_spot(c.quals, c.cigar);
        spot.reads[0].cigar_start = c.cigar_start;
        if (!c.own_flag) {
            spot.reads[0].control = 0;
            spot.reads[1].control = 1;
        }
        MetricTally tally(config, fasta, 1, 1);
        tally.tally_spot(spot);

        std::vector<std::tuple<int, std::uint64_t, std::uint64_t>> counted;
        for (std::size_t q = 0; q < tally.control_matches.size(); ++q) {
            const MatchElement& row = tally.control_matches[q];
            if (row.total != 0)
                counted.emplace_back(static_cast<int>(q), row.match, row.total);
            EXPECT_EQ(tally.control_matches_by_class[1][q].match, row.match);
            EXPECT_EQ(tally.control_matches_by_class[1][q].total, row.total);
        }
        EXPECT_EQ(counted, c.expected);
        EXPECT_EQ(sum_totals(tally.control_matches_by_class[0]), 0u);
    }
}

// The walk against a brute-force pairing: the alignment of a window ends at the window's last
// read base (and last reference base), so each element, taken from the last one back, covers
// the bases just before those of the elements after it. Reads cut from a control with up to
// three edits, some beginning before it, with random qualities.
TEST(ObservedScoreWalkTest, PairsEachElementWithTheBasesItCovers)
{
    std::mt19937 random(17);
    const auto bases = [&](std::size_t n) {
        std::string text;
        for (std::size_t i = 0; i < n; ++i)
            text += "ACGT"[random() % 4];
        return text;
    };
    constexpr int Length = 100;
    Config config;
    config.num_reads = 1;
    config.cycles = {Length};
    config.extra_cycles = {0};
    config.lane_samples = {{}};
    config.oscores = true;
    Fasta fasta(config);
    fasta.controls.emplace_back("ctl", bases(400), std::pair{ControlClass::Undefined, std::string("Undefined")},
                                config.minimizer_window, config.k);
    const std::string& control = fasta.controls[0].sequence;

    std::vector<Spot> spots(3000);
    for (Spot& spot : spots) {
        const int offset = static_cast<int>(random() % 300) - 20;
        std::string read = offset < 0 ? bases(static_cast<std::size_t>(-offset)) + control.substr(0, Length + 10)
                                      : control.substr(static_cast<std::size_t>(offset), Length + 10);
        for (int edits = static_cast<int>(random() % 4); edits > 0; --edits) {
            const std::size_t at = 5 + random() % (Length - 10);
            switch (random() % 3) {
            case 0:
                read[at] = read[at] == 'A' ? 'C' : 'A';
                break;
            case 1:
                read.insert(at, bases(1));
                break;
            default:
                read.erase(at, 1);
                break;
            }
        }
        std::vector<unsigned char> calls;
        for (int i = 0; i < Length; ++i)
            calls.push_back(static_cast<unsigned char>((2 + random() % 40) * 4 + std::string("ACGT").find(read[i])));
        spot.init(1);
        spot.reads[0].init(Length, calls.data(), 0, 0);
    }
    ControlsManager(config, fasta).process_spots(spots);

    MetricTally tally(config, fasta, 1, 1);
    std::vector<MatchElement> expected(tally.control_matches.size());
    ControlAligner aligner(Length, config.minimizer_window, config.k, config.minchain, config.maxgap, true);
    int walked = 0;
    int leading_bases_left_out = 0;
    for (const Spot& spot : spots) {
        tally.tally_spot(spot);
        const SpotRead& read = spot.reads[0];
        if (!read.control || read.partial || read.far_secondary)
            continue;
        AlignmentInfo info;
        ASSERT_TRUE(aligner.align(fasta.controls[0].index, read.seq, info));
        std::string read_text;
        std::string ref_text;
        read.seq.seq_to_string(read_text, 0, read.seq.length);
        const TwoBitSeq& reference = *fasta.controls[0].index.refs[static_cast<std::size_t>(info.ref_id)];
        reference.seq_to_string(ref_text, 0, reference.length);
        int p = info.query_start + info.length; // one past the read base of the element
        int r = info.ref_start + info.length;   // one past the reference base
        for (auto e = info.cigar.elements.rbegin(); e != info.cigar.elements.rend(); ++e) {
            const int op = Cigar::op_of(*e);
            for (int i = 0; i < Cigar::length_of(*e); ++i) {
                if (op != Cigar::I)
                    --r;
                if (op == Cigar::D)
                    continue;
                MatchElement& row = expected[read.seq.qual[static_cast<std::size_t>(--p)]];
                if (op == Cigar::M || op == Cigar::X) {
                    ASSERT_EQ(op == Cigar::M,
                              read_text[static_cast<std::size_t>(p)] == ref_text[static_cast<std::size_t>(r)]);
                }
                row.match += op == Cigar::M ? 1 : 0;
                row.total += op == Cigar::N ? 0 : 1;
            }
        }
        ++walked;
        leading_bases_left_out += p > info.query_start ? 1 : 0;
    }
    EXPECT_GT(walked, 2000);
    EXPECT_GT(leading_bases_left_out, 20);
    for (std::size_t q = 0; q < expected.size(); ++q) {
        SCOPED_TRACE("quality " + std::to_string(q));
        EXPECT_EQ(tally.control_matches[q].match, expected[q].match);
        EXPECT_EQ(tally.control_matches[q].total, expected[q].total);
    }
}

TEST_F(MetricTallyTest, OutOfRangeQualitiesAndLengthsCountInTheTopRows)
{
    config.oscores = true;
    config.extra_cycles = {2, 0}; // reads of at most 4 bases
    MetricTally tally(config, fasta, 1, 1);
    ASSERT_EQ(tally.sample_length_hist.size(), 5u);

    tally.tally_spot(make_spot(Quals(8, 100)));
    tally.tally_spot(make_control_spot(Quals(8, 100), {op(Cigar::M, 8)}));
    EXPECT_EQ(tally.sample_length_hist[4], 1u);
    EXPECT_EQ(tally.sample_quality_hist[93], 8u);
    EXPECT_EQ(tally.control_length_hist_by_class[1][4], 1u);
    EXPECT_EQ(tally.control_quality_hist[93], 8u);
    EXPECT_EQ(tally.control_matches[93].match, 8u);

    // A sample position the lane does not have counts as undetermined.
    tally.tally_spot(make_spot({30}, 5));
    EXPECT_EQ(tally.sample_reads_by_sample[0], 2u);
}

TEST_F(MetricTallyTest, LongReadsAreCountedByQualityLikeShortOnes)
{
    // Reads of 64 bases or more are counted from a table of their qualities, unless a quality
    // of 64 or more sends them base by base; either way each called base counts once.
    MetricTally tally(config, fasta, 1, 1);
    Quals counted(100);
    Quals high(100);
    for (std::size_t i = 0; i < counted.size(); ++i) {
        counted[i] = static_cast<unsigned char>(i % 50); // two no-calls
        high[i] = static_cast<unsigned char>(i % 70);    // two no-calls, qualities up to 69
    }
    tally.tally_spot(make_spot(counted, 0));
    tally.tally_spot(make_spot(high, 0));
    EXPECT_EQ(tally.sample_bases, 196u);
    std::vector<std::uint64_t> expected(tally.sample_quality_hist.size());
    for (std::size_t i = 0; i < counted.size(); ++i)
        for (const unsigned char q : {counted[i], high[i]})
            expected[q] += q != 0 ? 1 : 0;
    EXPECT_EQ(tally.sample_quality_hist, expected);
    EXPECT_EQ(tally.sample_quality_hist_by_sample[1], expected);
}

std::vector<std::uint64_t> all_counts(const MetricTally& t)
{
    std::vector<std::uint64_t> out = {t.reads,
                                      t.control_reads,
                                      t.control_bases,
                                      t.sample_reads,
                                      t.sample_bases,
                                      t.control_adapter_reads,
                                      t.control_chimera_reads,
                                      t.control_partial_reads,
                                      t.sample_adapter_reads};
    for (const auto* v :
         {&t.sample_reads_by_sample, &t.sample_bases_by_sample, &t.control_reads_by_class, &t.control_bases_by_class,
          &t.control_length_hist, &t.control_quality_hist, &t.sample_length_hist, &t.sample_quality_hist})
        out.insert(out.end(), v->begin(), v->end());
    for (const auto* table : {&t.sample_length_hist_by_sample, &t.sample_quality_hist_by_sample,
                              &t.control_length_hist_by_class, &t.control_quality_hist_by_class})
        for (const auto& v : *table)
            out.insert(out.end(), v.begin(), v.end());
    const auto add_matches = [&out](const std::vector<MatchElement>& matches) {
        for (const auto& row : matches) {
            out.push_back(row.match);
            out.push_back(row.total);
        }
    };
    add_matches(t.control_matches);
    for (const auto& matches : t.control_matches_by_class)
        add_matches(matches);
    return out;
}

TEST_F(MetricTallyTest, SumMetricsAddsEveryCount)
{
    config.oscores = true;
    std::vector<Spot> spots = {make_spot({30, 30, 20}, 0), make_spot({10, 0}, 1), make_spot({20}),
                               make_control_spot({30, 30, 30}, {op(Cigar::M, 2), op(Cigar::X, 1)}),
                               make_control_spot({40, 20}, {op(Cigar::M, 2)})};
    spots[1].reads[0].adapter = 1;
    spots[3].reads[0].partial = 1;
    spots[4].reads[0].control_index = Undefined_control;
    Spot flagged = make_control_spot({30}, {});
    flagged.reads[0].adapter = 1;
    flagged.reads[0].far_secondary = 1;
    spots.push_back(flagged);
    spots.push_back(make_control_spot({25, 25}, {op(Cigar::M, 2)}));

    MetricTally all(config, fasta, 1, 1), first(config, fasta, 1, 1), second(config, fasta, 1, 1);
    for (std::size_t i = 0; i < spots.size(); ++i) {
        all.tally_spot(spots[i]);
        (i % 2 == 0 ? first : second).tally_spot(spots[i]);
    }
    MetricTally total(config, fasta, 1, 1);
    total.sum_metrics(second);
    total.sum_metrics(first);
    EXPECT_EQ(all_counts(total), all_counts(all));
    EXPECT_EQ(total.sample_reads, 3u);
    EXPECT_EQ(total.control_reads, 4u);
}

// The files of lane 1 and read 1: a read of sample A (4 bases of quality 30), an
// undetermined read (2 bases of 20), and a read of the LQC control (4 bases of 30, all
// matching).
class MetricFilesTest : public MetricTallyTest {
protected:
    MetricFilesTest()
    {
        config.oscores = true;
        tally.tally_spot(make_spot({30, 30, 30, 30}, 0));
        tally.tally_spot(make_spot({20, 20, 0, 0}));
        tally.tally_spot(make_control_spot({30, 30, 30, 30}, {op(Cigar::M, 4)}));
    }

    std::string read(const std::string& name) const { return test_support::read_whole_file(dir.path() / name); }

    test_support::TempDir dir;
    MetricTally tally{config, fasta, 1, 1};
};

TEST_F(MetricFilesTest, SampleListAndTable)
{
    bool list_written = false;
    bool table_written = false;
    tally.write_library(dir.path() / "list.csv", dir.path() / "table.csv", list_written, table_written);
    EXPECT_TRUE(list_written);
    EXPECT_TRUE(table_written);
    // Rows: total, A, B (no reads), Undetermined; "P25 Read Length" as an integer.
    const std::string list = read("list.csv");
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 1 + 8 * 4);
    EXPECT_TRUE(list.starts_with("Metric,Value\n"
                                 "L01 R1 Sample Library Reads Millions,0.000002\n"
                                 "L01 R1 Sample Library Reads Millions A,0.000001\n"
                                 "L01 R1 Sample Library Reads Millions B,0.000000\n"
                                 "L01 R1 Sample Library Reads Millions Undetermined,0.000001\n"));
    EXPECT_NE(list.find("L01 R1 Sample Library P25 Read Length,2\n"
                        "L01 R1 Sample Library P25 Read Length A,4\n"
                        "L01 R1 Sample Library P25 Read Length B,0\n"
                        "L01 R1 Sample Library P25 Read Length Undetermined,2\n"
                        "L01 R1 Sample Library 80% Min Q,20.000000\n"),
              std::string::npos);
    EXPECT_TRUE(list.ends_with("L01 R1 Sample Library 90% Q,28.000000\n"
                               "L01 R1 Sample Library 90% Q A,30.000000\n"
                               "L01 R1 Sample Library 90% Q B,0.000000\n"
                               "L01 R1 Sample Library 90% Q Undetermined,20.000000\n"
                               "L01 R1 Sample Library Reads Fraction,0.666667\n"
                               "L01 R1 Sample Library Reads Fraction A,0.333333\n"
                               "L01 R1 Sample Library Reads Fraction B,0.000000\n"
                               "L01 R1 Sample Library Reads Fraction Undetermined,0.333333\n"));
    const std::string m = "L01 R1 Sample Library ";
    EXPECT_EQ(read("table.csv"), "SampleID,Index," + m + "Reads Millions," + m + "Gb," + m + "P25 Read Length," + m +
                                     "80% Min Q," + m + "90% Min Q," + m + "80% Q," + m + "90% Q," + m +
                                     "Reads Fraction\n"
                                     "A,AC:GT,0.000001,0.000000,4,30.000000,30.000000,30.000000,30.000000,0.333333\n"
                                     "B,TT:,0.000000,0.000000,0,0.000000,0.000000,0.000000,0.000000,0.000000\n"
                                     "Undetermined,:,0.000001,0.000000,2,20.000000,20.000000,20.000000,20.000000,"
                                     "0.333333\n");
}

TEST_F(MetricFilesTest, LaneWithoutSamplesWritesNoTable)
{
    MetricTally lane2(config, fasta, 2, 1);
    lane2.tally_spot(make_spot({20, 20}));
    bool list_written = false;
    bool table_written = true;
    lane2.write_library(dir.path() / "list.csv", dir.path() / "table.csv", list_written, table_written);
    EXPECT_TRUE(list_written);
    EXPECT_FALSE(table_written);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "table.csv"));
    const std::string text = read("list.csv");
    EXPECT_TRUE(text.starts_with("Metric,Value\n"
                                 "L02 R1 Sample Library Reads Millions,0.000001\n"
                                 "L02 R1 Sample Library Reads Millions Undetermined,0.000001\n"
                                 "L02 R1 Sample Library Gb,"))
        << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 8 * 2);
}

TEST_F(MetricFilesTest, ControlList)
{
    ASSERT_TRUE(tally.write_control(dir.path() / "control.csv"));
    const std::string with_o = read("control.csv");
    EXPECT_EQ(std::count(with_o.begin(), with_o.end(), '\n'), 1 + 10 * 3);
    EXPECT_NE(with_o.find("Metric,Value\n"
                          "L01 R1 Control Library Reads Millions Total,0.000001\n"
                          "L01 R1 Control Library Reads Millions LQC,0.000001\n"
                          "L01 R1 Control Library Reads Millions Undefined,0.000000\n"
                          "L01 R1 Control Library Gb Total,0.000000\n"),
              std::string::npos);
    EXPECT_NE(with_o.find("L01 R1 Control Library P25 Read Length Total,4\n"
                          "L01 R1 Control Library P25 Read Length LQC,4\n"
                          "L01 R1 Control Library P25 Read Length Undefined,0\n"),
              std::string::npos);
    EXPECT_TRUE(with_o.ends_with("L01 R1 Control Library Reads Fraction Total,0.333333\n"
                                 "L01 R1 Control Library Reads Fraction LQC,0.333333\n"
                                 "L01 R1 Control Library Reads Fraction Undefined,0.000000\n"
                                 "L01 R1 Control Library 80% O Total,70.000000\n"
                                 "L01 R1 Control Library 80% O LQC,70.000000\n"
                                 "L01 R1 Control Library 80% O Undefined,-0.000000\n"
                                 "L01 R1 Control Library 90% O Total,70.000000\n"
                                 "L01 R1 Control Library 90% O LQC,70.000000\n"
                                 "L01 R1 Control Library 90% O Undefined,-0.000000\n"));

    config.oscores = false;
    ASSERT_TRUE(tally.write_control(dir.path() / "control.csv"));
    const std::string without_o = read("control.csv");
    EXPECT_EQ(std::count(without_o.begin(), without_o.end(), '\n'), 1 + 8 * 3);
    EXPECT_TRUE(without_o.ends_with("L01 R1 Control Library Reads Fraction Undefined,0.000000\n"));

    // Without LQC controls only the Total and Undefined rows remain.
    Fasta no_lqc(config);
    const MetricTally plain(config, no_lqc, 1, 1);
    ASSERT_TRUE(plain.write_control(dir.path() / "plain.csv"));
    const std::string text = read("plain.csv");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 8 * 2);
    EXPECT_EQ(text.find("LQC"), std::string::npos);
}

struct FailureCase {
    const char* what;
    std::function<bool(const MetricTally&, const std::filesystem::path&)> write;
    const char* open_message; // nullptr: no message
};

TEST_F(MetricFilesTest, FilesThatCannotBeWrittenAreReported)
{
    const std::vector<std::vector<MetricElement>> rows(3, std::vector<MetricElement>(8));
    const std::vector<MetricElement> total(8);
    const FailureCase cases[] = {
        {"control", [](const MetricTally& t, const auto& path) { return t.write_control(path); },
         "[ERROR] ERROR: Cannot open metrics file for output: "},
        {"list", [&](const MetricTally& t, const auto& path) { return t.write_library_as_list(path, rows, total); },
         "[ERROR] Cannot open metrics file for output: "},
        {"table", [&](const MetricTally& t, const auto& path) { return t.write_library_as_table(path, rows, total); },
         nullptr},
    };
    const std::filesystem::path missing = dir.path() / "no such folder" / "metrics.csv";
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        {
            test_support::LogCapture log;
            EXPECT_FALSE(c.write(tally, missing));
            const auto expected = c.open_message ? std::vector<std::string>{c.open_message + missing.string()}
                                                 : std::vector<std::string>{};
            EXPECT_EQ(log.lines(), expected);
        }
        {
            // Written under its temporary name: a failed write leaves nothing under the final one.
            const std::filesystem::path full = dir.path() / "full.csv";
            test_support::LogCapture log;
            {
                test_support::FileSizeLimit disk_full(0);
                EXPECT_FALSE(c.write(tally, full));
            }
            EXPECT_EQ(log.lines(), std::vector<std::string>{"[ERROR] Cannot write metrics file: " + full.string()});
            EXPECT_FALSE(std::filesystem::exists(full));
        }
    }
}

TEST_F(MetricTallyTest, LogLines)
{
    MetricTally tally(config, fasta, 2, 2);
    tally.control_adapter_reads = 1;
    tally.control_chimera_reads = 2;
    tally.control_partial_reads = 3;
    tally.sample_adapter_reads = 12345678901ULL;
    test_support::LogCapture log;
    tally.write_log();
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[INFO] L02 Read2 Control Library Adapter Reads: 1",
                                                     "[INFO] L02 Read2 Control Library Chimera Reads: 2",
                                                     "[INFO] L02 Read2 Control Library Partial Reads: 3",
                                                     "[INFO] L02 Read2 Sample Library Adapter Reads: 12345678901"}));
}

} // namespace
