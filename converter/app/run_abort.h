#pragma once
// Ends the run at once, from any thread: for an interruption and for errors after which no
// orderly end is possible. The message is logged at ERROR and the log flushed, every output
// file still under its temporary name is removed, then the output folder's lock file as at a
// normal end, and the process ends with status 255 without running static destructors, which
// would destroy objects that the reader, writer and worker threads still use.
#include <string>

[[noreturn]] void abort_run(const std::string& message);
