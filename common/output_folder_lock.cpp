#include "common/output_folder_lock.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The lock files of the locks this process holds, each removed once, by whichever end comes
// first: so a later run's lock file of the same name is never removed. Never destroyed, since
// a lock may be held by a static object.
std::mutex held_mutex;
std::set<std::filesystem::path>& held_paths = *new std::set<std::filesystem::path>;

// Opens the lock file for reading, which is all flock needs: an existing one, another user's
// included, without creating it (a shared folder may forbid creating over another's file),
// else a new one. Returns the descriptor, or -1 with errno set.
int open_lock_file(const std::filesystem::path& path)
{
    for (;;) {
        // Without waiting: a pipe put at the name must not hold the run up.
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0 || errno != ENOENT)
            return fd;
        fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            // Readable by every user whatever the umask, so that one left behind stops no one.
            ::fchmod(fd, 0644);
            return fd;
        }
        if (errno != EEXIST)
            return fd;
    }
}

} // namespace

bool OutputFolderLock::acquire(const std::filesystem::path& folder, std::string& error)
{
    const std::filesystem::path path = folder / FileName;
    // A run that ends removes its lock file while holding the lock. A process that opened the
    // file just before may then lock the removed file, so the lock only counts when the locked
    // file is still the one under the name; otherwise try again with the new file.
    for (;;) {
        const int fd = open_lock_file(path);
        if (fd < 0) {
            error = "cannot create the lock file " + path.string() + ": " + std::strerror(errno);
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int code = errno;
            ::close(fd);
            error = code == EWOULDBLOCK ? "another run is writing to " + folder.string()
                                        : "cannot lock " + path.string() + ": " + std::strerror(code);
            return false;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            fd_ = fd;
            path_ = path;
            std::lock_guard lock(held_mutex);
            held_paths.insert(path);
            return true;
        }
        ::close(fd);
    }
}

void OutputFolderLock::remove_held_lock_files()
{
    std::lock_guard lock(held_mutex);
    for (const std::filesystem::path& path : held_paths)
        ::unlink(path.c_str());
    held_paths.clear();
}

OutputFolderLock::~OutputFolderLock()
{
    if (fd_ < 0)
        return;
    {
        std::lock_guard lock(held_mutex);
        if (held_paths.erase(path_) != 0)
            ::unlink(path_.c_str());
    }
    ::close(fd_);
}
