#pragma once
// The classic program's log: counts errors and warnings, echoes each line to standard output
// (once echo is on) and writes it to the log file (once opened). Every line reads
//   2026-12-09 11:07:15,123 [140245] [INFO] <tab>text
// with the time always in UTC. Callers build each message in a string stream:
//   std::stringstream message;
//   message << "Cannot open input file " << path;
//   log.exception(message); // counted, logged, then AFException
// Every operation may be called from any thread: one lock covers a line's counter, prefix and
// both writes, so counts are exact and lines never mix. The file is flushed after every line,
// standard output after every WARN and ERROR line and at each flush. A log file that cannot be
// opened or written is reported once on standard error and makes close return false; so is a
// link or a hard link at the log's name, which is never written through. Standard output that
// cannot be written (a closed console) is passed over.
#include "common/descriptor_stream.h"

#include <mutex>
#include <sstream>
#include <string>

namespace AlgorithmFramework {

class Log {
public:
    Log() = default;
    // close(), unless it was called before.
    virtual ~Log();

    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    void error(std::stringstream& message);   // errors + 1, level ERROR
    void warning(std::stringstream& message); // warnings + 1, level WARN
    void status(std::stringstream& message);  // level INFO
    // errors + 1, level ERROR, then throws AFException with the message's whole text (line end
    // included). The lock is released before the throw.
    [[noreturn]] void exception(std::stringstream& message);

    // "YYYY-mm-dd HH:MM:SS,mmm [thread id] [LEVEL] \t" at the current time, in UTC.
    static std::string prefix(const std::string& level);
    // Whether the message ends with a line feed; clears the stream's state flags.
    static bool has_newline(std::stringstream& message);

    // (Re)opens the log file, making its parent folders; on failure lines go to the console only.
    void open(const std::string& path, bool utc);
    // Four INFO lines: the title, then the warning, error and exception counts.
    void error_counts(const std::string& title);
    // Sends what standard output and the file still hold.
    void flush();
    // Writes the "Run complete" summary, then closes the file; later calls do nothing. False
    // when the log file could not be written.
    bool close();

    int errors = 0;
    int warnings = 0;
    int exceptions = 0; // nothing raises it
    bool echo = false;  // lines also go to standard output
    bool utc = false;   // stored by open; lines are in UTC whatever its value

private:
    // Adjusts a counter and writes one line; the caller holds the lock.
    void write_line(int* counter, const char* level, std::stringstream& message);
    // Writes text to the file and flushes it; the first failure is reported. The caller holds
    // the lock.
    void write_file(const std::string& text);
    void report_file_failure(int error_number);

    DescriptorStream file_;
    std::string path_;
    bool file_failed_ = false;
    bool closed_ = false;
    std::mutex mutex_;
};

} // namespace AlgorithmFramework
