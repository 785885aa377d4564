// quillon-classic's positions file reader on any bytes: the header, then the pairs of integers
// or floats that the file holds.
#include "tests/fuzz/classic_fuzz_run.h"
#include "tests/fuzz/fuzz_file.h"

#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz::FuzzFile file;
    static fuzz::ClassicRun run;
    matrix<int> positions;
    try {
        run.fastq.load_positions(file.write(data, size), positions);
    } catch (const AlgorithmFramework::AFException&) {
    } catch (const std::runtime_error&) { // a damaged file
    }
    return 0;
}
