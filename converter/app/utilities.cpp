#include "converter/app/utilities.h"

#include "common/base_code.h"
#include "common/partial_files.h"
#include "common/sample_sheet.h"
#include "converter/app/config.h"
#include "converter/app/logger.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <limits>
#include <string_view>
#include <system_error>
#include <thread>

#include <sys/resource.h>

namespace fs = std::filesystem;

std::string get_read_label(const Config& config, int read)
{
    if (read == config.I1_range.read)
        return "Index1";
    if (read == config.I2_range.read)
        return "Index2";
    if (read == config.R1_range.read)
        return "Read1";
    if (read == config.R2_range.read)
        return "Read2";
    return "R" + std::to_string(read);
}

int get_read_number(const Config& config, int read)
{
    if (read == config.R1_range.read)
        return 1;
    if (read == config.R2_range.read)
        return 2;
    return 0;
}

bool is_index_read(const Config& config, int read)
{
    return read == config.I1_range.read || read == config.I2_range.read;
}

int get_index_number(const Config& config, int read)
{
    if (read == config.I1_range.read)
        return 1;
    if (read == config.I2_range.read)
        return 2;
    return 0;
}

bool read_file(const fs::path& path, std::string& out)
{
    // A folder opens as a stream and reads as empty; a FIFO would block: neither is a file
    // to read.
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (!in)
        return false;

    std::string text;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (in.bad())
        return false;
    out = std::move(text);
    return true;
}

bool copy_file_to(const fs::path& from_folder, const fs::path& file_name, const fs::path& to_folder)
{
    // Copied under the temporary name of the copy, which is renamed once complete.
    const fs::path to = to_folder / file_name;
    DescriptorStream temporary;
    bool copied = PartialFiles::open(temporary, to, false) == 0;
    std::string text;
    copied = copied && read_file(from_folder / file_name, text);
    temporary.write(text.data(), static_cast<std::streamsize>(text.size()));
    temporary.close();
    std::string ignored;
    copied = copied && !temporary.fail() && PartialFiles::publish(to, ignored);
    if (!copied) {
        PartialFiles::leave(to);
        log_error() << "Cannot copy file '" << file_name.string() << "' from '" << from_folder.string() << "' to '"
                    << to_folder.string() << "'";
        return false;
    }
    return true;
}

namespace {

// strerror_r comes in two shapes: the XSI one fills the buffer and returns 0 on success, the
// GNU one returns the text (in the buffer or a static string).
[[maybe_unused]] const char* error_text(int result, const char* buffer)
{
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* error_text(const char* result, const char*)
{
    return result;
}

} // namespace

std::string get_system_error_message(int error_number)
{
    char buffer[512] = {};
    const char* text = error_text(strerror_r(error_number, buffer, sizeof buffer), buffer);
    if (text == nullptr || *text == '\0')
        return "Unknown system error";
    return text;
}

long raise_open_file_limit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    constexpr rlim_t Largest = static_cast<rlim_t>(std::numeric_limits<long>::max());
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > Largest ? std::numeric_limits<long>::max()
                                                                       : static_cast<long>(limit.rlim_cur);
}

int usable_threads()
{
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

bool is_new_folder_structure(const fs::path& folder)
{
    std::error_code ec;
    return fs::is_directory(folder / "Base_Calls", ec);
}

void generate_mutations(const std::string& sequence, int start, int end, bool substitutions, bool insertions,
                        bool deletions, std::vector<std::string>& out)
{
    constexpr std::string_view bases = base_code::Letters;
    const int length = static_cast<int>(sequence.size());
    const int limit = std::min(end, length);
    const int first = std::max(start, 0);

    if (substitutions) {
        for (int p = first; p < limit; ++p) {
            for (const char base : bases) {
                if (base == sequence[static_cast<std::size_t>(p)])
                    continue;
                std::string variant = sequence;
                variant[static_cast<std::size_t>(p)] = base;
                out.push_back(std::move(variant));
            }
        }
    }
    if (insertions) {
        for (int p = first; p <= limit; ++p) {
            for (const char base : bases) {
                std::string variant = sequence;
                variant.insert(static_cast<std::size_t>(p), 1, base);
                out.push_back(std::move(variant));
            }
        }
    }
    if (deletions) {
        for (int q = 0; q <= limit; ++q) {
            std::string variant = sequence;
            if (q < length)
                variant.erase(static_cast<std::size_t>(q), 1);
            out.push_back(std::move(variant));
        }
    }
}

int get_num_samples(const SampleSheet& sample_sheet, int lane)
{
    const auto in_lane = [lane](const Sample& sample) { return sample.Lane == lane; };
    return static_cast<int>(std::count_if(sample_sheet.samples.begin(), sample_sheet.samples.end(), in_lane));
}

int get_peak_memory()
{
    return 0;
}

int split_string(const std::string& text, std::vector<std::string>& out, char delimiter)
{
    out.clear();
    const std::string_view whole(text.c_str()); // up to the first zero byte
    std::size_t start = 0;
    while (true) {
        const std::size_t end = whole.find(delimiter, start);
        if (end == std::string_view::npos) {
            out.emplace_back(whole.substr(start));
            break;
        }
        out.emplace_back(whole.substr(start, end - start));
        start = end + 1;
    }
    return static_cast<int>(out.size());
}

namespace utility {

std::string trim(std::string& text)
{
    std::erase_if(text, [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 127 || std::isspace(byte);
    });
    return text;
}

} // namespace utility
