#include "converter/app/metadata.h"

#include "converter/app/logger.h"

#include <cstdint>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The fields of the text between the delimiters; a delimiter at the very end adds no field.
std::vector<std::string> split_fields(const std::string& text, char delimiter)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(delimiter, start);
        if (end == std::string::npos) {
            fields.push_back(text.substr(start));
            break;
        }
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

bool is_tagged_name(std::string_view name, const std::string& flowcell_id)
{
    const std::string_view extension = Metadata_extension;
    if (name.size() <= extension.size() || !name.ends_with(extension))
        return false;
    return flowcell_id.empty() || name.starts_with(flowcell_id);
}

} // namespace

fs::path find_metadata_file(const std::string& flowcell_id, const fs::path& folder)
{
    std::vector<fs::path> tagged;
    std::vector<fs::path> untagged;

    std::error_code ec;
    fs::directory_iterator entry(folder, ec);
    for (; !ec && entry != fs::directory_iterator(); entry.increment(ec)) {
        std::error_code type_ec;
        if (entry->is_directory(type_ec))
            continue;
        const fs::path& path = entry->path();
        const std::string name = path.filename().string();
        if (name == Metadata_name || name == Run_metadata_name)
            untagged.push_back(path);
        else if (is_tagged_name(name, flowcell_id))
            tagged.push_back(path);
    }

    if (tagged.size() >= 2)
        log_warn() << "Multiple tagged metadata files found. Specify a flowcell id.";

    if (tagged.size() == 1)
        return tagged.front();
    if (!untagged.empty())
        return untagged.front();
    if (!tagged.empty())
        return tagged.front();
    return {};
}

bool Metadata::read(const fs::path& folder, const std::string& given_flowcell_id)
{
    metadata_file = find_metadata_file(given_flowcell_id, folder);
    if (metadata_file.empty())
        return false;
    return parse_metadata(metadata_file);
}

bool Metadata::parse_metadata(const fs::path& file)
{
    // Only a regular file is opened: opening a FIFO would block until a writer comes.
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return false;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec)
        return false;

    // The stream reads the file in one go through a buffer of the file's size.
    std::vector<char> buffer(static_cast<std::size_t>(size));
    std::ifstream in;
    if (!buffer.empty())
        in.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    in.open(file, std::ios::in | std::ios::binary);
    if (!in)
        return false;

    std::string text;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (in.bad())
        return false;

    flowcell_id = find_xml_tag(text, Flowcell_tag);
    instrument_id = find_xml_tag(text, Instrument_tag);
    run_id = find_xml_tag(text, Runid_tag);

    // The run id is the fourth "_" field of the run folder name, when it has four or more.
    const std::vector<std::string> fields = split_fields(run_id, '_');
    if (fields.size() >= 4)
        run_id = fields[3];
    return true;
}

std::string find_xml_tag(const std::string& xml, const std::string& tag)
{
    const std::string opening = "<" + tag + ">";
    const std::string closing = "</" + tag + ">";
    const std::size_t open_at = xml.find(opening);
    const std::size_t close_at = xml.find(closing);
    if (open_at == std::string::npos || close_at == std::string::npos)
        return {};
    const std::size_t text_at = open_at + opening.size();
    if (close_at < text_at)
        return {};
    return xml.substr(text_at, close_at - text_at);
}
