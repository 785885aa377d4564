#include "common/partial_files.h"

#include <cerrno>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Which file a temporary name led to when it was created.
using FileId = std::pair<dev_t, ino_t>;

std::mutex registry_mutex;
std::map<fs::path, FileId> registered; // final path -> its temporary file
bool discarded = false;                // set once the run was interrupted

// Tries to create a temporary file anew; something may take the name again in between.
constexpr int Create_attempts = 8;

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

// Creates the temporary file of final_path anew and registers it: whatever stands at its name
// is removed, and the file is created exclusively without following a link, so that nothing
// else is ever written through the name. The caller holds the registry's lock. Returns the
// descriptor, or minus the system error number.
int create_registered(const fs::path& final_path)
{
    if (const int error = clear_final_name(final_path))
        return -error;
    const fs::path partial = PartialFiles::partial_path(final_path);
    for (int attempt = 0; attempt < Create_attempts; ++attempt) {
        if (::unlink(partial.c_str()) != 0 && errno != ENOENT)
            return -errno;
        const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        struct stat file {};
        if (fd >= 0 && ::fstat(fd, &file) == 0) {
            registered[final_path] = {file.st_dev, file.st_ino};
            return fd;
        }
        if (fd >= 0 || errno != EEXIST) {
            const int error = errno;
            if (fd >= 0)
                ::close(fd);
            return -error;
        }
    }
    return -EEXIST;
}

// Opens the registered temporary file of final_path for appending, provided its name still
// leads to the file created for it (a link or another file put in its place is never written).
// The caller holds the registry's lock. Returns the descriptor, or minus the system error number.
int reopen_registered(const fs::path& final_path, const FileId& id)
{
    const int fd = ::open(PartialFiles::partial_path(final_path).c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    struct stat file {};
    if (::fstat(fd, &file) != 0 || FileId{file.st_dev, file.st_ino} != id) {
        ::close(fd);
        return -ESTALE;
    }
    return fd;
}

} // namespace

int PartialFiles::open(DescriptorStream& out, const fs::path& final_path, bool append)
{
    // The file is created under the lock, so that an interruption removes every file it sees
    // registered and no file appears after it.
    std::lock_guard lock(registry_mutex);
    if (discarded)
        return ECANCELED;
    const auto earlier = append ? registered.find(final_path) : registered.end();
    const int fd =
        earlier != registered.end() ? reopen_registered(final_path, earlier->second) : create_registered(final_path);
    if (fd < 0)
        return -fd;
    out.attach(fd);
    return out.is_open() ? 0 : EIO;
}

int PartialFiles::create(const fs::path& final_path, const std::function<int(int fd)>& make)
{
    std::lock_guard lock(registry_mutex);
    if (discarded)
        return ECANCELED;
    const int fd = create_registered(final_path);
    if (fd < 0)
        return -fd;
    if (const int error = make(fd)) {
        ::close(fd);
        registered.erase(final_path);
        ::unlink(partial_path(final_path).c_str());
        return error;
    }
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
    std::vector<fs::path> files;
    {
        std::lock_guard lock(registry_mutex);
        for (const auto& entry : registered)
            files.push_back(entry.first);
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
    for (const auto& entry : registered) {
        std::error_code ignored;
        fs::remove(partial_path(entry.first), ignored);
    }
    registered.clear();
}

void PartialFiles::forget_all()
{
    std::lock_guard lock(registry_mutex);
    registered.clear();
    discarded = false;
}
