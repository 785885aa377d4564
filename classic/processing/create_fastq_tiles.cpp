// Tiles: one tile's base-call and positions files read into its slot, its duplicate positions
// found, then demultiplexing and the records and counts of every read.
//
// A file that is damaged or holds less than its header promises is an error that names the file;
// the tile is then not written and the run goes on. Header sizes are never trusted: the file's
// size (or the inflated size) is checked before anything of that size is allocated.
#include "classic/processing/create_fastq.h"

#include "classic/framework/af_exception.h"
#include "common/base_code.h"
#include "common/dax_unzip.h"
#include "common/little_endian.h"
#include "common/positions_header.h"
#include "common/zel_header.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using little_endian::load_u32;
using little_endian::load_u64;

constexpr int Zel_unzip_threads = 4;
constexpr std::uint64_t Inflate_piece = std::uint64_t(16) << 20;

// A file of the tile that is damaged or shorter than its header says.
class BadTileFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void bad_base_calls(const std::string& path, const std::string& why)
{
    throw BadTileFile("Incorrect file format for base call file " + path + " (" + why + ")");
}

[[noreturn]] void raise(AlgorithmFramework::Log& log, const std::string& text)
{
    std::stringstream message;
    message << text;
    log.exception(message);
}

bool exists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// Something other than a regular file stands at the path: a folder, a pipe or a device, which a
// reader would fail on, wait on for ever or never reach the end of.
bool is_not_a_file(const std::string& path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

std::uint64_t size_of(const std::string& path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::uint64_t>(size);
}

// A float position truncated toward zero; No_position when it is not a number or lies outside
// the range of int.
std::int32_t position_of_float(std::uint32_t bits)
{
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    const double wide = value;
    if (!(wide > -2147483649.0 && wide < 2147483648.0))
        return No_position;
    return static_cast<std::int32_t>(wide);
}

// spots x cycles, or false when the product does not fit.
bool call_count(const ZelHeader& header, std::uint64_t& count)
{
    return !__builtin_mul_overflow(header.spots, header.cycles, &count);
}

// Spots of no cycle take no bytes, so no file size bounds their number.
void check_cycles(const ZelHeader& header, const std::string& path)
{
    if (header.spots > 0 && header.cycles == 0)
        bad_base_calls(path, std::to_string(header.spots) + " spots of no cycles");
}

// The bytes a plain file may hold for a call's base: the letters, and '.' and NUL, which end a
// spot's text.
constexpr std::array<bool, 256> Base_letters = [] {
    std::array<bool, 256> letters{};
    for (const unsigned char letter : {'A', 'C', 'G', 'T', 'N', '.', '\0'})
        letters[letter] = true;
    return letters;
}();

// Any other byte (a line feed would split a record, a control byte would stand in it) makes the
// file damaged.
void check_base_letters(const std::string& path, const matrix<char>& bases)
{
    for (std::uint64_t i = 0; i < bases.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bases.data()[i]);
        if (Base_letters[byte])
            continue;
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", byte);
        bad_base_calls(path, "spot " + std::to_string(i / bases.cols() + 1) + " cycle " +
                                 std::to_string(i % bases.cols() + 1) + " holds the byte " + hex +
                                 ", which is no base letter");
    }
}

// A file that begins with the type 42 is stored plainly: a gzip file begins with its own magic.
// Its version is checked by the plain reading.
bool is_plain(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    unsigned char bytes[8] = {};
    return file && file.read(reinterpret_cast<char*>(bytes), sizeof bytes) && load_u64(bytes) == Zel_file_type;
}

