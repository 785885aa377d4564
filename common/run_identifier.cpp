#include "common/run_identifier.h"

#include <algorithm>
#include <cstdio>

namespace run_identifier {

bool has_space_or_control_character(const std::string& id)
{
    return std::any_of(id.begin(), id.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7f;
    });
}

bool is_file_name_part(const std::string& id)
{
    return id != "." && id != ".." && id.find('/') == std::string::npos;
}

std::string printable(const std::string& id)
{
    std::string out = "\"";
    for (const char c : id) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        } else {
            if (c == '"' || c == '\\')
                out += '\\';
            out += c;
        }
    }
    return out + "\"";
}

} // namespace run_identifier
