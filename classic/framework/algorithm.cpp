#include "classic/framework/algorithm.h"

#include <utility>

Algorithm::Algorithm(std::string name, AlgorithmFramework::Log& run_log, AlgorithmFramework::Blackboard& run_blackboard)
    : name_(std::move(name)), log(&run_log), blackboard(&run_blackboard)
{
}
