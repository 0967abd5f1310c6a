#include "scpi/scpi_link.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <sched.h>
#include <unistd.h>

#include "config/state_reporter.h"
#include "core/printd.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_execute.h"

pthread_mutex_t krcommDoMutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t krcommDoCond = PTHREAD_COND_INITIALIZER;
int krcommDo = 0;
pthread_mutex_t deviceAccessMutex = PTHREAD_MUTEX_INITIALIZER;

void scpi_link_initAll(ScpiLinkList *list) {
    list->head = nullptr;
    pthread_mutex_init(&krcommDoMutex, nullptr);
    pthread_mutex_init(&deviceAccessMutex, nullptr);
    // The main loop's timed wait uses absolute CLOCK_REALTIME deadlines.
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_REALTIME);
    pthread_cond_init(&krcommDoCond, &attr);
    pthread_condattr_destroy(&attr);
    krcommDo = 0;
    state_reporter_init();
}

int scpi_link_init(ScpiLinkList *list, ScpiLink *link, int cmdSize, int ansSize, const char *name) {
    memset(link, 0, sizeof(*link));
    link->cmdBuf = static_cast<char *>(calloc((size_t)cmdSize + 1, 1));
    link->ansBuf = static_cast<char *>(calloc((size_t)ansSize + SCPI_ANS_OVERFLOW_RESERVE, 1));
    if (!link->cmdBuf || !link->ansBuf) {
        free(link->cmdBuf);
        free(link->ansBuf);
        link->cmdBuf = link->ansBuf = nullptr;
        return KR_E_OUT_OF_MEMORY;
    }
    link->cmdSize = cmdSize;
    link->ansSize = ansSize;
    link->blockStart = -1;
    link->endMark = -1;
    link->lastComma = -1;
    link->resumeEnd = -1;
    strncpy(link->name, name ? name : "", SCPI_LINK_NAME_SIZE);
    link->name[SCPI_LINK_NAME_SIZE] = 0;
    pthread_mutex_init(&link->bufLock, nullptr);
    pthread_mutex_init(&link->handleLock, nullptr);
    pthread_cond_init(&link->handleCond, nullptr);
    link->pathCursor = link->storedPath;
    scpi_exec_initBlockDataConfig(&link->blockReceive);
    scpi_exec_initBlockDataConfig(&link->blockSend);
    link->next = nullptr;
    ScpiLink **tail = &list->head;
    while (*tail)
        tail = &(*tail)->next;
    *tail = link;
    return 0;
}

void scpi_link_checkLinkList(const ScpiLinkList *list) {
    for (const ScpiLink *l = list->head; l; l = l->next)
        printf("    at %p link name: <%s>\n", (const void *)l, l->name);
}

void scpi_link_destroy(ScpiLink *link) {
    free(link->cmdBuf);
    free(link->ansBuf);
    link->cmdBuf = link->ansBuf = nullptr;
}

int scpi_link_flush(ScpiLink *link) {
    link->cmdFill = 0;
    link->parseStart = 0;
    link->scanPos = 0;
    link->ansLen = 0;
    link->ansRead = 0;
    // Parked overflow belongs to the discarded answer; a later service must not revive it.
    link->ansOverflow = 0;
    link->ansMore = 0;
    link->blockStart = -1;
    link->endMark = -1;
    link->lastComma = -1;
    link->msgResponded = 0;
    link->resumeEnd = -1;
    return 1;
}

int scpi_link_isQueryEchoEnabled(const ScpiLink *link) {
    return (link->flags & SCPI_LINK_FLAG_QUERY_ECHO) ? 1 : 0;
}
void scpi_link_enableQueryEcho(ScpiLink *link) {
    link->flags |= SCPI_LINK_FLAG_QUERY_ECHO;
}
void scpi_link_disableQueryEcho(ScpiLink *link) {
    link->flags &= ~SCPI_LINK_FLAG_QUERY_ECHO;
}

long long scpi_link_nowNs() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

namespace {

inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__) || defined(__arm__)
    asm volatile("yield" ::: "memory");
#endif
}

// How long a transport polls for the main loop to serve its link: after it took an answer
// (a query is served in a few microseconds), and after it filled the command buffer (a client
// streaming commands; a full buffer is some sixty short commands, served in tens of
// microseconds, while the transport has nothing else to do: the next bytes are waiting in the
// socket). Any other wait sleeps at once.
constexpr long transportSpinNs = 15000;
constexpr long transportStreamSpinNs = 200000;
thread_local ScpiSpinHistory transportSpin = {0, 0};
thread_local ScpiSpinHistory transportStreamSpin = {0, 0};
// An answer was taken, or the command buffer filled, since the transport last waited.
thread_local bool answerTaken = false;
thread_local bool bufferFilled = false;

}  // namespace

bool scpi_link_mayPoll() {
    // With one processor the partner needs the very processor a poll would hold.
    static const bool several = sysconf(_SC_NPROCESSORS_ONLN) > 1;
    return several;
}

