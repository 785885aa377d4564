#include "common/partitioned_csv.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "common/csv_text.h"

namespace {

bool is_section_heading(const std::string& line)
{
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

template <typename Map, typename Key>
int lookup(const Map& map, const Key& key)
{
    const auto it = map.find(key);
    return it == map.end() ? -1 : it->second;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Reading

bool PartitionedCsv::load(const std::string& text, std::vector<std::string>& errors_out,
                          std::vector<std::string>& warnings_out)
{
    sections.clear();
    std::istringstream in(text);
    int line = 0;
    std::string current = get_next_line(in, line);
    while (!current.empty()) {
        if (is_section_heading(current)) {
            Section section;
            section.name = trim(current.substr(1, current.size() - 2));
            if (section.name.empty()) {
                error("Unexpected blank section heading", line);
            } else if (find_section(section.name) >= 0) {
                error("Section '" + section.name + "' is specified more than once", line);
            }
            current = get_next_line(in, line);
            while (!current.empty() && !is_section_heading(current)) {
                Row row;
                row.line = line;
                if (csv_parse_line(current, row.fields, ',')) {
                    section.rows.push_back(std::move(row));
                } else {
                    error("Syntax error", line);
                }
                current = get_next_line(in, line);
            }
            sections.push_back(std::move(section));
        } else {
            error("Unexpected input '" + current + "'", line);
            current = get_next_line(in, line);
        }
    }
    loaded = true;
    if (&errors_out != &errors)
        errors_out.insert(errors_out.end(), errors.begin(), errors.end());
    if (&warnings_out != &warnings)
        warnings_out.insert(warnings_out.end(), warnings.begin(), warnings.end());
    return true;
}

std::string PartitionedCsv::get_next_line(std::istream& in, int& line_number)
{
    std::string line;
    while (std::getline(in, line)) {
        ++line_number;
        for (char c : line) {
            const unsigned char u = static_cast<unsigned char>(c);
            if (!is_ascii_print(u) && !is_ascii_space(u)) {
                warning("Invalid (non-ascii) characters in input", line_number);
                break;
            }
        }
        std::string trimmed = trim(line);
        if (!trimmed.empty())
            return trimmed;
    }
    return std::string();
}

// ---------------------------------------------------------------------------------------------
// Virtual structure operations

void PartitionedCsv::store(std::string& out)
{
    std::string text;
    for (const Section& section : sections) {
        text += "[" + section.name + "]\n";
        for (const Row& row : section.rows) {
            for (std::size_t i = 0; i < row.fields.size(); ++i) {
                if (i > 0)
                    text += ",";
                text += row.fields[i];
            }
            text += "\n";
        }
        text += "\n";
    }
    out = std::move(text);
}

void PartitionedCsv::add_section(const SectionInfo& info)
{
    Section section;
    section.name = info.name;
    if (info.is_settings()) {
        int line = 1;
        for (const HeadingInfo& heading : info.headings) {
            section.rows.push_back(Row{line++, {heading.name}});
        }
    } else {
        Row row;
        row.line = 1;
        for (const HeadingInfo& heading : info.headings)
            row.fields.push_back(heading.name);
        section.rows.push_back(std::move(row));
    }
    sections.push_back(std::move(section));
}

void PartitionedCsv::clear()
{
    sections.clear();
    column_map.clear();
    row_map.clear();
}

bool PartitionedCsv::is_required(const SectionInfo&, const HeadingInfo& heading) const
{
    return heading.required;
}

// ---------------------------------------------------------------------------------------------
// Mapping

void PartitionedCsv::initialize_section_mapping(const SectionInfoList& infos)
{
    for (const SectionInfo& info : infos) {
        const int index = find_section(info.name);
        section_map[info.id] = index;
        for (const HeadingInfo& heading : info.headings) {
            const std::pair<int, int> key(info.id, heading.id);
            if (info.is_settings()) {
                row_map[key] = index >= 0 ? find_row(index, 0, heading.name) : -1;
            } else {
                column_map[key] = index >= 0 ? find_column(index, 0, heading.name) : -1;
            }
        }
    }
}

int PartitionedCsv::find_section(const std::string& name) const
{
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (sections[i].name == name)
            return static_cast<int>(i);
    }
    return -1;
}

int PartitionedCsv::find_row(int section_index, int column, const std::string& text) const
{
    if (section_index < 0 || section_index >= static_cast<int>(sections.size()) || column < 0)
        return -1;
    const auto& rows = sections[section_index].rows;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (static_cast<std::size_t>(column) < rows[r].fields.size() && rows[r].fields[column] == text)
            return static_cast<int>(r);
    }
    return -1;
}

int PartitionedCsv::find_column(int section_index, int row, const std::string& text) const
{
    const Row* r = row_at(section_index, row);
    if (r == nullptr)
        return -1;
    for (std::size_t c = 0; c < r->fields.size(); ++c) {
        if (r->fields[c] == text)
            return static_cast<int>(c);
    }
    return -1;
}

int PartitionedCsv::get_section_index(int section_id) const
{
    return lookup(section_map, section_id);
}

int PartitionedCsv::get_row_heading_index(int section_id, int key_id) const
{
    return lookup(row_map, std::make_pair(section_id, key_id));
}

int PartitionedCsv::get_column_heading_index(int section_id, int heading_id) const
{
    return lookup(column_map, std::make_pair(section_id, heading_id));
}

PartitionedCsv::Location PartitionedCsv::locate(const SectionInfo& info, int id, int index) const
{
    if (info.is_settings())
        return Location(get_row_heading_index(info.id, id), index);
    return Location(index, get_column_heading_index(info.id, id));
}

PartitionedCsv::Location PartitionedCsv::get_location(const SectionInfo& info, int id, int index, bool create)
{
    const Location location = locate(info, id, index);
    const int section_index = get_section_index(info.id);
    if (create && section_index >= 0 && section_index < static_cast<int>(sections.size()) && location.first >= 0 &&
        location.second >= 0) {
        auto& rows = sections[section_index].rows;
        if (rows.size() <= static_cast<std::size_t>(location.first))
            rows.resize(location.first + 1);
        auto& fields = rows[location.first].fields;
        if (fields.size() <= static_cast<std::size_t>(location.second))
            fields.resize(location.second + 1);
    }
    return location;
}

int PartitionedCsv::line_number(const SectionInfo& info, int id, int index) const
{
    return get_line_number_at(get_section_index(info.id), locate(info, id, index).first);
}

int PartitionedCsv::row_count(const SectionInfo& info) const
{
    const int section_index = get_section_index(info.id);
    if (section_index < 0 || section_index >= static_cast<int>(sections.size()))
        return 0;
    return static_cast<int>(sections[section_index].rows.size());
}

const PartitionedCsv::Row* PartitionedCsv::row_at(int section_index, int row) const
{
    if (section_index < 0 || section_index >= static_cast<int>(sections.size()) || row < 0)
        return nullptr;
    const auto& rows = sections[section_index].rows;
    if (static_cast<std::size_t>(row) >= rows.size())
        return nullptr;
    return &rows[row];
}

const std::string* PartitionedCsv::field_at(int section_index, int row, int column) const
{
    const Row* r = row_at(section_index, row);
    if (r == nullptr || column < 0 || static_cast<std::size_t>(column) >= r->fields.size())
        return nullptr;
    return &r->fields[column];
}

int PartitionedCsv::get_line_number_at(int section_index, int row) const
{
    const Row* r = row_at(section_index, row);
    return r == nullptr ? 0 : r->line;
}

void PartitionedCsv::set_text_at(int section_index, int row, int column, const std::string& text)
{
    if (field_at(section_index, row, column) == nullptr)
        return;
    sections[section_index].rows[row].fields[column] = text;
}

// ---------------------------------------------------------------------------------------------
// Accessors

std::string PartitionedCsv::get_text_at(int section_index, int row, int column, bool& bad) const
{
    const std::string* field = field_at(section_index, row, column);
    bad = field == nullptr;
    return field == nullptr ? std::string() : *field;
}

std::vector<std::string> PartitionedCsv::get_text_list_at(int section_index, int row, int column, bool& bad,
                                                          char separator) const
{
    std::vector<std::string> list;
    const std::string text = get_text_at(section_index, row, column, bad);
    if (bad)
        return list;
    if (!csv_parse_line(text, list, separator)) {
        bad = true;
        list.clear();
    }
    return list;
}

int PartitionedCsv::get_integer_at(int section_index, int row, int column, bool& bad)
{
    const std::string text = get_text_at(section_index, row, column, bad);
    if (bad)
        return 0;
    return string_to_integer(text, bad, get_line_number_at(section_index, row));
}

int PartitionedCsv::string_to_integer(const std::string& text, bool& bad, int line)
{
    bad = false;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE || value < INT_MIN || value > INT_MAX) {
        error("Expecting integer value but got: '" + text + "'", line);
        bad = true;
        return 0;
    }
    return static_cast<int>(value);
}

