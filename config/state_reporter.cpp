#include "config/state_reporter.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "scpi/paramListParser.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_execute.h"
#include "scpi/scpi_link.h"
#include "scpi/scpi_match.h"

StateReporter state_reporter;

namespace {

constexpr int VALUE_SIZE = 64;  // answer of one path's query

int collectorLength() {
    return (int)strnlen(state_reporter.collector, STATE_REPORTER_PATH_SIZE);
}

int consumerOf(ScpiLink *link) {
    for (int i = 0; i < STATE_REPORTER_CONSUMERS; i++)
        if (state_reporter.consumers[i] == link) return i;
    return -1;
}

// Everything of the link that running a query on it may change.
struct LinkFields {
    uint32_t flags;
    int32_t msgResponded;
    int32_t contAnswering;
    ScpiContinuation continuation;
    ScpiListState list;
    char storedPath[SCPI_LINK_PATH_SIZE];
    ptrdiff_t cursor;
};

LinkFields takeFields(ScpiLink *link) {
    LinkFields f;
    f.flags = link->flags;
    f.msgResponded = link->msgResponded;
    f.contAnswering = link->contAnswering;
    f.continuation = link->continuation;
    f.list = link->list;
    memcpy(f.storedPath, link->storedPath, sizeof(f.storedPath));
    f.cursor = link->pathCursor ? link->pathCursor - link->storedPath : 0;
    link->flags = 0;
    link->msgResponded = 0;
    link->contAnswering = 0;
    link->continuation = nullptr;
    link->list = ScpiListState{};
    return f;
}

void putFields(ScpiLink *link, const LinkFields &f) {
    link->flags = f.flags;
    link->msgResponded = f.msgResponded;
    link->contAnswering = f.contAnswering;
    link->continuation = f.continuation;
    link->list = f.list;
    memcpy(link->storedPath, f.storedPath, sizeof(f.storedPath));
    link->pathCursor = link->storedPath + f.cursor;
}

// The current value of a recorded path, run as a query on the link. Returns the value length,
// or -1 when there is none (the query failed, or it would have answered in several pieces).
int valueOf(ScpiLink *link, const char *path, char *value) {
    char query[STATE_REPORTER_PATH_SIZE + 1];
    snprintf(query, sizeof(query), "%s?", path);
    // Room behind the answer for a handler that runs past its space.
    char answer[VALUE_SIZE + SCPI_ANS_OVERFLOW_RESERVE];
    answer[0] = 0;
    LinkFields saved = takeFields(link);
    int n = scpi_parser(link, query, answer, VALUE_SIZE, 0, SCPI_PARSER_IGNORE_ERRORS);
    bool pending = link->continuation != nullptr || scpi_exec_sendingBlockData(link);
    if (link->continuation) paramListParser_cancel(link);
    if (scpi_exec_sendingBlockData(link)) scpi_exec_cancelBlockDataSend(link);
    putFields(link, saved);
    if (pending || n <= 0 || n >= VALUE_SIZE) return -1;
    memcpy(value, answer, (size_t)n);
    value[n] = 0;
    return n;
}

}  // namespace

void state_reporter_init() {
    memset(&state_reporter, 0, sizeof(state_reporter));
}

void state_reporter_collectorClear() {
    state_reporter.collecting = 1;
    state_reporter.collector[0] = 0;
}

int state_reporter_collectorAppend(const char *node, int length) {
    if (!state_reporter.collecting) return 0;
    int used = collectorLength();
    if (length < 0 || used + 1 + length > STATE_REPORTER_PATH_MAX) {
        state_reporter.collector[0] = 0;
        state_reporter.collecting = 0;
        return KR_E_QUEUE_OVERFLOW;
    }
    state_reporter.collector[used] = ':';
    memcpy(state_reporter.collector + used + 1, node, (size_t)length);
    state_reporter.collector[used + 1 + length] = 0;
    return 0;
}

