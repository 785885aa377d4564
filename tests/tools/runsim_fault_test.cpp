// The run generator's fault injection: each fault damages exactly one file, in exactly the way
// its name says.
#include "tools/runsim/fault_injector.h"
#include "tools/runsim/run_generator.h"
#include "tools/runsim/zel_reader.h"

#include "tests/tools/runsim_support.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace runsim_test;
using runsim::Fault;

// The inflated stream of a sound block-gzip file, split into header fields, text and calls.
struct Stream {
    std::uint64_t type = 0, version = 0, spots = 0, cycles = 0, extra = 0;
    std::string text;
    std::vector<unsigned char> calls;
};

Stream read_stream(const std::vector<unsigned char>& file)
{
    std::vector<unsigned char> bytes;
    std::string problem;
    if (!inflate_block_gzip(file, bytes, problem))
        throw std::runtime_error(problem);
    Stream s;
    s.type = u64_at(bytes, 0);
    s.version = u64_at(bytes, 8);
    s.spots = u64_at(bytes, 16);
    s.cycles = u64_at(bytes, 24);
    s.extra = u64_at(bytes, 32);
    const std::size_t text = u64_at(bytes, 40);
    s.text.assign(bytes.begin() + 48, bytes.begin() + std::ptrdiff_t(48 + text));
    s.calls.assign(bytes.begin() + std::ptrdiff_t(48 + text), bytes.end());
    return s;
}

// Offsets of the members of a sound block-gzip file.
std::vector<std::size_t> member_offsets(const std::vector<unsigned char>& file)
{
    std::vector<std::size_t> offsets;
    for (std::size_t at = 0; at < file.size(); at += u32_at(file, at + 16))
        offsets.push_back(at);
    return offsets;
}

struct FaultCase {
    Fault fault;
    const char* name;
    int lane, tile, read; // the file the fault is expected to hit
    bool positions;
    // Checks the damaged file against the original.
    std::function<void(const std::vector<unsigned char>& before, const std::vector<unsigned char>& after)> check;
};

void same_except(const Stream& a, const Stream& b, const char* field)
{
    const std::string f = field;
    EXPECT_TRUE(f == "type" || a.type == b.type);
    EXPECT_TRUE(f == "version" || a.version == b.version);
    EXPECT_TRUE(f == "spots" || a.spots == b.spots);
    EXPECT_TRUE(f == "cycles" || a.cycles == b.cycles);
    EXPECT_TRUE(f == "extra" || a.extra == b.extra);
    EXPECT_EQ(a.text, b.text);
    EXPECT_TRUE(f == "spots" || f == "cycles" || f == "calls" || a.calls == b.calls);
}