std::vector<int> PartitionedCsv::get_integer_list_at(int section_index, int row, int column, bool& bad, char separator)
{
    std::vector<int> values;
    const std::vector<std::string> list = get_text_list_at(section_index, row, column, bad, separator);
    if (bad)
        return values;
    const int line = get_line_number_at(section_index, row);
    for (const std::string& element : list) {
        bool element_bad = false;
        values.push_back(string_to_integer(element, element_bad, line));
        if (element_bad)
            bad = true;
    }
    return values;
}

double PartitionedCsv::get_real_at(int section_index, int row, int column, bool& bad)
{
    const std::string text = get_text_at(section_index, row, column, bad);
    if (bad)
        return 0.0;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    if (end == begin || errno == ERANGE || !std::isfinite(value)) {
        error("Expecting real value but got: '" + text + "'", get_line_number_at(section_index, row));
        bad = true;
        return 0.0;
    }
    return value;
}

// ---------------------------------------------------------------------------------------------
// Messages

bool PartitionedCsv::error(const std::string& message, int line)
{
    if (line > 0) {
        errors.push_back("line " + std::to_string(line) + "; Error: " + message);
    } else {
        errors.push_back("Error: " + message);
    }
    return true;
}

void PartitionedCsv::warning(const std::string& message, int line)
{
    if (line > 0) {
        warnings.push_back("line " + std::to_string(line) + "; Warning: " + message);
    } else {
        warnings.push_back("Warning: " + message);
    }
}

