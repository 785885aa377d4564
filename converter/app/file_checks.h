#pragma once
// Checks of the folders and files named on the command line, in the sheets and in the run
// folder. Each failure is logged at ERROR (and the log flushed) before false is returned.
#include <filesystem>
#include <string>

// A folder that must exist, or that is created with its parents when create is set.
bool validate_folder(const std::filesystem::path& path, bool create);

// Resolves one input file: a given path must name a readable regular file; without one the
// default is taken when it exists; what names the file in messages.
bool validate_file(std::filesystem::path& file, const std::filesystem::path& default_file, bool required,
                   const std::string& what);

// The path between double quotes, with a backslash before every double quote and
// backslash inside it.
std::string quoted_path(const std::filesystem::path& path);
