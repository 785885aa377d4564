#pragma once
// Helpers of the readers of base-call and positions file headers.
#include "converter/app/file_checks.h"
#include "converter/app/logger.h"

#include <cstdint>
#include <filesystem>
#include <string>

// A little-endian unsigned 64-bit header field.
inline std::uint64_t little_endian_u64(const unsigned char* bytes)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

// Logs a header problem at ERROR with the file's quoted path and flushes the log.
inline void header_error(const std::string& text, const std::filesystem::path& file)
{
    log_error() << text << quoted_path(file);
    log_flush();
}
