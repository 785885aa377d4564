#include "common/log_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int open_log_file(const std::filesystem::path& path, DescriptorStream& out)
{
    // Emptied only once it is known to be the log's own file. Opened without waiting, so that a
    // pipe at the name cannot hold the run up; a pipe that has a reader, or another file that is
    // not a regular one, is refused like a pipe without one.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return errno;
    struct stat file {};
    int error = ::fstat(fd, &file) != 0 ? errno : 0;
    if (error == 0)
        error = !S_ISREG(file.st_mode) ? ENXIO : file.st_nlink > 1 ? EMLINK : ::ftruncate(fd, 0) != 0 ? errno : 0;
    if (error == 0 && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno;
    if (error != 0) {
        ::close(fd);
        return error;
    }
    out.attach(fd);
    return out.is_open() ? 0 : EIO;
}
