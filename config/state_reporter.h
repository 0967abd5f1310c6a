// Register of changed settings. The tree matcher collects the header path of every command;
// a successful setting records it with a sequence number. Each link can then ask which
// settings exist, or which changed since it last asked, optionally with their current values
// (obtained by running the path as a query on that link).
//
// Context: main loop only; the register has no lock.
#pragma once

#include <cstdint>

struct ScpiLink;

constexpr int STATE_REPORTER_ENTRIES = 100;
constexpr int STATE_REPORTER_PATH_SIZE = 32;
constexpr int STATE_REPORTER_PATH_MAX = 30;  // characters a collected path may have
constexpr int STATE_REPORTER_CONSUMERS = 64;

// Read flags: bit 0 with current values, bit 1 only what changed since this link last read.
constexpr int STATE_REPORTER_VALUES = 1;
constexpr int STATE_REPORTER_CHANGED = 2;

struct StateReporterEntry {
    char path[STATE_REPORTER_PATH_SIZE];
    uint32_t stamp;
};

struct StateReporter {
    StateReporterEntry entries[STATE_REPORTER_ENTRIES];  // an empty path ends the list
    char collector[STATE_REPORTER_PATH_SIZE];
    uint8_t collecting;
    ScpiLink *consumers[STATE_REPORTER_CONSUMERS];
    uint32_t consumerStamps[STATE_REPORTER_CONSUMERS];
    uint32_t changeCounter;
};
extern StateReporter state_reporter;

void state_reporter_init();
void state_reporter_collectorClear();
// Appends ":" and length characters of node. Returns 0, or -350 when the path would exceed
// 30 characters (collecting stops and the text is emptied).
int state_reporter_collectorAppend(const char *node, int length);
// Drops the last ":"-separated component.
void state_reporter_collectorRemove();
// The collector's length, or -1 when it is not collecting; restoring a mark undoes what a
// failed match attempt appended.
int state_reporter_collectorMark();
void state_reporter_collectorRestore(int mark);
// Records the collected path (if any) as changed now and empties the collector.
void state_reporter_write();
// The link's consumer index 0-63, or -1 when all are taken.
int state_reporter_assignConsumerNumber(ScpiLink *link);
// Item number index of the link's list: the path, with flags bit 0 followed by " " and its
// current value. An empty item (length 0, result 0) ends the list and, read in changed-only
// mode, marks everything as seen by the link. Returns 0, or -350 when the item does not fit.
int state_reporter_read(ScpiLink *link, char *buffer, int size, int *length, int index, int flags);
