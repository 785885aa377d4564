#pragma once
// Shared by the configuration tests: a logger writing into a string, standard error
// captured into a string, an argument vector and a file writer.
#include "tests/support/log_capture.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace config_test {

using LogCapture = test_support::LogCapture;

// Sends std::cerr into a string for the lifetime of the object.
class CerrCapture {
public:
    CerrCapture() : old_(std::cerr.rdbuf(text_.rdbuf())) {}
    ~CerrCapture() { std::cerr.rdbuf(old_); }
    CerrCapture(const CerrCapture&) = delete;
    CerrCapture& operator=(const CerrCapture&) = delete;

    std::string str() const { return text_.str(); }

private:
    std::ostringstream text_;
    std::streambuf* old_;
};

// An argument vector with the program name first, as main receives it.
class Args {
public:
    explicit Args(std::vector<std::string> args) : text_(std::move(args))
    {
        text_.insert(text_.begin(), "quillon");
        for (auto& arg : text_)
            pointers_.push_back(arg.data());
        pointers_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(text_.size()); }
    char** argv() { return pointers_.data(); }

private:
    std::vector<std::string> text_;
    std::vector<char*> pointers_;
};

inline void write_file(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

} // namespace config_test
