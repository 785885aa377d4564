#include "classic/framework/memory_limit.h"

#include "classic/framework/utilities.h"

#include <sys/resource.h>

#include <filesystem>
#include <fstream>

namespace classic {
namespace {

// The number in a control group's limit file; 0 when it holds none ("max").
std::uint64_t limit_in(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::uint64_t bytes = 0;
    return in >> bytes ? bytes : 0;
}

// The smallest memory limit of the process's control group and of the groups above it, in the
// unified hierarchy (memory.max) or the memory controller's own (memory.limit_in_bytes); 0 when
// there is none.
std::uint64_t control_group_limit()
{
    std::ifstream groups("/proc/self/cgroup");
    std::uint64_t smallest = 0;
    // Lines read "0::/group" (unified) or "4:memory:/group".
    for (std::string line; std::getline(groups, line);) {
        const auto first = line.find(':');
        const auto second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            continue;
        const std::string controllers = "," + line.substr(first + 1, second - first - 1) + ",";
        const bool unified = controllers == ",,";
        if (!unified && controllers.find(",memory,") == std::string::npos)
            continue;
        const std::filesystem::path root = unified ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory";
        const char* file = unified ? "memory.max" : "memory.limit_in_bytes";
        for (std::filesystem::path group = line.substr(second + 1);; group = group.parent_path()) {
            const std::uint64_t bytes = limit_in(root / group.relative_path() / file);
            if (bytes != 0 && (smallest == 0 || bytes < smallest))
                smallest = bytes;
            if (group == group.parent_path() || group.empty())
                break;
        }
    }
    return smallest;
}

} // namespace

MemoryLimit memory_limit()
{
    MemoryLimit limit{getTotalSystemMemory(), "of this machine"};
    auto lower = [&limit](std::uint64_t bytes, const char* source) {
        if (bytes != 0 && (limit.bytes == 0 || bytes < limit.bytes))
            limit = {bytes, source};
    };
    rlimit resource{};
    if (getrlimit(RLIMIT_AS, &resource) == 0 && resource.rlim_cur != RLIM_INFINITY)
        lower(resource.rlim_cur, "this process may use under its address-space limit (ulimit -v)");
    if (getrlimit(RLIMIT_DATA, &resource) == 0 && resource.rlim_cur != RLIM_INFINITY)
        lower(resource.rlim_cur, "this process may use under its data limit (ulimit -d)");
    lower(control_group_limit(), "this process may use under its control group's memory limit");
    return limit;
}

} // namespace classic
