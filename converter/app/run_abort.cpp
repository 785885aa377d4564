#include "converter/app/run_abort.h"

#include "common/partial_files.h"
#include "converter/app/logger.h"

#include <cstdlib>

void abort_run(const std::string& message)
{
    log_error() << message;
    log_flush();
    PartialFiles::discard_all();
    std::_Exit(255);
}
