// The classic program's parameters: long spellings, and each refusal with its message (an unknown
// name and a missing run folder are refused in the program's own tests).
#include "classic/framework/af_exception.h"
#include "classic/framework/utilities.h"
#include "tests/classic/classic_state.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using AlgorithmFramework::Parameters;

namespace {

struct ParameterCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> given; // "$RUN" stands for the run folder
    std::string refusal;                                    // empty: accepted
    std::function<void(const CreateFastq&, const Parameters&)> check;
};

const ParameterCase Cases[] = {
    {"LongSpellingsAndShortOnesWin",
     {{"--threads_per_lane", "4"},
      {"--umi_tag", "long"},
      {"--umitag", "short"},
      {"--flowcell_id", "FC7"},
      {"--barcode_allowed_mismatches", "1xyz"},
      {"--threadlanes", "no"}},
     "",
     [](const CreateFastq& c, const Parameters& p) {
         EXPECT_EQ(c.threads_per_lane, 4u);
         EXPECT_EQ(c.umi_tag, "short");
         EXPECT_EQ(c.file_prefix, "FC7");
         EXPECT_EQ(c.barcode_allowed_mismatches, 1u);
         EXPECT_FALSE(c.thread_lanes);
         EXPECT_EQ(p.count("--threads_per_lane") + p.count("--umi_tag") + p.count("--flowcell_id"), 0u);
     }},
    {"ThreadsWithoutDigits", {{"--threadsperlane", "many"}}, "Invalid parameter value, --threadsperlane many", {}},
    {"ThreadsAbove16",
     {{"--threadsperlane", "17"}},
     "Invalid parameter value, --threadsperlane cannot be grater than 16. 17",
     {}},
    {"ThreadsNegative",
     {{"--threadsperlane", "-1"}},
     "Invalid parameter value, --threadsperlane cannot be grater than 16. -1",
     {}},
    {"MismatchesAbove1",
     {{"--barcodeallowedmismatches", "2"}},
     "Invalid parameter value, --barcodeallowedmismatches cannot be greater than 1. 2",
     {}},
    {"MismatchesNegative",
     {{"--barcodeallowedmismatches", "-1"}},
     "Invalid parameter value, --barcodeallowedmismatches cannot be greater than 1. -1",
     {}},
    {"ControlsFileIsAFolder",
     {{"--controls_file", "$RUN/folder.fasta"}},
     "Invalid parameter value, --controlsfile $RUN/folder.fasta",
     {}},
};

std::string with_run(std::string text, const std::string& run)
{
    for (auto at = text.find("$RUN"); at != std::string::npos; at = text.find("$RUN"))
        text.replace(at, 4, run);
    return text;
}

class ClassicParameters : public ::testing::TestWithParam<ParameterCase> {};

TEST_P(ClassicParameters, AreReadOrRefused)
{
    const ParameterCase& c = GetParam();
    test_support::TempDir dir("classic-parameters");
    const std::string run = dir.path().string();
    fs::create_directory(dir.path() / "folder.fasta");
    ClassicState state;
    Parameters& parameters = *state.blackboard.write<Parameters>("parameters");
    // One thread per lane unless the case says otherwise (a given short spelling wins).
    parameters = {{"--input", run}, {"--command_line", "quillon-classic"}, {"--threads_per_lane", "1"}};
    for (const auto& [name, value] : c.given)
        parameters[name] = with_run(value, run);

    std::string refusal;
    try {
        EXPECT_TRUE(state.fastq.validate_parameters());
    } catch (const AlgorithmFramework::AFException& e) {
        refusal = e.what();
    }
    EXPECT_EQ(refusal, c.refusal.empty() ? "" : with_run(c.refusal, run) + "\n");
    EXPECT_EQ(state.log.errors, c.refusal.empty() ? 0 : 1);
    if (c.check)
        c.check(state.fastq, parameters);
    state.blackboard.erase<Parameters>("parameters");
}

// The one run without --threadsperlane: one thread per 9.1 GB or so of this machine's memory, at
// most 16; below that the run asks for the option.
TEST(ClassicThreadsPerLane, DefaultFollowsTheMemory)
{
    test_support::TempDir dir("classic-parameters");
    ClassicState state;
    Parameters& parameters = *state.blackboard.write<Parameters>("parameters");
    parameters = {{"--input", dir.path().string()}, {"--command_line", "quillon-classic"}};
    const double memory = static_cast<double>(classic::getTotalSystemMemory());
    const std::uint64_t expected =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(memory / 1.024e9 * 0.9 * 0.125), 16);
    try {
        EXPECT_TRUE(state.fastq.validate_parameters());
        EXPECT_EQ(state.fastq.threads_per_lane, expected);
    } catch (const AlgorithmFramework::AFException& e) {
        EXPECT_EQ(expected, 0u);
        EXPECT_STREQ(e.what(), "Invalid parameter value, --threadsperlane 0\n");
    }
    state.blackboard.erase<Parameters>("parameters");
}

INSTANTIATE_TEST_SUITE_P(Table, ClassicParameters, ::testing::ValuesIn(Cases),
                         [](const auto& test_info) { return std::string(test_info.param.name); });

} // namespace
