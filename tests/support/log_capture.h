#pragma once
// Installs a process logger that writes into a string for the lifetime of the object.
#include "converter/app/logger.h"

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace test_support {

class LogCapture {
public:
    LogCapture()
    {
        logger_ = std::make_shared<Logger>();
        logger_->add_stream(out_);
        Logger::default_logger_ = logger_;
        Logger::min_level_ = INFO;
    }
    ~LogCapture()
    {
        Logger::default_logger_.reset();
        Logger::min_level_ = INFO;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Everything logged, prefixes included.
    std::string text() const { return out_.str(); }

    // The messages of the lines, without their time and thread, as "[LEVEL] text".
    std::vector<std::string> lines() const
    {
        std::vector<std::string> result;
        std::istringstream in(out_.str());
        for (std::string line; std::getline(in, line);) {
            const auto level = line.find("] [");
            result.push_back(level == std::string::npos ? line : line.substr(level + 2));
        }
        return result;
    }

private:
    std::ostringstream out_;
    std::shared_ptr<Logger> logger_;
};

} // namespace test_support
