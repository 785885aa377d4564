#include "classic/framework/log.h"

#include "classic/framework/af_exception.h"
#include "classic/framework/file_system.h"
#include "common/log_file.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <thread>

namespace AlgorithmFramework {

Log::~Log()
{
    close();
}

bool Log::close()
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return !file_failed_;
        closed_ = true;
    }
    error_counts("Run complete");
    std::lock_guard lock(mutex_);
    if (file_.is_open()) {
        errno = 0;
        file_.close();
        if (file_.fail())
            report_file_failure(errno);
    }
    return !file_failed_;
}

void Log::flush()
{
    std::lock_guard lock(mutex_);
    std::cout.flush();
    if (file_.is_open() && !file_failed_) {
        errno = 0;
        if (!file_.flush())
            report_file_failure(errno);
    }
}

void Log::write_file(const std::string& text)
{
    if (!file_.is_open() || file_failed_)
        return;
    errno = 0;
    file_ << text;
    file_.flush();
    if (!file_)
        report_file_failure(errno);
}

void Log::report_file_failure(int error_number)
{
    if (file_failed_)
        return;
    file_failed_ = true;
    // The log cannot carry this message; standard error is the one place left.
    std::cerr << "ERROR: Unable to write log file '" << path_
              << "' : " << std::strerror(error_number != 0 ? error_number : EIO) << std::endl;
}

void Log::error(std::stringstream& message)
{
    std::lock_guard lock(mutex_);
    write_line(&errors, "ERROR", message);
}

void Log::warning(std::stringstream& message)
{
    std::lock_guard lock(mutex_);
    write_line(&warnings, "WARN", message);
}

void Log::status(std::stringstream& message)
{
    std::lock_guard lock(mutex_);
    write_line(nullptr, "INFO", message);
}

void Log::exception(std::stringstream& message)
{
    {
        std::lock_guard lock(mutex_);
        write_line(&errors, "ERROR", message);
    }
    throw AFException(message.str());
}

void Log::write_line(int* counter, const char* level, std::stringstream& message)
{
    if (counter != nullptr)
        ++*counter;
    if (!has_newline(message)) {
        message.seekp(0, std::ios::end);
        message << '\n';
        message.flush();
    }
    const std::string line = prefix(level) + message.str();
    if (echo) {
        std::cout << line;
        if (counter != nullptr)
            std::cout.flush();
    }
    write_file(line);
}

std::string Log::prefix(const std::string& level)
{
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const std::time_t seconds = static_cast<std::time_t>(now / 1'000'000'000);
    std::tm calendar{};
    gmtime_r(&seconds, &calendar);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &calendar);
    char millis[8];
    std::snprintf(millis, sizeof millis, "%03d", static_cast<int>((now % 1'000'000'000) / 1'000'000));
    std::ostringstream text;
    text << stamp << ',' << millis << " [" << std::this_thread::get_id() << "] [" << level << "] \t";
    return text.str();
}

bool Log::has_newline(std::stringstream& message)
{
    bool result = false;
    if (message && message.peek() != std::char_traits<char>::eof()) {
        message.seekg(-1, std::ios::end);
        result = message.get() == '\n';
    }
    message.clear();
    return result;
}

void Log::open(const std::string& path, bool utc_time)
{
    std::lock_guard lock(mutex_);
    if (file_.is_open())
        file_.close();
    FileSystem::mkdir(path);
    path_ = path;
    file_failed_ = false;
    if (const int error = open_log_file(path, file_)) {
        file_.setstate(std::ios::failbit);
        report_file_failure(error);
    }
    utc = utc_time;
}

void Log::error_counts(const std::string& title)
{
    std::lock_guard lock(mutex_);
    const std::string lines[] = {title, std::to_string(warnings) + " warnings", std::to_string(errors) + " errors",
                                 std::to_string(exceptions) + " exceptions"};
    // Each line's prefix is taken once, so that the console and the file hold the same text.
    std::string text;
    for (const std::string& line : lines)
        text += prefix("INFO") + line + '\n';
    if (echo)
        std::cout << text << std::flush;
    write_file(text);
}

} // namespace AlgorithmFramework
