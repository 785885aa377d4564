#pragma once
// The converter's process-wide log. Every line carries the wall-clock time with
// milliseconds, the id of the thread that built it and a level word:
//   2026-12-09 05:14:54,005 [140245] [INFO] text
// Lines go to every stream of the logger (standard output first, then the log file) under
// one lock, so lines of different threads never mix. Lines below min_level_ are dropped.
// WARN and ERROR lines are flushed at once, so that a log followed while the run goes on
// shows them. A stream that cannot be written is reported once on standard error; the run
// then ends with an error status, as it does after any ERROR line. The console is the
// exception: one that cannot be written (closed by its reader) is passed over.
//
// Message sites use the helpers at the bottom:
//   log_info() << "Loaded metadata file: " << name;
//   log_error() << "Could not read " << what;  log_flush();
#include "converter/app/log_level.h"

#include <atomic>
#include <ctime>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

class Logger {
public:
    // Adds a stream the logger owns (the log file); name says which in a failure message.
    void add_stream(std::shared_ptr<std::ostream> stream, std::string name = "log file");
    // Adds the console (standard output), which the logger does not own; it is never deleted,
    // and a failure to write it is passed over.
    void add_stream(std::ostream& stream, std::string name = "standard output");
    // Reports at once a stream that cannot be written at all (a log file refused at its
    // name), as a stream that fails is reported.
    void add_unwritable(const std::string& name, int error_number);
    // Flushes every stream, in order, under the lock.
    void flush();
    // Writes one finished line (prefix and text) and a line end to every stream; a WARN or
    // ERROR line is flushed at once.
    void write_line(const std::string& line, LogLevel level = INFO);

    // ERROR lines written so far.
    int errors() const { return errors_; }
    // Whether some stream could not be written.
    bool failed() const { return failed_; }

    bool utc = false; // time stamps in UTC instead of local time

    // Lines below this level are dropped; set once during set-up.
    static int min_level_;
    // The logger every message site writes to; empty before set-up and after shutdown.
    static std::weak_ptr<Logger> default_logger_;

private:
    struct Stream {
        std::shared_ptr<std::ostream> out;
        std::string name;
        bool failed = false;
        bool console = false;
    };
    // Reports a stream that has just failed; called with the lock held.
    void check_streams();
    // Records a failed stream and writes its message on standard error; lock held.
    void report_failure(const std::string& name, int error_number);

    std::vector<Stream> streams_;
    std::mutex mutex_;
    std::atomic<int> errors_{0};
    std::atomic<bool> failed_{false};
};

// Calendar time through the thread-safe system calls.
std::tm localtime(std::time_t seconds);
std::tm gmtime(std::time_t seconds);

// One line under construction: the constructor writes the prefix (the time stamp is taken
// here), the caller streams the text after it.
template <LogLevel L>
class LogMessage : public std::ostringstream {
public:
    explicit LogMessage(bool utc);
};

// The line prefix for a level at the current time: "YYYY-mm-dd HH:MM:SS,mmm [tid] [LEVEL] ".
std::string log_line_prefix(LogLevel level, bool utc);

template <LogLevel L>
LogMessage<L>::LogMessage(bool utc)
{
    *this << log_line_prefix(L, utc);
}

// Writes the line unless its level is below Logger::min_level_.
template <LogLevel L>
Logger& operator<<(Logger& logger, const LogMessage<L>& message)
{
    if (Logger::min_level_ <= L)
        logger.write_line(message.str(), L);
    return logger;
}

// A message that is written to the default logger when it goes out of scope; nothing is
// built or written when there is no logger or the level is dropped.
class LogLine {
public:
    explicit LogLine(LogLevel level);
    ~LogLine();
    LogLine(const LogLine&) = delete;
    LogLine& operator=(const LogLine&) = delete;

    template <typename T>
    LogLine& operator<<(const T& value)
    {
        if (logger_)
            text_ << value;
        return *this;
    }

private:
    std::shared_ptr<Logger> logger_;
    std::ostringstream text_;
    LogLevel level_;
};

inline LogLine log_debug()
{
    return LogLine(DEBUG);
}
inline LogLine log_info()
{
    return LogLine(INFO);
}
inline LogLine log_warn()
{
    return LogLine(WARN);
}
inline LogLine log_error()
{
    return LogLine(ERROR);
}

// Flushes the default logger's streams, when there is one.
void log_flush();

// Whether the default logger has written an ERROR line or failed to write a stream.
bool log_recorded_errors();
