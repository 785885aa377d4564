// The converter's command line: grammar, messages on standard error and the usage text.
#include "converter/app/config.h"
#include "tests/converter/app/config_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using config_test::Args;
using config_test::CerrCapture;

namespace {

struct Parsed {
    bool ok;
    std::string err;
};

Parsed parse(Config& config, std::vector<std::string> args)
{
    CerrCapture err;
    Args argv(std::move(args));
    const bool ok = config.parse_args(argv.argc(), argv.argv());
    return {ok, err.str()};
}

struct RejectedCase {
    std::vector<std::string> args;
    std::string message; // the whole of standard error
};

class RejectedCommandLine : public ::testing::TestWithParam<RejectedCase> {};

TEST_P(RejectedCommandLine, FailsWithItsMessage)
{
    Config config;
    const Parsed parsed = parse(config, GetParam().args);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.err, GetParam().message);
}

const std::string expecting = "Command line option: expecting integer value but got ";
const std::string out_of_range = "Command line option: integer value out of range: ";

INSTANTIATE_TEST_SUITE_P(
    Grammar, RejectedCommandLine,
    ::testing::Values(
        RejectedCase{{}, ""}, RejectedCase{{"input"}, "Expecting option beginning with '--', but got: input\n"},
        RejectedCase{{"-"}, "Expecting option beginning with '--', but got: -\n"},
        RejectedCase{{"--input=a", "-k=5"}, "Expecting option beginning with '--', but got: -k=5\n"},
        RejectedCase{{"--minchain=5"}, "Invalid option: minchain\n"},
        RejectedCase{{"--Input=a"}, "Invalid option: Input\n"}, RejectedCase{{"--"}, "Invalid option: \n"},
        RejectedCase{{"--threads=2,3"}, "Invalid option: threads\n"},
        RejectedCase{{"--input"}, "Invalid option: input\n"}, RejectedCase{{"--input="}, "Invalid option: input\n"},
        RejectedCase{{"--input=a,,b"}, "Invalid option: \n"}, RejectedCase{{"--input=,a"}, "Invalid option: \n"},
        RejectedCase{{"--input=\"\""}, "Invalid option: \n"}, RejectedCase{{"--input=\"a\"b"}, "Invalid option: \n"},
        RejectedCase{{"--bogus=a,,b"}, "Invalid option: \n"},
        RejectedCase{{"--input=\"a", "b"}, "Command line option: missing terminating '\"'\n"},
        // The quoted value closes in the next argument, and a second value follows it.
        RejectedCase{{"--input=\"a", "b\",c"}, "Invalid option: input\n"},
        RejectedCase{{"--k=13"}, out_of_range + "13\n"}, RejectedCase{{"--k=3"}, out_of_range + "3\n"},
        RejectedCase{{"--k=x"}, expecting + "x\n"}, RejectedCase{{"--k=-"}, expecting + "-\n"},
        RejectedCase{{"--maxgap=14"}, out_of_range + "14\n"}, RejectedCase{{"--maxgap=257"}, out_of_range + "257\n"},
        RejectedCase{{"--repeat=0"}, out_of_range + "0\n"}, RejectedCase{{"--threads=-1"}, out_of_range + "-1\n"},
        RejectedCase{{"--threads=2147483648"}, out_of_range + "2147483648\n"},
        RejectedCase{{"--repeat=99999999999999999999999"}, out_of_range + "99999999999999999999999\n"},
        RejectedCase{{"--maxgap=-4294967200"}, out_of_range + "-4294967200\n"},
        // Parsing stops at the first bad option.
        RejectedCase{{"--k=x", "--bogus"}, expecting + "x\n"}));

TEST(CommandLine, ValueOptionsAndFlagsFillTheConfiguration)
{
    Config config;
    const Parsed parsed = parse(config, {"--input=run", "--output=out", "--controlsfile=c.fa", "--samplesheet=s.csv",
                                         "--designsheet=d.csv", "--flowcellid=FC7", "--logutctime", "--trimadapters",
                                         "--threads=0", "--uncompressed", "--k=4", "--debug=yes", "--oscores",
                                         "--repeat=2147483647", "--mutate", "--maxgap=256"});
    ASSERT_TRUE(parsed.ok) << parsed.err;
    EXPECT_EQ(parsed.err, "");
    EXPECT_EQ(config.input_folder, "run");
    EXPECT_EQ(config.output_folder, "out");
    EXPECT_EQ(config.controls_file, "c.fa");
    EXPECT_EQ(config.sample_sheet_file, "s.csv");
    EXPECT_EQ(config.design_sheet_file, "d.csv");
    EXPECT_EQ(config.flowcell_id, "FC7");
    EXPECT_TRUE(config.log_utc_time);
    EXPECT_TRUE(config.trim_adapters);
    EXPECT_EQ(config.threads, 0);
    EXPECT_FALSE(config.compress);
    EXPECT_EQ(config.k, 4);
    EXPECT_EQ(config.log_level, DEBUG);
    EXPECT_TRUE(config.oscores);
    EXPECT_EQ(config.repeat, 2147483647);
    EXPECT_TRUE(config.mutate_enabled);
    EXPECT_EQ(config.maxgap, 256);
    EXPECT_EQ(config.minchain, 3);
}