const FaultCase Fault_cases[] = {
    {Fault::WrongFileType, "wrong-type", 1, 1, 1, false,
     [](const auto& before, const auto& after) {
         const Stream a = read_stream(before), b = read_stream(after);
         EXPECT_EQ(b.type, 43u);
         same_except(a, b, "type");
     }},
    {Fault::WrongVersion, "wrong-version", 1, 1, 1, false,
     [](const auto& before, const auto& after) {
         const Stream a = read_stream(before), b = read_stream(after);
         EXPECT_EQ(b.version, 2u);
         same_except(a, b, "version");
     }},
    {Fault::SpotsMismatch, "spots-mismatch", 1, 1, 2, false,
     [](const auto& before, const auto& after) {
         const Stream a = read_stream(before), b = read_stream(after);
         EXPECT_EQ(b.spots, a.spots - 1);
         ASSERT_EQ(b.calls.size(), b.spots * b.cycles);
         EXPECT_TRUE(std::equal(b.calls.begin(), b.calls.end(), a.calls.begin()));
         same_except(a, b, "spots");
     }},
    {Fault::CyclesMismatch, "cycles-mismatch", 1, 2, 1, false,
     [](const auto& before, const auto& after) {
         const Stream a = read_stream(before), b = read_stream(after);
         EXPECT_EQ(b.cycles, a.cycles + 1);
         ASSERT_EQ(b.calls.size(), b.spots * b.cycles);
         for (std::size_t s = 0; s < a.spots; ++s)
             EXPECT_TRUE(std::equal(a.calls.begin() + std::ptrdiff_t(s * a.cycles),
                                    a.calls.begin() + std::ptrdiff_t((s + 1) * a.cycles),
                                    b.calls.begin() + std::ptrdiff_t(s * b.cycles)));
         same_except(a, b, "cycles");
     }},
    {Fault::ExtraCyclesMismatch, "extra-mismatch", 1, 2, 1, false,
     [](const auto& before, const auto& after) {
         const Stream a = read_stream(before), b = read_stream(after);
         EXPECT_EQ(a.extra, 0u);
         EXPECT_EQ(b.extra, 1u);
         same_except(a, b, "extra");
     }},
    {Fault::TruncatedCalls, "truncated-calls", 1, 1, 1, false,
     [](const auto& before, const auto& after) {
         const Stream a = read_stream(before), b = read_stream(after); // every member sound
         EXPECT_EQ(b.calls.size(), a.spots * a.cycles - a.cycles);
         EXPECT_TRUE(std::equal(b.calls.begin(), b.calls.end(), a.calls.begin()));
         same_except(a, b, "calls");
     }},
    {Fault::FlippedDeflateByte, "flipped-byte", 1, 1, 1, false,
     [](const auto& before, const auto& after) {
         ASSERT_EQ(before.size(), after.size());
         std::size_t changed = 0, where = 0;
         for (std::size_t i = 0; i < before.size(); ++i)
             if (before[i] != after[i]) {
                 ++changed;
                 where = i;
             }
         ASSERT_EQ(changed, 1u);
         EXPECT_EQ(after[where], before[where] ^ 0xFF);
         const std::vector<std::size_t> members = member_offsets(after); // sizes intact
         ASSERT_GT(members.size(), 1u);
         EXPECT_GT(where, members.back() + 20); // inside the last member's deflate data
         EXPECT_LT(where, after.size() - 8);
         std::vector<unsigned char> out;
         std::string problem;
         EXPECT_FALSE(inflate_block_gzip(after, out, problem));
         EXPECT_NE(problem.find("does not inflate"), std::string::npos) << problem;
         // Every member before it is still sound.
         const std::vector<unsigned char> head(after.begin(), after.begin() + std::ptrdiff_t(members.back()));
         EXPECT_TRUE(inflate_block_gzip(head, out, problem)) << problem;
     }},
    {Fault::MemberSizeZero, "member-size-zero", 1, 1, 1, false,
     [](const auto& before, const auto& after) {
         const std::size_t last = member_offsets(before).back();
         EXPECT_EQ(u32_at(after, last + 16), 0u);
         std::vector<unsigned char> expected = before;
         std::fill_n(expected.begin() + std::ptrdiff_t(last + 16), 4, 0);
         EXPECT_TRUE(after == expected);
     }},
    {Fault::MemberSizePastEnd, "member-size-past-end", 1, 1, 1, false,
     [](const auto& before, const auto& after) {
         const std::size_t last = member_offsets(before).back();
         EXPECT_EQ(u32_at(after, last + 16), after.size() - last + 1);
         std::vector<unsigned char> expected = before;
         std::copy_n(after.begin() + std::ptrdiff_t(last + 16), 4, expected.begin() + std::ptrdiff_t(last + 16));
         EXPECT_TRUE(after == expected);
     }},
    {Fault::NotGzip, "not-gzip", 1, 1, 1, false,
     [](const auto& before, const auto& after) {
         std::vector<unsigned char> stream;
         std::string problem;
         ASSERT_TRUE(inflate_block_gzip(before, stream, problem));
         EXPECT_TRUE(after == stream);
         EXPECT_EQ(after[0], 42);
     }},
    {Fault::ShortPositions, "short-positions", 1, 1, 1, true,
     [](const auto& before, const auto& after) {
         EXPECT_EQ(after.size(), before.size() - 8);
         EXPECT_EQ(u64_at(after, 16), u64_at(before, 16));
         EXPECT_TRUE(std::equal(after.begin(), after.end(), before.begin()));
     }},
    {Fault::PositionsSpotsMismatch, "positions-spots-mismatch", 1, 1, 2, true,
     [](const auto& before, const auto& after) {
         EXPECT_EQ(after.size(), before.size() - 8);
         EXPECT_EQ(u64_at(after, 16), u64_at(before, 16) - 1);
         EXPECT_TRUE(std::equal(after.begin() + 24, after.end(), before.begin() + 24));
         EXPECT_EQ(u64_at(after, 8), u64_at(before, 8));
     }},
};

class RunSimFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(RunSimFault, DamagesExactlyTheNamedFileAsNamed)
{
    const FaultCase& c = GetParam();
    EXPECT_EQ(runsim::fault_name(c.fault), c.name);
    EXPECT_EQ(runsim::parse_fault(c.name), c.fault);
    TempDir folder;
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = folder.path() / "run";
    recipe.manifest.clear();
    const runsim::RunTruth run = runsim::generate_run(recipe);
    const auto before = folder_files(run.run_folder);

    const runsim::FaultReport report = runsim::inject_fault(run, c.fault);
    const runsim::TileTruth& tile = run.tile(c.lane, c.tile);
    const std::filesystem::path expected =
        c.positions ? tile.positions_files[std::size_t(c.read - 1)] : tile.zel_files[std::size_t(c.read - 1)];
    EXPECT_EQ(report.file, expected);
    EXPECT_FALSE(report.description.empty());

    const auto after = folder_files(run.run_folder);
    const std::string name = expected.lexically_relative(run.run_folder).generic_string();
    ASSERT_EQ(before.size(), after.size());
    for (const auto& [file, bytes] : before)
        if (file != name) {
            EXPECT_TRUE(bytes == after.at(file)) << file << " changed";
        }
    ASSERT_FALSE(before.at(name) == after.at(name));
    c.check(before.at(name), after.at(name));
}

INSTANTIATE_TEST_SUITE_P(AllFaults, RunSimFault, ::testing::ValuesIn(Fault_cases), [](const auto& test_info) {
    std::string name = test_info.param.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

TEST(RunSimFaults, EveryFaultIsCovered)
{
    EXPECT_EQ(std::size(Fault_cases), std::size(runsim::All_faults));
}

TEST(RunSimFaults, TargetsValuesAndRefusals)
{
    TempDir folder;
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = folder.path() / "run";
    recipe.manifest.clear();
    const runsim::RunTruth run = runsim::generate_run(recipe);

    runsim::FaultTarget target;
    target.lane = 2;
    target.tile = 2;
    target.read = 4;
    target.value = 10;
    runsim::FaultReport report = runsim::inject_fault(run, Fault::CyclesMismatch, target);
    EXPECT_EQ(report.file, run.tile(2, 2).zel_files[3]);
    EXPECT_EQ(read_stream(file_bytes(report.file)).cycles, 10u);

    target = {};
    target.member = 0;
    report = runsim::inject_fault(run, Fault::FlippedDeflateByte, target);
    EXPECT_LT(report.offset, u32_at(file_bytes(report.file), 16)); // inside the first member

    target = {};
    target.lane = 3;
    EXPECT_THROW(runsim::inject_fault(run, Fault::WrongVersion, target), std::invalid_argument);
    target = {};
    target.read = 5;
    EXPECT_THROW(runsim::inject_fault(run, Fault::WrongVersion, target), std::invalid_argument);
    target = {};
    target.member = 99;
    EXPECT_THROW(runsim::inject_fault(run, Fault::MemberSizeZero, target), std::invalid_argument);
    EXPECT_THROW(runsim::parse_fault("bad-fault"), std::invalid_argument);
}

TEST(RunSimFaults, MemberFaultsNeedBlockGzipFiles)
{
    TempDir folder;
    runsim::RunRecipe recipe = runsim::RunRecipe::small();
    recipe.out = folder.path() / "run";
    recipe.manifest.clear();
    recipe.lanes = 1;
    recipe.zel.storage = runsim::ZelStorage::Gzip;
    const runsim::RunTruth run = runsim::generate_run(recipe);
    for (const Fault fault : {Fault::FlippedDeflateByte, Fault::MemberSizeZero, Fault::MemberSizePastEnd})
        EXPECT_THROW(runsim::inject_fault(run, fault), std::invalid_argument);
    // Header faults keep the storage: still one ordinary gzip member.
    const runsim::FaultReport report = runsim::inject_fault(run, Fault::WrongVersion);
    const runsim::ZelContent content = runsim::read_zel_file(report.file);
    EXPECT_EQ(content.storage, runsim::ZelStorage::Gzip);
    EXPECT_EQ(content.header.version, 2u);
    EXPECT_EQ(content.calls, run.tile(1, 1).calls[0]);
}

} // namespace
