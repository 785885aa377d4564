#include "converter/pipeline/zel_reader.h"

#include "common/zel_header.h"
#include "converter/app/file_checks.h"
#include "converter/app/logger.h"
#include "converter/pipeline/file_header.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

// Spot and cycle counts are handed out as int: every count must stay below 2^31.
constexpr std::uint64_t Count_limit = std::uint64_t(1) << 31;
// The text block is skipped in pieces of this size, so that a huge length asks for no memory.
constexpr std::uint64_t Skip_chunk = 64 * 1024;

// The fields that say what the file is: the type and a version stored as gzip members.
bool check_kind(const ZelHeader& header, const std::filesystem::path& file)
{
    bool ok = true;
    if (header.type != Zel_file_type) {
        header_error("ERROR: Incorrect file type: ", file);
        ok = false;
    }
    if (header.version != 3 && header.version != 4) {
        header_error("ERROR: Incorrect file version ", file);
        ok = false;
    }
    return ok;
}

// The counts, each of which is handed out as int.
bool check_counts(const ZelHeader& header, const std::filesystem::path& file)
{
    bool ok = true;
    if (header.spots >= Count_limit) {
        header_error("ERROR: Invalid number of spots in .zel file: ", file);
        ok = false;
    }
    if (header.cycles < 1 || header.cycles >= Count_limit) {
        header_error("ERROR: Invalid number of cycles in .zel file: ", file);
        ok = false;
    }
    if (header.extra > header.cycles) {
        header_error("ERROR: Invalid number of extra cycles in .zel file: ", file);
        ok = false;
    }
    return ok;
}

} // namespace

ZelReader::ZelReader(int threads) : DaxUnZip(threads) {}

ZelReader::ZelReader(Corvex::ThreadPool& pool) : DaxUnZip(pool) {}

bool ZelReader::open(const std::filesystem::path& file, int& spots, int& cycles, int& extra)
{
    if (is_created())
        reset();
    setfilepath(file.string());
    create();

    std::array<unsigned char, ZelHeader::Size> bytes{};
    set_limit(bytes.size());
    if (!read(bytes.data(), bytes.size())) {
        header_error("ERROR: Incomplete header in .zel file: ", file);
        return false;
    }
    const ZelHeader header = ZelHeader::parse(bytes);
    bool ok = check_kind(header, file);

    // Nothing after the calls is inflated: it is not used, and may be large. The text block
    // is skipped first with the limit at its end, so that the calls can then be inflated
    // straight into the caller's buffer.
    const std::uint64_t call_bytes =
        header.spots < Count_limit && header.cycles < Count_limit ? header.spots * header.cycles : 0;
    const std::uint64_t text_end = ZelHeader::Size + std::min(header.text_length, Count_limit * Count_limit);
    set_limit(text_end);
    if (!skip_text(header.text_length)) {
        header_error("ERROR: Text block runs past the end of .zel file: ", file);
        ok = false;
    }
    set_limit(text_end + call_bytes);

    if (!check_counts(header, file) || !ok)
        return false;
    spots = static_cast<int>(header.spots);
    cycles = static_cast<int>(header.cycles);
    extra = static_cast<int>(header.extra);
    return true;
}

bool ZelReader::skip_text(std::uint64_t length)
{
    // The text block is not used; it is read and dropped so that the calls come next.
    if (!can_read(length))
        return false;
    std::vector<unsigned char> text(static_cast<std::size_t>(std::min(length, Skip_chunk)));
    while (length > 0) {
        const std::uint64_t piece = std::min(length, Skip_chunk);
        if (!read(text.data(), piece))
            return false;
        length -= piece;
    }
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
