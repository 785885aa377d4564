#pragma once
// The classic framework's exception: raised by Log::exception after the message has been
// logged and counted, and caught by the entry point.
#include <exception>
#include <string>
#include <utility>

namespace AlgorithmFramework {

class AFException : public std::exception {
public:
    explicit AFException(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

} // namespace AlgorithmFramework
