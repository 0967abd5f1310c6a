#include "scpi/scpi_execute.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/kr_event.h"
#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "device/device.h"
#include "scpi/anritsu.h"
#include "scpi/paramListParser.h"
#include "scpi/scpi_errorcodes.h"

ScpiParserContext *parser = nullptr;

namespace {

struct timespec abstime = {0, 0};  // deadline of the next periodic tick
uint8_t pdivCounter = 0;

// Whether a link's service in the current pass left an answer for its transport, and how long
// the loop then polls for the next request: a client that reads the answer and sends the next
// command at once needs some tens of microseconds, on a loaded machine over a hundred (a poll
// that runs out only now and then would leave round trips at the mercy of two wake-ups). A
// service that found the command buffer full (a client streaming commands) is followed by
// the next buffer as soon as the transport has read it from its socket. Both polls offer the
// processor to the client between looks.
bool answeredThisPass = false;
bool streamedThisPass = false;
constexpr long mainLoopAnswerSpinNs = 200000;
constexpr long mainLoopStreamSpinNs = 50000;
ScpiSpinHistory mainLoopSpin = {0, 0};
ScpiSpinHistory mainLoopStreamSpin = {0, 0};

Device *parserDevice() {
    return parser ? parser->device : nullptr;
}

enum class MessageEnd { None, LineFeed, EndMark, Block };

// bufLock held. Scans from scanPos for the end of a program message; control bytes other
// than line feed become blanks. On success *end is the index just past the message text
// (the terminator itself, or the byte after a block header) and scanPos is past the
// consumed terminator.
MessageEnd scanForMessageEnd(ScpiLink *link, int *end) {
    char *buf = link->cmdBuf;
    for (int i = link->scanPos; i < link->cmdFill; i++) {
        unsigned char c = (unsigned char)buf[i];
        if (c < 0x21 && c != '\n') buf[i] = ' ';
        if (i == link->endMark) {
            // The end-marked byte belongs to the message.
            *end = i + 1;
            link->scanPos = i + 1;
            link->blockStart = -1;
            return MessageEnd::EndMark;
        }
        if (c == ',') link->lastComma = i;
        if (c == '#' && link->blockStart < 0) link->blockStart = i;
        if (link->blockStart >= 0) {
            int h = krscpi_isArbitraryBlock(buf + link->blockStart, i - link->blockStart + 1);
            if (h > 0) {
                *end = link->blockStart + h;
                link->scanPos = *end;
                link->blockStart = -1;
                return MessageEnd::Block;
            }
            if (h == -1) continue;
            link->blockStart = -1;
        }
        if (c == '\n') {
            *end = i;
            link->scanPos = i + 1;
            return MessageEnd::LineFeed;
        }
    }
    link->scanPos = link->cmdFill;
    return MessageEnd::None;
}

// The last unit separator outside quotes, before a block that may be open; -1 when none.
int lastUnitSeparator(const ScpiLink *link) {
    int limit = link->blockStart >= 0 ? link->blockStart : link->cmdFill;
    char quote = 0;
    int last = -1;
    for (int i = link->parseStart; i < limit; i++) {
        char c = link->cmdBuf[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            last = i;
        }
    }
    return last;
}

// bufLock held. Device clear (with its event) or a client gone: end of block transfers, all
// buffered data dropped.
void applyClear(ScpiLink *link) {
    const bool device = link->clearPending == SCPI_CLEAR_DEVICE;
    pthread_mutex_unlock(&link->bufLock);
    if (device) kr_event_handle(link, KREV_CLEAR);
    if (scpi_exec_receivingBlockData(link))
        scpi_exec_cancelBlockDataReceive(link);
    else if (scpi_exec_sendingBlockData(link))
        scpi_exec_cancelBlockDataSend(link);
    // A list in progress ends here too: its remaining pieces were flushed with the input.
    paramListParser_cancel(link);
    link->contAnswering = 0;
    pthread_mutex_lock(&link->bufLock);
    scpi_link_flush(link);
    link->msgContinues = 0;
    link->storedPath[0] = 0;
    link->pathCursor = link->storedPath;
    link->clearPending = 0;
}

// bufLock not held.
void applyPendingEvent(ScpiLink *link) {
    pthread_mutex_lock(&link->bufLock);
    int event = link->pendingEvent;
    link->pendingEvent = 0;
    pthread_mutex_unlock(&link->bufLock);
    if (event) kr_event_handle(link, event);
}

char *parkedTail(ScpiLink *link) {
    return link->ansBuf + link->ansSize + SCPI_ANS_OVERFLOW_RESERVE - link->ansOverflow;
}

// bufLock held. Drops what the transport has taken and restores parked response bytes
// as far as they fit below the capacity.
void tidyAnswer(ScpiLink *link) {
    if (link->ansRead > 0) {
        int left = link->ansLen - link->ansRead;
        memmove(link->ansBuf, link->ansBuf + link->ansRead, (size_t)(left > 0 ? left : 0));
        link->ansLen = left > 0 ? left : 0;
    }
    link->ansRead = 0;
    if (link->ansOverflow > 0) {
        int room = link->ansSize - 1 - link->ansLen;
        int n = link->ansOverflow < room ? link->ansOverflow : room;
        if (n > 0) {
            memmove(link->ansBuf + link->ansLen, parkedTail(link), (size_t)n);
            link->ansLen += n;
            link->ansOverflow -= n;
        }
    }
    link->ansBuf[link->ansLen] = 0;
}

// Parks bytes behind the current tail (right-aligned at the end of the reserve).
void parkBytes(ScpiLink *link, const char *bytes, int n) {
    int maxTail = SCPI_ANS_OVERFLOW_RESERVE;
    if (link->ansOverflow + n > maxTail) n = maxTail - link->ansOverflow;  // handler overran
    if (n <= 0) return;
    char *oldTail = parkedTail(link);
    memmove(oldTail - n, oldTail, (size_t)link->ansOverflow);
    link->ansOverflow += n;
    memmove(parkedTail(link) + link->ansOverflow - n, bytes, (size_t)n);
}

// Ends the response message of a program message with its line feed.
void finishResponse(ScpiLink *link) {
    if (!link->msgResponded) return;
    link->msgResponded = 0;
    if (link->ansOverflow > 0) {
        parkBytes(link, "\n", 1);
    } else {
        link->ansBuf[link->ansLen++] = '\n';
        link->ansBuf[link->ansLen] = 0;
    }
}

bool isBlank(const char *s) {
    for (; *s; s++)
        if (*s != ' ') return false;
    return true;
}

// Length of the unit starting at text (up to but excluding its ';' or line feed); double
// and single quoted strings may contain the separators.
int unitLength(const char *text, int len) {
    char quote = 0;
    for (int i = 0; i < len; i++) {
        char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '"' || c == '\'')
            quote = c;
        else if (c == ';' || c == '\n' || c == 0)
            return i;
    }
    return len;
}

