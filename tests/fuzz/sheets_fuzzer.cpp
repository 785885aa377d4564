// The sectioned CSV reader through both of its documents: any text loaded as a sample sheet
// and as a design sheet, and what loaded stored again.
#include "common/quillon_sheet.h"
#include "common/sample_sheet.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> errors;
    std::vector<std::string> warnings;

    SampleSheet samples;
    samples.max_lane_samples = std::numeric_limits<std::int16_t>::max();
    if (samples.load(text, errors, warnings)) {
        std::string stored;
        samples.store(stored);
    }
    QuillonSheet design;
    if (design.load(text, errors, warnings)) {
        std::string stored;
        design.store(stored);
    }
    return 0;
}
