#include "classic/framework/utilities.h"
#include "tests/classic/classic_state.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

std::string random_bases(std::mt19937& random, std::size_t length)
{
    std::string bases;
    for (std::size_t i = 0; i < length; ++i)
        bases += "ACGT"[random() % 4];
    return bases;
}

std::string reverse_complement_of(std::string bases)
{
    classic::reverse_complement(bases);
    return bases;
}

// A controls file of two controls, a negative control, an adapter, a control of exactly one
// key length and a poly-A control, loaded into a fresh state.
class ControlKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::mt19937 random(7);
        ctl1 = random_bases(random, 100);
        ctl2 = random_bases(random, 100);
        adapter = random_bases(random, 40);
        const std::string path = (dir.path() / "controls.fa").string();
        std::ofstream(path) << ">Ctl1|ControlClass:LQC\r\n"
                            << ctl1.substr(0, 50) << " \r\n\n"
                            << ctl1.substr(50) << "\n>Ctl2\n"
                            << ctl2 << "\n>Neg|ControlClass:ENC\n"
                            << random_bases(random, 100) << "\n>adapter_1\n"
                            << adapter << "\n>Short|ControlClass:XYZ\n"
                            << random_bases(random, 30) << "\n>PolyA|ControlClass:LQC\n"
                            << std::string(40, 'A') << "\n";
        state.fastq.controls_file = path;
        state.fastq.load_controls();
    }

    test_support::TempDir dir;
    ClassicState state;
    std::string ctl1, ctl2, adapter;
};

// The end-to-end runs with a controls file check the classes, the dropped class and the
// adapters; here the FASTA text's blanks and line breaks, and the size of the key tables.
TEST_F(ControlKeys, RecordsAndKeyTables)
{
    const CreateFastq& fastq = state.fastq;
    ASSERT_EQ(fastq.controls.size(), 10u); // each control and adapter, then its reverse complement
    EXPECT_EQ(fastq.controls[0].sequence, ctl1);
    EXPECT_EQ(fastq.controls[1].sequence, reverse_complement_of(ctl1));
    EXPECT_EQ(fastq.adapters, (std::vector<std::string>{adapter, reverse_complement_of(adapter)}));
    // Every k-mer start but the last, 1 + 4 k keys each; the ten poly-A (and poly-T) starts
    // share one set of keys; the 30-base control has no 30-mer.
    EXPECT_EQ(fastq.control_keys.size(), (4 * 70 + 2 * 10 + 2) * 121u);
    EXPECT_EQ(fastq.chimera_keys.size(), (4 * 82 + 2 * 22 + 2 * 12 + 2) * 73u);
}

TEST_F(ControlKeys, KeysOfReads)
{
    struct Case {
        std::string what;
        std::string read;
        std::uint64_t offset;
        std::int64_t record; // -1: no key
        std::uint64_t start;
    };
    std::string variant = ctl1.substr(20, 30);
    variant[7] = variant[7] == 'A' ? 'C' : 'A';
    const std::string poly_c(30, 'C');
    const std::vector<Case> cases = {
        {"first bases", ctl1.substr(0, 60), 0, 0, 0},
        {"after leading Ns", "NNN" + ctl1.substr(5, 40), 3, 0, 5},
        {"second key", poly_c + ctl1.substr(10, 30), 30, 0, 10},
        {"59 bases, first key missed", poly_c.substr(1) + ctl1.substr(10, 30), 0, -1, 0},
        {"the k-mer that ends a control is not taken", ctl1.substr(70, 30), 0, -1, 0},
        {"one letter changed", variant, 0, 0, 20},
        {"other strand", reverse_complement_of(ctl1.substr(0, 40)), 0, 1, 60},
        {"adapter keys are emptied", adapter.substr(0, 35), 0, -1, 0},
        {"a 30-base control has no key", state.fastq.controls[6].sequence, 0, -1, 0},
        {"later k-mers win", std::string(40, 'A'), 0, 8, 9},
        {"short read", "ACGT", 0, -1, 0},
    };
    for (const Case& c : cases) {
        std::uint64_t offset = 99;
        const std::string key = state.fastq.get_control_key(c.read, offset);
        EXPECT_EQ(offset, c.offset) << c.what;
        if (c.record < 0) {
            EXPECT_EQ(key, "") << c.what;
            continue;
        }
        EXPECT_EQ(key, c.read.substr(offset, 30)) << c.what;
        const KmerTable::Value* hit = state.fastq.control_keys.find(key);
        ASSERT_NE(hit, nullptr) << c.what;
        EXPECT_EQ(*hit, KmerTable::Value(c.record, c.start)) << c.what;
    }
}

TEST_F(ControlKeys, ChimeraRule)
{
    struct Case {
        std::string what;
        std::string read;
        std::uint64_t errors;
        bool chimera;
    };
    const std::string head = ctl1.substr(0, 29);
    const std::vector<Case> cases = {
        {"one control throughout", ctl1.substr(0, 60), 20, false},
        {"second part from another control", head + ctl2.substr(0, 31), 20, true},
        {"too few errors", head + ctl2.substr(0, 31), 14, false},
        {"same control, 5 bases off", head + ctl1.substr(34, 31), 20, false},
        {"same control, 6 bases off", head + ctl1.substr(35, 31), 20, true},
        {"same control, 6 bases back", head + ctl1.substr(23, 31), 20, true},
    };
    for (const Case& c : cases) {
        std::uint64_t offset = 0;
        const std::string key = state.fastq.get_control_key(c.read, offset);
        ASSERT_NE(key, "") << c.what;
        EXPECT_EQ(state.fastq.is_chimera(c.read, key, offset, c.errors), c.chimera) << c.what;
    }
}

TEST(KmerTableKeys, LettersOutsideTheFiveAndLengthsKeepExactLookups)
{
    KmerTable table;
    for (const auto& [key, value] :
         std::vector<std::pair<std::string, std::uint64_t>>{{"ACGR", 1}, {"AA", 2}, {"ACGR", 3}, {"A", 4}})
        table.insert(key, {value, value});
    table.finish();
    EXPECT_EQ(table.size(), 3u);
    for (const auto& [key, value] : std::map<std::string, std::uint64_t>{{"ACGR", 3}, {"AA", 2}, {"A", 4}, {"AAA", 0}})
        EXPECT_EQ(table.find(key) ? table.find(key)->first : 0, value) << key;
}

} // namespace
