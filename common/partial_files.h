#pragma once
// Output files written under a temporary name, the final name followed by ".partial", in the
// folder of the final name, and renamed to the final name once complete. A file under its
// final name is therefore never one that an interrupted or killed run cut short.
//
// Every temporary file is created anew: whatever stands at its name (a file of an earlier run, a
// link someone put there) is removed, and the file is created exclusively, never through a
// link, so that no file outside the folder is ever written. The rename to the final name
// replaces whatever stands there.
//
// The registry is process-wide. An interrupted run removes every file still under its
// temporary name (discard_all); from then on nothing is opened or renamed any more.
//
//   DescriptorStream out;
//   if (const int error = PartialFiles::open(out, "FC1_L01_Read1.fastq.gz", false)) ...
//   ... write, close ...
//   std::string why;
//   if (!PartialFiles::publish("FC1_L01_Read1.fastq.gz", why)) ...
#include "common/descriptor_stream.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class PartialFiles {
public:
    static constexpr const char* Suffix = ".partial";

    // final_path with Suffix appended to its file name.
    static std::filesystem::path partial_path(const std::filesystem::path& final_path);

    // Opens the temporary file of final_path for binary output. With append, a file that is
    // registered already (an earlier lane's, for merged lanes) is extended, provided the name
    // still leads to that very file; otherwise the temporary file is created anew and a file
    // under the final name is removed, so that an earlier run's output never passes for this
    // run's. Returns 0, or the system error number (EISDIR for a folder under either name).
    static int open(DescriptorStream& out, const std::filesystem::path& final_path, bool append);

    // The same for a writer of its own (a gzip file, say): removes a file under the final name,
    // creates the temporary file anew and calls make with its descriptor, under the registry's
    // lock. make returns 0, having taken the descriptor over, or a system error number, and
    // the file is then removed. On 0 the file is registered. Returns the first error, or 0.
    //   PartialFiles::create(name, [&](int fd) { file = gz_dopen(fd, "wb"); ... });
    static int create(const std::filesystem::path& final_path, const std::function<int(int fd)>& make);

    // Renames the temporary file to final_path. False, with the system's text in error, when
    // the rename fails or the file is not registered.
    static bool publish(const std::filesystem::path& final_path, std::string& error);

    // Forgets the file without renaming it: it stays under its temporary name, for
    // inspection, and is no longer removed by discard_all. False when it is not registered.
    static bool leave(const std::filesystem::path& final_path);

    // Publishes every registered file; one message per failure is appended to errors.
    static bool publish_all(std::vector<std::string>& errors);

    // Removes the temporary file of final_path and forgets it.
    static void discard(const std::filesystem::path& final_path);

    // Removes every registered temporary file; later opens and renames fail.
    static void discard_all();

    // Forgets every registered file without touching it (for tests that act as several runs).
    static void forget_all();
};
