// quillon-classic: converts the run folder of a sequencing instrument into gzip FASTQ files
// with one algorithm inside a small framework.
//   quillon-classic --input RUN --threadsperlane 2 [--output DIR] [--samplesheet S] ...
// Arguments come in name and value pairs; "--help" asks for the usage, a lone last "--version"
// prints the version. The exit status is 1 when an error was logged or the log file could not
// be written, else 0. SIGINT and SIGTERM end the run with an ERROR and status 1, removing the
// output files not yet complete and then the output folder's lock file; a closed console
// (SIGPIPE) is passed over.
#include "classic/framework/af_exception.h"
#include "classic/framework/algorithm_factory.h"
#include "classic/framework/blackboard.h"
#include "classic/framework/log.h"
#include "classic/framework/utilities.h"
#include "classic/processing/create_fastq.h"
#include "common/interrupt_watch.h"
#include "common/output_folder_lock.h"
#include "common/partial_files.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <sstream>
#include <string>

namespace {

constexpr const char* Version = "5.11.0";

// What the command line asks for: a run (or the usage), the version, or nothing it can do.
enum class Request { Run, PrintVersion, NoValue };

// Reads the name and value pairs of the arguments into the parameters, with the command line
// they make. "--help" as a name or a value, or as a lone last argument, asks for the usage, a
// lone last "--version" for the version; any other lone last argument has no value and is given
// in lone.
Request read_arguments(int argc, char** argv, AlgorithmFramework::Parameters& parameters, std::string& lone)
{
    std::string command_line = std::string(argv[0]) + " ";
    bool help = false;
    int position = 1;
    for (; position + 1 < argc; position += 2) {
        const std::string name = argv[position];
        const std::string value = argv[position + 1];
        if (name == "--help" || value == "--help") {
            help = true;
            break;
        }
        parameters[name] = value;
        command_line += name + " " + value + " ";
    }
    if (help) {
        parameters["--help"] = "";
    } else if (position < argc) {
        const std::string last = argv[position];
        if (last == "--version")
            return Request::PrintVersion;
        if (last != "--help") {
            lone = last;
            return Request::NoValue;
        }
        parameters["--help"] = "";
    }
    parameters["--command_line"] = command_line;
    return Request::Run;
}

} // namespace

int main(int argc, char** argv)
{
    // Kept for the whole process: "--version" returns without destroying them, so no summary
    // is written.
    static auto* log = new AlgorithmFramework::Log();
    static auto* blackboard = new AlgorithmFramework::Blackboard(*log);
    // Before any thread starts, so that every thread inherits the blocked signals.
    std::signal(SIGPIPE, SIG_IGN);
    auto interrupts = std::make_unique<InterruptWatch>([](const char* signal_name) {
        std::stringstream message;
        message << "Interrupted by " << signal_name
                << ": the run is stopped and its unfinished FASTQ files are removed";
        log->error(message);
        log->flush();
        PartialFiles::discard_all();
        OutputFolderLock::remove_held_lock_files();
        // Without destructors: the lane and tile threads still use the objects.
        std::_Exit(1);
    });
    classic::raise_open_file_limit();
    std::unique_ptr<AlgorithmFactory> factory;
    try {
        factory = std::make_unique<AlgorithmFactory>(*log, *blackboard);
        factory->register_alg<CreateFastq>("create_fastq");

        auto* parameters = blackboard->write<AlgorithmFramework::Parameters>("parameters");
        std::string lone;
        const Request request = read_arguments(argc, argv, *parameters, lone);
        if (request == Request::PrintVersion) {
            std::printf("quillon version %s\n", Version);
            factory.reset();
            return 0;
        }
        if (request == Request::NoValue) {
            // Nothing asked for is dropped: the run does not start, and writes nothing.
            factory->get("create_fastq")->help();
            std::stringstream message;
            message << "The last argument " << lone << " has no value";
            log->error(message);
        } else {
            factory->get("create_fastq")->run();
        }
        factory.reset();
    } catch (const AlgorithmFramework::AFException&) {
        factory.reset();
    } catch (const std::exception& e) {
        factory.reset();
        std::stringstream message;
        message << e.what();
        log->error(message);
    } catch (...) {
        factory.reset();
        std::stringstream message;
        message << "...";
        log->error(message);
    }
    blackboard->erase<AlgorithmFramework::Parameters>("parameters");
    const int status = log->errors > 0 || log->exceptions > 0 ? 1 : 0;
    interrupts.reset();
    delete blackboard;
    const bool log_written = log->close();
    delete log;
    return log_written ? status : 1;
}
