#include "converter/analysis/metrics_file.h"

#include "common/partial_files.h"
#include "converter/app/logger.h"

#include <string>

bool open_metrics_file(DescriptorStream& out, const std::filesystem::path& path)
{
    return PartialFiles::open(out, path, false) == 0;
}

bool finish_metrics_file(DescriptorStream& out, const std::filesystem::path& path)
{
    bool ok = out.good();
    out.close();
    ok = ok && !out.fail();
    std::string ignored;
    if (ok && PartialFiles::publish(path, ignored))
        return true;
    PartialFiles::leave(path);
    log_error() << "Cannot write metrics file: " << path.string();
    log_flush();
    return false;
}
