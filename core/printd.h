// Each module gets its own printd (internal linkage), silent unless the process runs with -v.
#pragma once

#include <cstdarg>

#include "core/krdebug.h"

namespace {

[[maybe_unused]] __attribute__((format(printf, 1, 2))) int printd(const char *format, ...) {
    if (!debugEnabled) return 0;
    va_list args;
    va_start(args, format);
    int r = krdebug_vprintd(format, args);
    va_end(args);
    return r;
}

}  // namespace
