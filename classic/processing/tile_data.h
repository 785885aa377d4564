#pragma once
// The records of one tile slot of a lane: per read the decoded calls (ZelData) and what the
// tile contributes (ReadData), per spot its demultiplexing result (SpotData), and the tile's
// FASTQ text for each sample output.
#include "classic/framework/histograms.h"
#include "classic/framework/matrix.h"
#include "classic/processing/counts.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// One read of one tile.
struct ZelData {
    bool has_positions = false;
    std::uint64_t spots = 0;
    std::uint64_t cycles = 0;
    std::uint64_t extra = 0;
    matrix<int> positions;       // spots x 2: x, y
    matrix<char> bases;          // spots x cycles: 'A', 'C', 'G', 'T', 'N', trailing 'N's as '.'
    matrix<unsigned char> quals; // spots x cycles: quality values
    std::string sequence;        // the current spot's bases
    std::string quality;         // the current spot's quality characters
};

// A raw quality value as its FASTQ character.
inline char quality_character(unsigned char quality)
{
    return quality < 94 ? static_cast<char>(quality + 33) : '~';
}

// Whether a row's text ends at this letter: trailing no-calls are '.', and an unfilled row NUL.
inline bool is_text_end(char letter)
{
    return letter == '.' || letter == '\0';
}

// Spot s's letters of at most `cycles` cycles, up to the end of its text, into sequence, and
// their quality characters into quality.
inline void spot_texts(const ZelData& read, std::uint64_t s, std::uint64_t cycles, std::string& sequence,
                       std::string& quality)
{
    const char* bases = read.bases.row(s);
    const unsigned char* quals = read.quals.row(s);
    sequence.clear();
    quality.clear();
    for (std::uint64_t c = 0; c < cycles && !is_text_end(bases[c]); ++c) {
        sequence += bases[c];
        quality += quality_character(quals[c]);
    }
}

// What one read of one tile contributes: per-spot lengths and per-quality tallies of the bases
// for the histograms, the clean control spots, the statistics and the FASTQ texts. The qualities
// are tallied as the bases are read rather than kept one entry per base, which would hold a
// tile's calls a second time.
struct ReadData {
    std::vector<short> sample_lengths;
    std::vector<short> control_lengths;
    classic::QualityTally sample_qualities{};
    classic::QualityTally control_qualities{};
    std::vector<std::uint64_t> clean_control_spots;
    std::map<std::string, std::vector<short>> control_lengths_by_class;
    std::map<std::string, classic::QualityTally> control_qualities_by_class;
    std::map<std::string, std::vector<std::uint64_t>> clean_control_spots_by_class;
    std::map<std::string, std::vector<short>> sample_lengths_by_id;
    std::map<std::string, classic::QualityTally> sample_qualities_by_id;
    Counts counts;
    std::string control_fastq;
    std::string sample_fastq; // every non-control record without samples, else the undetermined ones
};

// One spot's demultiplexing result.
struct SpotData {
    bool control = false;
    short sample = -1; // -1: undetermined
    std::string umi;
    std::uint64_t index_prefix = 0;
};

// One tile slot.
struct TileData {
    std::vector<ZelData> zel_data;                             // per read, in read order
    std::map<std::pair<short, int>, std::string> sample_fastq; // (sample, read index) -> text
    std::vector<ReadData> read_data;                           // per read
    std::vector<SpotData> spot_data;                           // per spot
};