// ---------------------------------------------------------------------------------------------
// Validation

bool PartitionedCsv::validate_sections(const SectionInfoList& infos)
{
    bool missing = false;
    for (const SectionInfo& info : infos) {
        if (info.required && find_section(info.name) < 0) {
            error("Missing section '" + info.name + "'", 0);
            missing = true;
        }
    }
    if (missing)
        return false;
    for (const Section& section : sections) {
        bool known = false;
        for (const SectionInfo& info : infos) {
            if (info.name == section.name) {
                known = true;
                break;
            }
        }
        if (!known) {
            const int line = section.rows.empty() ? 0 : section.rows.front().line;
            warning("Unknown section '" + section.name + "'", line);
        }
    }
    return true;
}

bool PartitionedCsv::validate_headings(const SectionInfo& info)
{
    const std::size_t errors_before = errors.size();
    const int section_index = get_section_index(info.id);
    const int first_line = get_line_number_at(section_index, 0);
    const Row* first_row = row_at(section_index, 0);
    auto is_expected = [&](const std::string& text) {
        for (const HeadingInfo& heading : info.headings) {
            if (heading.name == text)
                return true;
        }
        return false;
    };
    if (!info.is_settings()) {
        for (const HeadingInfo& heading : info.headings) {
            if (is_required(info, heading) && find_column(section_index, 0, heading.name) < 0) {
                error("Missing required column heading '" + heading.name + "' for section '" + info.name + "'",
                      first_line);
            }
        }
        if (first_row != nullptr) {
            for (const std::string& text : first_row->fields) {
                if (!is_expected(text)) {
                    warning("Unknown column heading '" + text + "' for section '" + info.name + "'", first_row->line);
                }
            }
        }
    } else {
        for (const HeadingInfo& heading : info.headings) {
            if (is_required(info, heading) && find_row(section_index, 0, heading.name) < 0) {
                error("Missing required setting '" + heading.name + "' for section '" + info.name + "'", first_line);
            }
        }
        if (section_index >= 0 && section_index < static_cast<int>(sections.size())) {
            for (const Row& row : sections[section_index].rows) {
                if (!row.fields.empty() && !is_expected(row.fields[0])) {
                    warning("Unknown setting '" + row.fields[0] + "' for section '" + info.name + "'", row.line);
                }
            }
        }
    }
    return errors.size() == errors_before;
}

bool PartitionedCsv::validate_field(const SectionInfo& info, int id, int index, bool required)
{
    const int section_index = get_section_index(info.id);
    const Location location = locate(info, id, index);
    const Row* row = row_at(section_index, location.first);
    if (row != nullptr) {
        if (location.second >= 0 && static_cast<std::size_t>(location.second) < row->fields.size())
            return true;
        if (required)
            error("Missing data column", row->line);
        return false;
    }
    if (required)
        error("Missing data row", 0);
    return false;
}

bool PartitionedCsv::validate_text(const SectionInfo& info, int id, int index, std::string& out, bool required)
{
    if (!validate_field(info, id, index, required))
        return false;
    const Location location = locate(info, id, index);
    bool bad = false;
    out = get_text_at(get_section_index(info.id), location.first, location.second, bad);
    return true;
}

bool PartitionedCsv::validate_text(const SectionInfo& info, int id, int index, std::string& out,
                                   const std::string& allowed_characters, bool required)
{
    std::string text;
    if (!validate_text(info, id, index, text, required))
        return false;
    for (char c : text) {
        if (allowed_characters.find(c) == std::string::npos) {
            error("[" + allowed_characters + "] expected", line_number(info, id, index));
            return false;
        }
    }
    out = text;
    return true;
}

