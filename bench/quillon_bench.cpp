// Conversion rate of the built quillon against the output limit: how fast the same FASTQ text
// can be compressed at all, in the same pieces, at the same level, with the same codec and on
// the same number of threads, with no other work.
//
//   quillon_bench [--spots N] [--tiles N] [--rounds N] [--controls 1] [--samples N [--mismatches M]]
//                 [--undetermined 1] [--repeat N] [--threads N]
//
// Generates a run of 2 lanes x 6 tiles x 250,000 spots with reads of 151, 8, 8 and 151 cycles
// (the counts per tile and per lane can be changed), converts it with quillon at its default
// thread count (plain conversion unless asked otherwise:
//   --controls 1   a controls file of one 5,000-base control and two 33-base adapters, 5% of
//                  spots cut from the control and 10% with an adapter, converted with
//                  --trimadapters;
//   --samples N    a sample sheet of N dual-indexed samples (8 + 8 cycles) listed for both lanes,
//                  with M mismatches allowed in each index (1 by default, 2 for edit distance);
//   --undetermined 1  every spot with random indexes that match no sample (96 samples unless
//                  --samples says otherwise; 75 tiles of 20,000 spots unless --tiles and --spots
//                  say otherwise), so that a lane holds as many distinct undetermined
//                  index texts as spots; quillon also converts the run once more without index
//                  reads (every text the same), and the difference of the two peaks per text of
//                  a lane is printed as the memory that counting them takes);
//   --repeat N     each lane's tiles read N times over (quillon's --repeat), a longer run: the
//                  rate and resident memory are also printed for each quarter of the tiles, to
//                  show that both hold over time; the limit is then measured on every N-th MiB
//                  of each file's text;
//   --threads N    quillon's --threads, and the limit on as many threads (by default the
//                  machine's count); with 1 the timing table gives each stage's processor time),
// inflates every FASTQ file it wrote and compresses that text again: as the
// limit, and through pigz for comparison. quillon and the limit are each measured in several
// rounds (3 by default) and the best round of each counts, so that a passing load on the
// machine spoils neither. Prints the rates, quillon's highest peak resident memory and the timing
// table of quillon's best round, with quillon's processor time per GB of FASTQ and how often
// the kernel took a processor from one of its runnable threads. Everything is written under
// the system's temporary folder and removed at the end.
#include "bench/bench_run.h"
#include "bench/bench_support.h"
#include "bench/child_run.h"
#include "common/block_gzip.h"
#include "tools/runsim/run_generator.h"

#include <oneapi/tbb/info.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using bench::Clock;
using bench::seconds_since;
using bench::megabytes_per_second;
using bench::ChildRun;
using bench::inflate_outputs;
using bench::run_child;

constexpr std::size_t Piece_size = std::size_t(1) << 20;

struct Options {
    int spots = 0; // 0: 250,000, or 20,000 with --undetermined
    int tiles = 0; // 0: 6, or 75 with --undetermined
    int rounds = 3;
    bool controls = false;
    int samples = 0;
    int mismatches = 1;
    bool undetermined = false;
    int repeat = 1;
    int threads = 0; // 0: the machine's count
};

// The ratio each kind of run is expected to reach.
double target_ratio(const Options& options)
{
    if (options.samples > 0)
        return options.mismatches >= 2 ? 0.6 : 0.75;
    return options.controls ? 0.75 : 0.8;
}

// The peak resident memory each kind of run must stay below.
double memory_limit_mib(const Options& options)
{
    return options.samples > 0 || options.controls ? 2048 : 1536;
}

Options parse(int argc, char** argv)
{
    Options options;
    bench::parse_options(argc, argv, [&](const std::string& name, long long value) {
        if (name == "--spots")
            options.spots = static_cast<int>(value);
        else if (name == "--tiles")
            options.tiles = static_cast<int>(value);
        else if (name == "--rounds")
            options.rounds = static_cast<int>(value);
        else if (name == "--controls")
            options.controls = value != 0;
        else if (name == "--samples")
            options.samples = static_cast<int>(value);
        else if (name == "--mismatches" && value <= 2)
            options.mismatches = static_cast<int>(value);
        else if (name == "--undetermined")
            options.undetermined = value != 0;
        else if (name == "--repeat")
            options.repeat = static_cast<int>(value);
        else if (name == "--threads")
            options.threads = static_cast<int>(value);
        else
            return false;
        return true;
    });
    return options;
}

