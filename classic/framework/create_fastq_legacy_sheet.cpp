// Legacy sample sheet loading and the validation of the classic sheet data (both formats).
//
// The legacy format is a plain comma-separated text in sections "[Header]", "[Index Reads]",
// "[Paired Reads]", "[Adapters]", "[UMI Reads]" and "[Data]"; each section but the header has a
// column heading row and then data rows. Every problem becomes a message; the validation logs
// them all and stops the run when there is any.
#include "classic/framework/blackboard.h"
#include "classic/framework/utilities.h"
#include "classic/processing/create_fastq.h"
#include "common/base_code.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// One section's column headings: the accepted lower-cased spellings of each column, and the
// heading text quoted in its message.
struct Columns {
    const char* section; // "[Index Reads]"
    std::vector<std::vector<std::string>> accepted;
    const char* expected;
};

const Columns Index_read_columns{
    "[Index Reads]",
    {{"read"}, {"datacolumnname", "data_column_name"}, {"position_start"}, {"position_stop"}},
    "Read,Data_Column_Name,Position_Start,Position_Stop"};
const Columns Paired_read_columns{"[Paired Reads]", {{"read"}, {"pair"}}, "Read,Pair"};
const Columns Adapter_columns{"[Adapters]", {{"name", "adapter_name"}, {"sequence"}}, "Adapter_Name,Sequence"};
const Columns Umi_read_columns{
    "[UMI Reads]", {{"read"}, {"position_start"}, {"position_stop"}}, "Read,Position_Start,Position_Stop"};
const Columns Data_columns{"[Data]",
                           {{"lane"}, {"sample_id"}, {"index1"}, {"index2"}, {"sample_project"}, {"description"}},
                           "Lane,Sample_ID,Index1,Index2,Sample_Project,Description"};

// The line split at every ',' as successive getline calls do (a final ',' adds no field), each
// field cleaned of white space and high bytes.
std::vector<std::string> split_fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');)
        fields.push_back(std::move(classic::trim(field)));
    return fields;
}

// The section whose heading the (lower-cased) first field of a line is, or empty: a field
// holding "[header]" anywhere, or one of the other headings exactly.
std::string section_opened(const std::string& first)
{
    if (first.find("[header]") != std::string::npos)
        return "[header]";
    for (const char* heading : {"[indexreads]", "[pairreads]", "[pairedreads]", "[adapters]", "[umireads]", "[data]"})
        if (first == heading)
            return first;
    return "";
}

// Pads the fields to the section's column count; checks the column headings on row 1. True for
// a data row (row 2 and on).
bool is_data_row(const Columns& columns, const std::string& line, int row, std::vector<std::string>& fields,
                 std::vector<std::string>& errors)
{
    if (fields.size() < columns.accepted.size())
        fields.resize(columns.accepted.size());
    if (row != 1)
        return row >= 2;
    for (std::size_t i = 0; i < columns.accepted.size(); ++i) {
        const std::string heading = classic::str_tolower(fields[i]);
        bool known = false;
        for (const std::string& spelling : columns.accepted[i])
            known = known || heading == spelling;
        if (!known) {
            errors.push_back(std::string("Invalid ") + columns.section + " header. Expecting\t" + columns.expected +
                             "\tfound\t" + line + "\n");
            break;
        }
    }
    return false;
}

// "Invalid [Section] data. <what>\tfound\t<text>" and a line end.
std::string data_message(const Columns& columns, const std::string& what, const std::string& text)
{
    return std::string("Invalid ") + columns.section + " data. " + what + "\tfound\t" + text + "\n";
}

// The leading decimal number of the text as std::stol reads it (leading blanks and a sign,
// trailing text ignored), after dropping one leading prefix letter ('r' in "R2", 'l' in "L1").
// False, with 0, when there are no digits or the value does not fit an int.
bool to_number(const std::string& field, char prefix, int& value)
{
    std::string text = classic::str_tolower(field);
    if (!text.empty() && text.front() == prefix)
        text.erase(0, 1);
    value = 0;
    errno = 0;
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || errno == ERANGE || number < INT_MIN || number > INT_MAX)
        return false;
    value = static_cast<int>(number);
    return true;
}

