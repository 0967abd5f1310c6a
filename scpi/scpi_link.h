// A link is where one transport thread meets the main loop: the transport fills the command
// buffer and drains the answer buffer, the main loop executes what it finds and answers.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "scpi/scpi_block.h"

constexpr int SCPI_LINK_NAME_SIZE = 32;
constexpr int SCPI_LINK_PATH_SIZE = 32;
// The front panel's link: some commands are its alone, and it needs no update of its own changes.
constexpr const char *SCPI_LINK_NAME_FRONT_PANEL = "HC Front Panel";
// Room behind the answer capacity for the part of one response that runs past it (one list
// value is at most 132 bytes).
constexpr int SCPI_ANS_OVERFLOW_RESERVE = 132;

struct ScpiLink;
// Replaces the command tree for this link's units while a long parameter list is parsed.
typedef int (*ScpiContinuation)(ScpiLink *link, char *unit, char *out, int outSize, int partial);

// The parameter-list parser's position and counters, and what a generic list leaf configured.
struct ScpiListState {
    int32_t phase;
    int32_t index;  // next element a list query answers
    int32_t count;
    int32_t error;          // list status: 0 while all is well
    const void *operation;  // generic leaves: the configured device operation
    int32_t queryOnly;
    int32_t flags;  // settings queries: the state reporter's read flags
};

// What a link's clear was asked for by.
constexpr int32_t SCPI_CLEAR_DEVICE = 1;   // a device clear of the transport
constexpr int32_t SCPI_CLEAR_SESSION = 2;  // the client left

struct ScpiLink {
    char *cmdBuf;  // cmdSize + 1 bytes
    int32_t cmdSize;
    int32_t cmdFill;
    int32_t parseStart;
    int32_t scanPos;
    int32_t lastComma;
    int32_t blockStart;  // "#" that may open a block, -1 when none
    int32_t endMark;     // byte that carried the transport's end indicator, -1 when none
    char *ansBuf;        // ansSize + SCPI_ANS_OVERFLOW_RESERVE bytes
    int32_t ansSize;
    int32_t ansLen;
    int32_t ansRead;
    int32_t ansMore;
    int32_t ansOverflow;  // response bytes parked in the reserve (-1: a cut at the very end)
    char ansCutChar;
    pthread_mutex_t bufLock;  // every field above, clearPending and pendingEvent
    pthread_mutex_t handleLock;
    pthread_cond_t handleCond;
    int32_t handlePending;
    int32_t clearPending;  // SCPI_CLEAR_DEVICE or SCPI_CLEAR_SESSION, 0 none
    int32_t pendingEvent;
    char name[SCPI_LINK_NAME_SIZE + 1];
    ScpiBlockReceive blockReceive;
    ScpiBlockSend blockSend;
    ScpiContinuation continuation;
    ScpiListState list;
    char storedPath[SCPI_LINK_PATH_SIZE];
    char *pathCursor;
    uint32_t flags;  // bit 0: query echo
    ScpiLink *next;
    // Executor state across services: a program message whose response was cut before its
    // last unit ran is resumed once the parked bytes are out, so responses never interleave.
    int32_t msgResponded;  // the current program message has produced a response
    int32_t resumeEnd;     // end of the paused message's text, -1 when none is paused
    int32_t resumeNext;    // where scanning continues after the paused message
    // The installed continuation is answering (a list query): it gets the link's services
    // until it has cleared itself, and later units of its message wait for that.
    int32_t contAnswering;
    // The last unit was a query whose answer is empty: it still gives a response (an empty
    // line), so the client is not left waiting.
    int32_t emptyAnswer;
    // The text being executed was cut from a full buffer at a unit separator: its message goes
    // on with the next part (one response message, the path kept).
    int32_t msgContinues;
};

struct ScpiLinkList {
    ScpiLink *head;
};

constexpr uint32_t SCPI_LINK_FLAG_QUERY_ECHO = 1u << 0;

// Process-wide hand-shake objects (created by scpi_link_initAll).
extern pthread_mutex_t krcommDoMutex;
extern pthread_cond_t krcommDoCond;  // CLOCK_REALTIME
extern int krcommDo;
extern pthread_mutex_t deviceAccessMutex;

void scpi_link_initAll(ScpiLinkList *list);
// Allocates the buffers once at start-up. Returns 0 or -321.
int scpi_link_init(ScpiLinkList *list, ScpiLink *link, int cmdSize, int ansSize, const char *name);
void scpi_link_checkLinkList(const ScpiLinkList *list);
void scpi_link_destroy(ScpiLink *link);
// Drops all buffered input and output. Caller holds bufLock or owns the link alone.
int scpi_link_flush(ScpiLink *link);
int scpi_link_isQueryEchoEnabled(const ScpiLink *link);
void scpi_link_enableQueryEcho(ScpiLink *link);
void scpi_link_disableQueryEcho(ScpiLink *link);
// Transport side: ask the main loop to serve the link (null: just wake it) and wait for it.
void scpi_link_doHandle(ScpiLink *link);
void scpi_link_waitHandled(ScpiLink *link);

// A thread that waits for the other side of the hand-shake while that side does a short piece
// of work may first poll the flag for some microseconds: falling asleep and being woken again
// costs more than the work. A poll that runs out makes the next ones be left out, twice as many
// after each further one (up to 63), so a slow partner costs next to nothing.
struct ScpiSpinHistory {
    int32_t misses;  // polls in a row that ran out
    int32_t skip;    // polls still to be left out
};
// Polls *flag (read with acquire order) until it equals want, up to budgetNs. true when it did.
// With yield, the processor is offered to other threads between polls (for long polls, whose
// partner may need a processor this one holds).
bool scpi_link_spinUntil(const int32_t *flag, int32_t want, long budgetNs, ScpiSpinHistory *history,
                         bool yield = false);
// Whether polling can pay off here at all: not on a single processor.
bool scpi_link_mayPoll();
// Nanoseconds on the monotonic clock.
long long scpi_link_nowNs();

// Buffer pairs for transports: Open/Close and Peek/Clear take and release bufLock. Only
// memory work (or reading into the buffer) may happen between the two calls of a pair.
int krcommOpenCmd(ScpiLink *link, char **ptr);
void krcommEndCmd(ScpiLink *link, int n);
void krcommCloseCmd(ScpiLink *link, int n);
int krcommWriteCmd(ScpiLink *link, const char *data, int n);
int krcommPeekAns(ScpiLink *link, char **ptr, int *more);
int krcommClearAns(ScpiLink *link, int n, int *more);
void krcommEvent(ScpiLink *link, int event);
void krcommClear(ScpiLink *link);
// The client of the link has gone: what it left half done (a block transfer, a list, unread
// input and answers) ends on the main loop as for a device clear, without the clear's event,
// so the next client starts clean. Waits until it is done.
void krcommEndSession(ScpiLink *link);
