// quillon-classic on inputs at their size limits: the time that a sample sheet of many samples
// in one lane takes, and the memory that many distinct undetermined index texts take.
//
//   classic_input_bench [--rows N] [--index N] [--spots N] [--runs N] [program]
//
// Sheet: a run of one lane (L01) of one tile of 1,000 spots, with a sample sheet of --rows
// (10,000) samples of lane 2 with two indexes of --index (8) letters and one mismatch allowed
// in each: every pair of them is compared for closeness, while no file is opened for them (the
// run lacks lane 2). Prints the median whole-process time of --runs (3) conversions and the
// peak resident memory.
// Undetermined: a run of one lane of 8 tiles, --spots (4,000,000) spots in all, reads of 20, 10
// and 10 cycles, one sample: converted once with every spot's indexes random (as many distinct
// undetermined texts as spots, but for chance repeats) and once with every spot the sample's.
// Prints both peaks of resident memory and their difference per undetermined text.
// program: the quillon-classic to measure, by default the one built with this benchmark.
// Everything is written under the system's temporary folder and removed at the end.
#include "bench/bench_support.h"
#include "bench/child_run.h"
#include "tools/runsim/run_generator.h"
#include "tools/runsim/sheet_texts.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using bench::ChildRun;

constexpr double Sheet_target_seconds = 10;
constexpr int Tiles = 8;

struct Options {
    int rows = 10000;
    int index = 8;
    int spots = 4000000;
    int runs = 3;
    std::string program = QUILLON_CLASSIC_BINARY;
};

Options parse(int argc, char** argv)
{
    Options options;
    // A last argument without a value names the program.
    if (argc % 2 == 0)
        options.program = argv[--argc];
    bench::parse_options(argc, argv, [&](const std::string& name, long long value) {
        if (name == "--rows")
            options.rows = static_cast<int>(value);
        else if (name == "--index" && value <= 21)
            options.index = static_cast<int>(value);
        else if (name == "--spots")
            options.spots = static_cast<int>(value);
        else if (name == "--runs")
            options.runs = static_cast<int>(value);
        else
            return false;
        return true;
    });
    return options;
}

// Converts the run; on failure prints the program's output and throws.
ChildRun convert(const Options& options, const std::vector<std::string>& args, const fs::path& work)
{
    std::vector<std::string> command{options.program, "--threadsperlane", "4"};
    command.insert(command.end(), args.begin(), args.end());
    fs::remove_all(work / "out");
    fs::create_directories(work / "out");
    const ChildRun run = bench::run_child(command, work / "classic.log");
    if (run.status != 0) {
        std::ifstream in(work / "classic.log");
        std::fprintf(stderr, "%s", std::string(std::istreambuf_iterator<char>(in), {}).c_str());
        throw std::runtime_error("quillon-classic ended with status " + std::to_string(run.status));
    }
    return run;
}

runsim::RunRecipe one_lane_recipe(const fs::path& out)
{
    runsim::RunRecipe recipe;
    recipe.out = out;
    recipe.seed = 20240611;
    recipe.lanes = 1;
    recipe.zel_subfolder = true;
    recipe.spot_truth = false;
    recipe.manifest.clear();
    recipe.controls_file.clear();
    recipe.control_fraction = 0.0;
    recipe.adapter_fraction = 0.0;
    return recipe;
}

// Distinct random index pairs of the given length, for lane 2.
std::vector<runsim::SampleTruth> random_samples(int rows, int length)
{
    std::mt19937_64 random(7);
    std::set<std::string> seen;
    std::vector<runsim::SampleTruth> samples;
    while (static_cast<int>(samples.size()) < rows) {
        runsim::SampleTruth sample;
        sample.lane = 2;
        sample.name = "S" + std::to_string(samples.size() + 1);
        sample.index.resize(static_cast<std::size_t>(length));
        sample.index2.resize(static_cast<std::size_t>(length));
        for (char& letter : sample.index)
            letter = "ACGT"[random() % 4];
        for (char& letter : sample.index2)
            letter = "ACGT"[random() % 4];
        if (seen.insert(sample.index + sample.index2).second)
            samples.push_back(sample);
    }
    return samples;
}

void sheet_figures(const Options& options, const fs::path& work)
{
    runsim::RunRecipe recipe = one_lane_recipe(work / "sheet_run");
    recipe.tiles = 1;
    recipe.layout = runsim::ReadLayout::standard(30, options.index);
    recipe.samples = 0;
    recipe.sample_sheet.clear();
    recipe.design_sheet.clear();
    const runsim::RunTruth truth = runsim::generate_run(recipe);
    const fs::path sheet = work / "sheet.csv";
    std::ofstream(sheet) << runsim::sample_sheet_text(recipe, truth.identity,
                                                      random_samples(options.rows, options.index));

    std::vector<double> seconds;
    long peak_kib = 0;
    for (int run = 0; run < options.runs; ++run) {
        const ChildRun child = convert(options,
                                       {"--input", truth.run_folder.string(), "--output", (work / "out").string(),
                                        "--samplesheet", sheet.string()},
                                       work);
        seconds.push_back(child.seconds);
        peak_kib = std::max(peak_kib, child.peak_rss_kib);
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    std::printf("sample sheet of %d samples in one lane, two indexes of %d letters, 1 mismatch each:\n", options.rows,
                options.index);
    std::printf("  whole process, median of %d runs: %6.2f s (target below %.0f s: %s); peak memory %.1f MiB\n",
                options.runs, median, Sheet_target_seconds, median < Sheet_target_seconds ? "met" : "NOT met",
                double(peak_kib) / 1024.0);
}

// Peak resident memory of converting a run whose spots are all undetermined, or all of the
// sample.
long undetermined_peak_kib(const Options& options, const fs::path& work, double undetermined)
{
    fs::remove_all(work / "undetermined_run");
    runsim::RunRecipe recipe = one_lane_recipe(work / "undetermined_run");
    recipe.tiles = Tiles;
    recipe.spots = options.spots / Tiles;
    recipe.layout = runsim::ReadLayout::parse("R1:20,I1:10,I2:10");
    recipe.samples = 1;
    recipe.undetermined_fraction = undetermined;
    recipe.one_mismatch_fraction = 0.0;
    recipe.two_mismatch_fraction = 0.0;
    const runsim::RunTruth truth = runsim::generate_run(recipe);
    return convert(options, {"--input", truth.run_folder.string(), "--output", (work / "out").string()}, work)
        .peak_rss_kib;
}

int run(const Options& options)
{
    bench::ScratchPath work{fs::temp_directory_path() / ("classic_input_bench_" + std::to_string(getpid()))};
    fs::remove_all(work.path);
    fs::create_directories(work.path);
    std::printf("measuring %s\n", options.program.c_str());
    sheet_figures(options, work.path);

    const long undetermined = undetermined_peak_kib(options, work.path, 1.0);
    const long none = undetermined_peak_kib(options, work.path, 0.0);
    const int spots = options.spots / Tiles * Tiles;
    std::printf("%d spots of reads of 20, 10 and 10 cycles, one sample:\n", spots);
    std::printf("  peak memory with every spot undetermined: %8.1f MiB\n", double(undetermined) / 1024.0);
    std::printf("  peak memory with every spot the sample's: %8.1f MiB\n", double(none) / 1024.0);
    std::printf("  difference per undetermined index text:   %8.1f bytes\n",
                double(undetermined - none) * 1024.0 / double(spots));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return bench::run_main("classic_input_bench", [&] { return run(parse(argc, argv)); });
}
