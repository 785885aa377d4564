// A tile of one read whose base-call file is any bytes: its header read as the set-up does,
// then the tile read and unpacked as the tile loader does, with a positions file whose header
// agrees with the base-call header.
#include "converter/app/config.h"
#include "converter/app/tile_folder.h"
#include "converter/pipeline/spot.h"
#include "converter/pipeline/zel_bundle.h"
#include "converter/pipeline/zel_reader.h"
#include "tests/fuzz/fuzz_file.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz::FuzzFile zel_file;
    static fuzz::FuzzFile positions_file;
    static ZelReader reader;
    const std::string& zel = zel_file.write(data, size);

    int spots = 0;
    int cycles = 0;
    int extra = 0;
    try {
        const bool opened = reader.open(zel, spots, cycles, extra);
        reader.close();
        if (!opened || cycles - extra < 1)
            return 0;
    } catch (const std::runtime_error&) {
        return 0;
    }

    // Pairs for at most 4096 spots; more spots than that make a short positions file.
    std::vector<std::uint8_t> positions(24 + 8 * std::min(spots, 4096), 0);
    positions[8] = 5;
    for (int i = 0; i < 4; ++i)
        positions[16 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(spots >> (8 * i));

    Config config;
    config.num_reads = 1;
    config.cycles = {cycles};
    config.extra_cycles = {extra};
    TileFolder folder;
    folder.zel_files = {zel};
    folder.pos_files = {positions_file.write(positions.data(), positions.size())};
    config.lane_tiles = {{folder}};

    ZelBundle bundle(config);
    bundle.lane = 1;
    bundle.tile = 1;
    try {
        if (bundle.read_tile()) {
            std::vector<Spot> unpacked;
            bundle.create_spots(unpacked);
        }
    } catch (const std::runtime_error&) {
    }
    return 0;
}
