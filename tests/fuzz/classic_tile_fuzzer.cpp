// A tile of quillon-classic whose two reads have any bytes as their base-call file, plain or
// gzip as the reader finds them, with positions files of 16 spots: the reads decoded, their
// spots matched by position, demultiplexed and written into records, as a tile thread does.
#include "tests/fuzz/classic_fuzz_run.h"
#include "tests/fuzz/fuzz_file.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// A tile folder whose files are links to the fuzz files.
struct TileFolder {
    fuzz::FuzzFile calls;
    fuzz::FuzzFile positions;
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("classic_tile_fuzzer_" + std::to_string(getpid()));

    TileFolder()
    {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        // 16 spots at (s, s), integers.
        std::vector<std::uint8_t> bytes(24 + 16 * 8, 0);
        bytes[8] = 5;
        bytes[16] = 16;
        for (std::uint8_t s = 0; s < 16; ++s)
            bytes[24 + 8 * s] = bytes[28 + 8 * s] = s;
        const std::string& positions_path = positions.write(bytes.data(), bytes.size());
        for (const char* read : {"1", "2"}) {
            std::filesystem::create_symlink(positions_path, path / (std::string("R") + read + "_positions"));
            std::filesystem::create_symlink(calls.write(nullptr, 0), path / (std::string("R") + read + ".zel"));
        }
    }
    ~TileFolder() { std::filesystem::remove_all(path); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TileFolder folder;
    static fuzz::ClassicRun run;
    folder.calls.write(data, size);
    TileData tile;
    tile.zel_data.resize(2);
    tile.read_data.resize(2);
    for (ReadData& read : tile.read_data)
        read.counts.initialize(run.fastq.control_classes, run.fastq.sample_names);
    try {
        run.fastq.process_reads(folder.path.string(), tile, 0, "1:01001");
    } catch (const AlgorithmFramework::AFException&) {
    }
    return 0;
}
