#include "tools/runsim/run_identity.h"

#include "tools/runsim/prng.h"

#include <cstdio>
#include <stdexcept>

namespace runsim {
namespace {

std::string random_text(Prng& rng, std::string_view alphabet, int length)
{
    std::string text;
    for (int i = 0; i < length; ++i)
        text += alphabet[rng.below(static_cast<std::uint32_t>(alphabet.size()))];
    return text;
}

constexpr std::string_view Upper_alnum = "ABCDEFGHJKLMNPQRSTUVWXYZ0123456789";
constexpr std::string_view Digits = "0123456789";

} // namespace

std::string_view metadata_name_text(MetadataName name)
{
    switch (name) {
    case MetadataName::Metadata:
        return "metadata.xml";
    case MetadataName::RunMetadata:
        return "run_metadata.xml";
    case MetadataName::Tagged:
        return "tagged";
    case MetadataName::None:
        return "none";
    }
    return "?";
}

MetadataName parse_metadata_name(std::string_view text)
{
    for (const MetadataName name :
         {MetadataName::Metadata, MetadataName::RunMetadata, MetadataName::Tagged, MetadataName::None})
        if (text == metadata_name_text(name))
            return name;
    throw std::invalid_argument("unknown metadata file choice '" + std::string(text) +
                                "' (metadata.xml, run_metadata.xml, tagged or none)");
}

RunIdentity RunIdentity::from_seed(std::uint64_t seed)
{
    Prng rng(derive_seed({seed, 0x1D}));
    RunIdentity id;
    char date[16];
    std::snprintf(date, sizeof date, "%02d%02d%02d", 20 + rng.between(0, 9), rng.between(1, 12), rng.between(1, 28));
    id.date = date;
    id.instrument_id = "QN" + random_text(rng, Digits, 4);
    id.run_number = random_text(rng, Digits, 4);
    id.run_id = "R" + random_text(rng, Upper_alnum, 4);
    id.flowcell_id = "FC" + random_text(rng, Upper_alnum, 7);
    return id;
}

std::string RunIdentity::run_folder_name() const
{
    return date + "_" + instrument_id + "_" + run_number + "_" + run_id + "_" + flowcell_id;
}

std::string RunIdentity::metadata_xml() const
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<Run_Metadata>\n"
           "  <Flow_Cell_ID>" +
           flowcell_id +
           "</Flow_Cell_ID>\n"
           "  <Instrument_ID>" +
           instrument_id +
           "</Instrument_ID>\n"
           "  <Run_Folder_Name>" +
           run_folder_name() +
           "</Run_Folder_Name>\n"
           "  <Run_Number>" +
           run_number +
           "</Run_Number>\n"
           "</Run_Metadata>\n";
}

std::string RunIdentity::metadata_file_name(MetadataName name) const
{
    switch (name) {
    case MetadataName::Metadata:
        return "metadata.xml";
    case MetadataName::RunMetadata:
        return "run_metadata.xml";
    case MetadataName::Tagged:
        return flowcell_id + "_metadata.xml";
    case MetadataName::None:
        return {};
    }
    return {};
}

} // namespace runsim
