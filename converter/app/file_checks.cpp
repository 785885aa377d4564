#include "converter/app/file_checks.h"

#include "converter/app/logger.h"

#include <fstream>
#include <iomanip>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A regular file (after following links) that opens for reading. Anything else (a folder,
// a pipe, a device, a broken link, a file without read permission) is refused, so that a
// later read can neither block nor "succeed" with no content.
bool is_readable_file(const fs::path& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(fs::status(path, ec)) || ec)
        return false;
    std::ifstream in(path, std::ios::binary);
    return in.is_open();
}

} // namespace

std::string quoted_path(const fs::path& path)
{
    std::ostringstream out;
    out << std::quoted(path.string());
    return out.str();
}

bool validate_folder(const fs::path& path, bool create)
{
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
        if (!create) {
            log_error() << "Could not find folder: '" << quoted_path(path) << "'";
            log_flush();
            return false;
        }
        fs::create_directories(path, ec);
        if (ec || !fs::is_directory(fs::status(path, ec))) {
            log_error() << "Could not create folder '" << quoted_path(path) << "'";
            log_flush();
            return false;
        }
        return true;
    }
    if (fs::is_directory(status))
        return true;
    log_error() << "Expecting name of folder: '" << quoted_path(path) << "'";
    log_flush();
    return false;
}

bool validate_file(fs::path& file, const fs::path& default_file, bool required, const std::string& what)
{
    if (!file.empty()) {
        if (is_readable_file(file))
            return true;
        log_error() << "Could not read " << what;
        log_flush();
        return false;
    }
    if (!default_file.empty()) {
        std::error_code ec;
        if (fs::exists(fs::status(default_file, ec))) {
            // Something stands at the default place; it must be a file we can read.
            if (!is_readable_file(default_file)) {
                log_error() << "Could not read " << what;
                log_flush();
                return false;
            }
            file = default_file;
            return true;
        }
        if (required) {
            log_error() << "'" << quoted_path(default_file) << "': default file not found";
            log_flush();
            return false;
        }
        return true;
    }
    if (required) {
        log_error() << what << " not specified";
        log_flush();
        return false;
    }
    return true;
}
