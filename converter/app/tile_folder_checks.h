#pragma once
// Names of the run folder's lane and tile folders, and the problems of a tile folder's input
// files that its file lists cannot show. Implemented with TileFolder in tile_folder.cpp, which
// holds the file-name rules they share.
#include "converter/app/tile_folder.h"

#include <string>
#include <vector>

// "L" and two digits, for example "L01".
bool is_lane_name(const std::string& name);
// "S", two digits, "_T", three digits, for example "S01_T001".
bool is_tile_name(const std::string& name);

// Walks the tile folder as TileFolder does and returns one message per problem, naming the
// file or folder: a base-call or positions file whose read number is not 1 to 4, a read number
// that more than one file claims (each of those files is named), a folder that cannot be
// listed. Empty when the folder is sound or does not exist. Never throws for file-system errors.
std::vector<std::string> find_tile_file_problems(const TileFolder& tile);
