#pragma once
// The base of the classic program's algorithms: a name, the log and the blackboard (neither
// owned), and the operations the entry point and the algorithm itself call.
#include "classic/framework/blackboard.h"
#include "classic/framework/log.h"

#include <string>

class Algorithm {
public:
    Algorithm(std::string name, AlgorithmFramework::Log& run_log, AlgorithmFramework::Blackboard& run_blackboard);
    virtual ~Algorithm() = default;

    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;

    virtual bool run() { return false; }
    virtual void help() {}
    virtual void default_parameters() {}
    virtual bool validate_parameters() { return true; }
    virtual void validate_run() {}

    const std::string& name() const { return name_; }

protected:
    std::string name_;
    AlgorithmFramework::Log* log;
    AlgorithmFramework::Blackboard* blackboard;
};
