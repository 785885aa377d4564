#pragma once
// Text helpers for tests: the lines of a text, and what a call writes to standard output.
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace test_support {

inline std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

template <typename F>
std::string stdout_of(F&& call)
{
    std::ostringstream text;
    std::streambuf* old = std::cout.rdbuf(text.rdbuf());
    call();
    std::cout.rdbuf(old);
    return text.str();
}

} // namespace test_support
