#pragma once
// Runs one set-up step; an exception out of it fails the step like any logged error:
// ERROR "Exception detected during initialization: " + its text, log flushed, false.
#include "converter/app/logger.h"

#include <exception>

template <typename Step>
bool guarded_step(Step&& step)
{
    try {
        return step();
    } catch (const std::exception& e) {
        log_error() << "Exception detected during initialization: " << e.what();
        log_flush();
        return false;
    }
}