// Versions 1 and 2: the header, the text, then spots x cycles base letters and as many quality
// values.
void read_plain_calls(AlgorithmFramework::Log& log, const std::string& path, ZelData& zel)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        raise(log, "Cannot open input file " + path);
    unsigned char bytes[ZelHeader::Size] = {};
    file.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    const ZelHeader header = ZelHeader::parse(bytes);
    if (header.type != Zel_file_type)
        raise(log, "Incorrect file type " + path);
    if (!file)
        bad_base_calls(path, "the header is cut short");
    if (header.version != 1 && header.version != 2)
        raise(log, "Incorrect file version " + path);
    check_cycles(header, path);
    std::uint64_t calls = 0;
    std::uint64_t both = 0;
    std::uint64_t needed = 0;
    if (!call_count(header, calls) || __builtin_mul_overflow(calls, std::uint64_t(2), &both) ||
        __builtin_add_overflow(ZelHeader::Size + header.text_length, both, &needed) ||
        header.text_length > size_of(path) || needed > size_of(path))
        bad_base_calls(path, "the file is shorter than its header says");
    file.seekg(static_cast<std::streamoff>(ZelHeader::Size + header.text_length));
    zel.bases.resize(header.spots, header.cycles);
    zel.quals.resize(header.spots, header.cycles);
    file.read(zel.bases.data(), static_cast<std::streamsize>(calls));
    file.read(reinterpret_cast<char*>(zel.quals.data()), static_cast<std::streamsize>(calls));
    if (!file)
        bad_base_calls(path, "the calls are cut short");
    check_base_letters(path, zel.bases);
    zel.spots = header.spots;
    zel.cycles = header.cycles;
    zel.extra = header.extra;
}

// Up to count further inflated bytes appended to out; returns how many came.
std::uint64_t inflate_into(DaxUnZip& reader, std::vector<unsigned char>& out, std::uint64_t count)
{
    std::uint64_t taken = 0;
    while (taken < count) {
        const std::uint64_t want = std::min(count - taken, Inflate_piece);
        const std::size_t at = out.size();
        out.resize(at + want);
        const std::uint64_t got = reader.decompress(out.data() + at, want);
        out.resize(at + got);
        taken += got;
        if (got == 0)
            break;
    }
    return taken;
}

// Inflates count bytes and drops them, piece by piece; scratch is left empty.
void skip_inflated(DaxUnZip& reader, std::vector<unsigned char>& scratch, std::uint64_t count, const std::string& path)
{
    for (std::uint64_t left = count; left > 0;) {
        scratch.clear();
        const std::uint64_t piece = inflate_into(reader, scratch, std::min(left, Inflate_piece));
        if (piece == 0)
            bad_base_calls(path, "the file is shorter than its header says");
        left -= piece;
    }
    scratch.clear();
}

// The calls of spots x cycles call bytes as bases and qualities: the quality in the upper six
// bits, the base in the lower two, quality 0 a no-call.
void unpack_calls(const std::vector<unsigned char>& calls, std::uint64_t spots, std::uint64_t cycles, ZelData& zel)
{
    zel.bases.resize(spots, cycles);
    zel.quals.resize(spots, cycles);
    char* bases = zel.bases.data();
    unsigned char* quals = zel.quals.data();
    const std::uint64_t count = spots * cycles;
    for (std::uint64_t i = 0; i < count; ++i) {
        const unsigned char call = calls[i];
        bases[i] = call < 4 ? 'N' : base_code::Letters[call & 3];
        quals[i] = static_cast<unsigned char>(call >> 2);
    }
}

// Versions 3 and 4, stored as gzip members: the header, the text, then one call byte per spot
// and cycle (quality in the upper six bits, base in the lower two, quality 0 a no-call).
void read_gzip_calls(AlgorithmFramework::Log& log, const std::string& path, ZelData& zel)
{
    std::unique_ptr<DaxUnZip> reader;
    try {
        reader = std::make_unique<DaxUnZip>(path, Zel_unzip_threads);
        reader->create();
    } catch (const std::exception& error) {
        raise(log, error.what());
    }
    try {
        unsigned char bytes[ZelHeader::Size] = {};
        const std::uint64_t got = reader->decompress(bytes, 16);
        if (got >= 8 && load_u64(bytes) != Zel_file_type)
            raise(log, "Incorrect file type " + path);
        if (got == 16 && load_u64(bytes + 8) != 3 && load_u64(bytes + 8) != 4)
            raise(log, "Incorrect file version " + path);
        if (got != 16 || reader->decompress(bytes + 16, ZelHeader::Size - 16) != ZelHeader::Size - 16)
            bad_base_calls(path, "the header is cut short");
        const ZelHeader header = ZelHeader::parse(bytes);
        check_cycles(header, path);
        std::uint64_t calls = 0;
        if (!call_count(header, calls))
            bad_base_calls(path, "the file is shorter than its header says");
        // The calls are inflated before the slot's matrices are sized, so a header never asks
        // for more than the file holds.
        std::vector<unsigned char> scratch;
        skip_inflated(*reader, scratch, header.text_length, path);
        if (inflate_into(*reader, scratch, calls) != calls)
            bad_base_calls(path, "the file is shorter than its header says");
        unpack_calls(scratch, header.spots, header.cycles, zel);
        zel.spots = header.spots;
        zel.cycles = header.cycles;
        zel.extra = header.extra;
    } catch (const AlgorithmFramework::AFException&) {
        throw;
    } catch (const BadTileFile&) {
        throw;
    } catch (const std::bad_alloc&) {
        bad_base_calls(path, "memory allocation failed");
    } catch (const std::exception& error) {
        // The reader's messages begin with the path, which this message names already.
        std::string why = error.what();
        if (why.rfind(path + ": ", 0) == 0)
            why.erase(0, path.size() + 2);
        bad_base_calls(path, why);
    }
}

