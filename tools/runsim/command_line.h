#pragma once
// The command line of quillon-runsim: options --name=value (a flag alone means true), turned
// into a RunRecipe, faults to inject after the run is written, or a stand-alone base-call file.
// See CommandLine::usage for the options.
#include "tools/runsim/fault_injector.h"
#include "tools/runsim/run_recipe.h"
#include "tools/runsim/zel_writer.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace runsim {

struct CommandLine {
    RunRecipe recipe;
    std::vector<std::pair<Fault, FaultTarget>> faults;
    bool help = false;

    // Stand-alone mode (--zel-file): one base-call file of random calls.
    std::filesystem::path zel_file;
    std::uint64_t zel_cycles = 151;
    std::uint64_t zel_extra_cycles = 0;
    std::uint64_t zel_type = Zel_file_type;

    // Parses the arguments after the program name. Throws std::invalid_argument naming the
    // option at fault.
    static CommandLine parse(const std::vector<std::string>& arguments);

    static std::string usage();
};

} // namespace runsim
