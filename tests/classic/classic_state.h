#pragma once
// A CreateFastq with its own log and blackboard and the console echo off, for tests that set
// its members by hand; its outputs go below the given folder with the prefix "FC".
#include "classic/framework/blackboard.h"
#include "classic/framework/log.h"
#include "classic/processing/create_fastq.h"

#include <cctype>
#include <string>
#include <vector>

struct ClassicState {
    static constexpr unsigned char High_quality = 30; // upper-case letters in the spot texts
    static constexpr unsigned char Low_quality = 5;   // lower-case letters

    AlgorithmFramework::Log log;
    AlgorithmFramework::Blackboard blackboard{log};
    CreateFastq fastq{"create_fastq", log, blackboard};

    explicit ClassicState(const std::string& output = "")
    {
        log.echo = false;
        fastq.output = output;
        fastq.file_prefix = "FC";
    }

    // The tile of the given spots' read texts, each read of read_cycles' length: shorter texts
    // end in no-calls ('.'), lower-case letters have a low quality.
    TileData tile_of(const std::vector<std::vector<std::string>>& spots) const
    {
        TileData made;
        made.zel_data.assign(fastq.read_cycles.size(), ZelData{});
        made.read_data.resize(fastq.read_cycles.size());
        for (std::size_t r = 0; r < made.zel_data.size(); ++r) {
            ZelData& read = made.zel_data[r];
            read.spots = spots.size();
            read.cycles = fastq.read_cycles[r];
            read.bases.resize(read.spots, read.cycles);
            read.quals.resize(read.spots, read.cycles);
            for (std::size_t s = 0; s < spots.size(); ++s) {
                for (std::uint64_t c = 0; c < read.cycles; ++c) {
                    const auto letter = static_cast<unsigned char>(c < spots[s][r].size() ? spots[s][r][c] : '.');
                    read.bases(s, c) = static_cast<char>(std::toupper(letter));
                    read.quals(s, c) = std::islower(letter) ? Low_quality : High_quality;
                }
            }
        }
        return made;
    }
};