// Sets I1Mismatches and I2Mismatches in a generated sheet.
void set_mismatches(const fs::path& sheet, int mismatches)
{
    std::ifstream in(sheet);
    std::string text;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("I1Mismatches,") || line.starts_with("I2Mismatches,"))
            line = line.substr(0, 13) + std::to_string(mismatches);
        text += line + "\n";
    }
    in.close();
    std::ofstream out(sheet, std::ios::trunc);
    out << text;
    if (!out.flush())
        throw std::runtime_error("cannot rewrite " + sheet.string());
}

// A copy of a sheet that uses no index reads: every spot's index text is then N padding alone.
fs::path sheet_without_index_reads(const fs::path& sheet, const fs::path& copy)
{
    std::ifstream in(sheet);
    std::ofstream out(copy, std::ios::trunc);
    for (std::string line; std::getline(in, line);)
        out << (line.starts_with("I1CycleUsage,") || line.starts_with("I2CycleUsage,") ? line.substr(0, 12) : line)
            << "\n";
    if (!out.flush())
        throw std::runtime_error("cannot write " + copy.string());
    return copy;
}

// Seconds to compress the text in pieces of 1 MiB on the given threads, one codec each.
double compress_limit(const std::string& text, int threads, std::uint64_t& compressed)
{
    const std::size_t pieces = (text.size() + Piece_size - 1) / Piece_size;
    std::atomic<std::size_t> next{0};
    std::atomic<std::uint64_t> total{0};
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            block_gzip::Compressor codec(block_gzip::Default_level);
            std::vector<char> member;
            std::uint64_t bytes = 0;
            for (std::size_t piece; (piece = next.fetch_add(1)) < pieces;) {
                const std::size_t at = piece * Piece_size;
                bytes += codec.compress(text.data() + at, std::min(Piece_size, text.size() - at), member);
            }
            total += bytes;
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    compressed = total;
    return seconds_since(start);
}

// Seconds for pigz to compress the text to nothing; negative when pigz cannot be run.
double compress_with_pigz(const std::string& text, int threads)
{
    const std::string command = "pigz -p " + std::to_string(threads) + " -6 >/dev/null";
    if (std::system("command -v pigz >/dev/null 2>&1") != 0)
        return -1;
    const Clock::time_point start = Clock::now();
    FILE* pipe = popen(command.c_str(), "w");
    if (pipe == nullptr)
        return -1;
    const std::size_t written = std::fwrite(text.data(), 1, text.size(), pipe);
    const int status = pclose(pipe);
    if (written != text.size() || status != 0)
        throw std::runtime_error(command + " failed");
    return seconds_since(start);
}

// The log's messages from its "Timing: " line on, without time, thread and level.
std::string timing_table(const fs::path& log)
{
    std::ifstream in(log);
    std::ostringstream table;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        inside = inside || line.find("Timing: ") != std::string::npos;
        const std::size_t level = line.find("[INFO] ");
        if (inside)
            table << "  " << (level == std::string::npos ? line : line.substr(level + 7)) << "\n";
    }
    return table.str();
}

// Seconds since midnight of a log line's "%Y-%m-%d %H:%M:%S,mmm" time, or -1.
double log_line_seconds(const std::string& line)
{
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    int milliseconds = 0;
    if (line.size() < 23 ||
        std::sscanf(line.c_str() + 11, "%d:%d:%d,%d", &hours, &minutes, &seconds, &milliseconds) != 4)
        return -1;
    return hours * 3600.0 + minutes * 60.0 + seconds + milliseconds / 1000.0;
}

// When each tile was completed, in seconds since the log's first line, in log order.
std::vector<double> tile_completion_times(const fs::path& log)
{
    std::ifstream in(log);
    std::vector<double> times;
    double first = -1;
    double previous = 0;
    double day = 0;
    for (std::string line; std::getline(in, line);) {
        double at = log_line_seconds(line);
        if (at < 0)
            continue;
        at += day;
        if (at < previous) { // past midnight
            day += 86400;
            at += 86400;
        }
        previous = at;
        if (first < 0)
            first = at;
        if (line.find("[INFO] Completed L") != std::string::npos)
            times.push_back(at - first);
    }
    return times;
}

