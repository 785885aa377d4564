#pragma once
// A file in memory for fuzz targets whose code under test opens files by path: each input is
// written into an anonymous in-memory file, reached by its /proc/self/fd path.
#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace fuzz {

class FuzzFile {
public:
    FuzzFile() : fd_(memfd_create("fuzz", 0)), path_("/proc/self/fd/" + std::to_string(fd_)) {}
    ~FuzzFile() { close(fd_); }
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;

    // Replaces the file's bytes; returns its path.
    const std::string& write(const std::uint8_t* data, std::size_t size)
    {
        if (ftruncate(fd_, 0) != 0)
            __builtin_trap();
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0)
                __builtin_trap();
            done += static_cast<std::size_t>(n);
        }
        return path_;
    }

private:
    int fd_;
    std::string path_;
};

} // namespace fuzz
