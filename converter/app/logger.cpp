#include "converter/app/logger.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

int Logger::min_level_ = INFO;
std::weak_ptr<Logger> Logger::default_logger_;

const char* log_level_word(LogLevel level)
{
    switch (level) {
    case DEBUG: return "DEBUG";
    case INFO: return "INFO";
    case WARN: return "WARN";
    case ERROR: return "ERROR";
    }
    return "INFO";
}

void Logger::add_stream(std::shared_ptr<std::ostream> stream)
{
    std::lock_guard lock(mutex_);
    streams_.push_back(std::move(stream));
}

void Logger::add_stream(std::ostream& stream)
{
    add_stream(std::shared_ptr<std::ostream>(&stream, [](std::ostream*) {}));
}

void Logger::flush()
{
    std::lock_guard lock(mutex_);
    for (const auto& stream : streams_)
        stream->flush();
}

void Logger::write_line(const std::string& line)
{
    std::lock_guard lock(mutex_);
    for (const auto& stream : streams_)
        *stream << line << '\n';
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

LogLine::LogLine(LogLevel level)
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
        logger_->write_line(text_.str());
}

void log_flush()
{
    if (auto logger = Logger::default_logger_.lock())
        logger->flush();
}
