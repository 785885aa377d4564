// The classic program's parameters: defaults, long spellings, and each refusal with its message.
#include "classic/framework/af_exception.h"
#include "classic/framework/blackboard.h"
#include "classic/framework/log.h"
#include "classic/framework/utilities.h"
#include "classic/processing/create_fastq.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
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

void PrintTo(const ParameterCase& c, std::ostream* out)
{
    *out << c.name;
}

std::string default_threads()
{
    const double threads = static_cast<double>(classic::getTotalSystemMemory()) / 1.024e9 * 0.9 * 0.125;
    return std::to_string(std::min<std::uint64_t>(static_cast<std::uint64_t>(threads), 16));
}

const ParameterCase Cases[] = {
    {"OnlyInput", {}, default_threads() == "0" ? "Invalid parameter value, --threadsperlane 0" : "",
     [](const CreateFastq& c, const Parameters& p) {
         EXPECT_EQ(c.output, c.input);
         EXPECT_TRUE(c.thread_lanes);
         EXPECT_EQ(p.at("--threadsperlane"), default_threads());
         for (const char* zero : {"--barcodeallowedmismatches", "--umiqscores", "--oscores", "--qscorecutoff",
                                  "--log_utc_time", "--threadlanes"})
             EXPECT_EQ(p.at(zero), std::string(zero) == "--threadlanes" ? "1" : "0") << zero;
         EXPECT_EQ(p.at("--umitag"), "");
         EXPECT_EQ(c.file_prefix, "");
     }},
    {"LongSpellingsAndShortOnesWin",
     {{"--threads_per_lane", "4"}, {"--umi_tag", "long"}, {"--umitag", "short"}, {"--flowcell_id", "FC7"},
      {"--barcode_allowed_mismatches", "1xyz"}, {"--qscorecutoff", "300"}, {"--threadlanes", "no"}},
     "",
     [](const CreateFastq& c, const Parameters& p) {
         EXPECT_EQ(c.threads_per_lane, 4u);
         EXPECT_EQ(c.umi_tag, "short");
         EXPECT_EQ(c.file_prefix, "FC7");
         EXPECT_EQ(c.barcode_allowed_mismatches, 1u);
         EXPECT_EQ(c.qscore_cutoff, 44);
         EXPECT_FALSE(c.thread_lanes);
         EXPECT_EQ(p.count("--threads_per_lane") + p.count("--umi_tag") + p.count("--flowcell_id"), 0u);
         EXPECT_TRUE(fs::exists(c.output + "/Logs/Analysis/FC7_quillon.log"));
     }},
    {"ShortThreadsWinOverLong", {{"--threads_per_lane", "4"}, {"--threadsperlane", "2"}}, "",
     [](const CreateFastq& c, const Parameters&) { EXPECT_EQ(c.threads_per_lane, 2u); }},
    {"DesignSheetFoundInRunFolder", {{"--design_sheet", ""}}, "",
     [](const CreateFastq& c, const Parameters& p) {
         EXPECT_EQ(p.at("--designsheet"), c.input + "/quillon_params.csv");
     }},
    {"ThreadsWithoutDigits", {{"--threadsperlane", "many"}}, "Invalid parameter value, --threadsperlane many", {}},
    {"ThreadsAbove16", {{"--threadsperlane", "17"}},
     "Invalid parameter value, --threadsperlane cannot be grater than 16. 17", {}},
    {"ThreadsNegative", {{"--threadsperlane", "-1"}},
     "Invalid parameter value, --threadsperlane cannot be grater than 16. -1", {}},
    {"MismatchesAbove1", {{"--barcodeallowedmismatches", "2"}},
     "Invalid parameter value, --barcodeallowedmismatches cannot be greater than 1. 2", {}},
    {"MismatchesNegative", {{"--barcodeallowedmismatches", "-1"}},
     "Invalid parameter value, --barcodeallowedmismatches cannot be greater than 1. -1", {}},
    {"UnknownName", {{"--bogus", "1"}}, "Unknown parameter --bogus", {}},
    {"ControlsFileMissing", {{"--controlsfile", "$RUN/none.fasta"}},
     "Invalid parameter value, --controlsfile $RUN/none.fasta", {}},
    {"ControlsFileIsAFolder", {{"--controls_file", "$RUN/folder.fasta"}},
     "Invalid parameter value, --controlsfile $RUN/folder.fasta", {}},
    {"InputMissing", {{"--input", "$RUN/missing"}}, "Invalid parameter value, --input $RUN/missing",
     [](const CreateFastq& c, const Parameters&) { EXPECT_FALSE(fs::exists(c.input)); }},
};

std::string with_run(std::string text, const std::string& run)
{
    for (auto at = text.find("$RUN"); at != std::string::npos; at = text.find("$RUN"))
        text.replace(at, 4, run);
    return text;
}

class ClassicParameters : public ::testing::TestWithParam<ParameterCase> {};

TEST_P(ClassicParameters, AreDefaultedCheckedOrRefused)
{
    const ParameterCase& c = GetParam();
    test_support::TempDir dir("classic-parameters");
    const std::string run = dir.path().string();
    std::ofstream(dir.path() / "quillon_params.csv") << "";
    fs::create_directory(dir.path() / "folder.fasta");

    AlgorithmFramework::Log log;
    AlgorithmFramework::Blackboard board(log);
    CreateFastq algorithm("create_fastq", log, board);
    Parameters& parameters = *board.write<Parameters>("parameters");
    parameters["--input"] = run;
    parameters["--command_line"] = "quillon-classic";
    if (c.refusal.empty() && std::none_of(c.given.begin(), c.given.end(), [](const auto& given) {
            return given.first.find("threads") != std::string::npos;
        }) && std::string(c.name) != "OnlyInput")
        parameters["--threadsperlane"] = "1";
    for (const auto& [name, value] : c.given)
        parameters[name] = with_run(value, run);

    std::string refusal;
    const std::string out = test_support::stdout_of([&] {
        try {
            EXPECT_TRUE(algorithm.validate_parameters());
        } catch (const AlgorithmFramework::AFException& e) {
            refusal = e.what();
        }
    });
    EXPECT_EQ(refusal, c.refusal.empty() ? "" : with_run(c.refusal, run) + "\n") << out;
    if (!c.refusal.empty()) {
        EXPECT_EQ(log.errors, 1);
    }
    if (c.check)
        c.check(algorithm, parameters);
    board.erase<Parameters>("parameters");
    log.echo = false;
}

INSTANTIATE_TEST_SUITE_P(Table, ClassicParameters, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
