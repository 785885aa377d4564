// The run settings: the sheets' settings, the lane and tile folders of the run folder with
// their files, and the settings computed from them.
#include "converter/app/config.h"

#include "common/cycle_mask.h"
#include "common/partitioned_csv.h"
#include "common/quillon_settings.h"
#include "common/quillon_sheet.h"
#include "common/sample_sheet.h"
#include "converter/app/file_checks.h"
#include "converter/app/guarded_step.h"
#include "converter/app/logger.h"
#include "converter/app/tile_folder_checks.h"
#include "converter/app/utilities.h"
#include "converter/pipeline/fastq_file_manager.h"
#include "converter/pipeline/zel_reader.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Lanes of a flow cell; lane folders with other numbers are not converted.
constexpr int Max_lanes = 2;
// Bound of a lane's tile list after --repeat, so that the copies cannot exhaust memory.
constexpr std::int64_t Max_tiles_per_lane = 100000;

void error_and_flush(const std::string& text)
{
    log_error() << text;
    log_flush();
}

// The folder that holds the lane folders.
fs::path base_folder(const fs::path& input_folder)
{
    return is_new_folder_structure(input_folder) ? input_folder / "Base_Calls" : input_folder;
}

// The value of two decimal digits at position at.
int two_digits(const std::string& text, std::size_t at)
{
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

bool same_tile(const TileFolder& a, const TileFolder& b)
{
    return a.lane == b.lane && a.surface == b.surface && a.tile == b.tile;
}

// An entry of IncludeTiles or ExcludeTiles: "L01/S01_T001", lane 1 or 2, surface and tile
// at least 1.
bool validate_tile_reference(const std::string& what, const std::string& entry)
{
    bool ok =
        entry.size() == 12 && entry[3] == '/' && is_lane_name(entry.substr(0, 3)) && is_tile_name(entry.substr(4));
    if (ok) {
        const int lane = two_digits(entry, 1);
        const int surface = two_digits(entry, 5);
        const int tile = (entry[9] - '0') * 100 + two_digits(entry, 10);
        ok = lane >= 1 && lane <= Max_lanes && surface >= 1 && tile >= 1;
    }
    if (!ok)
        error_and_flush(what + ": Invalid tile folder name: " + entry);
    return ok;
}

// Replaces list with the tile folders of the sheet's entries; a tile named twice is kept once.
// The list is left as it was when an entry fails.
bool load_tile_list(const std::string& what, const std::vector<std::string>& entries, const fs::path& base,
                    std::vector<TileFolder>& list)
{
    std::vector<TileFolder> tiles;
    for (const std::string& entry : entries) {
        if (!validate_tile_reference(what, entry) || !validate_folder(base / entry, false))
            return false;
        TileFolder tile(base / entry);
        if (std::any_of(tiles.begin(), tiles.end(), [&](const TileFolder& t) { return same_tile(t, tile); })) {
            log_warn() << what << ": Tile folder listed more than once: " << entry;
            continue;
        }
        tiles.push_back(std::move(tile));
    }
    list = std::move(tiles);
    return true;
}

// The tile folders of one lane folder, without the excluded ones, by surface and tile.
bool find_tile_folders(const fs::path& lane_folder, const std::vector<TileFolder>& excluded,
                       std::vector<TileFolder>& tiles)
{
    std::error_code ec;
    fs::directory_iterator it(lane_folder, ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code type_error;
        if (!is_tile_name(it->path().filename().string()) || !it->is_directory(type_error))
            continue;
        TileFolder tile(it->path());
        if (std::none_of(excluded.begin(), excluded.end(), [&](const TileFolder& t) { return same_tile(t, tile); }))
            tiles.push_back(std::move(tile));
    }
    if (ec) {
        error_and_flush("Could not list folder '" + lane_folder.string() + "': " + ec.message());
        return false;
    }
    std::stable_sort(tiles.begin(), tiles.end(), [](const TileFolder& a, const TileFolder& b) {
        return a.surface != b.surface ? a.surface < b.surface : a.tile < b.tile;
    });
    return true;
}

// Every lane folder of the base folder into the list of its lane number.
bool find_lane_folders(const fs::path& base, const std::vector<TileFolder>& excluded,
                       std::vector<std::vector<TileFolder>>& lane_tiles)
{
    std::error_code ec;
    fs::directory_iterator it(base, ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code type_error;
        if (!is_lane_name(name) || !it->is_directory(type_error))
            continue;
        const int lane = two_digits(name, 1);
        if (lane < 1 || lane > Max_lanes) {
            log_warn() << "Ignoring lane folder (only lanes 1 and 2 are converted): " << it->path().string();
            continue;
        }
        if (lane_tiles.size() < static_cast<std::size_t>(lane))
            lane_tiles.resize(static_cast<std::size_t>(lane));
        if (!find_tile_folders(it->path(), excluded, lane_tiles[static_cast<std::size_t>(lane - 1)]))
            return false;
    }
    if (ec) {
        error_and_flush("Could not list folder '" + base.string() + "': " + ec.message());
        return false;
    }
    return true;
}

// The counts of every tile's files, the file names, and that each file can be read; the
// existence checks stop at the first failure.
bool check_tile_files(const std::vector<std::vector<TileFolder>>& lane_tiles)
{
    const TileFolder& first = lane_tiles[0][0];
    const std::size_t reads = first.zel_files.size();
    if (reads == 0) {
        error_and_flush("Missing .zel files in '" + first.folder.string() + "'");
        return false;
    }
    bool ok = true;
    for (const std::vector<TileFolder>& tiles : lane_tiles) {
        for (const TileFolder& tile : tiles) {
            const std::string folder = tile.folder.string();
            if (tile.zel_files.size() != reads) {
                error_and_flush("Inconsistant number of .zel files in tile folder: " + folder);
                ok = false;
            }
            if (tile.pos_files.size() != reads) {
                error_and_flush("Inconsistant number of position files in tile folder: " + folder);
                ok = false;
            }
            for (const std::string& problem : find_tile_file_problems(tile)) {
                error_and_flush(problem);
                ok = false;
            }
            for (fs::path file : tile.zel_files)
                ok = ok && validate_file(file, {}, true, "zel file in tile folder: " + folder);
            for (fs::path file : tile.pos_files)
                ok = ok && validate_file(file, {}, true, "position file in tile folder: " + folder);
        }
    }
    return ok;
}

// Each lane list of n tiles becomes repeat x n tiles: copies of the first n, numbered by
// their position in the list.
bool repeat_tiles(std::vector<std::vector<TileFolder>>& lane_tiles, int repeat)
{
    if (repeat <= 1)
        return true;
    for (std::size_t lane = 0; lane < lane_tiles.size(); ++lane) {
        const std::int64_t total = std::int64_t(lane_tiles[lane].size()) * repeat;
        if (total > Max_tiles_per_lane) {
            error_and_flush("Too many tiles with --repeat=" + std::to_string(repeat) + ": lane " +
                            std::to_string(lane + 1) + " would hold " + std::to_string(total) + " tiles (at most " +
                            std::to_string(Max_tiles_per_lane) + ")");
            return false;
        }
    }
    for (std::vector<TileFolder>& tiles : lane_tiles) {
        const std::size_t n = tiles.size();
        tiles.reserve(n * static_cast<std::size_t>(repeat));
        for (int copy = 1; copy < repeat; ++copy) {
            for (std::size_t i = 0; i < n; ++i) {
                TileFolder tile = tiles[i];
                tile.tile = static_cast<int>(tiles.size() + 1);
                tiles.push_back(std::move(tile));
            }
        }
    }
    return true;
}

// Cycle and extra cycle counts of every read from the headers of the first tile's base-call
// files; every read keeps at least one cycle.
bool read_cycle_counts(Config& config)
{
    ZelReader reader(1); // only the first member of each file is inflated
    const TileFolder& tile = config.tile_folder(1, 1);
    for (int r = 0; r < config.num_reads; ++r) {
        const fs::path& file = tile.zel_files[static_cast<std::size_t>(r)];
        int spots = 0;
        int cycles = 0;
        int extra = 0;
        const bool opened = reader.open(file, spots, cycles, extra);
        reader.close();
        if (!opened)
            return false;
        if (cycles - extra < 1) {
            error_and_flush("Read length below 1 cycle in .zel file: " + quoted_path(file));
            return false;
        }
        config.cycles[static_cast<std::size_t>(r)] = cycles;
        config.extra_cycles[static_cast<std::size_t>(r)] = extra;
    }
    return true;
}

int clamp_to_int(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

// The cycles of a read role from its cycle mask ('*' standing for the rest of the read);
// {0, 0, 0} for an empty mask. A mask must name a read of the run and a range that starts at
// cycle 1 or later; a range that ends beyond the read is only warned about.
bool get_cycle_range(const std::string& name, const std::string& mask, const std::vector<int>& cycles,
                     CycleRange& range)
{
    range = {};
    if (mask.empty())
        return true;
    std::vector<std::string> errors;
    const CycleMask parsed = QuillonSettings::read_cycle_mask(mask, errors);
    if (!errors.empty()) {
        error_and_flush(name + ": " + errors.front());
        return false;
    }
    const std::string setting = name + " '" + mask + "': ";
    if (parsed.track < 1 || static_cast<std::size_t>(parsed.track) > cycles.size()) {
        error_and_flush(setting + "no read " + std::to_string(parsed.track) + " in this run of " +
                        std::to_string(cycles.size()) + " reads");
        return false;
    }
    const std::int64_t cyc = cycles[static_cast<std::size_t>(parsed.track - 1)];
    const std::int64_t first =
        parsed.skip_before == -1 ? cyc - parsed.skip_after - parsed.use + 1 : std::int64_t(parsed.skip_before) + 1;
    const std::int64_t last = parsed.use == -1 ? cyc - parsed.skip_after : first + parsed.use - 1;
    const std::string span = "cycles " + std::to_string(first) + " to " + std::to_string(last);
    const std::string read = " read " + std::to_string(parsed.track) + " of " + std::to_string(cyc) + " cycles";
    if (first < 1 || last < first - 1) {
        error_and_flush(setting + span + " do not fit" + read);
        return false;
    }
    if (last > cyc)
        log_warn() << setting << span << " reach beyond" << read;
    range = {parsed.track, clamp_to_int(first), clamp_to_int(last)};
    return true;
}

// Every read's cycles, and the cycles of every read role from the cycle masks.
bool set_cycle_ranges(Config& config)
{
    config.read_ranges = {};
    for (int r = 0; r < config.num_reads; ++r)
        config.read_ranges[static_cast<std::size_t>(r)] = {r + 1, 1, config.read_length(r + 1)};
    struct Role {
        const char* name;
        const std::string& mask;
        CycleRange& range;
    };
    const Role roles[] = {
        {"R1CycleUsage", config.R1CycleUsage, config.R1_range}, {"R2CycleUsage", config.R2CycleUsage, config.R2_range},
        {"I1CycleUsage", config.I1CycleUsage, config.I1_range}, {"I2CycleUsage", config.I2CycleUsage, config.I2_range},
        {"U1CycleUsage", config.U1CycleUsage, config.U1_range}, {"U2CycleUsage", config.U2CycleUsage, config.U2_range},
    };
    bool ok = true;
    for (const Role& role : roles)
        ok = get_cycle_range(role.name, role.mask, config.cycles, role.range) && ok;
    config.roles_configured = config.R1_range.read != 0;
    return ok;
}

// The sample sheet's rows of each lane of the run, sorted by Biosample; rows of other lanes
// are dropped.
void set_lane_samples(Config& config, const SampleSheet& sample_sheet)
{
    config.lane_samples.assign(static_cast<std::size_t>(config.num_lanes), {});
    if (!sample_sheet.loaded)
        return;
    for (const Sample& sample : sample_sheet.samples)
        if (sample.Lane >= 1 && sample.Lane <= config.num_lanes)
            config.lane_samples[static_cast<std::size_t>(sample.Lane - 1)].push_back(sample);
    for (std::vector<Sample>& samples : config.lane_samples)
        std::stable_sort(samples.begin(), samples.end(),
                         [](const Sample& a, const Sample& b) { return a.Biosample < b.Biosample; });
}

// A sample's name becomes part of its FASTQ file names: it must not name another slot's file
// ("Undetermined"), reach into another folder or carry control characters.
bool check_sample_names(const Config& config)
{
    bool ok = true;
    for (const std::vector<Sample>& samples : config.lane_samples)
        for (const Sample& sample : samples) {
            const bool unusable = sample.Biosample == "Undetermined" ||
                                  std::any_of(sample.Biosample.begin(), sample.Biosample.end(), [](char c) {
                                      const auto byte = static_cast<unsigned char>(c);
                                      return c == '/' || byte < 0x20 || byte == 0x7F;
                                  });
            if (unusable) {
                error_and_flush("Sample name cannot name a FASTQ file: '" + sample.Biosample + "' (lane " +
                                std::to_string(sample.Lane) + ")");
                ok = false;
            }
        }
    // A spot names its sample by a 16-bit position in its lane's list.
    for (std::size_t lane = 0; lane < config.lane_samples.size(); ++lane)
        if (config.lane_samples[lane].size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
            error_and_flush("Too many samples in lane " + std::to_string(lane + 1) + ": " +
                            std::to_string(config.lane_samples[lane].size()) + " (at most " +
                            std::to_string(std::numeric_limits<std::int16_t>::max()) + ")");
            ok = false;
        }
    return ok;
}

// A thread count beyond what the machine can run gains nothing and makes the task scheduler
// size its structures for it.
void limit_threads(Config& config)
{
    const int usable = usable_threads();
    if (config.threads <= usable)
        return;
    log_warn() << "--threads=" << config.threads << " is more than this machine can run; using " << usable
               << " threads";
    config.threads = usable;
}

// Files open besides a lane's FASTQ files: the standard streams, the log, the base-call and
// positions files of the tiles being read, a metrics file and its copy.
constexpr long Other_open_files = 16;

// Raises the limit of open files as far as allowed; a lane that would still need more files
// fails the set-up before any of them is created.
bool check_open_file_limit(const Config& config)
{
    const long limit = raise_open_file_limit();
    bool ok = true;
    for (int lane = 1; lane <= config.num_lanes; ++lane) {
        const long fastq_files = FastqFileManager::count_files(config, lane);
        const long needed = fastq_files + Other_open_files;
        if (needed > limit) {
            error_and_flush("Lane " + std::to_string(lane) + " needs " + std::to_string(needed) + " open files (" +
                            std::to_string(fastq_files) + " FASTQ files and " + std::to_string(Other_open_files) +
                            " others), more than the " + std::to_string(limit) + " this process may open");
            ok = false;
        }
    }
    return ok;
}

} // namespace

bool Config::setup(SampleSheet& sample_sheet, QuillonSheet& design_sheet)
{
    bool ok = true;
    if (design_sheet.loaded) {
        log_info() << "Loading design sheet settings...";
        ok = load_settings(design_sheet, design_sheet.quillon_settings);
    }
    if (sample_sheet.loaded) {
        log_info() << "Loading sample sheet settings...";
        if (ok)
            ok = load_settings(sample_sheet, sample_sheet.quillon_settings);
    }
    if (!ok || !validate_data_files())
        return false;
    return initialize_computed_settings(sample_sheet);
}

bool Config::load_settings(PartitionedCsv& sheet, QuillonSettings& settings)
{
    return guarded_step([&] {
        const SectionInfo& info = QuillonSettings::section_info();
        const auto has = [&](int key) { return sheet.validate_field(info, key, 1, false); };
        const fs::path base = base_folder(input_folder);

        bool ok = true;
        if (has(QuillonSettings::IncludeTilesKey))
            ok = load_tile_list("IncludeTiles", settings.IncludeTiles, base, IncludeTiles);
        if (has(QuillonSettings::ExcludeTilesKey))
            ok = load_tile_list("ExcludeTiles", settings.ExcludeTiles, base, ExcludeTiles) && ok;

        if (has(QuillonSettings::OutputControlFASTQKey))
            OutputControlFASTQ = settings.OutputControlFASTQ;
        if (has(QuillonSettings::OutputIndexFASTQKey))
            OutputIndexFASTQ = settings.OutputIndexFASTQ;
        if (has(QuillonSettings::MergeLanesKey))
            MergeLanes = settings.MergeLanes;
        if (has(QuillonSettings::I1MismatchesKey))
            I1Mismatches = settings.I1Mismatches;
        if (has(QuillonSettings::I2MismatchesKey))
            I2Mismatches = settings.I2Mismatches;
        if (has(QuillonSettings::R1CycleUsageKey))
            R1CycleUsage = settings.R1CycleUsage;
        if (has(QuillonSettings::R2CycleUsageKey))
            R2CycleUsage = settings.R2CycleUsage;
        if (has(QuillonSettings::I1CycleUsageKey))
            I1CycleUsage = settings.I1CycleUsage;
        if (has(QuillonSettings::I2CycleUsageKey))
            I2CycleUsage = settings.I2CycleUsage;
        if (has(QuillonSettings::U1CycleUsageKey))
            U1CycleUsage = settings.U1CycleUsage;
        if (has(QuillonSettings::U2CycleUsageKey))
            U2CycleUsage = settings.U2CycleUsage;
        return ok;
    });
}

bool Config::validate_data_files()
{
    return guarded_step([&] {
        log_info() << "Locating input files...";
        lane_tiles.clear();
        if (!IncludeTiles.empty()) {
            for (const TileFolder& tile : IncludeTiles) {
                if (tile.lane < 1 || tile.lane > Max_lanes)
                    continue; // refused when the settings were loaded
                if (lane_tiles.size() < static_cast<std::size_t>(tile.lane))
                    lane_tiles.resize(static_cast<std::size_t>(tile.lane));
                lane_tiles[static_cast<std::size_t>(tile.lane - 1)].push_back(tile);
            }
        } else if (!find_lane_folders(base_folder(input_folder), ExcludeTiles, lane_tiles)) {
            return false;
        }
        if (lane_tiles.empty() || lane_tiles[0].empty()) {
            error_and_flush("Unable to locate any input files in '" + input_folder.string() + "'");
            return false;
        }

        log_info() << "Checking files...";
        if (!check_tile_files(lane_tiles)) {
            error_and_flush("File check failed.");
            return false;
        }
        log_info() << "File check passed.";
        return true;
    });
}

bool Config::initialize_computed_settings(SampleSheet& sample_sheet)
{
    return guarded_step([&] {
        if (!repeat_tiles(lane_tiles, repeat))
            return false;
        num_lanes = static_cast<int>(lane_tiles.size());
        num_reads =
            lane_tiles.empty() || lane_tiles[0].empty() ? 0 : static_cast<int>(lane_tiles[0][0].zel_files.size());
        if (num_reads > static_cast<int>(read_ranges.size())) {
            error_and_flush("Too many .zel files in tile folder: " + lane_tiles[0][0].folder.string() + " (at most " +
                            std::to_string(read_ranges.size()) + " reads)");
            return false;
        }
        cycles.assign(static_cast<std::size_t>(num_reads), 0);
        extra_cycles.assign(static_cast<std::size_t>(num_reads), 0);

        limit_threads(*this);
        // The samples are set even when a header cannot be read.
        bool ok = guarded_step([&] { return read_cycle_counts(*this); });
        if (ok)
            ok = set_cycle_ranges(*this);
        set_lane_samples(*this, sample_sheet);
        ok = check_sample_names(*this) && ok;
        return ok && check_open_file_limit(*this);
    });
}

const std::vector<Sample>& Config::samples_of_lane(int lane) const
{
    static const std::vector<Sample> none;
    if (lane < 1 || static_cast<std::size_t>(lane) > lane_samples.size())
        return none;
    return lane_samples[static_cast<std::size_t>(lane - 1)];
}

const std::vector<TileFolder>& Config::tiles_of_lane(int lane) const
{
    return lane_tiles.at(static_cast<std::size_t>(lane - 1));
}

const TileFolder& Config::tile_folder(int lane, int tile) const
{
    return tiles_of_lane(lane).at(static_cast<std::size_t>(tile - 1));
}
