#pragma once
// One tile folder of a run ("S01_T001" inside a lane folder "L01"), with its base-call
// files ("R1.zel") and positions files ("R1_positions") indexed by read number - 1.
#include <filesystem>
#include <vector>

class TileFolder {
public:
    TileFolder() = default;
    // Parses lane, surface and tile from the path's names and, when the folder exists,
    // lists its base-call and positions files.
    explicit TileFolder(const std::filesystem::path& path);

    void find_zel_files();
    void find_pos_files();

    int lane = 0;
    int surface = 0;
    int tile = 0;
    std::filesystem::path folder;
    std::vector<std::filesystem::path> zel_files;
    std::vector<std::filesystem::path> pos_files;
};
