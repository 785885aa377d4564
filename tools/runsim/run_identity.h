#pragma once
// The identifiers of a synthetic run and its run metadata XML file.
//
// The run folder name has five underscore-separated fields: date (yymmdd), instrument id, run
// number, run id and flowcell id, so the run id is its fourth field. The metadata file holds the
// elements Flow_Cell_ID, Instrument_ID and Run_Folder_Name, each on its own line with no blanks
// inside the element.
#include <cstdint>
#include <string>
#include <string_view>

namespace runsim {

// Which name the metadata file gets.
enum class MetadataName {
    Metadata,    // "metadata.xml"
    RunMetadata, // "run_metadata.xml"
    Tagged,      // flowcell id + "_metadata.xml"
    None,        // no metadata file
};

// "metadata.xml", "run_metadata.xml", "tagged", "none".
std::string_view metadata_name_text(MetadataName name);
// Parses the texts above; throws std::invalid_argument.
MetadataName parse_metadata_name(std::string_view text);

struct RunIdentity {
    std::string date;          // yymmdd
    std::string instrument_id; // e.g. QN0427
    std::string run_number;    // four digits
    std::string run_id;        // e.g. R7K2M
    std::string flowcell_id;   // e.g. FC3H8Q2ZA

    // Identifiers drawn from the seed.
    static RunIdentity from_seed(std::uint64_t seed);

    std::string run_folder_name() const;
    std::string metadata_xml() const;
    // The metadata file's name; empty for MetadataName::None.
    std::string metadata_file_name(MetadataName name) const;
};

} // namespace runsim
