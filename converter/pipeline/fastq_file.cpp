#include "converter/pipeline/fastq_file.h"

#include "common/block_gzip.h"
#include "common/partial_files.h"
#include "converter/app/utilities.h"
#include "converter/pipeline/fastq_spot_bundle.h"

#include <cerrno>
#include <stdexcept>
#include <system_error>

void FastqFile::reset_opened_paths()
{
    PartialFiles::forget_all();
}

void FastqFile::open(const std::filesystem::path& file, bool is_compressed, bool append)
{
    compressed = is_compressed;
    name_ = file.string();
    if (compressed)
        name_ += ".gz";
    // Merged lanes share file names: only the first open of a name truncates it, later lanes
    // extend the file that is still under its temporary name.
    if (const int error = PartialFiles::open(out, name_, append))
        throw std::runtime_error("ERROR: Unable to open '" + name_ + "' : " + get_system_error_message(error));
}

bool FastqFile::write(const FastqSpotBundle& bundle)
{
    if (failed_)
        return false;
    const char* data = compressed ? bundle.compressed.data() : bundle.formatted.data();
    const std::uint64_t size = compressed ? bundle.compressed_size : bundle.formatted_size;
    errno = 0;
    // Flushed per bundle so that a failure shows here and the bytes are not counted.
    out.write(data, static_cast<std::streamsize>(size));
    out.flush();
    if (!out) {
        fail(errno);
        return false;
    }
    bytes_written += size;
    return true;
}

bool FastqFile::close(bool last)
{
    if (!out.is_open())
        return !failed_;
    if (last && compressed && !failed_ && empty_on_disk())
        write_empty_member();
    errno = 0;
    out.close();
    if (!out && !failed_)
        fail(errno);
    return !failed_;
}

bool FastqFile::publish()
{
    std::string error;
    if (!failed_ && !PartialFiles::publish(name_, error))
        fail_with(error);
    return !failed_;
}

bool FastqFile::leave()
{
    return opened() && PartialFiles::leave(name_);
}

bool FastqFile::empty_on_disk() const
{
    if (bytes_written != 0)
        return false;
    std::error_code error;
    return std::filesystem::file_size(PartialFiles::partial_path(name_), error) == 0 && !error;
}

void FastqFile::write_empty_member()
{
    const std::vector<unsigned char> member = block_gzip::empty_member();
    errno = 0;
    out.write(reinterpret_cast<const char*>(member.data()), static_cast<std::streamsize>(member.size()));
    out.flush();
    if (out)
        bytes_written += member.size();
    else
        fail(errno);
}

void FastqFile::fail(int error_number)
{
    // A stream failure without a system error is still an input/output failure.
    fail_with(get_system_error_message(error_number ? error_number : EIO));
}

void FastqFile::fail_with(const std::string& text)
{
    if (failed_)
        return;
    failed_ = true;
    error_ = text;
}
