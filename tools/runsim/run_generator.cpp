#include "tools/runsim/run_generator.h"

#include "tools/runsim/index_picker.h"
#include "tools/runsim/manifest_writer.h"
#include "tools/runsim/positions_file.h"
#include "tools/runsim/prng.h"
#include "tools/runsim/sheet_texts.h"
#include "tools/runsim/tile_generator.h"
#include "tools/runsim/zel_writer.h"

#include <tbb/parallel_for.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <span>
#include <stdexcept>

namespace runsim {
namespace {

std::filesystem::path inside(const std::filesystem::path& folder, const std::filesystem::path& path)
{
    return path.empty() ? path : folder / path;
}

void make_folder(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw std::runtime_error("cannot create folder " + folder.string() + ": " + error.message());
}

void write_text(const std::filesystem::path& path, const std::string& text, RunTruth& run)
{
    if (path.has_parent_path())
        make_folder(path.parent_path());
    write_bytes(path, std::span(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
    ++run.files;
    run.bytes += text.size();
}

// Picks the samples' indexes: far enough apart for every mismatch setting when it can be done,
// else far enough for the sheets' settings (any_settings tells which).
std::vector<SampleTruth> choose_samples(const RunRecipe& recipe, bool& any_settings)
{
    std::vector<SampleTruth> samples;
    any_settings = true;
    if (recipe.samples == 0)
        return samples;
    const RoleRange i1 = recipe.layout.range(ReadRole::I1);
    const RoleRange i2 = recipe.layout.range(ReadRole::I2);
    const int distinct = recipe.same_samples_in_lanes ? recipe.samples : recipe.samples * recipe.lanes;
    std::vector<IndexPair> pairs;
    // Every setting up to 2: a spot with one substitution per index, or two in one index,
    // must stay more than 2 edits from every other sample in some index; a single index must
    // then lie 5 edits from the others, each of two indexes 4. The sheets' settings: the
    // closeness check wants more than twice the setting, the one-substitution keys at least 4
    // substitutions.
    try {
        const IndexPicker strict(i1.length(), i2.length(), std::max(i2.present() ? 4 : 5, 2 * recipe.i1_mismatches + 1),
                                 std::max(4, 2 * recipe.i2_mismatches + 1), 4);
        Prng rng(derive_seed({recipe.seed, 0x5A}));
        strict.pick(distinct, pairs, rng);
    } catch (const std::runtime_error&) {
        any_settings = false;
        pairs.clear();
        const IndexPicker picker(i1.length(), i2.length(), std::max(3, 2 * recipe.i1_mismatches + 1),
                                 std::max(3, 2 * recipe.i2_mismatches + 1), 4);
        Prng rng(derive_seed({recipe.seed, 0x5B}));
        picker.pick(distinct, pairs, rng);
    }
    const int width = std::max(2, static_cast<int>(std::to_string(distinct).size()));
    for (int lane = 1; lane <= recipe.lanes; ++lane) {
        for (int i = 0; i < recipe.samples; ++i) {
            const int number = recipe.same_samples_in_lanes ? i : (lane - 1) * recipe.samples + i;
            std::string digits = std::to_string(number + 1);
            const std::string name =
                "S" + std::string(std::size_t(width) - std::min(digits.size(), std::size_t(width)), '0') + digits;
            samples.push_back({lane, i, name, pairs[std::size_t(number)].index, pairs[std::size_t(number)].index2});
        }
    }
    return samples;
}

RunIdentity choose_identity(const RunRecipe& recipe)
{
    RunIdentity identity = RunIdentity::from_seed(recipe.seed);
    if (!recipe.flowcell_id.empty())
        identity.flowcell_id = recipe.flowcell_id;
    if (!recipe.instrument_id.empty())
        identity.instrument_id = recipe.instrument_id;
    if (!recipe.run_id.empty())
        identity.run_id = recipe.run_id;
    return identity;
}

} // namespace

std::filesystem::path zel_file_name(const std::filesystem::path& folder, int read, bool read_folders)
{
    if (read_folders)
        return folder / ("Read" + std::to_string(read)) / "called_bases.zel";
    return folder / ("R" + std::to_string(read) + ".zel");
}

std::filesystem::path positions_file_name(const std::filesystem::path& folder, int read, bool read_folders)
{
    if (read_folders)
        return folder / ("Read" + std::to_string(read)) / "called_bases_positions";
    return folder / ("R" + std::to_string(read) + "_positions");
}

RunTruth generate_run(const RunRecipe& given)
{
    const auto start = std::chrono::steady_clock::now();
    given.validate();
    RunTruth run;
    run.recipe = given;
    RunRecipe& recipe = run.recipe;
    for (std::size_t r = 0; r < recipe.layout.reads.size(); ++r)
        if (!recipe.layout.is_index_read(int(r) + 1))
            recipe.control_length = std::max(recipe.control_length, recipe.layout.reads[r].cycles);

    run.identity = choose_identity(recipe);
    run.samples = choose_samples(recipe, run.any_mismatch_settings);
    run.library = ControlLibrary(recipe.controls, recipe.dropped_controls, recipe.control_length, recipe.adapter_length,
                                 recipe.layout.read_of(ReadRole::R2) != 0, recipe.seed);
    run.totals.per_sample.assign(run.samples.size(), 0);

    run.run_folder = recipe.out;
    run.lanes_folder = recipe.base_calls_folder ? recipe.out / "Base_Calls" : recipe.out;
    make_folder(run.lanes_folder);

    if (recipe.metadata != MetadataName::None) {
        run.metadata_file = recipe.out / run.identity.metadata_file_name(recipe.metadata);
        write_text(run.metadata_file, run.identity.metadata_xml(), run);
    }
    run.design_sheet = inside(recipe.out, recipe.design_sheet);
    if (!run.design_sheet.empty())
        write_text(run.design_sheet, design_sheet_text(recipe), run);
    run.sample_sheet = inside(recipe.out, recipe.sample_sheet);
    if (!run.sample_sheet.empty())
        write_text(run.sample_sheet, sample_sheet_text(recipe, run.identity, run.samples), run);
    run.legacy_sample_sheet = inside(recipe.out, recipe.legacy_sample_sheet);
    if (!run.legacy_sample_sheet.empty())
        write_text(run.legacy_sample_sheet, legacy_sample_sheet_text(recipe, run.identity, run.samples, run.library),
                   run);
    run.controls_file = inside(recipe.out, recipe.controls_file);
    if (!run.controls_file.empty())
        write_text(run.controls_file, run.library.fasta_text(), run);

    // Every tile of every lane, generated and written in parallel.
    struct Job {
        int lane, surface, tile;
    };
    std::vector<Job> jobs;
    run.lanes.resize(std::size_t(recipe.lanes));
    for (int lane = 1; lane <= recipe.lanes; ++lane) {
        char lane_name[16];
        std::snprintf(lane_name, sizeof lane_name, "L%02d", lane);
        make_folder(run.lanes_folder / lane_name);
        for (int surface = 1; surface <= recipe.surfaces; ++surface)
            for (int tile = 1; tile <= recipe.tiles; ++tile)
                jobs.push_back({lane, surface, tile});
        run.lanes[std::size_t(lane - 1)].resize(std::size_t(recipe.surfaces * recipe.tiles));
    }
    struct JobStats {
        std::uint64_t files = 0, bytes = 0, zel_bytes = 0, call_bytes = 0, stream_bytes = 0;
    };
    std::vector<JobStats> stats(jobs.size());
    const TileGenerator generator(recipe, run.samples, run.library);
    const std::uint64_t version = recipe.zel_version();
    tbb::parallel_for(std::size_t(0), jobs.size(), [&](std::size_t j) {
        const Job& job = jobs[j];
        TileData data = generator.generate(job.lane, job.surface, job.tile);
        TileTruth& tile =
            run.lanes[std::size_t(job.lane - 1)][std::size_t((job.surface - 1) * recipe.tiles + job.tile - 1)];
        tile = std::move(data.truth);
        char lane_name[16];
        std::snprintf(lane_name, sizeof lane_name, "L%02d", job.lane);
        tile.folder = run.lanes_folder / lane_name / tile.name;
        const std::filesystem::path files = recipe.zel_subfolder ? tile.folder / "zel" : tile.folder;
        make_folder(files);
        JobStats& js = stats[j];
        for (std::size_t r = 0; r < recipe.layout.reads.size(); ++r) {
            const int read = int(r) + 1;
            ZelHeader header;
            header.version = version;
            header.spots = tile.spots;
            header.cycles = std::uint64_t(recipe.layout.reads[r].header_cycles());
            header.extra_cycles = std::uint64_t(recipe.layout.reads[r].extra_cycles);
            header.text = "quillon-runsim seed " + std::to_string(recipe.seed) + " " + lane_name + "/" + tile.name +
                          " R" + std::to_string(read);
            tile.zel_files.push_back(zel_file_name(files, read, recipe.read_folders));
            if (recipe.read_folders)
                make_folder(tile.zel_files.back().parent_path());
            const ZelFileStats zs = write_zel_file(tile.zel_files.back(), header, data.calls[r], recipe.zel);
            tile.positions_files.push_back(positions_file_name(files, read, recipe.read_folders));
            const std::uint64_t pos_bytes =
                write_positions_file(tile.positions_files.back(), data.xy, recipe.positions_type);
            js.files += 2;
            js.bytes += zs.file_bytes + pos_bytes;
            js.zel_bytes += zs.file_bytes;
            js.call_bytes += data.calls[r].size();
            js.stream_bytes += zs.stream_bytes;
        }
        if (recipe.keep_calls)
            tile.calls = std::move(data.calls);
    });
    for (const JobStats& js : stats) {
        run.files += js.files;
        run.bytes += js.bytes;
        run.zel_bytes += js.zel_bytes;
        run.call_bytes += js.call_bytes;
        run.stream_bytes += js.stream_bytes;
    }
    for (const auto& lane : run.lanes)
        for (const TileTruth& tile : lane)
            run.totals.add(tile.counts);
    run.zel_files = jobs.size() * recipe.layout.reads.size();

    run.manifest = inside(recipe.out, recipe.manifest);
    if (!run.manifest.empty()) {
        if (run.manifest.has_parent_path())
            make_folder(run.manifest.parent_path());
        run.bytes += write_manifest(run, run.manifest);
        ++run.files;
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

} // namespace runsim
