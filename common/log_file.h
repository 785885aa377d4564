#pragma once
// Opens a run's log file, for both programs. Whatever stands at the log's name is never
// followed: a link there, or a file of more than one name (a hard link), would have the run
// write over a file elsewhere, so either is refused without being touched; so is a pipe or
// any other file that is not a regular one, which could hold the run up.
//   DescriptorStream file;
//   if (const int error = open_log_file(path, file)) ... the log cannot be written: error says why
#include "common/descriptor_stream.h"

#include <filesystem>

// Opens path for writing, created when missing and emptied, and attaches it to out. Returns
// 0, or the system error number: ELOOP for a link at the name, EMLINK for a file that has
// other names too, ENXIO for a file that is not a regular one.
int open_log_file(const std::filesystem::path& path, DescriptorStream& out);
