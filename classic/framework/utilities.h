#pragma once
// Free helpers of the classic program: the run's sub-folder names, the run metadata, FASTQ
// copying, text cleaning, base complements, the zero-border edit distance, the physical
// memory size and the limit of open files. The histogram statistics are in classic/framework/histograms.h.
#include "common/gz_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace classic {

extern const std::string data_tag;  // "Base_Calls"
extern const std::string fastq_tag; // "FASTQs"

std::string get_data_directory(const std::string& folder);        // folder/Base_Calls
std::string get_fastq_directory(const std::string& folder);       // folder/FASTQs
std::string get_metrics_directory(const std::string& folder);     // folder/Metrics
std::string get_log_metrics_directory(const std::string& folder); // folder/Logs/Analysis/Metrics
std::string get_log_directory(const std::string& folder);         // folder/Logs/Analysis

// What parse_metadata found: the file it chose, whether that could be read, and the elements
// it did not find in it, in the order Instrument_ID, Run_Folder_Name, Flow_Cell_ID.
struct MetadataFile {
    std::string path;
    bool readable = false;
    std::vector<std::string> missing;
};

// Reads the first existing of folder/<prefix>_metadata.xml, folder/metadata.xml and
// folder/run_metadata.xml. The ids start as "INSID", "1" and "FCLID"; an element found in the
// file replaces its default; the run id becomes the fourth '_'-separated field of the run
// folder name when it has four or more. False only when none of the three files exists; a
// file that cannot be read (a folder of that name, say) leaves the defaults. What was found
// goes to found when that is not null.
bool parse_metadata(const std::string& folder, const std::string& prefix, std::string& instrument_id,
                    std::string& run_id, std::string& flowcell_id, MetadataFile* found = nullptr);

// The whole file into text; false, text unchanged, when it is not a regular file (a folder, a
// pipe or a device, which would fail, block or never end) or cannot be read.
bool read_regular_file(const std::string& path, std::string& text);

// Appends the inflated text of the gzip file source to the open output, then removes source.
// A missing source is done at once (true). False, with the source kept, when it cannot be
// opened, read to a clean end or written, or when its removal fails.
bool copy_fastq_data(GzFile output, const std::string& source);
// The copy of copy_fastq_data without the removal, for callers that remove their sources only
// once the output has been closed. True for a missing source.
bool append_fastq_data(GzFile output, const std::string& source);

// Removes every white-space character and every byte of 0x7F and above, anywhere in s.
std::string& trim(std::string& s);
std::string str_tolower(std::string s);

// The complementary base of a letter ('a' gives 'T'); 'N' for anything but A, C, G, T.
char complement(char ch);
// Reverses and complements s in place.
void reverse_complement(std::string& s);

// Edit distance between a[0, la) and b[0, lb) with zero borders: leading letters of either
// text that are skipped cost nothing (an empty text gives 0). scratch is the caller's table.
std::uint64_t LevenshteinDistance(const char* a, std::uint64_t la, const char* b, std::uint64_t lb,
                                  std::vector<std::uint64_t>& scratch);

// Whether LevenshteinDistance(a, la, b, lb) <= limit, found without its whole table: in a band
// of the limit's width, given up as soon as the band exceeds the limit.
bool within_distance(const char* a, std::uint64_t la, const char* b, std::uint64_t lb, std::uint64_t limit,
                     std::vector<std::uint64_t>& scratch);

// Physical memory in bytes; 0 when the system does not tell.
std::uint64_t getTotalSystemMemory();

// Raises the soft limit of open files to the hard limit; returns the soft limit in force after
// (the largest number when there is none, or the system does not tell).
std::uint64_t raise_open_file_limit();

} // namespace classic