// A unit gets room for an ordinary response: when the answer is already nearly full, the
// rest of the message waits until the transport has taken it.
bool answerNearlyFull(const ScpiLink *link) {
    int minSpace = link->ansSize / 2 < SCPI_ANS_OVERFLOW_RESERVE ? link->ansSize / 2
                                                                 : SCPI_ANS_OVERFLOW_RESERVE;
    return link->ansLen > 0 && link->ansSize - 3 - link->ansLen < minSpace;
}

// Runs one unit and adds its response to the answer. Returns false when the response had
// to be cut (the answer buffer is full until the transport has taken it).
bool runUnit(ScpiLink *link, char *unit, int partial, bool piece = false) {
    if (!link->continuation && isBlank(unit)) return true;
    // A piece continues the response before it; a new unit's response is joined by ";".
    int prefix = link->msgResponded && !piece ? 1 : 0;
    int space = link->ansSize - 2 - link->ansLen - prefix;
    char *out = link->ansBuf + link->ansLen + prefix;
    if (space < 0) space = 0;
    out[0] = 0;
    ScpiContinuation before = link->continuation;
    bool sending = scpi_exec_sendingBlockData(link);
    int r = link->continuation ? link->continuation(link, unit, out, space, partial)
                               : scpi_parser(link, unit, out, space, partial, 0);
    if (!sending && scpi_exec_sendingBlockData(link)) {
        // A block answer: it is this unit's response, and what follows waits until it is out.
        if (prefix) link->ansBuf[link->ansLen++] = ';';
        link->ansBuf[link->ansLen] = 0;
        link->msgResponded = 1;
        return false;
    }
    if (r == 1 && out[0] == 0) r = 0;
    // A continuation installed by this unit that answered is a list response in progress;
    // one installed without answering takes the further pieces of its message.
    if (!link->continuation)
        link->contAnswering = 0;
    else if (link->continuation != before)
        link->contAnswering = r > 0 ? 1 : -1;
    if (r <= 0 && link->emptyAnswer && !link->continuation) {
        link->emptyAnswer = 0;
        if (prefix) link->ansBuf[link->ansLen++] = ';';
        link->ansBuf[link->ansLen] = 0;
        link->msgResponded = 1;
        return true;
    }
    if (r <= 0) return true;
    if (prefix) link->ansBuf[link->ansLen] = ';';
    link->msgResponded = 1;
    if (r <= space) {
        link->ansLen += prefix + r;
        link->ansBuf[link->ansLen] = 0;
        return true;
    }
    // Cut: what fits goes out now, the rest waits in the reserve.
    link->ansLen += prefix + space;
    link->ansCutChar = out[space];
    char tail[SCPI_ANS_OVERFLOW_RESERVE];
    int n = r - space;
    if (n > SCPI_ANS_OVERFLOW_RESERVE - 1) n = SCPI_ANS_OVERFLOW_RESERVE - 1;
    memcpy(tail, out + space, (size_t)n);
    link->ansBuf[link->ansLen] = 0;
    parkBytes(link, tail, n);
    return false;
}