// A read number, 1 to 4, with the section's messages.
int read_number(const Columns& columns, const std::string& field, const std::string& line,
                std::vector<std::string>& errors)
{
    int read = 0;
    if (!to_number(field, 'r', read))
        errors.push_back(data_message(columns, "Read not numeric.", line));
    else if (read < 1 || read > 4)
        errors.push_back(data_message(columns, "Read should be from 1 to 4.", line));
    return read;
}

// A cycle position, with the section's "<name> not numeric." message.
int position(const Columns& columns, const std::string& name, const std::string& field, const std::string& line,
             std::vector<std::string>& errors)
{
    int value = 0;
    if (!to_number(field, '\0', value))
        errors.push_back(data_message(columns, name + " not numeric.", line));
    return value;
}

// One message per letter of the sequence that is not A, C, G or T (upper case).
void check_letters(const Columns& columns, const std::string& what, const std::string& sequence,
                   std::vector<std::string>& errors)
{
    for (char letter : sequence) {
        if (!base_code::is_base(letter))
            errors.push_back(data_message(columns, what, sequence));
    }
}

template <typename Range>
std::string range_text(const Range& range)
{
    return std::to_string(range.read) + "," + std::to_string(range.position_start) + "," +
           std::to_string(range.position_stop);
}

// A sample id that would name a path, or take the name of the undetermined outputs.
bool is_reserved_sample_id(const std::string& id)
{
    return id.find('/') != std::string::npos || id == "." || id == ".." || id == "Undetermined";
}

} // namespace

void CreateFastq::load_sample_sheet_old()
{
    auto& parameters = *blackboard->read<AlgorithmFramework::Parameters>("parameters");
    demux_key_length = 0;
    sample_names.clear();
    const std::string path = parameters["--samplesheet"];
    if (path.empty())
        return;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        log_exception("Cannot open sample_sheet " + path);
    log_status("");
    log_status("Sample Sheet");

    std::vector<std::string> errors;
    std::string section;
    int row = 0;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> fields = split_fields(line);
        if (fields.empty() || fields.front().empty())
            continue;
        const std::string first = classic::str_tolower(fields.front());
        if (const std::string opened = section_opened(first); !opened.empty()) {
            section = opened;
            row = 0;
        } else {
            ++row;
        }

        if (section == "[header]") {
            if (fields.size() >= 2 && first == "barcode") {
                sample_sheet_local.barcode = fields[1];
                if (sample_sheet_local.barcode != file_prefix)
                    errors.push_back("Invalid Barcode. Expecting\t" + file_prefix + "\tfound\t" +
                                     sample_sheet_local.barcode + "\n");
            }
        } else if (section == "[indexreads]") {
            load_sample_sheet_index_reads(line, row, fields, errors);
        } else if (section == "[pairreads]" || section == "[pairedreads]") {
            load_sample_sheet_paired_reads(line, row, fields, errors);
        } else if (section == "[adapters]") {
            load_sample_sheet_adapters(line, row, fields, errors);
        } else if (section == "[umireads]") {
            load_sample_sheet_umi(line, row, fields, errors);
        } else if (section == "[data]") {
            load_sample_sheet_data(line, row, fields, errors);
        }
    }
    in.close();

    validate_sample_sheet(errors);
    if (!sample_names.empty())
        sample_names["Undetermined"] = true;
    log_sample_sheet(path);
}

bool CreateFastq::holds_legacy_section(const std::string& text)
{
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::string first = line.substr(0, line.find(','));
        if (!section_opened(classic::str_tolower(classic::trim(first))).empty())
            return true;
    }
    return false;
}

void CreateFastq::load_sample_sheet_index_reads(const std::string& line, int row, std::vector<std::string>& fields,
                                                std::vector<std::string>& errors)
{
    if (!is_data_row(Index_read_columns, line, row, fields, errors))
        return;
    IndexRead record;
    record.read = read_number(Index_read_columns, fields[0], line, errors);
    record.data_column_name = fields[1];
    record.position_start = position(Index_read_columns, "Position_Start", fields[2], line, errors);
    record.position_stop = position(Index_read_columns, "Position_Stop", fields[3], line, errors);
    sample_sheet_local.index_reads.push_back(record);
}

