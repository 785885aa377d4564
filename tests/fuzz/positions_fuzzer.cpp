// The positions file reader on any bytes: the header, then as many pairs as the file holds
// (at most 65536), as the tile loader reads them.
#include "converter/pipeline/pos_reader.h"
#include "tests/fuzz/fuzz_file.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz::FuzzFile file;
    const std::string& path = file.write(data, size);
    PosReader reader;
    std::uint64_t spots = 0;
    if (reader.open(path, spots) && reader.holds(spots)) {
        std::vector<int> values(2 * std::min<std::uint64_t>(spots, 65536));
        reader.read(values.data(), values.size() / 2);
    }
    reader.close();
    return 0;
}
