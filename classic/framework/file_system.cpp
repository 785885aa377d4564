#include "classic/framework/file_system.h"

#include <sys/stat.h>

#include <vector>

namespace AlgorithmFramework::FileSystem {

void mkdir(const std::string& path)
{
    std::vector<std::string> prefixes;
    std::string rest = path;
    for (auto separator = rest.find_last_of("/\\"); separator != std::string::npos;
         separator = rest.find_last_of("/\\")) {
        rest.resize(separator);
        prefixes.push_back(rest);
    }
    for (auto prefix = prefixes.rbegin(); prefix != prefixes.rend(); ++prefix) {
        if (!prefix->empty())
            ::mkdir(prefix->c_str(), 0775);
    }
}

} // namespace AlgorithmFramework::FileSystem
