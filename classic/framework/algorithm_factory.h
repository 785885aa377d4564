#pragma once
// Creates algorithms by name and owns them. register_alg creates the algorithm at once; get of
// an unknown name logs "Algorithm not found for " + name and hands out a plain Algorithm whose
// run fails.
#include "classic/framework/algorithm.h"
#include "classic/framework/blackboard.h"
#include "classic/framework/log.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class AlgorithmFactory {
public:
    AlgorithmFactory(AlgorithmFramework::Log& log, AlgorithmFramework::Blackboard& blackboard)
        : log_(&log), blackboard_(&blackboard)
    {
    }
    // Deletes every algorithm, in name order.
    virtual ~AlgorithmFactory();

    AlgorithmFactory(const AlgorithmFactory&) = delete;
    AlgorithmFactory& operator=(const AlgorithmFactory&) = delete;

    template <typename T>
    void register_alg(const std::string& name)
    {
        names_.push_back(name);
        algorithms_[name] = std::make_unique<T>(name, *log_, *blackboard_);
    }

    Algorithm* get(const std::string& name);

private:
    AlgorithmFramework::Log* log_;
    AlgorithmFramework::Blackboard* blackboard_;
    std::map<std::string, std::unique_ptr<Algorithm>> algorithms_;
    std::vector<std::string> names_;
};