bool PartitionedCsv::validate_text(const SectionInfo& info, int id, int index, std::string& out,
                                   const std::vector<std::string>& allowed_values, bool required)
{
    std::string text;
    if (!validate_text(info, id, index, text, required))
        return false;
    for (const std::string& allowed : allowed_values) {
        if (text == allowed) {
            out = text;
            return true;
        }
    }
    error("Unexpected value '" + text + "'", line_number(info, id, index));
    return false;
}

bool PartitionedCsv::validate_boolean(const SectionInfo& info, int id, int index, bool& out, bool required)
{
    static const std::vector<std::string> allowed = {"true", "True", "TRUE", "false", "False", "FALSE"};
    std::string text;
    if (!validate_text(info, id, index, text, allowed, required))
        return false;
    out = text == "true" || text == "True" || text == "TRUE";
    return true;
}

bool PartitionedCsv::validate_numeric(const SectionInfo& info, int id, int index, int& out, int min, int max,
                                      bool required)
{
    if (!validate_field(info, id, index, required))
        return false;
    const int section_index = get_section_index(info.id);
    const Location location = locate(info, id, index);
    bool bad = false;
    const int value = get_integer_at(section_index, location.first, location.second, bad);
    if (bad)
        return false;
    if (value == 0 && !required) {
        out = value;
        return true;
    }
    if (value < min || value > max) {
        const std::string text = get_text_at(section_index, location.first, location.second, bad);
        error("Value out of range: '" + text + "'", get_line_number_at(section_index, location.first));
        return false;
    }
    out = value;
    return true;
}

bool PartitionedCsv::validate_text_list(const SectionInfo& info, int id, int index, std::vector<std::string>& out,
                                        int count, bool required, char separator)
{
    if (!validate_field(info, id, index, required))
        return false;
    const int section_index = get_section_index(info.id);
    const Location location = locate(info, id, index);
    const int line = get_line_number_at(section_index, location.first);
    bool bad = false;
    std::vector<std::string> list = get_text_list_at(section_index, location.first, location.second, bad, separator);
    if (bad)
        return false;
    if (list.empty()) {
        if (required) {
            error("Expected text value or values", line);
            return false;
        }
        out.clear();
        return true;
    }
    if (count >= 1 && list.size() != static_cast<std::size_t>(count)) {
        error("Expecting '" + std::to_string(count) + "' elements in list", line);
        return false;
    }
    out = std::move(list);
    return true;
}

bool PartitionedCsv::validate_numeric_pair(const SectionInfo& info, int id, int index, std::pair<int, int>& out,
                                           int min, int max, bool is_range, bool required, char separator)
{
    if (!validate_field(info, id, index, required))
        return false;
    const int section_index = get_section_index(info.id);
    const Location location = locate(info, id, index);
    const int line = get_line_number_at(section_index, location.first);
    bool bad = false;
    const std::vector<int> list = get_integer_list_at(section_index, location.first, location.second, bad, separator);
    if (bad)
        return false;
    if (list.empty()) {
        if (required) {
            error("Expected integer value or values", line);
            return false;
        }
        out = std::make_pair(0, 0);
        return true;
    }
    if (list.size() != 2) {
        error("Expecting 2 elements in list", line);
        return false;
    }
    for (int value : list) {
        if (value < min || value > max) {
            error("Value '" + std::to_string(value) + "' out of range", line);
            return false;
        }
    }
    if (is_range && list[1] < list[0]) {
        error("Range expected; second value must be >= first value", line);
        return false;
    }
    out = std::make_pair(list[0], list[1]);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Writing

void PartitionedCsv::store_text(const SectionInfo& info, int id, int index, const std::string& text, bool quoted)
{
    const Location location = get_location(info, id, index, true);
    set_text_at(get_section_index(info.id), location.first, location.second, quoted ? "\"" + text + "\"" : text);
}

void PartitionedCsv::store_boolean(const SectionInfo& info, int id, int index, bool value)
{
    store_text(info, id, index, value ? "True" : "False", false);
}

void PartitionedCsv::store_numeric(const SectionInfo& info, int id, int index, int value)
{
    store_text(info, id, index, std::to_string(value), false);
}

void PartitionedCsv::store_text_list(const SectionInfo& info, int id, int index, const std::vector<std::string>& list)
{
    std::string text;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            text += ",";
        text += list[i];
    }
    store_text(info, id, index, text, true);
}

void PartitionedCsv::store_numeric_pair(const SectionInfo& info, int id, int index, const std::pair<int, int>& value)
{
    if (value.first == 0 && value.second == 0) {
        store_text(info, id, index, "", true);
    } else {
        store_text(info, id, index, std::to_string(value.first) + "," + std::to_string(value.second), true);
    }
}
