#include "converter/app/tile_folder.h"

#include "converter/app/tile_folder_checks.h"

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A run has at most four reads (R1.zel to R4.zel).
constexpr int Max_reads = 4;
// Longer runs of digits are not read further, so no number can overflow.
constexpr int Max_number_digits = 9;

const std::string Zel_suffix = ".zel";
const std::string Positions_suffix = "_positions";

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

bool all_digits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), is_digit);
}

// The value of the digits starting at position from (at most Max_number_digits of them); 0
// when there is no digit there.
int number_from(std::string_view text, std::size_t from)
{
    int value = 0;
    for (std::size_t i = from; i < text.size() && i < from + Max_number_digits && is_digit(text[i]); ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

// The value of exactly count digits at position at; 0 when the text has no such digits.
int number_at(std::string_view text, std::size_t at, std::size_t count)
{
    if (text.size() < at + count || !all_digits(text.substr(at, count)))
        return 0;
    return number_from(text, at);
}

// "R" or "r", one or more digits, then the suffix: "R1.zel", "r2_positions".
bool is_input_file(const std::string& name, const std::string& suffix)
{
    if (name.size() < suffix.size() + 2 || (name[0] != 'R' && name[0] != 'r'))
        return false;
    if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    return all_digits(std::string_view(name).substr(1, name.size() - suffix.size() - 1));
}

// The read number of an input file's name (the digits after the first character), 1 to
// Max_reads; 0 for any other number, however many digits it has.
int get_read_number(const std::string& name)
{
    int value = 0;
    for (std::size_t i = 1; i < name.size() && is_digit(name[i]); ++i) {
        value = value * 10 + (name[i] - '0');
        if (value > Max_reads)
            return 0;
    }
    return value;
}

// Calls visit(path, read number) for every entry below the folder, at any depth, that is not
// a folder and whose name is an input file name with the suffix; the read number is 0 when it
// is not 1 to Max_reads. Returns the error that stopped the walk, if any.
template <typename Visit>
std::error_code walk_input_files(const fs::path& folder, const std::string& suffix, Visit visit)
{
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code type_error;
        if (it->is_directory(type_error))
            continue;
        const std::string name = it->path().filename().string();
        if (is_input_file(name, suffix))
            visit(it->path(), get_read_number(name));
    }
    return ec;
}

// The files with the suffix at index read number - 1; a read number without a file leaves an
// empty path. Of two files for one read number the first one listed is kept (the file check
// rejects the folder, see find_tile_file_problems).
void find_files(const fs::path& folder, const std::string& suffix, std::vector<fs::path>& files)
{
    files.clear();
    walk_input_files(folder, suffix, [&](const fs::path& path, int read) {
        if (read == 0)
            return;
        const auto index = static_cast<std::size_t>(read - 1);
        if (files.size() <= index)
            files.resize(index + 1);
        if (files[index].empty())
            files[index] = path;
    });
}

void add_file_problems(const fs::path& folder, const std::string& suffix, std::vector<std::string>& problems)
{
    std::vector<fs::path> bad_numbers;
    std::map<int, std::vector<fs::path>> by_read;
    const std::error_code ec = walk_input_files(folder, suffix, [&](const fs::path& path, int read) {
        if (read == 0)
            bad_numbers.push_back(path);
        else
            by_read[read].push_back(path);
    });
    std::sort(bad_numbers.begin(), bad_numbers.end());
    for (const fs::path& path : bad_numbers)
        problems.push_back("Read number not in 1 to 4 in file name: " + path.string());
    for (auto& [read, paths] : by_read) {
        if (paths.size() < 2)
            continue;
        std::sort(paths.begin(), paths.end());
        for (const fs::path& path : paths)
            problems.push_back("More than one file for read " + std::to_string(read) + ": " + path.string());
    }
    if (ec) {
        const std::string text = "Could not list folder: " + folder.string() + " (" + ec.message() + ")";
        if (std::find(problems.begin(), problems.end(), text) == problems.end())
            problems.push_back(text);
    }
}

} // namespace

bool is_lane_name(const std::string& name)
{
    return name.size() == 3 && name[0] == 'L' && all_digits(std::string_view(name).substr(1));
}

bool is_tile_name(const std::string& name)
{
    const std::string_view text(name);
    return text.size() == 8 && text[0] == 'S' && all_digits(text.substr(1, 2)) && text.substr(3, 2) == "_T" &&
           all_digits(text.substr(5, 3));
}

std::vector<std::string> find_tile_file_problems(const TileFolder& tile)
{
    std::vector<std::string> problems;
    std::error_code ec;
    if (!fs::is_directory(tile.folder, ec))
        return problems;
    add_file_problems(tile.folder, Zel_suffix, problems);
    add_file_problems(tile.folder, Positions_suffix, problems);
    return problems;
}

TileFolder::TileFolder(const fs::path& path) : folder(path)
{
    // A trailing separator names the same folder.
    const fs::path named = path.has_filename() ? path : path.parent_path();
    const std::string name = named.filename().string();
    lane = number_from(named.parent_path().filename().string(), 1);
    surface = number_at(name, 1, 2);
    tile = number_at(name, 5, 3);

    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        find_zel_files();
        find_pos_files();
    }
}

void TileFolder::find_zel_files()
{
    find_files(folder, Zel_suffix, zel_files);
}

void TileFolder::find_pos_files()
{
    find_files(folder, Positions_suffix, pos_files);
}
