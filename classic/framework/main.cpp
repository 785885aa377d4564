// quillon-classic: converts the run folder of a sequencing instrument into gzip FASTQ files
// with one algorithm inside a small framework.
//   quillon-classic --input RUN --threadsperlane 2 [--output DIR] [--samplesheet S] ...
// Arguments come in name and value pairs; "--help" asks for the usage, a lone last "--version"
// prints the version. The exit status is 1 when an error was logged, else 0.
#include "classic/framework/algorithm_factory.h"
#include "classic/framework/af_exception.h"
#include "classic/framework/blackboard.h"
#include "classic/framework/log.h"
#include "classic/processing/create_fastq.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <sstream>
#include <string>

namespace {

constexpr const char* Version = "5.11.0";

} // namespace

int main(int argc, char** argv)
{
    // Kept for the whole process: "--version" returns without destroying them, so no summary
    // is written.
    static auto* log = new AlgorithmFramework::Log();
    static auto* blackboard = new AlgorithmFramework::Blackboard(*log);
    std::unique_ptr<AlgorithmFactory> factory;
    try {
        factory = std::make_unique<AlgorithmFactory>(*log, *blackboard);
        factory->register_alg<CreateFastq>("create_fastq");

        std::string command_line = std::string(argv[0]) + " ";
        auto* parameters = blackboard->write<AlgorithmFramework::Parameters>("parameters");
        bool help = false;
        int position = 1;
        for (; position + 1 < argc; position += 2) {
            const std::string name = argv[position];
            const std::string value = argv[position + 1];
            if (name == "--help" || value == "--help") {
                help = true;
                break;
            }
            (*parameters)[name] = value;
            command_line += name + " " + value + " ";
        }
        if (help) {
            (*parameters)["--help"] = "";
        } else if (position < argc) {
            const std::string last = argv[position];
            if (last == "--version") {
                std::printf("quillon version %s\n", Version);
                factory.reset();
                return 0;
            }
            if (last == "--help")
                (*parameters)["--help"] = "";
        }
        (*parameters)["--command_line"] = command_line;

        factory->get("create_fastq")->run();
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
    delete blackboard;
    delete log;
    return status;
}
