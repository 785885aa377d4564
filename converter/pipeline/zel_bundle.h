#pragma once
// One tile's raw input: per read the call bytes of every spot and the x and y of every
// spot, with the checks of each file's header against the run configuration, and the
// unpacking of the tile into spots. Bundles are recycled by the tile loader; their buffers
// never shrink, so a recycled bundle keeps the capacity of its largest tile.
#include "converter/pipeline/spot.h"

#include <vector>

class Config;
class SpotBlock;
class TileFolder;
class ZelReader;

class ZelBundle {
public:
    explicit ZelBundle(const Config& config);

    // Reads every read's base-call and positions files of the tile named by lane and tile.
    // False, after logging at ERROR, when a header does not fit the run or the tile, or a
    // file holds less data than its header promises. Throws what the readers throw for a
    // file that cannot be opened or is damaged. The calls are inflated with the given reader
    // (whose buffers are kept for the next tile), or with one of the bundle's own.
    bool read_tile(ZelReader& reader);
    bool read_tile();

    // Checks one read's base-call header against the configured cycles of the read and
    // against the tile's spot count, which the first header checked sets. Every check is
    // made and each failure logged with the read's base-call path.
    bool validate_zel_header(const TileFolder& folder, int read, unsigned long cycles, unsigned long extra,
                             unsigned long spots);
    // Checks a positions file's spot count against the tile's.
    bool validate_pos_header(const TileFolder& folder, int read, unsigned long spots);

    // Resizes spots to num_spots and unpacks every spot, in parallel; with a block, the
    // reads' bases and qualities are kept in it.
    void create_spots(std::vector<Spot>& spots, SpotBlock* block = nullptr) const;
    void create_spots_range(std::vector<Spot>& spots, int begin, int end, SpotBlock* block = nullptr) const;

    int num_spots = 0;
    bool num_spots_known = false; // set by the first header checked, read 1's base-call header
    int lane = 0;                 // 1-based
    int tile = 0;                 // 1-based position in the lane's tile list
    const Config* config;
    std::vector<std::vector<unsigned char>> calls; // per read: spots x cycles call bytes
    std::vector<std::vector<int>> positions;       // per read: x and y of every spot, interleaved

private:
    bool read_files(ZelReader& zel_reader, const TileFolder& folder, int read);
    void check_buffers() const;
};
