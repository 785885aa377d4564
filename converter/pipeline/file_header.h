#pragma once
// Helpers of the readers of base-call and positions file headers.
#include "converter/app/file_checks.h"
#include "converter/app/logger.h"

#include <filesystem>
#include <string>

// Logs a header problem at ERROR with the file's quoted path and flushes the log.
inline void header_error(const std::string& text, const std::filesystem::path& file)
{
    log_error() << text << quoted_path(file);
    log_flush();
}