// The next piece of an open list response. Its response message ends with the list, unless
// later units of the message wait for it.
int runContinuationPiece(ScpiLink *link) {
    static char none[1];
    int before = link->ansLen;
    scpi_parser_prepare();
    none[0] = 0;
    runUnit(link, none, 1, true);
    scpi_parser_execute();
    if (!link->continuation && link->resumeEnd < 0) {
        finishResponse(link);
        link->storedPath[0] = 0;
        link->pathCursor = link->storedPath;
    }
    return link->ansLen - before;
}

}  // namespace

int scpi_execute_linkProgramMessage(ScpiLink *link, int end, int partial) {
    // Units are copied out: the transport may append to the command buffer meanwhile, so the
    // executor never writes into it while bufLock is released.
    static char unit[SCPI_MAX_UNIT + 1];
    int before = link->ansLen;
    scpi_parser_prepare();
    const char *text = link->cmdBuf;
    int pos = link->parseStart;
    bool paused = false;
    if (pos >= end && link->continuation) {
        // A due call: the continuation produces its next piece; the message it belongs to is
        // still open.
        unit[0] = 0;
        runUnit(link, unit, 1, true);
    }
    while (pos < end) {
        if (answerNearlyFull(link)) {
            paused = true;
            break;
        }
        int len = unitLength(text + pos, end - pos);
        int copy = len < SCPI_MAX_UNIT ? len : SCPI_MAX_UNIT;
        memcpy(unit, text + pos, (size_t)copy);
        unit[copy] = 0;
        bool fits = runUnit(link, unit, partial);
        pos += len;
        if (pos < end) pos++;  // the separator
        // The rest of the message runs once the answer is out, and after an open list
        // response only once that response is complete.
        if ((!fits || (link->continuation && link->contAnswering == 1)) && pos < end) {
            paused = true;
            break;
        }
    }
    scpi_parser_execute();
    link->parseStart = pos;
    // The response terminator follows a block answer, so the message stays open meanwhile.
    if (scpi_exec_sendingBlockData(link)) paused = true;
    if (paused) {
        link->resumeEnd = end;
        link->ansMore = 1;
    } else {
        link->resumeEnd = -1;
        // A continuation keeps its response message open until it has cleared itself; a
        // message cut at a unit separator goes on with the next part, path and all.
        if (!link->continuation && !link->msgContinues) finishResponse(link);
        if (!link->msgContinues) {
            link->storedPath[0] = 0;
            link->pathCursor = link->storedPath;
        }
    }
    return link->ansLen - before;
}