bool scpi_link_spinUntil(const int32_t *flag, int32_t want, long budgetNs, ScpiSpinHistory *history,
                         bool yield) {
    if (history->skip > 0) {
        history->skip--;
        return __atomic_load_n(flag, __ATOMIC_ACQUIRE) == want;
    }
    long long start = scpi_link_nowNs();
    do {
        // The clock is read only now and then; polling the flag is what must be quick.
        for (int i = 0; i < 32; i++) {
            if (__atomic_load_n(flag, __ATOMIC_ACQUIRE) == want) {
                history->misses = 0;
                return true;
            }
            cpuRelax();
        }
        if (yield) sched_yield();
    } while (scpi_link_nowNs() - start < budgetNs);
    if (history->misses < 6) history->misses++;
    history->skip = (1 << history->misses) - 1;
    return false;
}

// Transport threads.
void scpi_link_doHandle(ScpiLink *link) {
    if (link) {
        pthread_mutex_lock(&link->handleLock);
        __atomic_store_n(&link->handlePending, 1, __ATOMIC_RELEASE);
        pthread_mutex_unlock(&link->handleLock);
    }
    pthread_mutex_lock(&krcommDoMutex);
    __atomic_store_n(&krcommDo, 1, __ATOMIC_RELEASE);
    pthread_cond_signal(&krcommDoCond);
    pthread_mutex_unlock(&krcommDoMutex);
}

// Transport threads. Waits until the main loop has served the link; the loop guards against
// spurious wake-ups, which a single wait would mistake for the service.
void scpi_link_waitHandled(ScpiLink *link) {
    bool polling = answerTaken, streaming = bufferFilled;
    answerTaken = bufferFilled = false;
    // The flag is cleared with release order after the service, so seeing it cleared is as good
    // as the wait below.
    if (scpi_link_mayPoll()) {
        if (streaming && scpi_link_spinUntil(&link->handlePending, 0, transportStreamSpinNs,
                                             &transportStreamSpin, true))
            return;
        if (!streaming && polling &&
            scpi_link_spinUntil(&link->handlePending, 0, transportSpinNs, &transportSpin))
            return;
    }
    pthread_mutex_lock(&link->handleLock);
    while (link->handlePending)
        pthread_cond_wait(&link->handleCond, &link->handleLock);
    pthread_mutex_unlock(&link->handleLock);
}

// Takes bufLock; krcommCloseCmd releases it.
int krcommOpenCmd(ScpiLink *link, char **ptr) {
    pthread_mutex_lock(&link->bufLock);
    *ptr = link->cmdBuf + link->cmdFill;
    if (link->endMark != -1) return 0;
    return link->cmdSize - link->cmdFill;
}

// Between krcommOpenCmd and krcommCloseCmd.
void krcommEndCmd(ScpiLink *link, int n) {
    if (n > 0) link->endMark = link->cmdFill + n - 1;
}

void krcommCloseCmd(ScpiLink *link, int n) {
    if (n > 0) {
        int room = link->cmdSize - link->cmdFill;
        link->cmdFill += n < room ? n : room;
        if (link->cmdFill == link->cmdSize) bufferFilled = true;
    }
    pthread_mutex_unlock(&link->bufLock);
}

int krcommWriteCmd(ScpiLink *link, const char *data, int n) {
    pthread_mutex_lock(&link->bufLock);
    int room = link->cmdSize - link->cmdFill;
    int c = n < room ? n : room;
    if (c > 0) {
        memcpy(link->cmdBuf + link->cmdFill, data, (size_t)c);
        link->cmdFill += c;
        if (link->cmdFill == link->cmdSize) bufferFilled = true;
    } else {
        c = 0;
    }
    pthread_mutex_unlock(&link->bufLock);
    return c;
}

// Takes bufLock; krcommClearAns releases it.
int krcommPeekAns(ScpiLink *link, char **ptr, int *more) {
    pthread_mutex_lock(&link->bufLock);
    *ptr = link->ansBuf + link->ansRead;
    if (more) *more = link->ansMore;
    if (link->ansLen - link->ansRead > 0) answerTaken = true;
    return link->ansLen - link->ansRead;
}

int krcommClearAns(ScpiLink *link, int n, int *more) {
    int avail = link->ansLen - link->ansRead;
    int c = n < avail ? n : avail;
    if (c < 0) c = 0;
    link->ansRead += c;
    if (more) *more = link->ansMore;
    pthread_mutex_unlock(&link->bufLock);
    return c;
}

void krcommEvent(ScpiLink *link, int event) {
    if (!link) {
        scpi_executeNullLinkEvent(event);
        return;
    }
    pthread_mutex_lock(&link->bufLock);
    link->pendingEvent = event;
    pthread_mutex_unlock(&link->bufLock);
    scpi_link_doHandle(link);
    scpi_link_waitHandled(link);
}

namespace {

void requestClear(ScpiLink *link, int32_t reason) {
    pthread_mutex_lock(&link->bufLock);
    // A device clear asked for meanwhile keeps its event.
    if (link->clearPending != SCPI_CLEAR_DEVICE) link->clearPending = reason;
    pthread_mutex_unlock(&link->bufLock);
    scpi_link_doHandle(link);
    scpi_link_waitHandled(link);
}

}  // namespace

void krcommClear(ScpiLink *link) {
    requestClear(link, SCPI_CLEAR_DEVICE);
}

void krcommEndSession(ScpiLink *link) {
    requestClear(link, SCPI_CLEAR_SESSION);
}
