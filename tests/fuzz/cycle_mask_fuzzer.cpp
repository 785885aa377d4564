// Cycle masks: any text parsed as a mask; a mask accepted without a message must be whole.
#include "common/cycle_mask.h"
#include "common/quillon_settings.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> errors;
    const CycleMask mask = QuillonSettings::read_cycle_mask(text, errors);
    if (!errors.empty() || text.empty())
        return 0;
    // At most one field stands for the rest of the track, and the track is 1 to 4.
    const int stars = (mask.skip_before == -1) + (mask.use == -1) + (mask.skip_after == -1);
    if (mask.track < 1 || mask.track > 4 || stars > 1 || mask.skip_before < -1 || mask.use < -1 || mask.skip_after < -1)
        __builtin_trap();
    return 0;
}
