#include "core/krdebug.h"

#include <cstdio>

#include "core/krpath.h"
#include "core/krstuff.h"

int debugEnabled = 0;
int debugTarget = 0;

int krdebug_vprintd(const char *format, va_list args) {
    if (!debugEnabled) return 0;
    if (debugTarget == 0) {
        vprintf(format, args);
        return 0;
    }
    if (debugTarget != 1) return 0;
    FILE *f = fopen(KrPath("/media/ram/debug.txt"), "a");
    if (!f) return -1;
    fprintf(f, "(%d)", (int)kr_abstime_ms());
    vfprintf(f, format, args);
    fclose(f);
    return 0;
}
