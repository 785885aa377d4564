#pragma once
// The converter's process-wide log. Every line carries the wall-clock time with
// milliseconds, the id of the thread that built it and a level word:
//   2026-12-09 05:14:54,005 [140245] [INFO] text
// Lines go to every stream of the logger (standard output first, then the log file) under
// one lock, so lines of different threads never mix. Lines below min_level_ are dropped.
//
// Message sites use the helpers at the bottom:
//   log_info() << "Loaded metadata file: " << name;
//   log_error() << "Could not read " << what;  log_flush();
#include "converter/app/log_level.h"

#include <ctime>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

class Logger {
public:
    // Adds a stream the logger owns (the log file).
    void add_stream(std::shared_ptr<std::ostream> stream);
    // Adds a stream the logger does not own (standard output); it is never deleted.
    void add_stream(std::ostream& stream);
    // Flushes every stream, in order, under the lock.
    void flush();
    // Writes one finished line (prefix and text) and a line end to every stream.
    void write_line(const std::string& line);

    bool utc = false; // time stamps in UTC instead of local time

    // Lines below this level are dropped; set once during set-up.
    static int min_level_;
    // The logger every message site writes to; empty before set-up and after shutdown.
    static std::weak_ptr<Logger> default_logger_;

private:
    std::vector<std::shared_ptr<std::ostream>> streams_;
    std::mutex mutex_;
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
        logger.write_line(message.str());
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
};

inline LogLine log_debug() { return LogLine(DEBUG); }
inline LogLine log_info() { return LogLine(INFO); }
inline LogLine log_warn() { return LogLine(WARN); }
inline LogLine log_error() { return LogLine(ERROR); }

// Flushes the default logger's streams, when there is one.
void log_flush();
