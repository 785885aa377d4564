#include "classic/framework/algorithm_factory.h"

#include <sstream>

AlgorithmFactory::~AlgorithmFactory()
{
    for (auto& [name, algorithm] : algorithms_)
        algorithm.reset();
}

Algorithm* AlgorithmFactory::get(const std::string& name)
{
    auto found = algorithms_.find(name);
    if (found != algorithms_.end())
        return found->second.get();
    std::stringstream message;
    message << "Algorithm not found for " << name;
    log_->error(message);
    names_.push_back(name);
    auto& made = algorithms_[name];
    made = std::make_unique<Algorithm>(name, *log_, *blackboard_);
    return made.get();
}