namespace {

// bufLock held. One service: clear, answer tidying, then block transfers and program
// messages until nothing more can be done; finally the executed input is removed.
// One service step of a link: not its turn, or served and the loop goes on, or the link
// waits (for room, input or the transport).
enum class Step { NotMine, Again, Done };

Step parkedAnswer(ScpiLink *link) {
    if (link->ansOverflow <= 0) return Step::NotMine;
    link->ansMore = 1;  // parked bytes first, nothing new until they are out
    return Step::Done;
}

// A list response in progress: its next piece, once there is room for it. Nothing else runs
// on the link until it is complete.
Step listPiece(ScpiLink *link) {
    if (!link->continuation || link->contAnswering != 1) return Step::NotMine;
    if (answerNearlyFull(link)) {
        link->ansMore = 1;
        return Step::Done;
    }
    pthread_mutex_unlock(&link->bufLock);
    applyPendingEvent(link);
    int added = runContinuationPiece(link);
    pthread_mutex_lock(&link->bufLock);
    if (link->ansOverflow > 0 || link->continuation) {
        if (added > 0 || link->ansOverflow > 0) link->ansMore = 1;
        return Step::Done;
    }
    return Step::Again;  // the list is complete: the rest of its message, then new input
}

Step blockSend(ScpiLink *link) {
    if (!scpi_exec_sendingBlockData(link)) return Step::NotMine;
    int room = link->ansSize - link->ansLen;
    if (room <= 0) {
        link->ansMore = 1;
        return Step::Done;
    }
    pthread_mutex_unlock(&link->bufLock);
    int n = scpi_exec_handleBlockDataSend(link, link->ansBuf + link->ansLen, room);
    pthread_mutex_lock(&link->bufLock);
    if (n <= 0) {
        printd("scpi_execute_link(): chunk is too small, returning to comm layer\n");
        link->ansMore = 1;
        return Step::Done;
    }
    link->ansLen += n;
    return Step::Again;
}

// A message paused for its answer's room goes on where it stopped.
Step pausedMessage(ScpiLink *link) {
    if (link->resumeEnd < 0) return Step::NotMine;
    int end = link->resumeEnd;
    pthread_mutex_unlock(&link->bufLock);
    scpi_execute_linkProgramMessage(link, end, 0);
    pthread_mutex_lock(&link->bufLock);
    if (link->resumeEnd >= 0 && !scpi_exec_sendingBlockData(link)) return Step::Done;
    if (link->resumeEnd >= 0) return Step::Again;  // a block answer goes out first
    link->parseStart = link->resumeNext;
    return Step::Again;
}

Step blockReceive(ScpiLink *link) {
    if (!scpi_exec_receivingBlockData(link)) return Step::NotMine;
    int avail = link->cmdFill - link->scanPos;
    if (avail <= 0) return Step::Done;
    int start = link->scanPos;
    pthread_mutex_unlock(&link->bufLock);
    int used = scpi_exec_handleBlockDataReceive(link, link->cmdBuf + start, avail);
    pthread_mutex_lock(&link->bufLock);
    if (used <= 0) return Step::Done;
    link->scanPos += used;
    link->parseStart = link->scanPos;
    return Step::Again;
}

// An open response of a continuation installed from outside the tree gets its next piece
// before anything new is read, once there is room for it.
Step openContinuation(ScpiLink *link) {
    if (!link->continuation || link->contAnswering != 0 || !link->msgResponded)
        return Step::NotMine;
    if (answerNearlyFull(link)) {
        link->ansMore = 1;
        return Step::Done;
    }
    pthread_mutex_unlock(&link->bufLock);
    applyPendingEvent(link);
    int added = scpi_execute_linkProgramMessage(link, link->parseStart, 0);
    pthread_mutex_lock(&link->bufLock);
    if (link->resumeEnd >= 0 || link->ansOverflow > 0 || link->continuation) {
        if (added > 0 || link->ansOverflow > 0) link->ansMore = 1;
        return Step::Done;
    }
    return Step::Again;  // the list is complete: go on with the input
}

// A full command buffer without a message end: where to cut it. The end to execute to, and
// whether the cut is between units (the message goes on) or inside one (partial).
struct Cut {
    int end;
    int partial;
    bool separator;
};
Cut cutFullBuffer(ScpiLink *link) {
    printd("cbufFull\n");
    Cut c{0, 0, false};
    int separator = lastUnitSeparator(link);
    if (separator > link->parseStart) {
        // Whole units first: the rest of the message follows with the next input.
        printd(
            "scpi_execute_link(): buffer full, execute until last program message unit "
            "separator ';'\n");
        c.end = separator;
        link->scanPos = separator + 1;
        c.separator = true;
    } else if (link->lastComma >= link->parseStart && link->lastComma < link->cmdFill &&
               link->cmdBuf[link->lastComma] == ',') {
        printd(
            "scpi_execute_link(): buffer full, execute until last program data "
            "separator ','\n");
        c.end = link->lastComma;
        link->scanPos = link->lastComma + 1;
        c.partial = 1;
    } else {
        int t = ANRITSU_findLastDataTerminator(link->cmdBuf, link->cmdFill);
        if (t > 0) {
            printd(
                "scpi_execute_link(): buffer full, execute until (including) last "
                "Anritsu data terminator\n");
            c.end = t;
            link->scanPos = t;
        } else {
            printd("scpi_execute_link(): buffer full, continue parsing\n");
            c.end = link->cmdFill;
            link->scanPos = link->cmdFill;
        }
        c.partial = 1;
    }
    link->lastComma = -1;
    link->blockStart = -1;
    return c;
}

// New input: the next complete message (or a cut of a full buffer, or the next piece of a
// continuation that waits for its input) executes.
Step nextMessage(ScpiLink *link) {
    int end = 0;
    MessageEnd kind = scanForMessageEnd(link, &end);
    Cut cut{end, 0, false};
    if (kind == MessageEnd::None && link->parseStart == 0 && link->cmdFill == link->cmdSize)
        cut = cutFullBuffer(link);
    end = cut.end;
    int partial = cut.partial;
    bool separatorCut = cut.separator;
    if (kind != MessageEnd::None || partial || separatorCut) link->msgContinues = separatorCut;
    // The pending event is taken under the lock already held for the scan.
    int event = link->pendingEvent;
    link->pendingEvent = 0;
    pthread_mutex_unlock(&link->bufLock);
    if (event) kr_event_handle(link, event);

    bool due = kind != MessageEnd::None || partial || separatorCut;
    bool continuationDue =
        !due && link->continuation && link->parseStart == link->cmdFill && link->ansLen == 0;
    if (!due && !continuationDue) {
        pthread_mutex_lock(&link->bufLock);
        return Step::Done;
    }
    if (kind == MessageEnd::EndMark) {
        // The transport's end indicator is spent with this message.
        pthread_mutex_lock(&link->bufLock);
        link->endMark = -1;
        pthread_mutex_unlock(&link->bufLock);
    }
    if (continuationDue) end = link->parseStart;
    int next = kind == MessageEnd::Block ? end : link->scanPos;
    link->resumeNext = next;
    int added = scpi_execute_linkProgramMessage(link, end, partial);
    pthread_mutex_lock(&link->bufLock);
    // Paused: the rest runs on a later service, after a block answer at once.
    if (link->resumeEnd >= 0 && !scpi_exec_sendingBlockData(link)) return Step::Done;
    if (link->resumeEnd >= 0) return Step::Again;
    link->parseStart = next;
    if (continuationDue) {
        // A piece was produced: come back for the next one. Nothing produced means the
        // continuation waits for input, and the transport must go back to reading it.
        if (added > 0) link->ansMore = 1;
        return Step::Done;
    }
    if (link->ansOverflow > 0) {
        link->ansMore = 1;
        return Step::Done;
    }
    if (link->clearPending) {
        applyClear(link);
        return Step::Done;
    }
    return Step::Again;
}

// In the order they take their turn; the first that is not NotMine decides.
Step (*const serviceSteps[])(ScpiLink *) = {
    parkedAnswer, listPiece, blockSend, pausedMessage, blockReceive, openContinuation, nextMessage,
};

// Removes what has been executed from the command buffer, moving every position with it.
void compactCommands(ScpiLink *link) {
    int done = link->parseStart;
    if (done > 0) {
        int left = link->cmdFill - done;
        memmove(link->cmdBuf, link->cmdBuf + done, (size_t)(left > 0 ? left : 0));
        link->cmdFill -= done;
        link->scanPos -= done;
        if (link->scanPos < 0) link->scanPos = 0;
        if (link->endMark >= 0) link->endMark = link->endMark >= done ? link->endMark - done : -1;
        if (link->lastComma >= 0)
            link->lastComma = link->lastComma >= done ? link->lastComma - done : -1;
        if (link->blockStart >= 0)
            link->blockStart = link->blockStart >= done ? link->blockStart - done : -1;
        if (link->resumeEnd >= 0) {
            link->resumeEnd -= done;
            link->resumeNext -= done;
        }
    }
    link->cmdBuf[link->cmdFill] = 0;
}

void serveLink(ScpiLink *link) {
    if (link->clearPending) {
        applyClear(link);  // the transport waiting in krcommClear goes on at once
        return;
    }
    tidyAnswer(link);
    link->ansMore = 0;
    link->parseStart = 0;
    pthread_mutex_unlock(&link->bufLock);
    applyPendingEvent(link);
    pthread_mutex_lock(&link->bufLock);

    for (Step last = Step::Again; last == Step::Again;) {
        for (auto step : serviceSteps)
            if ((last = step(link)) != Step::NotMine) break;
    }
    compactCommands(link);
    if (scpi_exec_sendingBlockData(link)) link->ansMore = 1;
}

}  // namespace

