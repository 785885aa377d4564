#pragma once
// Reads one base-call file (".zel"): a little-endian header of six 64-bit fields (file
// type 42, version, spots, cycles, extra cycles, length L of a text block), the text block,
// then spots x cycles call bytes (quality * 4 + base). Versions 3 and 4 are stored as
// block-gzip members and inflated in parallel, the calls straight into the caller's buffer.
#include "common/dax_unzip.h"

#include <cstdint>
#include <filesystem>

class ZelReader : public DaxUnZip {
public:
    static constexpr int Threads = 6;

    explicit ZelReader(int threads = Threads);
    // Inflates on a pool that the caller owns and shares with other readers.
    explicit ZelReader(Corvex::ThreadPool& pool);

    // Opens the file and reads its header. Only when the header passes its checks are spots,
    // cycles and extra set and the result true; every failed check is logged at ERROR with
    // the file's path. Nothing beyond the header, the text block and the calls it announces
    // is inflated. Throws what DaxUnZip throws for a file that cannot be opened or is not
    // made of sound gzip members.
    bool open(const std::filesystem::path& file, int& spots, int& cycles, int& extra);

    // Copies the next n inflated bytes into buffer; true when exactly n came.
    bool read(unsigned char* buffer, std::uint64_t n);

    // Whether the file may still hold n bytes: false when it surely holds fewer, found
    // without inflating anything, so that no buffer is sized for data that is not there.
    bool can_read(std::uint64_t n);

    // Forgets the file; ready for another.
    void close();

private:
    // Reads and drops the text block of length bytes that follows the header; false when the
    // file ends inside it.
    bool skip_text(std::uint64_t length);
};
