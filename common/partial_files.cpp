#include "common/partial_files.h"

#include <cerrno>
#include <mutex>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::mutex registry_mutex;
std::set<fs::path> registered; // final paths
bool discarded = false;        // set once the run was interrupted

} // namespace

fs::path PartialFiles::partial_path(const fs::path& final_path)
{
    fs::path path = final_path;
    path += Suffix;
    return path;
}

namespace {

// Makes way for a new temporary file of final_path: a file under the final name is removed.
// The caller holds the registry's lock. Returns 0 or the system error number.
int clear_final_name(const fs::path& final_path)
{
    if (discarded)
        return ECANCELED;
    std::error_code error;
    if (fs::is_directory(final_path, error))
        return EISDIR;
    if (fs::symlink_status(final_path, error).type() != fs::file_type::not_found && !fs::remove(final_path, error) &&
        error)
        return error.value();
    return 0;
}

} // namespace

int PartialFiles::open(std::ofstream& out, const fs::path& final_path, bool append)
{
    // The file is created under the lock, so that an interruption removes every file it sees
    // registered and no file appears after it.
    std::lock_guard lock(registry_mutex);
    if (discarded)
        return ECANCELED;
    const bool extend = append && registered.count(final_path) != 0;
    if (!extend) {
        if (const int error = clear_final_name(final_path))
            return error;
    }
    errno = 0;
    out.open(partial_path(final_path), std::ios::binary | (extend ? std::ios::app : std::ios::trunc));
    if (!out.is_open())
        return errno != 0 ? errno : EIO;
    registered.insert(final_path);
    return 0;
}

int PartialFiles::create(const fs::path& final_path, const std::function<int(const fs::path& partial)>& make)
{
    std::lock_guard lock(registry_mutex);
    if (const int error = clear_final_name(final_path))
        return error;
    if (const int error = make(partial_path(final_path)))
        return error;
    registered.insert(final_path);
    return 0;
}

bool PartialFiles::publish(const fs::path& final_path, std::string& error)
{
    std::lock_guard lock(registry_mutex);
    if (discarded || registered.erase(final_path) == 0) {
        error = std::make_error_code(std::errc::operation_canceled).message();
        return false;
    }
    std::error_code code;
    fs::rename(partial_path(final_path), final_path, code);
    if (code) {
        error = code.message();
        return false;
    }
    return true;
}

bool PartialFiles::leave(const fs::path& final_path)
{
    std::lock_guard lock(registry_mutex);
    return registered.erase(final_path) != 0;
}

bool PartialFiles::publish_all(std::vector<std::string>& errors)
{
    std::set<fs::path> files;
    {
        std::lock_guard lock(registry_mutex);
        files = registered;
    }
    bool ok = true;
    for (const fs::path& file : files) {
        std::string error;
        if (!publish(file, error)) {
            errors.push_back("Cannot rename '" + partial_path(file).string() + "' to '" + file.filename().string() +
                             "' : " + error);
            ok = false;
        }
    }
    return ok;
}

void PartialFiles::discard(const fs::path& final_path)
{
    std::lock_guard lock(registry_mutex);
    std::error_code ignored;
    if (registered.erase(final_path) != 0)
        fs::remove(partial_path(final_path), ignored);
}

void PartialFiles::discard_all()
{
    std::lock_guard lock(registry_mutex);
    discarded = true;
    for (const fs::path& file : registered) {
        std::error_code ignored;
        fs::remove(partial_path(file), ignored);
    }
    registered.clear();
}

void PartialFiles::forget_all()
{
    std::lock_guard lock(registry_mutex);
    registered.clear();
    discarded = false;
}
