#include "converter/app/logger.h"

#include "converter/app/utilities.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

int Logger::min_level_ = INFO;
std::weak_ptr<Logger> Logger::default_logger_;

const char* log_level_word(LogLevel level)
{
    switch (level) {
    case DEBUG:
        return "DEBUG";
    case INFO:
        return "INFO";
    case WARN:
        return "WARN";
    case ERROR:
        return "ERROR";
    }
    return "INFO";
}

void Logger::add_stream(std::shared_ptr<std::ostream> stream, std::string name)
{
    std::lock_guard lock(mutex_);
    streams_.push_back({std::move(stream), std::move(name)});
}

void Logger::add_stream(std::ostream& stream, std::string name)
{
    std::lock_guard lock(mutex_);
    streams_.push_back({std::shared_ptr<std::ostream>(&stream, [](std::ostream*) {}), std::move(name), false, true});
}

void Logger::add_unwritable(const std::string& name, int error_number)
{
    std::lock_guard lock(mutex_);
    report_failure(name, error_number);
}

void Logger::flush()
{
    std::lock_guard lock(mutex_);
    errno = 0;
    for (const Stream& stream : streams_)
        stream.out->flush();
    check_streams();
}

void Logger::write_line(const std::string& line, LogLevel level)
{
    std::lock_guard lock(mutex_);
    if (level >= ERROR)
        ++errors_;
    errno = 0;
    for (const Stream& stream : streams_) {
        *stream.out << line << '\n';
        if (level >= WARN)
            stream.out->flush();
    }
    check_streams();
}

void Logger::check_streams()
{
    const int error_number = errno;
    for (Stream& stream : streams_) {
        if (stream.failed || *stream.out)
            continue;
        stream.failed = true;
        // A console closed by its reader (output piped into head) does not stop the run, nor
        // does it change its status: the log file still gets every line.
        if (!stream.console)
            report_failure(stream.name, error_number);
    }
}

void Logger::report_failure(const std::string& name, int error_number)
{
    failed_ = true;
    // The log cannot carry this message; standard error is the one place left.
    std::cerr << "ERROR: Unable to write " << name << " : "
              << get_system_error_message(error_number ? error_number : EIO) << std::endl;
}

std::tm localtime(std::time_t seconds)
{
    std::tm result{};
    localtime_r(&seconds, &result);
    return result;
}

std::tm gmtime(std::time_t seconds)
{
    std::tm result{};
    gmtime_r(&seconds, &result);
    return result;
}

std::string log_line_prefix(LogLevel level, bool utc)
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto since_epoch = now.time_since_epoch();
    const auto whole = duration_cast<seconds>(since_epoch);
    const auto millis = duration_cast<milliseconds>(since_epoch - whole).count();
    const std::tm calendar = utc ? gmtime(whole.count()) : localtime(whole.count());

    char stamp[64];
    const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &calendar);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ",%03d", static_cast<int>(millis));

    std::ostringstream prefix;
    prefix << std::string(stamp, length) << fraction << " [" << std::this_thread::get_id() << "] ["
           << log_level_word(level) << "] ";
    return prefix.str();
}

LogLine::LogLine(LogLevel level) : level_(level)
{
    if (Logger::min_level_ > level)
        return;
    logger_ = Logger::default_logger_.lock();
    if (logger_)
        text_ << log_line_prefix(level, logger_->utc);
}

LogLine::~LogLine()
{
    if (logger_)
        logger_->write_line(text_.str(), level_);
}

void log_flush()
{
    if (auto logger = Logger::default_logger_.lock())
        logger->flush();
}

bool log_recorded_errors()
{
    const auto logger = Logger::default_logger_.lock();
    return logger && (logger->errors() > 0 || logger->failed());
}
