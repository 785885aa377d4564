#include "converter/pipeline/zel_reader.h"

#include "converter/pipeline/file_header.h"
#include "converter/app/file_checks.h"
#include "converter/app/logger.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t Zel_file_type = 42;
// Spot and cycle counts are handed out as int: every count must stay below 2^31.
constexpr std::uint64_t Count_limit = std::uint64_t(1) << 31;
// The text block is skipped in pieces of this size, so that a huge length asks for no memory.
constexpr std::uint64_t Skip_chunk = 64 * 1024;

} // namespace

ZelReader::ZelReader(int threads) : DaxUnZip(threads) {}

ZelReader::ZelReader(Corvex::ThreadPool& pool) : DaxUnZip(pool) {}

bool ZelReader::open(const std::filesystem::path& file, int& spots, int& cycles, int& extra)
{
    if (is_created())
        reset();
    setfilepath(file.string());
    create();

    std::array<unsigned char, 48> header{};
    set_limit(header.size());
    if (!read(header.data(), header.size())) {
        header_error("ERROR: Incomplete header in .zel file: ", file);
        return false;
    }
    const std::uint64_t type = little_endian_u64(header.data());
    const std::uint64_t version = little_endian_u64(header.data() + 8);
    const std::uint64_t spot_count = little_endian_u64(header.data() + 16);
    const std::uint64_t cycle_count = little_endian_u64(header.data() + 24);
    const std::uint64_t extra_count = little_endian_u64(header.data() + 32);
    std::uint64_t text_length = little_endian_u64(header.data() + 40);

    bool ok = true;
    if (type != Zel_file_type) {
        header_error("ERROR: Incorrect file type: ", file);
        ok = false;
    }
    if (version != 3 && version != 4) {
        header_error("ERROR: Incorrect file version ", file);
        ok = false;
    }

    // Nothing after the calls is inflated: it is not used, and may be large. The text block
    // is skipped first with the limit at its end, so that the calls can then be inflated
    // straight into the caller's buffer.
    const std::uint64_t call_bytes =
        spot_count < Count_limit && cycle_count < Count_limit ? spot_count * cycle_count : 0;
    const std::uint64_t text_end = header.size() + std::min(text_length, Count_limit * Count_limit);
    set_limit(text_end);

    // The text block is not used; it is read and dropped so that the calls come next.
    if (!can_read(text_length)) {
        header_error("ERROR: Text block runs past the end of .zel file: ", file);
        ok = false;
        text_length = 0;
    }
    std::vector<unsigned char> text(static_cast<std::size_t>(std::min(text_length, Skip_chunk)));
    while (text_length > 0) {
        const std::uint64_t piece = std::min(text_length, Skip_chunk);
        if (!read(text.data(), piece)) {
            header_error("ERROR: Text block runs past the end of .zel file: ", file);
            ok = false;
            break;
        }
        text_length -= piece;
    }
    set_limit(text_end + call_bytes);

    if (spot_count >= Count_limit) {
        header_error("ERROR: Invalid number of spots in .zel file: ", file);
        ok = false;
    }
    if (cycle_count < 1 || cycle_count >= Count_limit) {
        header_error("ERROR: Invalid number of cycles in .zel file: ", file);
        ok = false;
    }
    if (extra_count > cycle_count) {
        header_error("ERROR: Invalid number of extra cycles in .zel file: ", file);
        ok = false;
    }
    if (!ok)
        return false;

    spots = static_cast<int>(spot_count);
    cycles = static_cast<int>(cycle_count);
    extra = static_cast<int>(extra_count);
    return true;
}

bool ZelReader::read(unsigned char* buffer, std::uint64_t n)
{
    return decompress(buffer, n) == n;
}

bool ZelReader::can_read(std::uint64_t n)
{
    return remaining_bound() >= n;
}

void ZelReader::close()
{
    reset();
}
