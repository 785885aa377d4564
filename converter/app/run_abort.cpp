#include "converter/app/run_abort.h"

#include "common/output_folder_lock.h"
#include "common/partial_files.h"
#include "converter/app/logger.h"

#include <cstdlib>

void abort_run(const std::string& message)
{
    log_error() << message;
    log_flush();
    PartialFiles::discard_all();
    OutputFolderLock::remove_held_lock_files();
    std::_Exit(255);
}
