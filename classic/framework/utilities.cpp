#include "classic/framework/utilities.h"

#include "common/base_code.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <vector>

namespace classic {

const std::string data_tag = "Base_Calls";
const std::string fastq_tag = "FASTQs";

std::string get_data_directory(const std::string& folder)
{
    return folder + "/" + data_tag;
}

std::string get_fastq_directory(const std::string& folder)
{
    return folder + "/" + fastq_tag;
}

std::string get_metrics_directory(const std::string& folder)
{
    return folder + "/" + "Metrics";
}

std::string get_log_metrics_directory(const std::string& folder)
{
    return folder + "/" + "Logs/Analysis/Metrics";
}

std::string get_log_directory(const std::string& folder)
{
    return folder + "/" + "Logs/Analysis";
}

namespace {

bool path_exists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// The text between "<tag>" and "</tag>"; a closing text before the opening one gives the rest
// of the file. False, value unchanged, when either is missing.
bool find_element(const std::string& text, const std::string& tag, std::string& value)
{
    const std::string opening = "<" + tag + ">";
    const auto open = text.find(opening);
    const auto close = text.find("</" + tag + ">");
    if (open == std::string::npos || close == std::string::npos)
        return false;
    const auto begin = open + opening.size();
    value = close >= begin ? text.substr(begin, close - begin) : text.substr(begin);
    return true;
}

} // namespace

bool read_regular_file(const std::string& path, std::string& text)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    const auto size = std::filesystem::file_size(path, error);
    if (error)
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    text.resize(size);
    in.read(text.data(), static_cast<std::streamsize>(size));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return true;
}

bool parse_metadata(const std::string& folder, const std::string& prefix, std::string& instrument_id,
                    std::string& run_id, std::string& flowcell_id, MetadataFile* found)
{
    MetadataFile unused;
    MetadataFile& file = found != nullptr ? *found : unused;
    instrument_id = "INSID";
    flowcell_id = "FCLID";
    run_id = "1";
    std::string path;
    for (const std::string& candidate :
         {folder + "/" + prefix + "_metadata.xml", folder + "/" + "metadata.xml", folder + "/" + "run_metadata.xml"}) {
        if (path_exists(candidate)) {
            path = candidate;
            break;
        }
    }
    if (path.empty())
        return false;
    file.path = path;
    std::string text;
    file.readable = read_regular_file(path, text);
    if (!file.readable)
        return true;
    if (!find_element(text, "Instrument_ID", instrument_id))
        file.missing.push_back("Instrument_ID");
    const bool named = find_element(text, "Run_Folder_Name", run_id);
    if (!named)
        file.missing.push_back("Run_Folder_Name");
    if (!find_element(text, "Flow_Cell_ID", flowcell_id))
        file.missing.push_back("Flow_Cell_ID");
    if (named) {
        std::vector<std::string> fields;
        std::istringstream parts(run_id);
        for (std::string field; std::getline(parts, field, '_');)
            fields.push_back(field);
        if (fields.size() >= 4)
            run_id = fields[3];
    }
    return true;
}

bool copy_fastq_data(GzFile output, const std::string& source)
{
    std::error_code error;
    if (!std::filesystem::exists(source, error))
        return true;
    if (!append_fastq_data(output, source))
        return false;
    std::filesystem::remove(source, error);
    return !error;
}

bool append_fastq_data(GzFile output, const std::string& source)
{
    constexpr unsigned buffer_size = 2048000;
    std::error_code error;
    if (!std::filesystem::exists(source, error))
        return true;
    GzFile input = gz_open(source, "rb");
    if (input == nullptr)
        return false;
    std::vector<char> buffer(buffer_size);
    bool copied = true;
    for (;;) {
        const int got = gz_read(input, buffer.data(), buffer_size);
        if (got < 0) {
            copied = false;
            break;
        }
        if (got == 0)
            break;
        if (gz_write(output, buffer.data(), static_cast<unsigned>(got)) != got) {
            copied = false;
            break;
        }
    }
    // A stream that ends inside a member only shows at the close.
    if (gz_close(input) != Gz_ok)
        copied = false;
    return copied;
}

