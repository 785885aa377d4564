#pragma once
// A fresh folder under the system's temporary folder, removed with the object.
#include <atomic>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace test_support {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "quillon-test")
    {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                (prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace test_support
