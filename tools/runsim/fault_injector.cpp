#include "tools/runsim/fault_injector.h"

#include "common/block_gzip.h"
#include "common/little_endian.h"
#include "tools/runsim/positions_file.h"
#include "tools/runsim/zel_reader.h"

#include <algorithm>
#include <stdexcept>

namespace runsim {
namespace {

struct Names {
    Fault fault;
    std::string_view name;
};

constexpr Names Fault_names[] = {
    {Fault::WrongFileType, "wrong-type"},
    {Fault::WrongVersion, "wrong-version"},
    {Fault::SpotsMismatch, "spots-mismatch"},
    {Fault::CyclesMismatch, "cycles-mismatch"},
    {Fault::ExtraCyclesMismatch, "extra-mismatch"},
    {Fault::TruncatedCalls, "truncated-calls"},
    {Fault::FlippedDeflateByte, "flipped-byte"},
    {Fault::MemberSizeZero, "member-size-zero"},
    {Fault::MemberSizePastEnd, "member-size-past-end"},
    {Fault::NotGzip, "not-gzip"},
    {Fault::ShortPositions, "short-positions"},
    {Fault::PositionsSpotsMismatch, "positions-spots-mismatch"},
};

// The call that fills records grown by a fault.
constexpr unsigned char Fill_call = 30 * 4;

std::string change(std::string_view what, std::uint64_t from, std::uint64_t to)
{
    return std::string(what) + " " + std::to_string(from) + " -> " + std::to_string(to);
}

FaultReport member_fault(const std::filesystem::path& file, Fault fault, int member)
{
    std::vector<unsigned char> bytes = read_file_bytes(file);
    const std::vector<GzipMember> members = block_gzip_members(bytes);
    if (members.empty())
        throw std::invalid_argument("no member in " + file.string());
    const int index = member < 0 ? static_cast<int>(members.size()) - 1 : member;
    if (index >= static_cast<int>(members.size()))
        throw std::invalid_argument("no member " + std::to_string(member) + " in " + file.string());
    const GzipMember& m = members[std::size_t(index)];
    FaultReport report{fault, file, {}, 0};
    const std::string which = "member " + std::to_string(index) + " of " + std::to_string(members.size());
    switch (fault) {
    case Fault::FlippedDeflateByte:
        report.offset = m.offset + 20 + (m.size - 28) / 2;
        bytes[report.offset] ^= 0xFF;
        report.description = which + ": deflate byte at file offset " + std::to_string(report.offset) + " inverted";
        break;
    case Fault::MemberSizeZero:
        report.offset = m.offset + 16;
        little_endian::store_u32(bytes.data() + report.offset, 0);
        report.description = which + ": " + change("recorded size", m.size, 0);
        break;
    default: {
        report.offset = m.offset + 16;
        const std::uint64_t past = bytes.size() - m.offset + 1;
        little_endian::store_u32(bytes.data() + report.offset, static_cast<std::uint32_t>(past));
        report.description =
            which + ": " + change("recorded size", m.size, past) + ", one byte past the end of the file";
        break;
    }
    }
    write_bytes(file, bytes);
    return report;
}

FaultReport positions_fault(const std::filesystem::path& file, Fault fault, std::optional<std::int64_t> value)
{
    FaultReport report{fault, file, {}, 0};
    if (fault == Fault::ShortPositions) {
        std::vector<unsigned char> bytes = read_file_bytes(file);
        const std::uint64_t pairs = (bytes.size() - std::min<std::size_t>(bytes.size(), Positions_header_size)) / 8;
        const std::uint64_t drop = std::min<std::uint64_t>(pairs, std::uint64_t(value.value_or(1)));
        bytes.resize(bytes.size() - 8 * drop);
        write_bytes(file, bytes);
        report.description = std::to_string(drop) + " position pairs cut from the end";
        return report;
    }
    PositionsContent content = read_positions_file(file);
    const std::uint64_t spots = content.spots;
    const std::uint64_t new_spots = value ? std::uint64_t(*value) : (spots > 0 ? spots - 1 : spots + 1);
    std::vector<std::int32_t> xy = content.xy;
    const std::size_t old_pairs = xy.size() / 2;
    xy.resize(2 * new_spots);
    for (std::size_t p = old_pairs; p < new_spots; ++p) {
        xy[2 * p] = 1000000 + static_cast<std::int32_t>(p);
        xy[2 * p + 1] = 0;
    }
    write_bytes(file, positions_bytes(xy, static_cast<PositionsType>(content.type), new_spots));
    report.description = change("spots", spots, new_spots);
    return report;
}

} // namespace

std::string_view fault_name(Fault fault)
{
    for (const Names& n : Fault_names)
        if (n.fault == fault)
            return n.name;
    return "?";
}

Fault parse_fault(std::string_view name)
{
    for (const Names& n : Fault_names)
        if (n.name == name)
            return n.fault;
    std::string known;
    for (const Names& n : Fault_names)
        known += (known.empty() ? "" : ", ") + std::string(n.name);
    throw std::invalid_argument("unknown fault '" + std::string(name) + "' (" + known + ")");
}

bool is_positions_fault(Fault fault)
{
    return fault == Fault::ShortPositions || fault == Fault::PositionsSpotsMismatch;
}

FaultReport inject_file_fault(const std::filesystem::path& file, Fault fault, const ZelWriteOptions& options,
                              int member, std::optional<std::int64_t> value)
{
    if (is_positions_fault(fault))
        return positions_fault(file, fault, value);
    if (fault == Fault::FlippedDeflateByte || fault == Fault::MemberSizeZero || fault == Fault::MemberSizePastEnd) {
        // Only the member layout is read, so that a file can take several such faults.
        const std::vector<unsigned char> bytes = read_file_bytes(file);
        if (bytes.size() < block_gzip::Header_size || !block_gzip::has_gzip_magic(bytes.data(), bytes.size()) ||
            block_gzip::recorded_member_size(bytes.data()) == 0)
            throw std::invalid_argument(std::string(fault_name(fault)) + " needs a block-gzip file: " + file.string());
        return member_fault(file, fault, member);
    }
    ZelContent content = read_zel_file(file);
    ZelHeader& header = content.header;
    std::vector<unsigned char>& calls = content.calls;
    FaultReport report{fault, file, {}, 0};
    switch (fault) {
    case Fault::WrongFileType: {
        const std::uint64_t type = value ? std::uint64_t(*value) : Zel_file_type + 1;
        report.description = change("file type", header.type, type);
        header.type = type;
        break;
    }
    case Fault::WrongVersion: {
        const std::uint64_t version = value ? std::uint64_t(*value) : (content.storage == ZelStorage::Plain ? 3 : 2);
        report.description = change("version", header.version, version);
        header.version = version;
        break;
    }
    case Fault::SpotsMismatch: {
        const std::uint64_t spots = value ? std::uint64_t(*value) : (header.spots > 0 ? header.spots - 1 : 1);
        report.description = change("spots", header.spots, spots);
        calls.resize(spots * header.cycles, Fill_call);
        header.spots = spots;
        break;
    }
    case Fault::CyclesMismatch: {
        const std::uint64_t cycles = value ? std::uint64_t(*value) : header.cycles + 1;
        report.description = change("cycles", header.cycles, cycles);
        std::vector<unsigned char> grown(header.spots * cycles, Fill_call);
        const std::uint64_t keep = std::min(cycles, header.cycles);
        for (std::uint64_t s = 0; s < header.spots && (s + 1) * header.cycles <= calls.size(); ++s)
            std::copy_n(calls.begin() + std::ptrdiff_t(s * header.cycles), keep,
                        grown.begin() + std::ptrdiff_t(s * cycles));
        calls = std::move(grown);
        header.cycles = cycles;
        break;
    }
    case Fault::ExtraCyclesMismatch: {
        const std::uint64_t extra =
            value ? std::uint64_t(*value) : (header.extra_cycles > 0 ? header.extra_cycles - 1 : 1);
        report.description = change("extra cycles", header.extra_cycles, extra);
        header.extra_cycles = extra;
        break;
    }
    case Fault::TruncatedCalls: {
        const std::uint64_t drop = std::min<std::uint64_t>(calls.size(), value ? std::uint64_t(*value) : header.cycles);
        calls.resize(calls.size() - drop);
        report.description = std::to_string(drop) + " call bytes cut from the end (" + std::to_string(calls.size()) +
                             " of " + std::to_string(header.spots * header.cycles) + " left)";
        break;
    }
    case Fault::NotGzip: {
        std::vector<unsigned char> stream = zel_header_bytes(header);
        stream.insert(stream.end(), calls.begin(), calls.end());
        write_bytes(file, stream);
        report.description = "stream written without compression";
        return report;
    }
    default:
        break;
    }
    ZelWriteOptions write = options;
    write.storage = content.storage;
    write_zel_file(file, header, calls, write);
    return report;
}

FaultReport inject_fault(const RunTruth& run, Fault fault, const FaultTarget& target)
{
    const int reads = static_cast<int>(run.recipe.layout.reads.size());
    const int lane = target.lane != 0 ? target.lane : 1;
    if (lane < 1 || lane > static_cast<int>(run.lanes.size()))
        throw std::invalid_argument("the run has no lane " + std::to_string(lane));
    const int tiles = static_cast<int>(run.lanes[std::size_t(lane - 1)].size());
    int tile = target.tile;
    int read = target.read;
    if (tile == 0)
        tile = (fault == Fault::CyclesMismatch || fault == Fault::ExtraCyclesMismatch) ? std::min(2, tiles) : 1;
    if (read == 0)
        read = (fault == Fault::SpotsMismatch || fault == Fault::PositionsSpotsMismatch) ? std::min(2, reads) : 1;
    if (tile < 1 || tile > tiles)
        throw std::invalid_argument("lane " + std::to_string(lane) + " has no tile " + std::to_string(tile));
    if (read < 1 || read > reads)
        throw std::invalid_argument("the run has no read " + std::to_string(read));
    const TileTruth& t = run.tile(lane, tile);
    const std::filesystem::path& file =
        is_positions_fault(fault) ? t.positions_files[std::size_t(read - 1)] : t.zel_files[std::size_t(read - 1)];
    return inject_file_fault(file, fault, run.recipe.zel, target.member, target.value);
}

} // namespace runsim
