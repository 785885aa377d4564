#pragma once
// One run per output folder: an exclusive lock (flock) on a lock file in the folder, held for
// the life of the object. The kernel releases it when the process ends, however it ends, so a
// killed run never leaves the folder locked. The lock file is only ever read, so a lock file
// that another user's run left in a shared folder does not stop the next run either.
//
//   OutputFolderLock lock;
//   std::string why;
//   if (!lock.acquire("/data/out1", why)) ... refuse the run, why says what went wrong
#include <filesystem>
#include <string>

class OutputFolderLock {
public:
    // The lock file's name in the output folder, shared by both programs.
    static constexpr const char* FileName = ".quillon.lock";

    OutputFolderLock() = default;
    // Removes the lock file and releases the lock.
    ~OutputFolderLock();
    OutputFolderLock(const OutputFolderLock&) = delete;
    OutputFolderLock& operator=(const OutputFolderLock&) = delete;

    // Takes the lock without waiting. False, with the reason in error, when another process
    // holds it or the lock file cannot be made.
    bool acquire(const std::filesystem::path& folder, std::string& error);

    // Removes the lock files of the locks this process holds, as a normal end does; the locks
    // themselves go with the process. For a run that ends at once, without destructors
    // (SIGINT, SIGTERM).
    static void remove_held_lock_files();

private:
    int fd_ = -1;
    std::filesystem::path path_;
};
