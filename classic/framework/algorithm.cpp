#include "classic/framework/algorithm.h"

#include <utility>

Algorithm::Algorithm(std::string name, AlgorithmFramework::Log& log,
                     AlgorithmFramework::Blackboard& blackboard)
    : name_(std::move(name)), log(&log), blackboard(&blackboard)
{
}