void scpi_execute_link(ScpiLink *link) {
    pthread_mutex_lock(&link->handleLock);
    int pending = link->handlePending;
    pthread_mutex_unlock(&link->handleLock);
    if (!pending) return;

    pthread_mutex_lock(&link->bufLock);
    if (link->cmdFill == link->cmdSize) streamedThisPass = true;
    serveLink(link);
    link->parseStart = 0;
    if (link->ansLen > 0) answeredThisPass = true;
    pthread_mutex_unlock(&link->bufLock);

    pthread_mutex_lock(&link->handleLock);
    // Release order: a transport that polls the flag instead of waiting sees the whole service.
    __atomic_store_n(&link->handlePending, 0, __ATOMIC_RELEASE);
    pthread_cond_broadcast(&link->handleCond);
    pthread_mutex_unlock(&link->handleLock);
}

void scpi_execute(ScpiLinkList *list, Device *device, int periodMs) {
    // After an answer the next request usually follows within microseconds (the transport sends
    // the answer, its client replies): polling for it briefly saves falling asleep and being
    // woken. After any other pass the loop sleeps at once, so an idle instrument never polls.
    if (scpi_link_mayPoll()) {
        if (streamedThisPass)
            scpi_link_spinUntil(&krcommDo, 1, mainLoopStreamSpinNs, &mainLoopStreamSpin, true);
        else if (answeredThisPass)
            scpi_link_spinUntil(&krcommDo, 1, mainLoopAnswerSpinNs, &mainLoopSpin, true);
    }
    answeredThisPass = streamedThisPass = false;
    pthread_mutex_lock(&krcommDoMutex);
    while (!krcommDo) {
        if (pthread_cond_timedwait(&krcommDoCond, &krcommDoMutex, &abstime) == ETIMEDOUT) break;
    }
    __atomic_store_n(&krcommDo, 0, __ATOMIC_RELAXED);
    pthread_mutex_unlock(&krcommDoMutex);

    pthread_mutex_lock(&deviceAccessMutex);
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec > abstime.tv_sec ||
        (now.tv_sec == abstime.tv_sec && now.tv_nsec >= abstime.tv_nsec)) {
        uint8_t old = pdivCounter++;
        uint32_t risen = (uint32_t)(pdivCounter & (uint8_t)~old);
        if (DEVICE_ISREG(periodic)) Device_periodic(device, risen);
        krstuff_executeDeferredCalls(periodMs);
        abstime.tv_sec = now.tv_sec + periodMs / 1000;
        abstime.tv_nsec = now.tv_nsec + (long)(periodMs % 1000) * 1000000L;
        if (abstime.tv_nsec >= 1000000000L) {
            abstime.tv_sec++;
            abstime.tv_nsec -= 1000000000L;
        }
    }
    for (ScpiLink *link = list->head; link; link = link->next)
        scpi_execute_link(link);
    pthread_mutex_unlock(&deviceAccessMutex);
}

