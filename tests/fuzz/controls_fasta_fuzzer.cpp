// The controls FASTA reader, with the minimizer indexes it builds of every control.
#include "converter/analysis/fasta.h"
#include "converter/app/config.h"
#include "tests/fuzz/fuzz_file.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz::FuzzFile file;
    static const Config config;
    Fasta fasta(config);
    fasta.read(file.write(data, size));
    return 0;
}
