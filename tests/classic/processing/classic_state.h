#pragma once
// A CreateFastq with its own log and blackboard and the console echo off, for tests that set
// its members by hand; its outputs go below the given folder with the prefix "FC".
#include "classic/framework/blackboard.h"
#include "classic/framework/log.h"
#include "classic/processing/create_fastq.h"

#include <string>

struct ClassicState {
    AlgorithmFramework::Log log;
    AlgorithmFramework::Blackboard blackboard{log};
    CreateFastq fastq{"create_fastq", log, blackboard};

    explicit ClassicState(const std::string& output = "")
    {
        log.echo = false;
        fastq.output = output;
        fastq.file_prefix = "FC";
    }
};
