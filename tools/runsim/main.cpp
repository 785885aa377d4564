// quillon-runsim: writes synthetic run folders (or one base-call file) with known truth for the
// tests, benchmarks and demos of the converters. See --help.
#include "tools/runsim/command_line.h"
#include "tools/runsim/fault_injector.h"
#include "tools/runsim/random_calls.h"
#include "tools/runsim/run_generator.h"
#include "tools/runsim/zel_writer.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string size_text(std::uint64_t bytes)
{
    char text[32];
    if (bytes < 1000000)
        std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1e3);
    else
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

std::string name_in_run(const runsim::RunTruth& run, const std::filesystem::path& path)
{
    return path.lexically_relative(run.run_folder).generic_string();
}

int write_standalone(const runsim::CommandLine& line)
{
    const auto start = std::chrono::steady_clock::now();
    const runsim::RunRecipe& recipe = line.recipe;
    if (recipe.spots < 0 || line.zel_cycles == 0 || line.zel_extra_cycles > line.zel_cycles)
        throw std::invalid_argument("a base-call file needs spots >= 0, cycles >= 1 and "
                                    "extra cycles <= cycles");
    runsim::ZelHeader header;
    header.type = line.zel_type;
    header.version = recipe.zel_version();
    header.spots = static_cast<std::uint64_t>(recipe.spots);
    header.cycles = line.zel_cycles;
    header.extra_cycles = line.zel_extra_cycles;
    header.text = "quillon-runsim seed " + std::to_string(recipe.seed);
    const std::vector<unsigned char> calls = runsim::random_calls(header.spots * header.cycles, recipe.seed);
    const runsim::ZelFileStats stats = runsim::write_zel_file(line.zel_file, header, calls, recipe.zel);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("quillon-runsim: wrote %s\n", line.zel_file.string().c_str());
    std::printf("  %llu spots x %llu cycles (%llu extra), version %llu, %s, %llu members\n",
                static_cast<unsigned long long>(header.spots), static_cast<unsigned long long>(header.cycles),
                static_cast<unsigned long long>(header.extra_cycles), static_cast<unsigned long long>(header.version),
                std::string(runsim::storage_name(recipe.zel.storage)).c_str(),
                static_cast<unsigned long long>(stats.members));
    std::printf("  %s of calls, %s on disk, %.2f s\n", size_text(calls.size()).c_str(),
                size_text(stats.file_bytes).c_str(), seconds);
    return 0;
}

int write_run(const runsim::CommandLine& line)
{
    const runsim::RunTruth run = runsim::generate_run(line.recipe);
    const runsim::RunRecipe& recipe = run.recipe;
    std::printf("quillon-runsim: wrote run %s in %s\n", run.identity.run_folder_name().c_str(),
                run.run_folder.string().c_str());
    std::printf("  %d lane(s) x %d tile(s), reads %s, %d spots per tile, %zu samples, "
                "%zu controls, %zu adapters\n",
                recipe.lanes, recipe.surfaces * recipe.tiles, recipe.layout.text().c_str(), recipe.spots,
                run.samples.size(), run.library.controls.size(), run.library.adapters.size());
    std::printf("  %llu files, %s on disk; %llu base-call files (%s, %s of calls inflated)\n",
                static_cast<unsigned long long>(run.files), size_text(run.bytes).c_str(),
                static_cast<unsigned long long>(run.zel_files), size_text(run.zel_bytes).c_str(),
                size_text(run.call_bytes).c_str());
    std::string beside;
    for (const std::filesystem::path* path : {&run.metadata_file, &run.design_sheet, &run.sample_sheet,
                                              &run.legacy_sample_sheet, &run.controls_file, &run.manifest})
        if (!path->empty())
            beside += (beside.empty() ? "" : ", ") + name_in_run(run, *path);
    std::printf("  beside the lanes: %s\n", beside.empty() ? "nothing" : beside.c_str());
    std::printf("  %.2f s\n", run.seconds);
    for (const auto& [fault, target] : line.faults) {
        const runsim::FaultReport report = runsim::inject_fault(run, fault, target);
        std::printf("  fault %s: %s: %s\n", std::string(runsim::fault_name(fault)).c_str(),
                    name_in_run(run, report.file).c_str(), report.description.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const runsim::CommandLine line = runsim::CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
        if (line.help || argc == 1) {
            std::cout << runsim::CommandLine::usage();
            return line.help ? 0 : 2;
        }
        return line.zel_file.empty() ? write_run(line) : write_standalone(line);
    } catch (const std::invalid_argument& error) {
        std::cerr << "quillon-runsim: " << error.what() << "\n";
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "quillon-runsim: " << error.what() << "\n";
        return 1;
    }
}