void CreateFastq::load_sample_sheet_paired_reads(const std::string& line, int row, std::vector<std::string>& fields,
                                                 std::vector<std::string>& errors)
{
    if (!is_data_row(Paired_read_columns, line, row, fields, errors))
        return;
    PairRead record;
    record.read = read_number(Paired_read_columns, fields[0], line, errors);
    record.pair = fields[1];
    sample_sheet_local.paired_reads.push_back(record);
}

void CreateFastq::load_sample_sheet_adapters(const std::string& line, int row, std::vector<std::string>& fields,
                                             std::vector<std::string>& errors)
{
    if (!is_data_row(Adapter_columns, line, row, fields, errors))
        return;
    Adapter record{fields[0], fields[1]};
    check_letters(Adapter_columns, "Sequence can only contain A, C, G, or T.", record.sequence, errors);
    sample_sheet_local.adapter_rows.push_back(record);
}

void CreateFastq::load_sample_sheet_umi(const std::string& line, int row, std::vector<std::string>& fields,
                                        std::vector<std::string>& errors)
{
    if (!is_data_row(Umi_read_columns, line, row, fields, errors))
        return;
    UmiRead record;
    record.read = read_number(Umi_read_columns, fields[0], line, errors);
    record.position_start = position(Umi_read_columns, "Position_Start", fields[1], line, errors);
    record.position_stop = position(Umi_read_columns, "Position_Stop", fields[2], line, errors);
    sample_sheet_local.umi_reads.push_back(record);
}

void CreateFastq::load_sample_sheet_data(const std::string& line, int row, std::vector<std::string>& fields,
                                         std::vector<std::string>& errors)
{
    if (!is_data_row(Data_columns, line, row, fields, errors))
        return;
    IndexData record;
    if (!to_number(fields[0], 'l', record.lane))
        errors.push_back(data_message(Data_columns, "Lane not numeric.", line));
    record.sample_id = fields[1];
    record.index1 = fields[2];
    record.index2 = fields[3];
    record.sample_project = fields[4];
    record.description = fields[5];
    check_letters(Data_columns, "Index1 can only contain A, C, G, or T.", record.index1, errors);
    check_letters(Data_columns, "Index2 can only contain A, C, G, or T.", record.index2, errors);
    sample_sheet_local.index_data.push_back(record);
    sample_names[record.sample_id] = true;
}

template <typename A, typename B>
void CreateFastq::check_for_overlap(const std::string& section, const std::vector<A>& a, const std::vector<B>& b,
                                    std::vector<std::string>& errors)
{
    for (const A& x : a) {
        for (const B& y : b) {
            if (static_cast<const void*>(&x) == static_cast<const void*>(&y) || x.read != y.read)
                continue;
            const bool start_inside = y.position_start >= x.position_start && y.position_start <= x.position_stop;
            const bool stop_inside = y.position_stop >= x.position_start && y.position_stop <= x.position_stop;
            if (start_inside || stop_inside)
                errors.push_back("[" + section + "] Overlap found.\t" + range_text(x) + ";" + range_text(y) + "\n");
        }
    }
}

void CreateFastq::validate_sample_sheet(std::vector<std::string>& errors)
{
    validate_sheet_reads(errors);
    validate_sheet_rows(errors);
    if (errors.empty())
        return;
    for (const std::string& error : errors)
        log_error(error + "\n");
    log_exception("Sample Sheet is invalid.");
}

