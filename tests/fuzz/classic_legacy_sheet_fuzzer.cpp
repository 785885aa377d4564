// quillon-classic's legacy sample sheet loader on any text: the sections read, the sheet checked
// and, when it passes, its lookup table built, as the run does.
#include "tests/fuzz/classic_fuzz_run.h"
#include "tests/fuzz/fuzz_file.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz::FuzzFile file;
    fuzz::ClassicRun run;
    (*run.parameters)["--samplesheet"] = file.write(data, size);
    try {
        run.fastq.load_sample_sheet_old();
    } catch (const AlgorithmFramework::AFException&) {
    }
    return 0;
}
