#pragma once
// Small helpers shared by the converter: the roles of the run's reads, whole-file reading,
// file copies, system error texts, the run-folder layout and sequence variants.
#include <filesystem>
#include <string>
#include <vector>

class Config;
class SampleSheet;

// Role of a read of the run (1-based read number), from the configured cycle ranges:
// "Index1", "Index2", "Read1", "Read2" (tested in this order), else "R" and the number.
std::string get_read_label(const Config& config, int read);
// 1 for the Read 1 read, 2 for the Read 2 read, else 0.
int get_read_number(const Config& config, int read);
// True for the Index 1 and Index 2 reads.
bool is_index_read(const Config& config, int read);
// 1 for the Index 1 read, 2 for the Index 2 read, else 0.
int get_index_number(const Config& config, int read);

// The whole content of a regular file (following links) into out. False, with out unchanged,
// when the path is not a regular file, cannot be opened or a read fails.
bool read_file(const std::filesystem::path& path, std::string& out);

// Copies from_folder / file_name to to_folder / file_name, replacing an existing file; the
// copy is made under its temporary name (common/partial_files.h) and renamed once complete.
// On failure logs an ERROR line and returns false. Never throws.
bool copy_file_to(const std::filesystem::path& from_folder, const std::filesystem::path& file_name,
                  const std::filesystem::path& to_folder);

// The platform's text for an error number; "Unknown system error" when it gives none.
std::string get_system_error_message(int error_number);

// Raises this process's soft limit of open files to its hard limit and returns the soft
// limit now in force (the old one when it cannot be raised).
long raise_open_file_limit();

// The threads this machine can run at once (at least 1).
int usable_threads();

// True when folder / "Base_Calls" is a folder (following links): the run folder layout with
// "FASTQs" and "Metrics" output folders.
bool is_new_folder_structure(const std::filesystem::path& folder);

// Appends variants of sequence to out, in this order: every substitution by another base of
// "ACGTN" at positions start .. min(end, length) - 1; every insertion of each base of "ACGTN"
// before positions start .. min(end, length); every deletion at positions 0 .. min(end, length),
// where a position at the end removes nothing and appends the sequence itself.
void generate_mutations(const std::string& sequence, int start, int end, bool substitutions, bool insertions,
                        bool deletions, std::vector<std::string>& out);

// The number of sample rows of the sheet in the lane.
int get_num_samples(const SampleSheet& sample_sheet, int lane);

// Always 0.
int get_peak_memory();

// Replaces out with the fields of text between the delimiters, empty fields included (one
// more than the delimiters; one empty field for an empty text); the text ends at its first
// zero byte. Returns the number of fields.
int split_string(const std::string& text, std::vector<std::string>& out, char delimiter);

namespace utility {
// Removes, in place, every white-space byte and every byte of 127 or above wherever it
// stands; returns a copy of the result.
std::string trim(std::string& text);
} // namespace utility
