#include "common/output_folder_lock.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

bool OutputFolderLock::acquire(const std::filesystem::path& folder, std::string& error)
{
    const std::filesystem::path path = folder / FileName;
    // A run that ends removes its lock file while holding the lock. A process that opened the
    // file just before may then lock the removed file, so the lock only counts when the locked
    // file is still the one under the name; otherwise try again with the new file.
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
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
            return true;
        }
        ::close(fd);
    }
}

OutputFolderLock::~OutputFolderLock()
{
    if (fd_ < 0)
        return;
    ::unlink(path_.c_str());
    ::close(fd_);
}
