#include "scpi/scpi_settings.h"

#include <cstddef>
#include <cstring>

#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "core/startup.h"
#include "device/device.h"
#include "scpi/paramListParser.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_execute.h"
#include "scpi/scpi_link.h"
#include "scpi/scpi_match.h"

namespace {

bool validSlot(int n) {
    return n >= 0 && n < SCPI_SETTINGS_SLOTS;
}

void slotPath(int n, char *out, size_t size) {
    snprintf(out, size, "%s%d", SCPI_SETTINGS_PREFIX, n);
}

struct SavedPath {
    char text[SCPI_LINK_PATH_SIZE];
    ptrdiff_t cursor;
};

SavedPath savePath(ScpiLink *link) {
    SavedPath s;
    memcpy(s.text, link->storedPath, sizeof(s.text));
    s.cursor = link->pathCursor ? link->pathCursor - link->storedPath : 0;
    return s;
}

void restorePath(ScpiLink *link, const SavedPath &s) {
    memcpy(link->storedPath, s.text, sizeof(s.text));
    link->pathCursor = link->storedPath + s.cursor;
}

// A settings line runs as a single command; whatever it leaves behind on the link (a list
// in progress) ends with it.
int runLine(ScpiLink *link, char *text, char *answer) {
    int n =
        scpi_parser(link, text, answer, SCPI_SETTINGS_ANSWER_SIZE, 0, SCPI_PARSER_IGNORE_ERRORS);
    if (link->continuation) paramListParser_cancel(link);
    return n;
}

}  // namespace

int scpi_getAndStoreSetting(ScpiLink *link, FILE *file, const char *header) {
    char query[SCPI_SETTINGS_LINE_MAX + 2];
    int q = snprintf(query, sizeof(query), ":%s?", header);
    if (q < 0 || q >= (int)sizeof(query)) return KR_E_TOO_MUCH_DATA;
    // Room behind the answer for a handler that runs past its space.
    char answer[SCPI_SETTINGS_ANSWER_SIZE + SCPI_ANS_OVERFLOW_RESERVE];
    answer[0] = 0;
    int n = runLine(link, query, answer);
    if (n <= 0) return 0;  // nothing to restore
    if (n >= SCPI_SETTINGS_ANSWER_SIZE) n = SCPI_SETTINGS_ANSWER_SIZE - 1;
    answer[n] = 0;
    char line[SCPI_SETTINGS_LINE_MAX + SCPI_SETTINGS_ANSWER_SIZE + 8];
    int len = snprintf(line, sizeof(line), ":%s %s\n", header, answer);
    if (len < 0 || len > SCPI_SETTINGS_LINE_MAX) {
        printd("scpi_getAndStoreSetting(): line for <%s> longer than %d characters, not saved\n",
               header, SCPI_SETTINGS_LINE_MAX);
        return KR_E_TOO_MUCH_DATA;
    }
    fwrite(line, 1, (size_t)len, file);
    return 0;
}

int scpi_storeDeviceSettings(ScpiLink *link, int n) {
    if (!validSlot(n) || !DEVICE_ISREG(getStoredScpiParameters)) return KR_E_UNDEFINED_HEADER;
    Device *device = parser ? parser->device : nullptr;
    const char *headers = Device_getStoredScpiParameters(device, n);
    if (!headers) return KR_E_UNDEFINED_HEADER;
    char path[64];
    slotPath(n, path, sizeof(path));
    krstuffWriteKr();
    KrPath target(path);
    FILE *f = krstuffOpenReplacement(target);
    if (!f) {
        printd("scpi_storeDeviceSettings(): opening %s for writing failed\n", path);
        krstuffProtectKr();
        return KR_E_EXECUTION_ERROR;
    }
    SavedPath saved = savePath(link);
    // One header per line; a last name without its line feed is not taken.
    const char *p = headers;
    for (const char *lf = strchr(p, '\n'); lf; p = lf + 1, lf = strchr(p, '\n')) {
        size_t len = (size_t)(lf - p);
        char header[SCPI_SETTINGS_LINE_MAX + 1];
        if (len == 0) continue;
        if (len >= sizeof(header)) {
            printd("scpi_storeDeviceSettings(): header too long, skipped\n");
            continue;
        }
        memcpy(header, p, len);
        header[len] = 0;
        scpi_getAndStoreSetting(link, f, header);
    }
    restorePath(link, saved);
    fputc('\n', f);
    int status = krstuffCommitReplacement(f, target);
    krstuffProtectKr();
    return status;
}

int scpi_recallDeviceSettings(ScpiLink *, int n) {
    if (!validSlot(n)) return KR_E_UNDEFINED_HEADER;
    char path[64];
    slotPath(n, path, sizeof(path));
    FILE *f = fopen(KrPath(path), "r");
    if (!f) return 0;
    ScpiLink *file = &link_file;
    SavedPath saved = savePath(file);
    char line[SCPI_SETTINGS_LINE_MAX + 1];
    char answer[SCPI_SETTINGS_ANSWER_SIZE + SCPI_ANS_OVERFLOW_RESERVE];
    bool skipping = false;  // inside a line longer than the limit
    while (fgets(line, sizeof(line), f)) {
        char *lf = strchr(line, '\n');
        if (!lf) {
            // The first part of an over-long line, or an unterminated last line: its rest must
            // not run as a command of its own either.
            skipping = true;
            continue;
        }
        if (skipping) {
            skipping = false;
            continue;
        }
        *lf = 0;
        runLine(file, line, answer);
    }
    fclose(f);
    restorePath(file, saved);
    return 0;
}

int scpi_deleteDeviceSettings(ScpiLink *, int n) {
    if (!validSlot(n)) return KR_E_UNDEFINED_HEADER;
    char path[64];
    slotPath(n, path, sizeof(path));
    krstuffWriteKr();
    remove(KrPath(path));
    krstuffProtectKr();
    return 0;
}
