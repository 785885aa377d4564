#include "classic/framework/blackboard.h"

namespace AlgorithmFramework {

Blackboard::~Blackboard()
{
    for (const auto& [key, object] : objects_) {
        if (!object)
            continue;
        std::stringstream message;
        message << "Blackboard leak detected for " << key;
        log_->error(message);
    }
}

void Blackboard::check_type(const std::string& key, const char* type_name)
{
    auto stored = types_.find(key);
    if (stored == types_.end() || stored->second == type_name)
        return;
    std::stringstream message;
    message << "Blackboard invalid type for " << key;
    log_->error(message);
    throw std::bad_typeid();
}

void Blackboard::getParameter(const std::string& name, std::string& value)
{
    const Parameters* parameters = read<Parameters>("parameters");
    auto found = parameters->find(name);
    if (found == parameters->end()) {
        std::stringstream message;
        message << "Cannot find parameter " << name;
        log_->exception(message);
    }
    value = found->second;
}

} // namespace AlgorithmFramework
