#pragma once
// The spots of one tile that go to one FASTQ file for one read: formatted into FASTQ text
// and, for compressed output, deflated into one block-gzip member. Bundles are pooled by
// the FASTQ writer and keep their buffers between uses.
//
// Record of a spot for read r (the spot's reads[r - 1]):
//   @<instrument>:<run>:<flowcell>:<lane>:<tile tag>:<x>:<y>[:<umi>] <r>:<Y|N>:0
//   <bases, "N" for an empty read>
//   +
//   <qualities + 33, "!" for an empty read>
// Y marks a far-secondary read. A record, final newline included, must fit into a window of
// Window_size bytes.
#include "common/block_gzip.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class Config;
class Spot;
class SpotRead;

class FastqSpotBundle {
public:
    static constexpr std::size_t Window_size = 1024;

    explicit FastqSpotBundle(const Config& config);

    // Sets lane and read, the tile tag from surface and tile, and appends the spots.
    void set_spots(const std::vector<Spot*>& batch, int lane, int surface, int tile, int read);
    void clear_spots()
    {
        spots.clear();
        estimated_size = 0;
    }

    // The planning size of one record: 2 x length + 69.
    static int get_estimated_formatted_size(const SpotRead& read);

    // Formats every spot into formatted (formatted_size bytes) and nulls its pointer. Throws
    // std::runtime_error "seq buffer is out of bounds: seq_size= " + read length for a record
    // that does not fit its window.
    void format();

    // Deflates the formatted text into one complete member in compressed (compressed_size
    // bytes) with the given codec, or with one of the bundle's own made on first use. Throws
    // std::runtime_error "ERROR: zng_deflateInit2() failed" or "ERROR: zng_deflate() failed".
    void compress(block_gzip::Compressor& codec);
    void compress();

    // flowcell[_Lnn]_<read label>_Sample_Library[_<sample>].fastq; no lane part with MergeLanes.
    static std::filesystem::path get_sample_fastq_filename(const Config& config, int lane, int read,
                                                           const std::string& sample);
    // flowcell[_Lnn]_<read label>_Control_Library.fastq
    static std::filesystem::path get_control_fastq_filename(const Config& config, int lane, int read);

    int lane = 0;
    int read = 0;
    std::string tile; // surface in 2 digits and tile in 3, zero-filled ("01005")
    const Config* config;
    std::optional<block_gzip::Compressor> compressor; // made on first use, then reused
    // The planned size of the text: the spots' estimates, when the bundle was cut by them.
    std::uint64_t estimated_size = 0;
    std::uint64_t formatted_size = 0;
    std::uint64_t compressed_size = 0;
    std::vector<char> formatted;  // grows, never shrinks; may be handed on once compressed
    std::vector<char> compressed; // the member alone; grows, never shrinks
    std::vector<Spot*> spots;

private:
    // Makes formatted at least size bytes long.
    void grow_text(std::size_t size);
    // Sets the header text of every record of this lane, tile and read.
    void set_header_text();

    // The header text shared by every record of one format() call, before x and after y.
    std::string header_prefix_;
    std::string read_tag_;
};
