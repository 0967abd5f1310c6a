// Process-wide diagnostic switches and the sink behind every module's printd.
#pragma once

#include <cstdarg>

extern int debugEnabled;  // set by -v
extern int debugTarget;   // 0: standard output, 1: append to /media/ram/debug.txt

// Formats one diagnostic message to the current target; nothing unless debugEnabled.
// Returns -1 when the debug file cannot be opened.
int krdebug_vprintd(const char *format, va_list args);
