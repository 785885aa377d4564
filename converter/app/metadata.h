#pragma once
// The run's identity (flowcell, instrument and run ids) from the small XML file the
// instrument leaves in the run folder. The file is found by its name and searched as plain
// text for three elements; no XML parser is involved.
//
// Usage:
//   Metadata metadata;
//   if (metadata.read(run_folder, flowcell_id_from_command_line)) use metadata.flowcell_id ...
#include <filesystem>
#include <string>

inline constexpr char Flowcell_tag[] = "Flow_Cell_ID";
inline constexpr char Instrument_tag[] = "Instrument_ID";
inline constexpr char Runid_tag[] = "Run_Folder_Name";
inline constexpr char Metadata_name[] = "metadata.xml";
inline constexpr char Run_metadata_name[] = "run_metadata.xml";
inline constexpr char Metadata_extension[] = "_metadata.xml";
inline constexpr char Default_flowcell_id[] = "-unknown_flowcell-";
inline constexpr char Default_instrument_id[] = "-unknown_instrument-";
inline constexpr char Default_run_id[] = "-unknown_run-";

class Metadata {
public:
    // Finds the metadata file of the folder (see find_metadata_file) and stores it in
    // metadata_file; false when there is none or it cannot be read, else parse_metadata.
    // flowcell_id: the id given on the command line, empty when none was given.
    bool read(const std::filesystem::path& folder, const std::string& flowcell_id);

    // Reads the whole file and sets the three ids (a missing element gives an empty id).
    // False, with the ids unchanged, when the entry is not a regular file after following
    // links (a FIFO, a broken link, a folder), its size cannot be read or it cannot be read
    // whole. Never throws and never opens anything but a regular file.
    bool parse_metadata(const std::filesystem::path& file);

    std::string flowcell_id = Default_flowcell_id;
    std::string instrument_id = Default_instrument_id;
    std::string run_id = Default_run_id; // the fourth "_" field of the run folder name, if any
    std::filesystem::path metadata_file; // the chosen file; empty when none was found
};

// The metadata file among the entries of the folder itself, in listing order. Entries that are
// folders (following links) are skipped. "metadata.xml" and "run_metadata.xml" are untagged;
// a longer name ending with "_metadata.xml" is tagged and kept when flowcell_id is empty or
// begins the name. Two or more tagged files give a WARN line. Result: the one tagged file,
// else the first untagged one, else the first tagged one, else an empty path.
std::filesystem::path find_metadata_file(const std::string& flowcell_id, const std::filesystem::path& folder);

// The text between the first "<tag>" and the first "</tag>" of the whole document, unchanged;
// empty when either is missing or the closing text does not follow the opening one.
std::string find_xml_tag(const std::string& xml, const std::string& tag);
