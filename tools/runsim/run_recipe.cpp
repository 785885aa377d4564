#include "tools/runsim/run_recipe.h"

#include <algorithm>
#include <stdexcept>

namespace runsim {
namespace {

void require(bool condition, const std::string& message)
{
    if (!condition)
        throw std::invalid_argument(message);
}

void require_fraction(double value, const char* name)
{
    require(value >= 0.0 && value <= 1.0, std::string(name) + " must lie between 0 and 1");
}

void require_identifier(const std::string& text, const char* name)
{
    for (const char c : text)
        require((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-',
                std::string(name) + " may hold letters, digits and '-' only");
}

} // namespace

RunRecipe RunRecipe::demo()
{
    RunRecipe recipe;
    recipe.spots = 2000;
    recipe.odd_position_fraction = 0.01;
    return recipe;
}

RunRecipe RunRecipe::bench()
{
    RunRecipe recipe;
    recipe.tiles = 4;
    recipe.spots = 400000;
    recipe.spot_truth = false;
    return recipe;
}

RunRecipe RunRecipe::small()
{
    RunRecipe recipe;
    recipe.spots = 200;
    recipe.layout = ReadLayout::standard(30, 8);
    recipe.zel.member_text_size = 4096;
    recipe.control_length = 120;
    recipe.keep_calls = true;
    return recipe;
}

void RunRecipe::validate() const
{
    require(!out.empty(), "the run folder (--out) is missing");
    require(lanes >= 1 && lanes <= 2, "lanes must be 1 or 2");
    require(surfaces >= 1 && surfaces <= 99, "surfaces must lie between 1 and 99");
    require(tiles >= 1 && tiles <= 999, "tiles must lie between 1 and 999");
    require(spots >= 0, "spots must not be negative");
    layout.validate();
    require(zel.member_text_size >= 1, "the member size must be at least 1 byte");
    const int max_level = zel.storage == ZelStorage::BlockGzip ? 12 : 9;
    require(zel.level >= 0 && zel.level <= max_level,
            "the compression level must lie between 0 and " + std::to_string(max_level));
    require_identifier(flowcell_id, "the flowcell id");
    require_identifier(instrument_id, "the instrument id");
    require_identifier(run_id, "the run id");
    require(samples >= 0, "samples must not be negative");
    require(i1_mismatches >= 0 && i1_mismatches <= 2 && i2_mismatches >= 0 && i2_mismatches <= 2,
            "mismatches must lie between 0 and 2");
    require(samples == 0 || layout.has(ReadRole::I1), "samples need an I1 read");
    require_fraction(control_fraction, "the control fraction");
    require_fraction(undetermined_fraction, "the undetermined fraction");
    require(control_fraction + undetermined_fraction <= 1.0,
            "control and undetermined fractions add up to more than 1");
    require_fraction(one_mismatch_fraction, "the one-mismatch fraction");
    require_fraction(two_mismatch_fraction, "the two-mismatch fraction");
    require(one_mismatch_fraction + two_mismatch_fraction <= 1.0,
            "one- and two-mismatch fractions add up to more than 1");
    require_fraction(adapter_fraction, "the adapter fraction");
    require(no_call_rate >= 0.0 && no_call_rate < 1.0, "the no-call rate must lie in [0, 1)");
    require_fraction(trailing_no_call_fraction, "the trailing no-call fraction");
    require_fraction(odd_position_fraction, "the odd position fraction");
    require(max_control_substitutions >= 0, "control substitutions must not be negative");
    require_fraction(chimera_fraction, "the chimera fraction");
    require(controls >= 0 && dropped_controls >= 0, "control counts must not be negative");
    require(control_length >= 1, "controls need at least one base");
    require(chimera_fraction == 0.0 || control_length >= chimera_control_length(),
            "the chimera fraction needs controls of at least " + std::to_string(chimera_control_length()) +
                " bases (--control-length)");
    require(adapter_length >= 24 && adapter_length <= 254, "adapters must have 24 to 254 bases");
}

int RunRecipe::chimera_gap(int read_length)
{
    return 2 * read_length + 201;
}

int RunRecipe::chimera_control_length() const
{
    // Either half may come first on the control: the later one starts chimera_gap() after the
    // earlier and must still fit (the second half is the longer one of an odd read).
    int longest = 1;
    for (std::size_t r = 0; r < layout.reads.size(); ++r)
        if (!layout.is_index_read(static_cast<int>(r) + 1))
            longest = std::max(longest, chimera_gap(layout.reads[r].cycles) + (layout.reads[r].cycles + 1) / 2);
    return longest;
}

std::uint64_t RunRecipe::zel_version() const
{
    return version != 0 ? version : default_version(zel.storage);
}

std::uint64_t RunRecipe::call_bytes() const
{
    std::uint64_t cycles = 0;
    for (const ReadSpec& read : layout.reads)
        cycles += static_cast<std::uint64_t>(read.header_cycles());
    return std::uint64_t(lanes) * std::uint64_t(surfaces) * std::uint64_t(tiles) * std::uint64_t(spots) * cycles;
}

} // namespace runsim