void CreateFastq::validate_sheet_reads(std::vector<std::string>& errors)
{
    const std::uint64_t reads = read_cycles.size();
    // The read must be one of the run's reads, the range inside its cycles.
    auto check_range = [this, reads, &errors](const std::string& section, int read, int start, int stop,
                                              const std::string& text) {
        if (read < 1 || static_cast<std::uint64_t>(read) > reads) {
            errors.push_back("[" + section + "] Invalid read.\tR" + text + "\n");
            return;
        }
        const std::uint64_t cycles = read_cycles[static_cast<std::size_t>(read - 1)];
        if (start < 1 || static_cast<std::uint64_t>(start) > cycles)
            errors.push_back("[" + section + "] Invalid position_start.\tR" + text + "\n");
        if (stop < start || static_cast<std::uint64_t>(stop) > cycles)
            errors.push_back("[" + section + "] Invalid position_stop.\tR" + text + "\n");
    };

    std::set<std::string> column_names;
    for (const IndexRead& x : sample_sheet_local.index_reads) {
        const std::string text = std::to_string(x.read) + "," + x.data_column_name + "," +
                                 std::to_string(x.position_start) + "," + std::to_string(x.position_stop);
        check_range("Index Reads", x.read, x.position_start, x.position_stop, text);
        if (x.data_column_name != "Index1" && x.data_column_name != "Index2")
            errors.push_back("[Index Reads] Invalid data_column_name must be Index1 or Index2.\tR" + text + "\n");
        if (!column_names.insert(x.data_column_name).second)
            errors.push_back("[Index Reads] Duplicate data_column_name found.\tR" + text + "\n");
    }
    check_for_overlap("Index Reads", sample_sheet_local.index_reads, sample_sheet_local.index_reads, errors);

    for (const PairRead& x : sample_sheet_local.paired_reads) {
        if (x.read < 1 || static_cast<std::uint64_t>(x.read) > reads)
            errors.push_back("[Paired Reads] Invalid read.\tR" + std::to_string(x.read) + "," + x.pair + "\n");
    }
    for (const UmiRead& x : sample_sheet_local.umi_reads)
        check_range("UMI Reads", x.read, x.position_start, x.position_stop, range_text(x));
    check_for_overlap("UMI Reads", sample_sheet_local.umi_reads, sample_sheet_local.umi_reads, errors);
    check_for_overlap("Index Reads vs UMI Reads", sample_sheet_local.index_reads, sample_sheet_local.umi_reads, errors);
}

void CreateFastq::validate_sheet_rows(std::vector<std::string>& errors)
{
    std::set<std::pair<int, std::string>> sample_ids;
    std::set<std::pair<int, std::string>> index_keys;
    std::map<int, std::vector<std::string>> lane_keys; // each lane's distinct joined indexes so far
    std::vector<std::uint64_t> scratch;
    const auto collision_limit = static_cast<std::int64_t>(barcode_allowed_mismatches);
    // Sample numbers are shorts: the rows of a sheet with more samples are not compared at all.
    const std::vector<IndexData>& rows = sample_sheet_local.index_data;
    if (rows.size() > Max_samples)
        errors.push_back("Too many samples: " + std::to_string(rows.size()) + " (at most " +
                         std::to_string(Max_samples) + ")\n");
    const std::size_t checked = rows.size() > Max_samples ? 0 : rows.size();
    for (std::size_t p = 0; p < checked; ++p) {
        const IndexData& d = rows[p];
        const std::string text = std::to_string(d.lane) + "," + d.sample_id + "," + d.index1 + "," + d.index2 + "," +
                                 d.sample_project + "," + d.description;
        const std::string joined = d.index1 + d.index2;
        if (d.lane != 1 && d.lane != 2)
            errors.push_back("[Data] Invalid lane.\t" + text + "\n");
        if (!sample_ids.insert({d.lane, d.sample_id}).second)
            errors.push_back("[Data] Duplicate Sample_ID found.\t" + text + "\n");
        const bool repeated = !index_keys.insert({d.lane, joined}).second;
        if (repeated)
            errors.push_back("[Data] Duplicate Sample Index sequence found.\t" + text + "\n");
        // One message for each earlier distinct index of the lane within the allowed distance.
        std::vector<std::string>& earlier = lane_keys[d.lane];
        for (const std::string& other : earlier) {
            if (collision_limit >= 0 && other != joined &&
                classic::within_distance(joined.data(), joined.size(), other.data(), other.size(),
                                         static_cast<std::uint64_t>(collision_limit), scratch))
                errors.push_back("[Data] Sample Index collision found.\t" + text + "\n");
        }
        if (!repeated)
            earlier.push_back(joined);
        // Sample ids name output files: none may leave the output folder or take the name of the
        // undetermined outputs.
        if (is_reserved_sample_id(d.sample_id))
            errors.push_back("[Data] Invalid Sample_ID '" + d.sample_id +
                             "': it must not contain '/', be '.' or '..', or be Undetermined.\t" + text + "\n");
    }
}
