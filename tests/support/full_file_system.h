#pragma once
// A full disk under a folder: a file system of one page is mounted on it and filled, for the
// life of the object. Files can still be made there, but nothing can be written into them.
// Mounting needs root: elsewhere mounted() is false, and the test skips.
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/mount.h>
#include <unistd.h>

namespace test_support {

class FullFileSystem {
public:
    explicit FullFileSystem(const std::filesystem::path& folder) : folder_(folder)
    {
        std::filesystem::create_directories(folder);
        mounted_ = geteuid() == 0 && mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=4k") == 0;
        if (mounted_)
            std::ofstream(folder / ".filler") << std::string(8192, 'x');
    }
    ~FullFileSystem()
    {
        if (mounted_)
            umount2(folder_.c_str(), MNT_DETACH);
    }
    FullFileSystem(const FullFileSystem&) = delete;
    FullFileSystem& operator=(const FullFileSystem&) = delete;

    bool mounted() const { return mounted_; }

private:
    std::filesystem::path folder_;
    bool mounted_ = false;
};

} // namespace test_support
