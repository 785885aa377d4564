#pragma once
// The memory this process may use: the smallest of the machine's physical memory, the limits of
// its address space and of its data (ulimit -v, ulimit -d), and its control group's memory limit.
//   const classic::MemoryLimit limit = classic::memory_limit();
//   if (limit.bytes != 0 && needed > limit.bytes) refuse("more than the ... GB " + limit.source);
#include <cstdint>
#include <string>

namespace classic {

struct MemoryLimit {
    std::uint64_t bytes = 0; // 0 when nothing is known
    std::string source;      // which limit it is, as a message goes on: "of this machine", ...
};

MemoryLimit memory_limit();

} // namespace classic
