#pragma once
// Damages one file of a generated run on purpose, for tests of bad input. Each fault changes
// exactly one file and nothing else; the truth in memory stays as generated.
//
//   runsim::FaultReport report = runsim::inject_fault(run, runsim::Fault::CyclesMismatch);
//   // report.file: the damaged file; report.description: what was changed
//
// Faults (name for the command line in brackets):
//   WrongFileType [wrong-type]          base-call header type 43 (or value)
//   WrongVersion [wrong-version]        version 2 for gzip files, 3 for plain ones (or value)
//   SpotsMismatch [spots-mismatch]      the file holds one spot fewer (or value spots), header
//                                       and calls agreeing; default read 2 of tile 1, so its
//                                       count differs from the tile's other reads
//   CyclesMismatch [cycles-mismatch]    one cycle more per record (or value cycles); default
//                                       read 1 of tile 2, so it differs from the first tile
//   ExtraCyclesMismatch [extra-mismatch] extra cycles one fewer, or one more when 0 (or value),
//                                       same records; default read 1 of tile 2
//   TruncatedCalls [truncated-calls]    the stream ends one record (or value bytes) short of
//                                       what the header promises; every member sound
//   FlippedDeflateByte [flipped-byte]   one byte in the middle of a member's deflate data
//                                       inverted (block-gzip files)
//   MemberSizeZero [member-size-zero]   a member's recorded size set to 0 (block-gzip files)
//   MemberSizePastEnd [member-size-past-end] a member's recorded size one byte past the end of
//                                       the file (block-gzip files)
//   NotGzip [not-gzip]                  the stream written without compression, so the file
//                                       begins with the header's bytes, not the gzip magic
//   ShortPositions [short-positions]    the positions file cut one pair (or value pairs) short
//                                       of its header count
//   PositionsSpotsMismatch [positions-spots-mismatch] the positions file holds one spot fewer
//                                       (or value), header and pairs agreeing; default read 2
// Member faults hit the last member unless another is named.
#include "tools/runsim/run_truth.h"
#include "tools/runsim/zel_writer.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace runsim {

enum class Fault {
    WrongFileType,
    WrongVersion,
    SpotsMismatch,
    CyclesMismatch,
    ExtraCyclesMismatch,
    TruncatedCalls,
    FlippedDeflateByte,
    MemberSizeZero,
    MemberSizePastEnd,
    NotGzip,
    ShortPositions,
    PositionsSpotsMismatch,
};

inline constexpr Fault All_faults[] = {
    Fault::WrongFileType,       Fault::WrongVersion,   Fault::SpotsMismatch,      Fault::CyclesMismatch,
    Fault::ExtraCyclesMismatch, Fault::TruncatedCalls, Fault::FlippedDeflateByte, Fault::MemberSizeZero,
    Fault::MemberSizePastEnd,   Fault::NotGzip,        Fault::ShortPositions,     Fault::PositionsSpotsMismatch};

std::string_view fault_name(Fault fault);
// Throws std::invalid_argument for an unknown name.
Fault parse_fault(std::string_view name);
// True for the faults that damage a positions file rather than a base-call file.
bool is_positions_fault(Fault fault);

struct FaultTarget {
    int lane = 0;                      // 1-based; 0: the fault's default (lane 1)
    int tile = 0;                      // 1-based position in the lane; 0: the fault's default
    int read = 0;                      // 1-based; 0: the fault's default
    int member = -1;                   // member faults: 0-based member, -1 for the last
    std::optional<std::int64_t> value; // the new value, or the bytes or pairs to drop
};

struct FaultReport {
    Fault fault = Fault::WrongFileType;
    std::filesystem::path file;
    std::string description;
    std::uint64_t offset = 0; // member faults: where in the file the change was made
};

// Damages one file of the run. Throws std::invalid_argument for a target the run lacks or a
// member fault on a file that is not block-gzip, std::runtime_error when the file cannot be
// read or written.
FaultReport inject_fault(const RunTruth& run, Fault fault, const FaultTarget& target = {});

// Damages the given file (a base-call file, or a positions file for the positions faults);
// options are used to write the damaged base-call file again.
FaultReport inject_file_fault(const std::filesystem::path& file, Fault fault, const ZelWriteOptions& options,
                              int member = -1, std::optional<std::int64_t> value = {});

} // namespace runsim