// The no-calls that end each spot's record become '.'.
void mark_trailing_no_calls(ZelData& zel)
{
    for (std::uint64_t s = 0; s < zel.spots; ++s) {
        char* row = zel.bases.row(s);
        for (std::uint64_t c = zel.cycles; c > 0 && row[c - 1] == 'N'; --c)
            row[c - 1] = '.';
    }
}

// When a tile's spots are matched by position, those that some read does not place where every
// read has one spot (its positions file ends before them, or gives a float that is not a number,
// a negative value or the place of another spot of the read) are dropped: the warning that says
// how many, and in which files, or empty.
std::string dropped_spots_warning(const TileData& tile, PositionMask& mask, const std::vector<std::string>& files,
                                  const std::string& tag)
{
    const std::uint64_t spots = tile.spot_data.size();
    const auto reads = static_cast<unsigned char>(tile.zel_data.size());
    // When every read has as many positions as spots, and as many positions hold one spot of
    // every read, each read has all its spots at such positions: none is dropped.
    if (std::all_of(tile.zel_data.begin(), tile.zel_data.end(),
                    [spots](const ZelData& zel) { return zel.positions.rows() == spots; }) &&
        mask.count(reads) == spots)
        return "";
    std::vector<bool> dropped(spots, false);
    std::string named;
    for (std::size_t r = 0; r < tile.zel_data.size(); ++r) {
        const matrix<int>& positions = tile.zel_data[r].positions;
        bool any = false;
        for (std::uint64_t s = 0; s < spots; ++s) {
            if (s < positions.rows() && positions(s, 0) >= 0 && positions(s, 1) >= 0) {
                const unsigned char* cell = mask.find(PositionMask::key(positions(s, 0), positions(s, 1)));
                if (cell != nullptr && *cell == reads)
                    continue;
            }
            dropped[s] = true;
            any = true;
        }
        if (any)
            named += (named.empty() ? "" : ", ") + files[r];
    }
    const auto count = std::count(dropped.begin(), dropped.end(), true);
    if (count == 0)
        return "";
    return "Tile " + tag + ": " + std::to_string(count) +
           " spots dropped, their positions missing, not numbers, negative or repeated in " + named;
}

} // namespace

bool CreateFastq::process_reads(const std::string& folder, TileData& tile, std::uint64_t lane, const std::string& tag)
{
    std::vector<std::string> positions_files(read_numbers.size());
    try {
        for (std::size_t i = 0; i < read_numbers.size(); ++i) {
            const std::string n = std::to_string(read_numbers[i]);
            ZelData& zel = tile.zel_data[i];
            zel.has_positions = false;
            zel.spots = zel.cycles = zel.extra = 0;
            zel.positions.resize(0, 2);

            std::string calls_path = folder + "/R" + n + ".zel";
            const std::string flat_positions = folder + "/R" + n + "_positions";
            const std::string nested_positions = folder + "/Read" + n + "/called_bases_positions";
            positions_files[i] = exists(flat_positions) ? flat_positions : nested_positions;
            if (exists(positions_files[i]))
                zel.has_positions = load_positions(positions_files[i], zel.positions);
            else
                log_error("Cannot find positions file " + (exists(calls_path) ? flat_positions : nested_positions));

            if (!exists(calls_path))
                calls_path = folder + "/Read" + n + "/called_bases.zel";
            if (is_not_a_file(calls_path))
                log_exception("Cannot open input file " + calls_path);
            if (is_plain(calls_path))
                read_plain_calls(*log, calls_path, zel);
            else
                read_gzip_calls(*log, calls_path, zel);
            mark_trailing_no_calls(zel);
            // A read is taken at its own cycle count; one that differs from the first tile's is
            // worth a word.
            const std::uint64_t cycles = zel.cycles > zel.extra ? zel.cycles - zel.extra : 0;
            if (i < read_cycles.size() && cycles != read_cycles[i])
                log_warning("Tile " + tag + ": " + calls_path + " has " + std::to_string(cycles) +
                            " cycles where the first tile's read " + n + " has " + std::to_string(read_cycles[i]) +
                            "; its records keep their own length");
        }
    } catch (const BadTileFile& error) {
        log_error(error.what());
        return false;
    }

    PositionMask mask;
    remove_duplicate_positions(tile, mask);
    if (!demux(lane, tile, tag))
        return false;
    for (const ZelData& zel : tile.zel_data) {
        if (zel.spots != tile.spot_data.size()) {
            log_error("Tile " + tag + " not all tracks contain the same number of reads.");
            return false;
        }
    }
    if (tile.zel_data.size() >= 2 && !mask.by_spot()) {
        if (const std::string warning = dropped_spots_warning(tile, mask, positions_files, tag); !warning.empty())
            log_warning(warning);
    }
    std::string tile_tag = tag;
    process_tile_reads(lane, tile, tile_tag, mask);
    return true;
}

