#pragma once
// PartitionedCsv: a CSV text document divided into sections.
//
// Each section opens with a line holding its name in square brackets. A settings section holds
// (key, value) rows; a table section holds a heading row (row 0) and data rows (rows 1..). Every
// row keeps its 1-based line number in the text. Loading never throws and never stops at the
// first problem: every problem becomes a finished message text in `errors` or `warnings`
// ("line " N "; Error: " text, or "Error: " text when no line is known).
//
// Locations: for a settings section an expected key's id selects the row (row map) and the
// caller's index selects the column (1 for the value); for a table section the heading id selects
// the column (column map) and the caller's index selects the row (1 for the first data row).
//
// A section that the document does not contain (section map entry -1) is treated as holding no
// rows by every operation.
//
// Virtual slots in order: load, store, add_section, clear, is_required. The destructor is not
// virtual: do not delete a derived sheet through a PartitionedCsv pointer.

#include <istream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/heading_info.h"
#include "common/section_info.h"

class PartitionedCsv {
public:
    struct Row {
        int line = 0;                    // 1-based line in the text (add_section: 1, 2, ...; created rows: 0)
        std::vector<std::string> fields; // settings: key in field 0, value in field 1
    };
    struct Section {
        std::string name;
        std::vector<Row> rows;
    };
    using Location = std::pair<int, int>; // (row, column); -1 when not found

    PartitionedCsv() = default;
    PartitionedCsv(const PartitionedCsv&) = default;
    PartitionedCsv& operator=(const PartitionedCsv&) = default;
    ~PartitionedCsv() = default;

    // ---- Virtual operations (slot order: load, store, add_section, clear, is_required) ----

    // Parses the whole text into sections, sets `loaded`, then appends all of the document's
    // errors and warnings (accumulated over every load of this object) to the caller's lists.
    // Always returns true once the end of the text is reached.
    virtual bool load(const std::string& text, std::vector<std::string>& errors_out,
                      std::vector<std::string>& warnings_out);
    // Writes every section as "[" name "]", its rows joined by ",", and one empty line after each.
    virtual void store(std::string& out);
    // Appends an empty section laid out as the info describes (heading row or one row per key).
    virtual void add_section(const SectionInfo& info);
    // Empties the sections, the column map and the row map (errors, warnings and the section map
    // are kept).
    virtual void clear();
    // Whether a missing key or heading is an error; the base returns heading.required.
    virtual bool is_required(const SectionInfo& info, const HeadingInfo& heading) const;

    // ---- Reading ----

    // The next line that is not empty after trimming, trimmed; "" at the end of the text. Every
    // physical line advances line_number; a line with a byte that is neither printable nor white
    // space gets the warning "Invalid (non-ascii) characters in input".
    std::string get_next_line(std::istream& in, int& line_number);

    // ---- Structure and mapping ----

    void initialize_section_mapping(const SectionInfoList& infos);
    int find_section(const std::string& name) const;
    int find_row(int section_index, int column, const std::string& text) const;
    int find_column(int section_index, int row, const std::string& text) const;
    int get_section_index(int section_id) const;
    int get_row_heading_index(int section_id, int key_id) const;
    int get_column_heading_index(int section_id, int heading_id) const;
    // (row, column) of a value; with create the section's rows and the row's fields are extended
    // to hold it (new rows with line 0 and no fields, new fields empty).
    Location get_location(const SectionInfo& info, int id, int index, bool create);
    // Line of the located row, 0 when the row does not exist.
    int line_number(const SectionInfo& info, int id, int index) const;
    // Rows of the section (heading row included); 0 for an absent section.
    int row_count(const SectionInfo& info) const;
    int get_line_number_at(int section_index, int row) const;
    void set_text_at(int section_index, int row, int column, const std::string& text);
    const std::vector<Section>& get_sections() const { return sections; }

    // ---- Accessors (bad is set false on success; true when the field does not exist) ----

    std::string get_text_at(int section_index, int row, int column, bool& bad) const;
    std::vector<std::string> get_text_list_at(int section_index, int row, int column, bool& bad, char separator) const;
    int get_integer_at(int section_index, int row, int column, bool& bad);
    // Base-10 value of the leading integer (leading white space and a sign allowed, trailing text
    // ignored). No digits or outside the 32-bit range: error "Expecting integer value but got: '"
    // text "'" at the line, bad = true, result 0. Never throws.
    int string_to_integer(const std::string& text, bool& bad, int line);
    std::vector<int> get_integer_list_at(int section_index, int row, int column, bool& bad, char separator);
    double get_real_at(int section_index, int row, int column, bool& bad);

    // ---- Messages ----

    bool error(const std::string& message, int line);
    void warning(const std::string& message, int line);

    // ---- Validation ----

    bool validate_sections(const SectionInfoList& infos);
    bool validate_headings(const SectionInfo& info);
    bool validate_field(const SectionInfo& info, int id, int index, bool required);
    bool validate_text(const SectionInfo& info, int id, int index, std::string& out, bool required);
    // Every character of the text must occur in allowed_characters.
    bool validate_text(const SectionInfo& info, int id, int index, std::string& out,
                       const std::string& allowed_characters, bool required);
    // The text must equal one of allowed_values exactly.
    bool validate_text(const SectionInfo& info, int id, int index, std::string& out,
                       const std::vector<std::string>& allowed_values, bool required);
    bool validate_boolean(const SectionInfo& info, int id, int index, bool& out, bool required);
    bool validate_numeric(const SectionInfo& info, int id, int index, int& out, int min, int max, bool required);
    bool validate_text_list(const SectionInfo& info, int id, int index, std::vector<std::string>& out, int count,
                            bool required, char separator);
    // An empty list that is not required gives out = {0, 0} and true (the form store_numeric_pair
    // writes for {0, 0}).
    bool validate_numeric_pair(const SectionInfo& info, int id, int index, std::pair<int, int>& out, int min, int max,
                               bool is_range, bool required, char separator);

    // ---- Writing (each creates the row and field as needed) ----

    void store_text(const SectionInfo& info, int id, int index, const std::string& text, bool quoted);
    void store_boolean(const SectionInfo& info, int id, int index, bool value);
    void store_numeric(const SectionInfo& info, int id, int index, int value);
    void store_text_list(const SectionInfo& info, int id, int index, const std::vector<std::string>& list);
    void store_numeric_pair(const SectionInfo& info, int id, int index, const std::pair<int, int>& value);

    // ---- Data (in declaration order) ----

    bool loaded = false;               // set by load once it has read a text to its end
    std::vector<std::string> errors;   // finished error texts, in the order they arose
    std::vector<std::string> warnings; // finished warning texts

protected:
    std::map<int, int> section_map;                // section id -> document section index or -1
    std::map<std::pair<int, int>, int> column_map; // (section id, heading id) -> column or -1
    std::map<std::pair<int, int>, int> row_map;    // (section id, key id) -> row or -1
    std::vector<Section> sections;                 // in text order

private:
    Location locate(const SectionInfo& info, int id, int index) const;
    const Row* row_at(int section_index, int row) const;
    const std::string* field_at(int section_index, int row, int column) const;
};