std::string& trim(std::string& s)
{
    s.erase(std::remove_if(s.begin(), s.end(),
                           [](char c) {
                               const auto byte = static_cast<unsigned char>(c);
                               return byte >= 0x7F || std::isspace(byte) != 0;
                           }),
            s.end());
    return s;
}

std::string str_tolower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

char complement(char ch)
{
    return base_code::complement_of(ch);
}

void reverse_complement(std::string& s)
{
    const std::size_t length = s.size();
    for (std::size_t i = 0; i < length / 2; ++i) {
        const char left = s[i];
        s[i] = complement(s[length - 1 - i]);
        s[length - 1 - i] = complement(left);
    }
    if (length % 2 == 1)
        s[length / 2] = complement(s[length / 2]);
}

std::uint64_t LevenshteinDistance(const char* a, std::uint64_t la, const char* b, std::uint64_t lb,
                                  std::vector<std::uint64_t>& scratch)
{
    const std::uint64_t columns = la + 1;
    scratch.assign((la + 1) * (lb + 1), 0);
    for (std::uint64_t j = 1; j <= lb; ++j) {
        for (std::uint64_t i = 1; i <= la; ++i) {
            const std::uint64_t diagonal = scratch[(j - 1) * columns + i - 1];
            if (a[i - 1] == b[j - 1]) {
                scratch[j * columns + i] = diagonal;
            } else {
                scratch[j * columns + i] =
                    1 + std::min({diagonal, scratch[j * columns + i - 1], scratch[(j - 1) * columns + i]});
            }
        }
    }
    return scratch[lb * columns + la];
}

bool within_distance(const char* a, std::uint64_t la, const char* b, std::uint64_t lb, std::uint64_t limit,
                     std::vector<std::uint64_t>& scratch)
{
    // Read from their ends, the leading letters that LevenshteinDistance skips for nothing
    // become trailing ones: the distance is the least cell of the last row or column of the
    // ordinary table of the reversed texts, whose cells start at 0 only in the corner. A cell
    // more than limit off the diagonal exceeds the limit, and once a whole row of the band
    // does, so does every later cell. Only band cells are written and read.
    if (la == 0 || lb <= limit)
        return true; // the first row (or a last row that is the first) holds a cell <= limit
    const std::uint64_t cap = limit + 1;
    if (scratch.size() < 2 * (lb + 1))
        scratch.resize(2 * (lb + 1));
    std::uint64_t* prev = scratch.data();
    std::uint64_t* cur = prev + lb + 1;
    for (std::uint64_t j = 0; j <= limit; ++j)
        prev[j] = j;
    for (std::uint64_t i = 1; i <= la; ++i) {
        const std::uint64_t lo = i > limit ? i - limit : 0;
        const std::uint64_t hi = std::min(lb, i + limit);
        if (lo > lb)
            return false;
        std::uint64_t row_min = cap;
        for (std::uint64_t j = lo; j <= hi; ++j) {
            std::uint64_t cell = i; // first column: i letters of a left out
            if (j > 0) {
                const std::uint64_t up = j <= i - 1 + limit ? prev[j] : cap;
                const std::uint64_t left = j - 1 >= lo ? cur[j - 1] : cap;
                const std::uint64_t cost = a[la - i] == b[lb - j] ? 0 : 1;
                cell = std::min({up + 1, left + 1, prev[j - 1] + cost, cap});
            }
            cur[j] = cell;
            if (cell <= limit && (i == la || j == lb))
                return true;
            row_min = std::min(row_min, cell);
        }
        if (row_min > limit)
            return false;
        std::swap(prev, cur);
    }
    return false;
}

std::uint64_t getTotalSystemMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page_size <= 0)
        return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
}

std::uint64_t raise_open_file_limit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return std::numeric_limits<std::uint64_t>::max();
    if (limit.rlim_cur != limit.rlim_max) {
        const rlim_t soft = limit.rlim_cur;
        limit.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
            limit.rlim_cur = soft;
    }
    return limit.rlim_cur == RLIM_INFINITY ? std::numeric_limits<std::uint64_t>::max()
                                           : static_cast<std::uint64_t>(limit.rlim_cur);
}

} // namespace classic
