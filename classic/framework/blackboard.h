#pragma once
// A store of named objects whose type is checked on every access. The command-line
// parameters reach the algorithm through it, as a std::map<std::string, std::string> stored
// under "parameters":
//   auto* parameters = blackboard.write<Parameters>("parameters");
//   (*parameters)["--input"] = folder;
//   std::string input;
//   blackboard.getParameter("--input", input); // Log::exception when absent
// An object stays owned by the blackboard from write until erase; objects still stored when the
// blackboard is destroyed are reported as leaks (an ERROR each), then freed.
#include "classic/framework/log.h"

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <typeinfo>
#include <utility>

namespace AlgorithmFramework {

using Parameters = std::map<std::string, std::string>;

class Blackboard {
public:
    explicit Blackboard(Log& log) : log_(&log) {}
    virtual ~Blackboard();

    Blackboard(const Blackboard&) = delete;
    Blackboard& operator=(const Blackboard&) = delete;

    // Stores a new, empty T under the key (replacing an earlier T) and returns it. A stored
    // object of another type: logs "Blackboard invalid type for " + key and throws
    // std::bad_typeid, nothing allocated.
    template <typename T>
    T* write(const std::string& key);
    // The stored T; an absent key behaves as write.
    template <typename T>
    T* read(const std::string& key);
    // Deletes the stored T; an absent key does nothing.
    template <typename T>
    void erase(const std::string& key);

    // Copies the named value of the "parameters" map into value; an absent name raises
    // "Cannot find parameter " + name through Log::exception.
    void getParameter(const std::string& name, std::string& value);

private:
    // Logs the type mismatch and throws std::bad_typeid when the key holds another type.
    void check_type(const std::string& key, const char* type_name);

    using Object = std::unique_ptr<void, void (*)(void*)>;
    template <typename T>
    static void destroy(void* object)
    {
        delete static_cast<T*>(object);
    }

    Log* log_;
    std::map<std::string, std::string> types_;
    std::map<std::string, Object> objects_;
};

template <typename T>
T* Blackboard::write(const std::string& key)
{
    check_type(key, typeid(T).name());
    Object created(new T(), &destroy<T>);
    T* object = static_cast<T*>(created.get());
    types_[key] = typeid(T).name();
    objects_.insert_or_assign(key, std::move(created));
    return object;
}

template <typename T>
T* Blackboard::read(const std::string& key)
{
    auto stored = objects_.find(key);
    if (stored == objects_.end())
        return write<T>(key);
    check_type(key, typeid(T).name());
    return static_cast<T*>(stored->second.get());
}

template <typename T>
void Blackboard::erase(const std::string& key)
{
    auto stored = objects_.find(key);
    if (stored == objects_.end())
        return;
    check_type(key, typeid(T).name());
    objects_.erase(stored);
    types_.erase(key);
}

} // namespace AlgorithmFramework