struct ValueCase {
    std::vector<std::string> args;
    std::string input;
};

class InputValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(InputValue, IsReadAsGiven)
{
    Config config;
    const Parsed parsed = parse(config, GetParam().args);
    ASSERT_TRUE(parsed.ok) << parsed.err;
    EXPECT_EQ(config.input_folder.string(), GetParam().input);
}

INSTANTIATE_TEST_SUITE_P(Grammar, InputValue,
                         ::testing::Values(ValueCase{{"--input=a"}, "a"}, ValueCase{{"--input=a,"}, "a"},
                                           ValueCase{{"--input=\"a,b\""}, "a,b"}, ValueCase{{"--input=\"a\","}, "a"},
                                           ValueCase{{"--input=a\"b"}, "a\"b"}, ValueCase{{"--input=x=y"}, "x=y"},
                                           // A quoted value spanning arguments: one blank per break, nothing dropped.
                                           ValueCase{{"--input=\"my", "run\""}, "my run"},
                                           ValueCase{{"--input=\"a", "b", "c\""}, "a b c"},
                                           ValueCase{{"--input=\"a", "--k=5\""}, "a --k=5"},
                                           ValueCase{{"--input=\"a", "\""}, "a "},
                                           // A later option overrides an earlier one.
                                           ValueCase{{"--input=a", "--input=b"}, "b"},
                                           // Parsing goes on with the argument after the closing quote.
                                           ValueCase{{"--input=\"a", "b\"", "--input=c"}, "c"}));

TEST(CommandLine, IntegerValuesAcceptLeadingBlanksSignAndTrailingText)
{
    Config config;
    ASSERT_TRUE(parse(config, {"--k= 7", "--maxgap=+20", "--threads=3x"}).ok);
    EXPECT_EQ(config.k, 7);
    EXPECT_EQ(config.maxgap, 20);
    EXPECT_EQ(config.threads, 3);
}

const std::string usage_tail =
    "  --flowcellid             the flowcell identification . . . . . default (determined from metadata xml file)\n"
    "  --trimadapters           trim adapters from read 3' end  . . . default true\n"
    "  --threads=N              max number of concurrent threads. . . default 3\n"
    "  --logutctime             for timestamps, use universal time. . default false\n"
    "INTERNAL USE:\n"
    "  --k=N           kmer size (must range from 4 to 12) . . . . .. default 5\n"
    "  --minchain=N    minimizer chain length required\n"
    "                  to be considered a control read  . . . . . . . default 3\n"
    "  --maxgap=N      maximum gap between minimizers before a chain\n"
    "                  is split into primary and secondary chains . . default 20\n"
    "  --debug         log debug information  . . . . . . . . . . . . default false\n"
    "  --repeat=N      repeat (N) times on given zel files  . . . . . default 1\n"
    "  --oscores       report observed qscore (oscore)  . . . . . . . default false\n"
    "  --uncompressed  No gzip compression on output files  . . . . . default false\n"
    "  --mutate        generate mutations for testing . . . . . . . . default false\n";

const std::string usage_head =
    "\nUSAGE: quillon [OPTIONS]\n\n"
    "OPTIONS:\n"
    "  --input=folder           path to the input (<run_folder>). . . (required)\n"
    "  --output=folder          path to the output folder . . . . . . default <run_folder>\n"
    "  --controlsfile=filepath  path to control fasta file  . . . . . default <install_folder>/data/controls.fasta\n"
    "  --samplesheet=filepath   path to sample sheet file . . . . . . default <run_folder>/SampleSheetUsed.csv\n"
    "  --designsheet=filepath   path to quillon design sheet file . default <run_folder>/quillon_params.csv\n";

// The usage shows the values parsed before the failure, and only after the message.
TEST(CommandLine, FailedInitializePrintsTheMessageThenTheUsageWithCurrentValues)
{
    Config config;
    CerrCapture err;
    Args argv({"--threads=3", "--k=5", "--maxgap=20", "--trimadapters", "--debug", "--minchain=5"});
    EXPECT_FALSE(config.initialize(argv.argc(), argv.argv()));
    EXPECT_EQ(err.str(), "Invalid option: minchain\n" + usage_head + usage_tail);
}

TEST(CommandLine, NoArgumentsPrintTheUsageAlone)
{
    Config config;
    CerrCapture err;
    Args argv({});
    EXPECT_FALSE(config.initialize(argv.argc(), argv.argv()));
    EXPECT_EQ(err.str().rfind(usage_head, 0), 0u) << err.str();
}

} // namespace
