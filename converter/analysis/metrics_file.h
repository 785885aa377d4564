#pragma once
// A metrics file is written under its temporary name and renamed to its final name once every
// line is written (see common/partial_files.h): a run killed while writing it leaves no file
// cut short under the final name, and an earlier run's file of the name is removed first.
//
//   DescriptorStream out;
//   if (!open_metrics_file(out, path)) ... report that it cannot be opened ...
//   out << ...;
//   finish_metrics_file(out, path);
#include "common/descriptor_stream.h"

#include <filesystem>

// Opens the temporary file of path for output; false when it cannot be created.
bool open_metrics_file(DescriptorStream& out, const std::filesystem::path& path);

// Closes the file and gives it its final name. False, after an ERROR "Cannot write metrics
// file: " + path, when a write, the close or the rename failed; the file then stays under its
// temporary name.
bool finish_metrics_file(DescriptorStream& out, const std::filesystem::path& path);
