#pragma once
// The converter's set-up chain, run once by main before any lane: logging, the command
// line and folders, the log file, the sheets, the controls file and the run settings.
// Each step logs why it failed; the chain stops at the first failure.
#include <filesystem>
#include <string>

class Config;
class Fasta;
class PartitionedCsv;
class QuillonSheet;
class SampleSheet;

bool initialize_setup(int argc, char** argv, Config& config, SampleSheet& sample_sheet, QuillonSheet& design_sheet,
                      Fasta& fasta);

// Creates the process logger with standard output as its only stream.
void initialize_logging();

// Applies the configured level and time zone and adds the run's log file.
bool initialize_logging_output(Config& config);

// Reads and loads one sheet when a file is set; what names the sheet in messages.
bool initialize_sheet(const std::filesystem::path& file, const std::string& what, PartitionedCsv& sheet);

// Reads the controls file when one is set; checks that one is set when the run needs it.
bool initialize_fasta(Config& config, Fasta& fasta);

// The INFO summary of the run before the first lane.
void log_initial_info(int argc, char** argv, Config& config, Fasta& fasta);
