#pragma once
// The classic program's algorithm as its run has it when it reads sheets and tiles, with a log
// that writes nothing, for the fuzz targets of its readers. A run error (AFException) is an
// expected end of an input.
#include "classic/framework/af_exception.h"
#include "classic/framework/blackboard.h"
#include "classic/framework/log.h"
#include "classic/processing/create_fastq.h"

#include <string>

namespace fuzz {

struct ClassicRun {
    AlgorithmFramework::Log log;
    AlgorithmFramework::Blackboard blackboard{log};
    CreateFastq fastq{"create_fastq", log, blackboard};
    AlgorithmFramework::Parameters* parameters = blackboard.write<AlgorithmFramework::Parameters>("parameters");

    ClassicRun()
    {
        log.echo = false;
        fastq.file_prefix = "FC1";
        fastq.input = "/nonexistent-run";
        fastq.read_numbers = {1, 2};
        fastq.read_cycles = {8, 8};
        fastq.lane_demux.assign(2, {});
    }
    ~ClassicRun() { blackboard.erase<AlgorithmFramework::Parameters>("parameters"); }
    ClassicRun(const ClassicRun&) = delete;
    ClassicRun& operator=(const ClassicRun&) = delete;
};

} // namespace fuzz
