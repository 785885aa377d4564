// The parallel gunzip reader on any bytes: the whole file in reads of several sizes, then the
// same file read only as far as a limit, with what it says lies beyond.
#include "common/dax_unzip.h"
#include "tests/fuzz/fuzz_file.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

// Reads until the end or the limit; a damaged file is a format error, nothing else.
void read_through(DaxUnZip& reader, const std::string& path, std::uint64_t step, std::uint64_t limit)
{
    reader.reset();
    reader.setfilepath(path);
    reader.create();
    reader.set_limit(limit);
    std::vector<unsigned char> buffer(step);
    try {
        const std::uint64_t bound = reader.remaining_bound();
        std::uint64_t total = 0;
        for (std::uint64_t n; total < limit && (n = reader.decompress(buffer.data(), step)) > 0;)
            total += n;
        if (total > bound)
            __builtin_trap();
        reader.at_end();
    } catch (const std::runtime_error&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz::FuzzFile file;
    static DaxUnZip reader(3);
    const std::string& path = file.write(data, size);
    read_through(reader, path, 4096, UINT64_MAX);
    read_through(reader, path, 7, UINT64_MAX);
    read_through(reader, path, 100, size);
    return 0;
}