void scpi_execute_serveLinkHere(ScpiLink *link) {
    scpi_link_doHandle(link);
    pthread_mutex_lock(&deviceAccessMutex);
    scpi_execute_link(link);
    pthread_mutex_unlock(&deviceAccessMutex);
    scpi_link_waitHandled(link);
}

int scpi_execute_commandFile(ScpiLink *link, const char *path) {
    FILE *f = fopen(KrPath(path), "r");
    if (!f) return 0;
    for (;;) {
        char *ptr;
        int room = krcommOpenCmd(link, &ptr);
        int n = 0;
        bool eof = false;
        if (room > 0) {
            // One line, or as much of it as fits; the rest comes with the next read.
            while (n < room) {
                int c = fgetc(f);
                if (c == EOF) {
                    eof = true;
                    break;
                }
                ptr[n++] = (char)c;
                if (c == '\n') break;
            }
        }
        krcommCloseCmd(link, n);
        int more;
        do {
            scpi_execute_serveLinkHere(link);
            char *ans;
            int len = krcommPeekAns(link, &ans, &more);
            if (len > 0) fwrite(ans, 1, (size_t)len, stdout);
            krcommClearAns(link, len, &more);
        } while (more);
        if (eof) break;
    }
    fflush(stdout);
    fclose(f);
    return 0;
}

