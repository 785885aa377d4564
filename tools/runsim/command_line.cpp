#include "tools/runsim/command_line.h"

#include <charconv>
#include <cstdint>
#include <stdexcept>

namespace runsim {
namespace {

[[noreturn]] void bad(const std::string& name, const std::string& value, const std::string& why)
{
    throw std::invalid_argument("--" + name + "=" + value + ": " + why);
}

std::int64_t to_integer(const std::string& name, const std::string& value)
{
    std::int64_t number = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (ec != std::errc() || ptr != value.data() + value.size())
        bad(name, value, "expecting an integer");
    return number;
}

int to_int(const std::string& name, const std::string& value)
{
    const std::int64_t number = to_integer(name, value);
    if (number < INT32_MIN || number > INT32_MAX)
        bad(name, value, "out of range");
    return static_cast<int>(number);
}

std::uint64_t to_count(const std::string& name, const std::string& value)
{
    const std::int64_t number = to_integer(name, value);
    if (number < 0)
        bad(name, value, "must not be negative");
    return static_cast<std::uint64_t>(number);
}

double to_real(const std::string& name, const std::string& value)
{
    double number = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (ec != std::errc() || ptr != value.data() + value.size())
        bad(name, value, "expecting a number");
    return number;
}

bool to_bool(const std::string& name, const std::string& value)
{
    if (value == "true" || value == "1" || value == "yes")
        return true;
    if (value == "false" || value == "0" || value == "no")
        return false;
    bad(name, value, "expecting true or false");
}

std::filesystem::path to_file(const std::string& value)
{
    return value == "none" ? std::filesystem::path() : std::filesystem::path(value);
}

// --fault=NAME[:LANE[:TILE[:READ]]]
std::pair<Fault, FaultTarget> to_fault(const std::string& name, const std::string& value)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t colon; (colon = value.find(':', start)) != std::string::npos; start = colon + 1)
        parts.push_back(value.substr(start, colon - start));
    parts.push_back(value.substr(start));
    if (parts.size() > 4)
        bad(name, value, "expecting NAME[:LANE[:TILE[:READ]]]");
    std::pair<Fault, FaultTarget> fault{parse_fault(parts[0]), {}};
    if (parts.size() > 1)
        fault.second.lane = to_int(name, parts[1]);
    if (parts.size() > 2)
        fault.second.tile = to_int(name, parts[2]);
    if (parts.size() > 3)
        fault.second.read = to_int(name, parts[3]);
    return fault;
}

} // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& arguments)
{
    CommandLine line;
    std::vector<std::pair<std::string, std::string>> options;
    for (const std::string& argument : arguments) {
        if (argument.size() < 3 || argument.compare(0, 2, "--") != 0)
            throw std::invalid_argument("unexpected argument '" + argument + "' (options are --name=value)");
        const std::size_t equals = argument.find('=');
        if (equals == std::string::npos)
            options.emplace_back(argument.substr(2), "true");
        else
            options.emplace_back(argument.substr(2, equals - 2), argument.substr(equals + 1));
    }
    // A preset first, whatever its place, so that the other options change it.
    for (const auto& [name, value] : options) {
        if (name != "preset")
            continue;
        if (value == "demo")
            line.recipe = RunRecipe::demo();
        else if (value == "bench")
            line.recipe = RunRecipe::bench();
        else if (value == "small")
            line.recipe = RunRecipe::small();
        else
            bad(name, value, "presets are demo, bench and small");
    }

    RunRecipe& recipe = line.recipe;
    std::vector<std::pair<ReadRole, std::string>> umis;
    for (const auto& [name, value] : options) {
        try {
            if (name == "preset") {
            } else if (name == "help") {
                line.help = true;
            } else if (name == "out") {
                recipe.out = value;
            } else if (name == "seed") {
                recipe.seed = to_count(name, value);
            } else if (name == "lanes") {
                recipe.lanes = to_int(name, value);
            } else if (name == "surfaces") {
                recipe.surfaces = to_int(name, value);
            } else if (name == "tiles") {
                recipe.tiles = to_int(name, value);
            } else if (name == "spots") {
                recipe.spots = to_int(name, value);
            } else if (name == "reads") {
                recipe.layout = ReadLayout::parse(value);
            } else if (name == "umi1") {
                umis.emplace_back(ReadRole::U1, value);
            } else if (name == "umi2") {
                umis.emplace_back(ReadRole::U2, value);
            } else if (name == "base-calls-folder") {
                recipe.base_calls_folder = to_bool(name, value);
            } else if (name == "zel-subfolder") {
                recipe.zel_subfolder = to_bool(name, value);
            } else if (name == "read-folders") {
                recipe.read_folders = to_bool(name, value);
            } else if (name == "storage") {
                recipe.zel.storage = parse_storage(value);
            } else if (name == "zel-version") {
                recipe.version = to_count(name, value);
            } else if (name == "member-size") {
                recipe.zel.member_text_size = to_count(name, value);
            } else if (name == "level") {
                recipe.zel.level = to_int(name, value);
            } else if (name == "positions") {
                recipe.positions_type = parse_positions_type(value);
            } else if (name == "flowcell-id") {
                recipe.flowcell_id = value;
            } else if (name == "instrument-id") {
                recipe.instrument_id = value;
            } else if (name == "run-id") {
                recipe.run_id = value;
            } else if (name == "metadata") {
                recipe.metadata = parse_metadata_name(value);
            } else if (name == "samples") {
                recipe.samples = to_int(name, value);
            } else if (name == "same-samples") {
                recipe.same_samples_in_lanes = to_bool(name, value);
            } else if (name == "i1-mismatches") {
                recipe.i1_mismatches = to_int(name, value);
            } else if (name == "i2-mismatches") {
                recipe.i2_mismatches = to_int(name, value);
            } else if (name == "control-fraction") {
                recipe.control_fraction = to_real(name, value);
            } else if (name == "undetermined-fraction") {
                recipe.undetermined_fraction = to_real(name, value);
            } else if (name == "one-mismatch-fraction") {
                recipe.one_mismatch_fraction = to_real(name, value);
            } else if (name == "two-mismatch-fraction") {
                recipe.two_mismatch_fraction = to_real(name, value);
            } else if (name == "adapter-fraction") {
                recipe.adapter_fraction = to_real(name, value);
            } else if (name == "no-call-rate") {
                recipe.no_call_rate = to_real(name, value);
            } else if (name == "trailing-no-call-fraction") {
                recipe.trailing_no_call_fraction = to_real(name, value);
            } else if (name == "odd-position-fraction") {
                recipe.odd_position_fraction = to_real(name, value);
            } else if (name == "max-control-substitutions") {
                recipe.max_control_substitutions = to_int(name, value);
            } else if (name == "chimera-fraction") {
                recipe.chimera_fraction = to_real(name, value);
            } else if (name == "controls") {
                recipe.controls = to_int(name, value);
            } else if (name == "dropped-controls") {
                recipe.dropped_controls = to_int(name, value);
            } else if (name == "control-length") {
                recipe.control_length = to_int(name, value);
            } else if (name == "adapter-length") {
                recipe.adapter_length = to_int(name, value);
            } else if (name == "design-sheet") {
                recipe.design_sheet = to_file(value);
            } else if (name == "sample-sheet") {
                recipe.sample_sheet = to_file(value);
            } else if (name == "legacy-sample-sheet") {
                recipe.legacy_sample_sheet = to_file(value);
            } else if (name == "controls-file") {
                recipe.controls_file = to_file(value);
            } else if (name == "manifest") {
                recipe.manifest = to_file(value);
            } else if (name == "spot-truth") {
                recipe.spot_truth = to_bool(name, value);
            } else if (name == "fault") {
                line.faults.push_back(to_fault(name, value));
            } else if (name == "fault-member") {
                if (line.faults.empty())
                    bad(name, value, "give it after a --fault");
                line.faults.back().second.member = to_int(name, value);
            } else if (name == "fault-value") {
                if (line.faults.empty())
                    bad(name, value, "give it after a --fault");
                line.faults.back().second.value = to_integer(name, value);
            } else if (name == "zel-file") {
                line.zel_file = value;
            } else if (name == "cycles") {
                line.zel_cycles = to_count(name, value);
            } else if (name == "extra-cycles") {
                line.zel_extra_cycles = to_count(name, value);
            } else if (name == "zel-type") {
                line.zel_type = to_count(name, value);
            } else {
                throw std::invalid_argument("--" + name + ": unknown option (see --help)");
            }
        } catch (const std::invalid_argument& error) {
            const std::string text = error.what();
            if (text.rfind("--", 0) == 0)
                throw;
            bad(name, value, text);
        }
    }
    for (const auto& [role, mask] : umis)
        recipe.layout.add_umi(role, mask);
    return line;
}

