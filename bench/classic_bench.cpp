// Conversion rate of the built quillon-classic against the built quillon on the same run.
//
//   classic_bench [--spots N] [--tiles N] [--samples N] [--threadsperlane N]
//
// Generates a run of 2 lanes x 6 tiles x 250,000 spots with reads of 151, 8, 8 and 151 cycles
// and a sample sheet of 96 dual-indexed samples listed for both lanes with one mismatch allowed
// per index, converts it with quillon-classic (lanes in parallel, 4 threads per lane) and with
// quillon (its default threads), and prints each program's rate in bytes of FASTQ text per
// second (the text of every FASTQ file it wrote, inflated), their ratio and each program's peak
// resident memory. Everything is written under the system's temporary folder and removed at
// the end.
#include "bench/bench_run.h"
#include "bench/bench_support.h"
#include "bench/child_run.h"
#include "tools/runsim/run_generator.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using bench::ChildRun;

constexpr double Target_ratio = 0.25;
constexpr double Memory_limit_mib = 4096;

struct Options {
    int spots = 250000;
    int tiles = 6;
    int samples = 96;
    int threads_per_lane = 4;
};

Options parse(int argc, char** argv)
{
    Options options;
    bench::parse_options(argc, argv, [&](const std::string& name, long long value) {
        if (name == "--spots")
            options.spots = static_cast<int>(value);
        else if (name == "--tiles")
            options.tiles = static_cast<int>(value);
        else if (name == "--samples")
            options.samples = static_cast<int>(value);
        else if (name == "--threadsperlane" && value <= 16)
            options.threads_per_lane = static_cast<int>(value);
        else
            return false;
        return true;
    });
    return options;
}

// Runs one program; on failure prints its output and throws.
ChildRun convert(const std::vector<std::string>& args, const fs::path& log, const char* name)
{
    const ChildRun run = bench::run_child(args, log);
    if (run.status != 0) {
        std::ifstream in(log);
        std::fprintf(stderr, "%s", std::string(std::istreambuf_iterator<char>(in), {}).c_str());
        throw std::runtime_error(std::string(name) + " ended with status " + std::to_string(run.status));
    }
    return run;
}

int run(const Options& options)
{
    bench::ScratchPath work{fs::temp_directory_path() / ("classic_bench_" + std::to_string(getpid()))};
    fs::remove_all(work.path);

    runsim::RunRecipe recipe = bench::standard_recipe(work.path / "run", options.tiles, options.spots, options.samples);
    recipe.zel_subfolder = true;
    recipe.controls_file.clear();
    recipe.control_fraction = 0.0;
    std::printf("generating 2 lanes x %d tiles x %d spots, reads of 151, 8, 8 and 151 cycles, "
                "%d dual-indexed samples, 1 mismatch per index ...\n",
                options.tiles, options.spots, options.samples);
    const runsim::RunTruth truth = runsim::generate_run(recipe);
    std::printf("run folder: %.1f MB of calls, %.1f MB on disk, made in %.1f s\n", double(truth.call_bytes) / 1e6,
                double(truth.bytes) / 1e6, truth.seconds);

    const fs::path classic_out = work.path / "classic";
    const fs::path quillon_out = work.path / "quillon";
    fs::create_directories(classic_out);
    fs::create_directories(quillon_out);
    const ChildRun classic =
        convert({QUILLON_CLASSIC_BINARY, "--input", truth.run_folder.string(), "--output", classic_out.string(),
                 "--samplesheet", truth.sample_sheet.string(), "--threadlanes", "1", "--threadsperlane",
                 std::to_string(options.threads_per_lane)},
                work.path / "classic.log", "quillon-classic");
    const ChildRun quillon =
        convert({QUILLON_BINARY, "--input=" + truth.run_folder.string(), "--output=" + quillon_out.string(),
                 "--samplesheet=" + truth.sample_sheet.string()},
                work.path / "quillon.log", "quillon");

    int classic_files = 0, quillon_files = 0;
    std::uint64_t classic_disk = 0, quillon_disk = 0;
    const std::uint64_t classic_text =
        bench::inflate_outputs(classic_out / "FASTQs", classic_files, classic_disk).size();
    const std::uint64_t quillon_text = bench::inflate_outputs(quillon_out, quillon_files, quillon_disk).size();

    const double classic_rate = bench::megabytes_per_second(classic_text, classic.seconds);
    const double quillon_rate = bench::megabytes_per_second(quillon_text, quillon.seconds);
    const double ratio = classic_rate / quillon_rate;
    const double classic_mib = double(classic.peak_rss_kib) / 1024.0;
    std::printf("quillon-classic, %d threads per lane: %8.1f MB/s of FASTQ (%.1f MB in %d files, %.2f s)\n",
                options.threads_per_lane, classic_rate, double(classic_text) / 1e6, classic_files, classic.seconds);
    std::printf("quillon, default threads:            %8.1f MB/s of FASTQ (%.1f MB in %d files, %.2f s)\n",
                quillon_rate, double(quillon_text) / 1e6, quillon_files, quillon.seconds);
    std::printf("ratio quillon-classic / quillon:     %8.2f   (target %.2f or more: %s)\n", ratio, Target_ratio,
                ratio >= Target_ratio ? "met" : "NOT met");
    std::printf("quillon-classic peak resident memory: %7.1f MiB (target below %.0f MiB: %s)\n", classic_mib,
                Memory_limit_mib, classic_mib < Memory_limit_mib ? "met" : "NOT met");
    std::printf("quillon peak resident memory:        %8.1f MiB\n", double(quillon.peak_rss_kib) / 1024.0);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return bench::run_main("classic_bench", [&] { return run(parse(argc, argv)); });
}
