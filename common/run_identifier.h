#pragma once
// The ids of a run (instrument, run and flowcell) go into every FASTQ read name and, the
// flowcell id, into file names: white space would end a read name early, a control character
// break a line, and '/', "." or ".." lead a file name out of its folder.
//
//   if (run_identifier::has_space_or_control_character(id) || !run_identifier::is_file_name_part(id))
//       refuse("Invalid flowcell id " + run_identifier::printable(id));
#include <string>

namespace run_identifier {

// Whether the id holds a blank, a line end or another control character.
bool has_space_or_control_character(const std::string& id);

// Whether the id can stand as one component of a path: not "." or "..", no '/'.
bool is_file_name_part(const std::string& id);

// The id for a message: in double quotes, '"' and '\' escaped and control characters written as
// \xHH, so that it cannot break the line.
std::string printable(const std::string& id);

} // namespace run_identifier