void state_reporter_collectorRemove() {
    char *last = strrchr(state_reporter.collector, ':');
    if (last) *last = 0;
}

int state_reporter_collectorMark() {
    return state_reporter.collecting ? collectorLength() : -1;
}

void state_reporter_collectorRestore(int mark) {
    if (mark < 0) {
        state_reporter.collecting = 0;
        state_reporter.collector[0] = 0;
        return;
    }
    state_reporter.collecting = 1;
    if (mark < collectorLength()) state_reporter.collector[mark] = 0;
}

void state_reporter_write() {
    StateReporter &s = state_reporter;
    if (s.collector[0] == 0) return;
    int slot = -1;
    int i = 0;
    for (; i < STATE_REPORTER_ENTRIES && s.entries[i].path[0]; i++) {
        if (strcmp(s.entries[i].path, s.collector) == 0) {
            slot = i;
            break;
        }
    }
    if (slot < 0 && i < STATE_REPORTER_ENTRIES) slot = i;
    if (slot < 0) {
        // Full: the least recently changed path gives way.
        uint32_t oldest = 0;
        for (int k = 0; k < STATE_REPORTER_ENTRIES; k++) {
            uint32_t age = s.changeCounter - s.entries[k].stamp;
            if (slot < 0 || age > oldest) {
                oldest = age;
                slot = k;
            }
        }
        snprintf(s.entries[slot].path, sizeof(s.entries[slot].path), "%.31s", s.collector);
    } else if (s.entries[slot].path[0] == 0) {
        snprintf(s.entries[slot].path, sizeof(s.entries[slot].path), "%.31s", s.collector);
    }
    s.entries[slot].stamp = s.changeCounter++;
    s.collector[0] = 0;
}

int state_reporter_assignConsumerNumber(ScpiLink *link) {
    int i = consumerOf(link);
    if (i >= 0) return i;
    for (i = 0; i < STATE_REPORTER_CONSUMERS; i++) {
        if (!state_reporter.consumers[i]) {
            state_reporter.consumers[i] = link;
            state_reporter.consumerStamps[i] = 0;
            return i;
        }
    }
    return -1;
}

int state_reporter_read(ScpiLink *link, char *buffer, int size, int *length, int index, int flags) {
    StateReporter &s = state_reporter;
    *length = 0;
    if (size > 0) buffer[0] = 0;
    int consumer = state_reporter_assignConsumerNumber(link);
    bool changedOnly = (flags & STATE_REPORTER_CHANGED) && consumer >= 0;
    int count = 0;
    for (int i = 0; i < STATE_REPORTER_ENTRIES && s.entries[i].path[0]; i++) {
        const StateReporterEntry &e = s.entries[i];
        if (changedOnly && (int32_t)(s.consumerStamps[consumer] - e.stamp) > 0) continue;
        if (count++ != index) continue;
        char value[VALUE_SIZE];
        int valueLen = -1;
        int pathLen = (int)strnlen(e.path, STATE_REPORTER_PATH_SIZE);
        if ((flags & STATE_REPORTER_VALUES) && pathLen <= STATE_REPORTER_PATH_MAX - 1)
            valueLen = valueOf(link, e.path, value);
        int total = pathLen + (valueLen >= 0 ? 1 + valueLen : 0);
        int n;
        if (total + 3 < size) {
            n = valueLen >= 0 ? snprintf(buffer, (size_t)size, "%s %s", e.path, value)
                              : snprintf(buffer, (size_t)size, "%s", e.path);
        } else if (size <= total + 2 - (valueLen >= 0 ? valueLen : 0)) {
            return KR_E_QUEUE_OVERFLOW;
        } else {
            n = snprintf(buffer, (size_t)size, "%s", e.path);
        }
        *length = n > 0 ? n : 0;
        return 0;
    }
    // The end of a complete read: everything up to now has been seen by this link.
    if (consumer >= 0) s.consumerStamps[consumer] = s.changeCounter;
    return 0;
}
