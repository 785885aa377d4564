#include "converter/pipeline/fastq_file.h"

#include "converter/app/utilities.h"
#include "converter/pipeline/fastq_file_manager.h"
#include "converter/pipeline/fastq_spot_bundle.h"

#include <cerrno>
#include <set>
#include <stdexcept>

namespace {

// Every FASTQ path opened by this run. Merged lanes share file names: only the first open of a
// name truncates it, later lanes append.
std::mutex opened_paths_mutex;
std::set<std::string> opened_paths;

bool opened_before(const std::string& name)
{
    std::lock_guard lock(opened_paths_mutex);
    return opened_paths.count(name) != 0;
}

void register_opened(const std::string& name)
{
    std::lock_guard lock(opened_paths_mutex);
    opened_paths.insert(name);
}

} // namespace

void FastqFile::reset_opened_paths()
{
    std::lock_guard lock(opened_paths_mutex);
    opened_paths.clear();
}

void FastqFile::open(const std::filesystem::path& file, bool is_compressed, bool append)
{
    compressed = is_compressed;
    name_ = file.string();
    if (compressed)
        name_ += ".gz";
    const bool extend = append && opened_before(name_);
    errno = 0;
    out.open(name_, std::ios::binary | (extend ? std::ios::app : std::ios::trunc));
    if (!out.is_open())
        throw std::runtime_error("ERROR: Unable to open '" + name_ + "' : " +
                                 get_system_error_message(errno));
    register_opened(name_);
}

void FastqFile::add_bundle(std::shared_ptr<FastqSpotBundle> bundle)
{
    std::lock_guard lock(mutex);
    bundles.push_back(std::move(bundle));
}

std::size_t FastqFile::queued()
{
    std::lock_guard lock(mutex);
    return bundles.size();
}

std::uint64_t FastqFile::write()
{
    std::uint64_t total = 0;
    for (;;) {
        std::shared_ptr<FastqSpotBundle> bundle;
        {
            std::lock_guard lock(mutex);
            if (bundles.empty())
                break;
            bundle = std::move(bundles.front());
            bundles.pop_front();
        }
        const char* data = compressed ? bundle->compressed.data() : bundle->formatted.data();
        const std::uint64_t size = compressed ? bundle->compressed_size : bundle->formatted_size;
        // After a failure the file is not extended any further; its bundles are only recycled.
        if (!failed_) {
            errno = 0;
            // Flushed per bundle so that a failure shows here and the bytes are not counted.
            out.write(data, static_cast<std::streamsize>(size));
            out.flush();
            if (out)
                total += size;
            else
                fail(errno);
        }
        if (manager)
            manager->return_bundle(std::move(bundle));
    }
    bytes_written += total;
    return total;
}

void FastqFile::close()
{
    if (!out.is_open())
        return;
    errno = 0;
    out.close();
    if (!out && !failed_)
        fail(errno);
}

void FastqFile::fail(int error_number)
{
    failed_ = true;
    // A stream failure without a system error is still an input/output failure.
    const std::string text = get_system_error_message(error_number ? error_number : EIO);
    if (manager)
        manager->report_write_error(name_, text);
}
