// Inflate rate of DaxUnZip against a serial `gzip -dc` on one synthetic base-call file of
// about 260 MiB inflated, stored as block-gzip members of 1 MiB of stream each.
//
//   dax_unzip_bench [--spots N] [--cycles N] [--level L] [--threads N] [--rounds N]
//
// Both readers take the file from the page cache (it has just been written). DaxUnZip is
// timed from create to the last byte copied out, once with fresh buffers and then with the
// buffers kept from the round before, as when one reader goes through many files.
#include "bench/bench_support.h"
#include "common/dax_unzip.h"
#include "tools/runsim/random_calls.h"
#include "tools/runsim/zel_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using bench::Clock;
using bench::seconds_since;
using bench::megabytes_per_second;

struct Options {
    std::uint64_t spots = 1'800'000;
    std::uint64_t cycles = 151;
    int level = 6;
    int threads = 6;
    int rounds = 5;
};

Options parse(int argc, char** argv)
{
    Options options;
    bench::parse_options(argc, argv, [&](const std::string& name, long long value) {
        if (name == "--spots")
            options.spots = static_cast<std::uint64_t>(value);
        else if (name == "--cycles")
            options.cycles = static_cast<std::uint64_t>(value);
        else if (name == "--level")
            options.level = static_cast<int>(value);
        else if (name == "--threads")
            options.threads = static_cast<int>(value);
        else if (name == "--rounds")
            options.rounds = static_cast<int>(value);
        else
            return false;
        return true;
    });
    return options;
}

// One serial `gzip -dc` of the file, its output read and discarded. Returns the byte count.
std::uint64_t gunzip_with_gzip(const fs::path& path)
{
    const std::string command = "gzip -dc '" + path.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    std::vector<char> chunk(std::size_t(1) << 20);
    std::uint64_t total = 0;
    std::size_t count;
    while ((count = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        total += count;
    if (pclose(pipe) != 0)
        throw std::runtime_error(command + " failed");
    return total;
}

int run(const Options& options)
{
    runsim::ZelHeader header;
    header.version = 4;
    header.spots = options.spots;
    header.cycles = options.cycles;
    header.extra_cycles = 0;

    std::printf("generating %llu spots x %llu cycles ...\n", static_cast<unsigned long long>(options.spots),
                static_cast<unsigned long long>(options.cycles));
    const std::vector<unsigned char> calls = runsim::random_calls(options.spots * options.cycles, 20240611);
    const std::vector<unsigned char> head = runsim::zel_header_bytes(header);

    bench::ScratchPath file{fs::temp_directory_path() / ("dax_unzip_bench_" + std::to_string(getpid()) + ".zel")};
    runsim::ZelWriteOptions write_options;
    write_options.storage = runsim::ZelStorage::BlockGzip;
    write_options.member_text_size = std::size_t(1) << 20;
    write_options.level = options.level;
    const runsim::ZelFileStats stats = runsim::write_zel_file(file.path, header, calls, write_options);
    const std::uint64_t total = stats.stream_bytes;
    std::printf("file: %.1f MiB inflated, %.1f MiB on disk (%.2f : 1), %llu members, level %d\n",
                double(total) / 1048576.0, double(stats.file_bytes) / 1048576.0,
                double(total) / double(stats.file_bytes), static_cast<unsigned long long>(stats.members),
                options.level);

    auto buffer = std::make_unique_for_overwrite<unsigned char[]>(total);
    DaxUnZip reader(options.threads);
    double first = 0;
    double best = 1e30;
    for (int round = 0; round < options.rounds; ++round) {
        const Clock::time_point start = Clock::now();
        reader.reset();
        reader.setfilepath(file.path.string());
        reader.create();
        const std::uint64_t count = reader.decompress(buffer.get(), total + 1);
        const double elapsed = seconds_since(start);
        if (count != total)
            throw std::runtime_error("DaxUnZip gave " + std::to_string(count) + " bytes, expected " +
                                     std::to_string(total));
        if (round == 0) {
            first = elapsed;
            if (std::memcmp(buffer.get(), head.data(), head.size()) != 0 ||
                std::memcmp(buffer.get() + head.size(), calls.data(), calls.size()) != 0)
                throw std::runtime_error("DaxUnZip gave other bytes than were written");
        }
        best = std::min(best, elapsed);
    }

    double gzip_best = 1e30;
    for (int round = 0; round < std::min(options.rounds, 2); ++round) {
        const Clock::time_point start = Clock::now();
        const std::uint64_t count = gunzip_with_gzip(file.path);
        gzip_best = std::min(gzip_best, seconds_since(start));
        if (count != total)
            throw std::runtime_error("gzip -dc gave " + std::to_string(count) + " bytes");
    }

    const double dax_rate = megabytes_per_second(total, best);
    const double gzip_rate = megabytes_per_second(total, gzip_best);
    std::printf("DaxUnZip, %d threads: %8.1f MB/s (first round, fresh buffers: %.1f MB/s)\n", options.threads, dax_rate,
                megabytes_per_second(total, first));
    std::printf("gzip -dc:            %8.1f MB/s\n", gzip_rate);
    std::printf("ratio:               %8.1f x (target 8 x)\n", dax_rate / gzip_rate);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return bench::run_main("dax_unzip_bench", [&] { return run(parse(argc, argv)); });
}