void scpi_executeNullLinkEvent(int event) {
    pthread_mutex_lock(&deviceAccessMutex);
    kr_event_handle(nullptr, event);
    pthread_mutex_unlock(&deviceAccessMutex);
}

void openSynchronousDeviceAccess() {
    pthread_mutex_lock(&deviceAccessMutex);
}
void closeSynchronousDeviceAccess() {
    pthread_mutex_unlock(&deviceAccessMutex);
}
int tryOpenSynchronousDeviceAccess() {
    return pthread_mutex_trylock(&deviceAccessMutex) == 0 ? 1 : 0;
}

void scpi_parser_init(ScpiParserContext *context) {
    parser = context;
    scpi_initErrorQueue(&context->errorQueue);
    ANRITSU_init(&anritsu, context->device);
}

void scpi_parser_prepare() {
    if (parser && DEVICE_ISREG(prepare)) scpi_parser_error(Device_prepare(parserDevice()));
}

void scpi_parser_execute() {
    if (parser && DEVICE_ISREG(execute)) scpi_parser_error(Device_execute(parserDevice()));
}

void scpi_parser_error(int code) {
    if (parser && code) scpi_pushErrorQueue(code, &parser->errorQueue);
}

int scpi_isEnumElement(int (*fn)(Device *)) {
    if (!fn ||
        reinterpret_cast<void *>(fn) == reinterpret_cast<void *>(&Device_fallback<int, Device *>))
        return 0;
    return fn(parserDevice());
}

int scpi_setEnumElement(int (*fn)(Device *)) {
    if (!fn ||
        reinterpret_cast<void *>(fn) == reinterpret_cast<void *>(&Device_fallback<int, Device *>))
        return KR_E_UNDEFINED_HEADER;
    return fn(parserDevice());
}