bool CreateFastq::load_positions(const std::string& path, matrix<int>& positions)
{
    std::ifstream file;
    if (!is_not_a_file(path))
        file.open(path, std::ios::binary);
    if (!file.is_open()) {
        log_error("Cannot open output file " + path);
        return false;
    }
    const std::string format_error = "Incorrect file format for positions file " + path;
    unsigned char header_bytes[PositionsHeader::Size] = {};
    if (!file.read(reinterpret_cast<char*>(header_bytes), sizeof header_bytes))
        throw BadTileFile(format_error);
    const PositionsHeader header = PositionsHeader::parse(header_bytes);
    const std::uint64_t spots = header.spots;
    if (!header.has_known_type())
        log_exception(format_error);
    const std::uint64_t size = size_of(path);
    if (size < PositionsHeader::Size || spots > (size - PositionsHeader::Size) / 8)
        throw BadTileFile(format_error);

    std::vector<unsigned char> bytes;
    try {
        bytes.resize(spots * 8);
        positions.resize(spots, 2);
    } catch (const std::bad_alloc&) {
        log_exception("Memory allocation failed");
    }
    if (!file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
        throw BadTileFile(format_error);
    for (std::uint64_t s = 0; s < spots; ++s) {
        for (int c = 0; c < 2; ++c) {
            const std::uint32_t bits = load_u32(bytes.data() + s * 8 + std::uint64_t(c) * 4);
            positions(s, std::uint64_t(c)) = header.type == PositionsHeader::Int32_values
                                                 ? static_cast<std::int32_t>(bits)
                                                 : position_of_float(bits);
        }
    }
    return true;
}

void CreateFastq::remove_duplicate_positions(TileData& tile, PositionMask& mask)
{
    const bool all_positions =
        std::all_of(tile.zel_data.begin(), tile.zel_data.end(), [](const ZelData& zel) { return zel.has_positions; });
    mask.clear(!all_positions);
    if (tile.zel_data.size() < 2)
        return;
    const auto reads = static_cast<unsigned char>(tile.zel_data.size());
    if (!all_positions) {
        // Without positions every read holds each spot once, at its number.
        const std::uint64_t spots = tile.zel_data.front().spots;
        mask.reserve(spots);
        for (std::uint64_t s = 0; s < spots; ++s)
            mask[s] = reads;
        return;
    }

    auto for_each_position = [](const ZelData& zel, auto&& visit) {
        for (std::uint64_t s = 0; s < zel.positions.rows(); ++s) {
            const int x = zel.positions(s, 0);
            const int y = zel.positions(s, 1);
            if (x >= 0 && y >= 0)
                visit(PositionMask::key(x, y));
        }
    };
    std::unordered_set<std::uint64_t> duplicated;
    std::unordered_set<std::uint64_t> seen;
    mask.reserve(tile.zel_data.front().positions.rows());
    for (const ZelData& zel : tile.zel_data) {
        seen.clear();
        seen.reserve(zel.positions.rows());
        for_each_position(zel, [&](std::uint64_t key) {
            if (!seen.insert(key).second)
                duplicated.insert(key);
            ++mask[key];
        });
    }
    for (const std::uint64_t key : duplicated)
        mask[key] = 0;
}