// The rate and the highest resident memory over each quarter of a run's tiles.
void print_quarters(const ChildRun& run, const fs::path& log, std::uint64_t text_bytes)
{
    const std::vector<double> times = tile_completion_times(log);
    if (times.size() < 4)
        return;
    const double per_tile = double(text_bytes) / double(times.size());
    std::printf("over time, by quarters of the %zu tiles:\n", times.size());
    double start = 0;
    for (int quarter = 1; quarter <= 4; ++quarter) {
        const std::size_t first = (quarter - 1) * times.size() / 4;
        const std::size_t last = quarter * times.size() / 4; // exclusive
        const double end = times[last - 1];
        long rss = 0;
        for (const bench::MemorySample& sample : run.memory)
            if (sample.seconds >= start && sample.seconds <= end)
                rss = std::max(rss, sample.rss_kib);
        std::printf("  quarter %d (tiles %zu to %zu): %8.1f MB/s of FASTQ, resident memory up to %.0f MiB\n", quarter,
                    first + 1, last, megabytes_per_second(std::uint64_t(per_tile * double(last - first)), end - start),
                    double(rss) / 1024.0);
        start = end;
    }
}

int run(Options options)
{
    if (options.undetermined && options.samples == 0)
        options.samples = 96;
    // Many small tiles keep the memory of tiles and FASTQ bundles small beside the counts.
    if (options.spots == 0)
        options.spots = options.undetermined ? 20000 : 250000;
    if (options.tiles == 0)
        options.tiles = options.undetermined ? 75 : 6;
    bench::ScratchPath work{fs::temp_directory_path() / ("quillon_bench_" + std::to_string(getpid()))};
    fs::remove_all(work.path);
    const fs::path out = work.path / "out";
    fs::create_directories(out);

    runsim::RunRecipe recipe = bench::standard_recipe(work.path / "run", options.tiles, options.spots, options.samples);
    recipe.keep_calls = false;
    // Indexes are drawn for one mismatch: 96 indexes of 8 bases cannot lie far enough apart
    // for two to stay unambiguous. Two mismatches are then set in the sheets afterwards.
    recipe.i1_mismatches = 1;
    recipe.i2_mismatches = 1;
    if (options.samples == 0)
        recipe.sample_sheet.clear();
    if (options.undetermined)
        recipe.undetermined_fraction = 1.0;
    recipe.control_fraction = options.controls ? 0.05 : 0.0;
    recipe.adapter_fraction = options.controls ? 0.10 : 0.0;
    recipe.controls = 1;
    recipe.dropped_controls = 0;
    recipe.control_length = 5000;
    recipe.adapter_length = 33;
    if (!options.controls)
        recipe.controls_file.clear();
    std::printf("generating 2 lanes x %d tiles x %d spots, reads of 151, 8, 8 and 151 cycles%s ...\n", options.tiles,
                options.spots, options.controls ? ", controls and adapters" : "");
    if (options.samples > 0)
        std::printf("sample sheet: %d dual-indexed samples in both lanes, %d mismatch(es) per index\n", options.samples,
                    options.mismatches);
    const runsim::RunTruth truth = runsim::generate_run(recipe);
    if (options.samples > 0 && options.mismatches != 1)
        for (const fs::path& sheet : {truth.sample_sheet, truth.design_sheet})
            set_mismatches(sheet, options.mismatches);
    std::printf("run folder: %.1f MB of calls, %.1f MB on disk, made in %.1f s\n", double(truth.call_bytes) / 1e6,
                double(truth.bytes) / 1e6, truth.seconds);

    const int threads = options.threads > 0 ? options.threads : tbb::info::default_concurrency();
    const fs::path log = work.path / "quillon.log";
    const fs::path best_log = work.path / "quillon_best.log";
    ChildRun best;
    long peak_rss_kib = 0;
    const auto arguments = [&](const fs::path& sample_sheet, const fs::path& design_sheet) {
        std::vector<std::string> args = {QUILLON_BINARY, "--input=" + truth.run_folder.string(),
                                         "--output=" + out.string(), "--designsheet=" + design_sheet.string()};
        if (options.controls) {
            args.push_back("--controlsfile=" + truth.controls_file.string());
            args.push_back("--trimadapters");
        }
        if (options.samples > 0)
            args.push_back("--samplesheet=" + sample_sheet.string());
        if (options.repeat > 1)
            args.push_back("--repeat=" + std::to_string(options.repeat));
        if (options.threads > 0)
            args.push_back("--threads=" + std::to_string(options.threads));
        return args;
    };
    // The same run without index reads: every spot's index text is the same.
    ChildRun plain;
    if (options.undetermined) {
        plain = run_child(arguments(sheet_without_index_reads(truth.sample_sheet, work.path / "samples.csv"),
                                    sheet_without_index_reads(truth.design_sheet, work.path / "design.csv")),
                          log);
        if (plain.status != 0)
            throw std::runtime_error("quillon without index reads ended with status " + std::to_string(plain.status));
        std::printf("quillon without index reads: %.2f s, peak %.0f MiB\n", plain.seconds,
                    double(plain.peak_rss_kib) / 1024.0);
    }
    // Every quillon round comes before the text is loaded: a child's peak resident memory
    // counts what it shared with this process between fork and exec.
    for (int round = 0; round < options.rounds; ++round) {
        fs::remove_all(out);
        fs::create_directories(out);
        const ChildRun quillon =
            run_child(arguments(truth.sample_sheet, truth.design_sheet), log, options.repeat > 1 ? 0.1 : 0);
        if (quillon.status != 0) {
            std::ifstream in(log);
            std::fprintf(stderr, "%s", std::string(std::istreambuf_iterator<char>(in), {}).c_str());
            throw std::runtime_error("quillon ended with status " + std::to_string(quillon.status));
        }
        std::printf("quillon round %d: %.2f s, peak %.0f MiB, %.1f s of processor time, %ld involuntary switches\n",
                    round + 1, quillon.seconds, double(quillon.peak_rss_kib) / 1024.0, quillon.cpu_seconds,
                    quillon.involuntary_switches);
        peak_rss_kib = std::max(peak_rss_kib, quillon.peak_rss_kib);
        if (round == 0 || quillon.seconds < best.seconds) {
            best = quillon;
            fs::copy_file(log, best_log, fs::copy_options::overwrite_existing);
        }
    }

    int files = 0;
    std::uint64_t disk_bytes = 0;
    std::uint64_t text_bytes = 0;
    const std::string text = inflate_outputs(out, files, disk_bytes, text_bytes, options.repeat);
    std::printf("FASTQ: %d files, %.1f MB of text, %.1f MB on disk", files, double(text_bytes) / 1e6,
                double(disk_bytes) / 1e6);
    if (options.repeat > 1)
        std::printf("; the limit is measured on %.1f MB of it", double(text.size()) / 1e6);
    std::printf("\n");
    double limit_seconds = 0;
    std::uint64_t limit_bytes = 0;
    for (int round = 0; round < options.rounds; ++round) {
        const double seconds = compress_limit(text, threads, limit_bytes);
        std::printf("limit round %d: %.2f s\n", round + 1, seconds);
        limit_seconds = round == 0 ? seconds : std::min(limit_seconds, seconds);
    }
    const double pigz_seconds = compress_with_pigz(text, threads);

    const double quillon_rate = megabytes_per_second(text_bytes, best.seconds);
    const double limit_rate = megabytes_per_second(text.size(), limit_seconds);
    const double ratio = quillon_rate / limit_rate;
    const double peak_mib = double(peak_rss_kib) / 1024.0;
    std::printf("best of %d rounds:\n", options.rounds);
    std::printf("quillon, %d threads:                  %8.1f MB/s of FASTQ (%.2f s)\n", threads, quillon_rate,
                best.seconds);
    std::printf("limit, level %d in 1 MiB pieces:       %8.1f MB/s (%.2f s, %.1f MB compressed)\n",
                block_gzip::Default_level, limit_rate, limit_seconds, double(limit_bytes) / 1e6);
    std::printf("ratio quillon / limit:               %8.2f   (target %.2f or more: %s)\n", ratio,
                target_ratio(options), ratio >= target_ratio(options) ? "met" : "NOT met");
    if (pigz_seconds >= 0)
        std::printf("pigz -p %d -6 (one round):            %8.1f MB/s (%.2f s)\n", threads,
                    megabytes_per_second(text.size(), pigz_seconds), pigz_seconds);
    else
        std::printf("pigz: not installed\n");
    std::printf("quillon peak resident memory:        %8.1f MiB (target below %.0f MiB: %s)\n", peak_mib,
                memory_limit_mib(options), peak_mib < memory_limit_mib(options) ? "met" : "NOT met");
    std::printf("quillon processor time (best round): %8.1f s per GB of FASTQ, %ld involuntary switches\n",
                best.cpu_seconds / (double(text_bytes) / 1e9), best.involuntary_switches);
    if (options.repeat > 1)
        print_quarters(best, best_log, text_bytes);
    if (options.undetermined) {
        // Every spot of a lane has its own random index text (collisions are negligible).
        const double texts = double(options.tiles) * options.spots;
        const double bytes = double(peak_rss_kib - plain.peak_rss_kib) * 1024.0 / texts;
        std::printf("undetermined index texts:            %8.1f bytes each (%.0f texts in a lane; target 32 or "
                    "less: %s)\n",
                    bytes, texts, bytes <= 32 ? "met" : "NOT met");
    }
    std::printf("quillon's timers (best round):\n%s", timing_table(best_log).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return bench::run_main("quillon_bench", [&] { return run(parse(argc, argv)); });
}
