#include "scpi/scpi_error.h"

#include <cstdio>

const ScpiErrorText scpierr_strings[] = {
#define KR_ERROR(name, number, text) {number, text},
#include "scpi/scpi_errors.def"
#undef KR_ERROR
    {0, nullptr},
};

const ScpiErrorText ateerr_strings[] = {
#define KR_MEAS_ERROR(name, k, text) {KR_MEAS_ERROR_CODE(k), text},
#include "scpi/scpi_errors.def"
#undef KR_MEAS_ERROR
    {0, nullptr},
};

namespace {

// A code is split on its magnitude: bits 0-15 and 28-31 the SCPI number, bits 16-27 the
// measurement detail. Unsigned arithmetic keeps INT32_MIN and positive codes defined.
struct SplitCode {
    int32_t scpiNumber;
    uint32_t detail;
};

SplitCode splitCode(int code) {
    uint32_t n = 0u - static_cast<uint32_t>(code);
    return {static_cast<int32_t>(0u - (n & 0xF000FFFFu)), (n & 0x0FFF0000u) >> 16};
}

const char *lookup(const ScpiErrorText *table, int code) {
    for (const ScpiErrorText *e = table; e->text != nullptr; e++) {
        if (e->code == code) return e->text;
    }
    return nullptr;
}

const char *lookupScpiNumber(int32_t number) {
    if (number == 0) return scpierr_strings[0].text;
    return lookup(scpierr_strings + 1, number);
}

int advance(int index) {
    return index + 1 < SCPI_ERROR_QUEUE_SIZE ? index + 1 : 0;
}

}  // namespace

void scpi_initErrorQueue(ScpiErrorQueue *queue) {
    queue->read = 0;
    queue->write = 0;
    queue->slot[0] = 0;
}

void scpi_pushErrorQueue(int code, ScpiErrorQueue *queue) {
    if (code == 0) return;
    queue->pushes++;
    int count = queue->write - queue->read;
    if (count < 0) count += SCPI_ERROR_QUEUE_SIZE;
    if (count > SCPI_ERROR_QUEUE_SIZE - 2) {
        queue->slot[queue->write] = KR_E_QUEUE_OVERFLOW;
        return;
    }
    if (queue->slot[queue->write] != 0) queue->write = advance(queue->write);
    queue->slot[queue->write] = code;
}

int scpi_isErrorQueueEmpty(const ScpiErrorQueue *queue) {
    return queue->read == queue->write && queue->slot[queue->write] == 0;
}

int scpi_popErrorQueue(ScpiErrorQueue *queue, int *code, char *text, int size, int *length) {
    int c = queue->slot[queue->read];
    if (queue->read != queue->write) {
        queue->read = advance(queue->read);
    } else {
        queue->slot[queue->read] = 0;
    }
    if (code != nullptr) *code = c;
    return scpi_errorCode2Str(text, c, size, length);
}

int scpi_clearWholeErrorQueue(ScpiErrorQueue *queue) {
    char scratch[1024];
    int first = 0;
    do {
        int r = scpi_popErrorQueue(queue, nullptr, scratch, sizeof scratch, nullptr);
        if (first == 0) first = r;
    } while (!scpi_isErrorQueueEmpty(queue));
    return first;
}

int scpi_getAndClearWholeErrorQueue(ScpiErrorQueue *queue, char *text, int size, int *length) {
    int first = 0;
    int used = 0;
    if (size > 0) text[0] = '\0';
    do {
        // Each entry goes through a scratch buffer so that one that does not fit leaves no
        // partial text behind.
        char entry[SCPI_ERROR_TEXT_SIZE];
        int n = 0;
        int r = scpi_popErrorQueue(queue, nullptr, entry, sizeof entry, &n);
        int sep = used > 0 ? 1 : 0;
        if (r == 0 && used + sep + n + 1 > size) r = KR_E_QUERY_ERROR;
        if (r == 0) {
            if (sep) text[used++] = ',';
            for (int i = 0; i <= n; i++)
                text[used + i] = entry[i];
            used += n;
        }
        if (first == 0) first = r;
    } while (!scpi_isErrorQueueEmpty(queue));
    if (length != nullptr) *length = used;
    return first;
}

int scpi_errorCode2Str(char *text, int code, int size, int *length) {
    if (size < 0) size = 0;
    SplitCode split = splitCode(code);
    const char *scpiText = lookupScpiNumber(split.scpiNumber);
    int n;
    if (split.detail == 0) {
        n = scpiText != nullptr ? snprintf(text, size, "%d,\"%s\"", split.scpiNumber, scpiText)
                                : snprintf(text, size, "%d,\"\"", split.scpiNumber);
    } else {
        const char *detailText = lookup(ateerr_strings, code);
        n = scpiText != nullptr && detailText != nullptr
                ? snprintf(text, size, "%d,\"%s;%s\"", code, scpiText, detailText)
                : snprintf(text, size, "%d,\"\"", code);
    }
    if (n < 0 || n >= size) {
        if (size > 0) text[0] = '\0';
        if (length != nullptr) *length = 0;
        return KR_E_QUERY_ERROR;
    }
    if (length != nullptr) *length = n;
    return 0;
}

const char *scpi_errorText(int code) {
    const char *t = lookupScpiNumber(splitCode(code).scpiNumber);
    return t != nullptr ? t : "";
}