std::string CommandLine::usage()
{
    return R"(Usage: quillon-runsim --out=DIR [options]
       quillon-runsim --zel-file=PATH --spots=N --cycles=N [options]
Writes a synthetic run folder (or one base-call file) with known truth. The same options
always give the same files.

  --preset=demo|bench|small   start from a preset (demo: 2 lanes x 2 tiles x 2000 spots;
                              bench: about 1 GB of calls; small: test-sized)
  --out=DIR                   the run folder (made when missing)
  --seed=N                    random seed (1)
  --lanes=N --surfaces=N --tiles=N --spots=N    folders and spots per tile (2, 1, 2, 1000)
  --reads=R1:151,I1:8,I2:8,R2:151    read layout, ROLE:CYCLES[+EXTRA] per read
  --umi1=MASK --umi2=MASK     UMI taken from a read, e.g. T2:N8Y8
  --base-calls-folder         lane folders inside Base_Calls
  --zel-subfolder             files in a zel folder inside each tile folder
  --read-folders              each read's files as Read<n>/called_bases.zel and
                              Read<n>/called_bases_positions
  --storage=block-gzip|gzip|plain   base-call storage (block-gzip)
  --zel-version=N             header version (4 for gzip, 2 for plain)
  --member-size=BYTES         stream bytes per block-gzip member (1048576)
  --level=N                   compression level (1)
  --positions=int|float       positions value type (int)
  --flowcell-id=ID --instrument-id=ID --run-id=ID   identifiers (drawn from the seed)
  --metadata=metadata.xml|run_metadata.xml|tagged|none   metadata file name
  --samples=N                 samples per lane (8)
  --same-samples              both lanes list the same samples
  --i1-mismatches=N --i2-mismatches=N   mismatch settings written to the sheets (1)
  --control-fraction=F --undetermined-fraction=F --one-mismatch-fraction=F
  --two-mismatch-fraction=F --adapter-fraction=F --no-call-rate=F
  --trailing-no-call-fraction=F --odd-position-fraction=F --max-control-substitutions=N
  --chimera-fraction=F        of control spots: reads whose halves come from far apart
  --controls=N --dropped-controls=N --control-length=N --adapter-length=N
  --design-sheet=NAME|none --sample-sheet=NAME|none --legacy-sample-sheet=NAME|none
  --controls-file=NAME|none --manifest=PATH|none   files beside the lanes
  --spot-truth=false          no per-spot truth in the manifest
  --fault=NAME[:LANE[:TILE[:READ]]]   damage one file after writing; NAME is one of
      wrong-type, wrong-version, spots-mismatch, cycles-mismatch, extra-mismatch,
      truncated-calls, flipped-byte, member-size-zero, member-size-past-end, not-gzip,
      short-positions, positions-spots-mismatch
  --fault-member=N --fault-value=N    member and value of the preceding --fault
  --zel-file=PATH             write one base-call file of random calls instead of a run,
                              with --spots, --cycles, --extra-cycles, --zel-type, --storage,
                              --zel-version, --member-size, --level and --seed
  --help
)";
}

} // namespace runsim
