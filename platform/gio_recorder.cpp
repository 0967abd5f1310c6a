// Bounded record of every request to the simulated real-time drivers, for tests.
#include "gio_recorder.h"

#include <errno.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "kr_generic_io.h"

namespace {

// Allocated once the test peeks switch recording on (they do when they are linked in): the
// instrument's process alone keeps neither the memory nor the time per request.
std::atomic<GioRecState *> recorder{nullptr};

const char *const deviceNames[] = {KR_GENERIC_IO_DEVICE, KRSSC_PULM_DEVICE};

using Arg = GioRecArg;

struct Kind {
    int request;
    Arg arg;
    uint32_t size;  // Record only
};

const Kind kinds[] = {
    {KRTPT_IOC_PULSE_AT_IOUPDATE, Arg::U32In, 0},
    {KRGIO_IOC_PRINT, Arg::Buffer, 0},
    {KRSPI_IOC_SELECT_CHIP, Arg::Value, 0},
    {KRSPI_IOC_DESELECT_CHIP, Arg::None, 0},
    {KRSPI_IOC_WRITE, Arg::Write, 0},
    {KRSPI_IOC_READ, Arg::Read, 0},
    {KRSPI_IOC_MODULE0_READ, Arg::Read, 0},
    {KRGIO_IOC_READ_PIN_0, Arg::U32Out, 0},
    {KRGIO_IOC_READ_PIN_1, Arg::U32Out, 0},
    {KRGIO_IOC_READ_PIN_2, Arg::U32Out, 0},
    {KRGIO_IOC_READ_PIN_3, Arg::U32Out, 0},
    {KRSPI_IOC_READ_ASYNC, Arg::Read, 0},
    {KRSPI_IOC_SET_DIVIDER, Arg::Value, 0},
    {KRSPI_IOC_SET_CS_DELAY, Arg::Value, 0},
    {KRSPI_IOC_TIMER_INIT, Arg::None, 0},
    {KRSPI_IOC_TIMER_RELEASE, Arg::None, 0},
    {KRSPI_IOC_TIMER_START, Arg::Record, sizeof(KrGioSpiTimerStart)},
    {KRSPI_IOC_TIMER_STOP, Arg::None, 0},
    {KRSPI_IOC_TIMER_ALLOCMEM, Arg::Record, sizeof(KrGioSpiTimerMem)},
    {KRSPI_IOC_TIMER_FREEMEM, Arg::None, 0},
    {KRSPI_IOC_TIMER_WRITEMEM, Arg::Record, sizeof(KrGioSpiTimerMem)},
    {KRSPI_IOC_SEND_IOBLOCK, Arg::Buffer, 0},
    {KRSPI_IOC_WRITE_ASYNC, Arg::Buffer, 0},
    {KRGIO_IOC_SKIP_BUFSTREAM_WAIT, Arg::None, 0},
    {KRGIO_IOC_LISTEN_BUFSTREAM_START, Arg::None, 0},
    {KRGIO_IOC_WAIT_BUFSTREAM_START, Arg::None, 0},
    {KRFS_IOC_INIT, Arg::None, 0},
    {KRFS_IOC_RESTART_RX, Arg::None, 0},
    {KRFS_IOC_FETCH_REPLY, Arg::FsReply, 0},
    {KRFS_IOC_TRANSMIT, Arg::Buffer, 0},
    {KRFS_IOC_FLUSH_END, Arg::None, 0},
    {KRFS_IOC_SEND_IMM, Arg::FsSend, 0},
    {KRTPT_IOC_STOP_FINISH_B, Arg::Value, 0},
    {KRTPT_IOC_STOP_PREPARE_B, Arg::Value, 0},
    {KRTPT_IOC_TIMER_OFF, Arg::Value, 0},
    {KRTPT_IOC_SET_CONSTTIME, Arg::Record, sizeof(KrGioPointTiming)},
    {KRTPT_IOC_SET_VARTIME, Arg::Record, sizeof(KrGioPointTiming)},
    {KRTPT_IOC_TIMER_RELEASE, Arg::None, 0},
    {KRTPT_IOC_RESET, Arg::Value, 0},
    {KRTPT_IOC_ENABLE_IOUPDATE_OUT, Arg::None, 0},
    {KRTPT_IOC_STOP_FINISH_A, Arg::Value, 0},
    {KRTPT_IOC_STOP_PREPARE_A, Arg::Value, 0},
    {KRTPT_IOC_BLANKING, Arg::Value, 0},
    {KRTPT_IOC_CHIRP_STOP, Arg::Value, 0},
    {KRTPT_IOC_CHIRP_BLANKING_OFF, Arg::Value, 0},
    {KRPULM_IOC_INTMOD_OFF, Arg::Value, 0},
    {KRPULM_IOC_INTMOD_ON, Arg::Value, 0},
    {KRPULM_IOC_START, Arg::Value, 0},
    {KRPULM_IOC_STOP, Arg::Value, 0},
    {KRPULM_IOC_SET_INTERNAL, Arg::Record, sizeof(KrGioPulmInternal)},
    {KRPULM_IOC_SET_BITSTREAM, Arg::Bitstream, 0},
    {KRTPT_IOC_SLOPE, Arg::U32In, 0},
    {KRTPT_IOC_DELAY, Arg::Record, sizeof(KrGioTriggerDelay)},
    {KRTPT_IOC_SOURCE, Arg::U32In, 0},
    {KRTPT_IOC_INIT_CONT, Arg::U32In, 0},
    {KRTPT_IOC_TYPE, Arg::U32In, 0},
    {KRTPT_IOC_EVENT_COUNT, Arg::U32In, 0},
    {KRTPT_IOC_SLOPE_BOTH, Arg::U32In, 0},
    {KRTPT_IOC_TRIGOUTPUT, Arg::U32In, 0},
    {KRTPT_IOC_ABORT, Arg::None, 0},
    {KRTPT_IOC_INITIATE, Arg::None, 0},
    {KRTPT_IOC_TRIGGER, Arg::None, 0},
};

// Unknown requests are accepted and their word recorded, never dereferenced.
Kind kindOf(int request) {
    for (const Kind &k : kinds)
        if (k.request == request) return k;
    return {request, Arg::Value, 0};
}

void keepArg(GioRecEntry &e, const void *p, size_t n) {
    e.argBytes = (uint32_t)std::min(n, sizeof(e.arg));
    memcpy(e.arg, p, e.argBytes);
}

void keepPayload(GioRecState &state, GioRecEntry &e, const void *p, uint32_t n) {
    e.payloadStart = state.arenaWritten;
    e.payloadBytes = n;
    e.payloadKept = (uint32_t)std::min<size_t>(n, GIO_REC_ARENA);
    if (!p) e.payloadKept = 0;
    const uint8_t *src = (const uint8_t *)p;
    for (uint32_t i = 0; i < e.payloadKept;) {
        size_t at = (size_t)((state.arenaWritten + i) % GIO_REC_ARENA);
        size_t chunk = std::min<size_t>(e.payloadKept - i, GIO_REC_ARENA - at);
        memcpy(state.arena + at, src + i, chunk);
        i += (uint32_t)chunk;
    }
    state.arenaWritten += e.payloadKept;
}

int takeFaultLocked(GioRecState &state, int request) {
    for (GioRecFault &f : state.faults) {
        if (f.request == request && f.request != 0 && f.count > 0) {
            if (--f.count == 0) f.request = 0;
            return f.result;
        }
    }
    return 0;
}

GioRecEntry &newEntry(GioRecState &state, int device, int request, uint64_t word) {
    GioRecEntry &e = state.ring[state.written % GIO_REC_RING];
    memset(&e, 0, sizeof(e));
    e.seq = ++state.nextSeq;
    e.device = device;
    e.request = request;
    e.word = word;
    e.payloadStart = state.arenaWritten;
    state.written++;
    return e;
}

// Keeps what the caller passed in (records and the bytes they point at).
int recordIn(GioRecState &state, GioRecEntry &e, const Kind &k, void *arg) {
    uint32_t value = (uint32_t)(uintptr_t)arg;
    switch (k.arg) {
        case Arg::None:
            return 0;
        case Arg::Value:
            keepArg(e, &value, sizeof(value));
            return 0;
        default:
            break;
    }
    if (!arg) return -EFAULT;
    switch (k.arg) {
        case Arg::U32In:
            keepArg(e, arg, sizeof(uint32_t));
            break;
        case Arg::Record:
            keepArg(e, arg, k.size);
            break;
        case Arg::Write: {
            KrGioTransfer *t = (KrGioTransfer *)arg;
            keepArg(e, t, sizeof(*t));
            keepPayload(state, e, t->data, t->data ? t->length : 0);
            break;
        }
        case Arg::Read: {
            KrGioTransfer *t = (KrGioTransfer *)arg;
            keepArg(e, t, sizeof(*t));
            if (!t->data && t->length) return -EFAULT;
            break;
        }
        case Arg::Buffer: {
            KrGioBuffer *b = (KrGioBuffer *)arg;
            keepArg(e, b, sizeof(*b));
            keepPayload(state, e, b->data, b->data ? b->length : 0);
            break;
        }
        case Arg::FsSend: {
            KrGioFsSend *s = (KrGioFsSend *)arg;
            keepArg(e, s, sizeof(*s));
            keepPayload(state, e, s->data, s->data ? s->length : 0);
            break;
        }
        case Arg::Bitstream: {
            KrGioPulmBitstream *b = (KrGioPulmBitstream *)arg;
            keepArg(e, b, sizeof(*b));
            keepPayload(state, e, b->pattern, b->pattern ? KR_GIO_PULM_PATTERN_BYTES : 0);
            break;
        }
        default:
            break;
    }
    return 0;
}

// Keeps what the driver filled in.
void recordOut(GioRecState &state, GioRecEntry &e, const Kind &k, void *arg) {
    if (!arg) return;
    switch (k.arg) {
        case Arg::U32Out:
            keepArg(e, arg, sizeof(uint32_t));
            break;
        case Arg::FsReply:
            keepArg(e, arg, sizeof(KrGioFsReply));
            break;
        case Arg::Read: {
            KrGioTransfer *t = (KrGioTransfer *)arg;
            keepPayload(state, e, t->data, t->data ? t->length : 0);
            break;
        }
        default:
            break;
    }
}

}  // namespace

void gio_recorder_enable() {
    if (recorder.load(std::memory_order_acquire)) return;
    auto *fresh = new GioRecState();
    pthread_mutex_init(&fresh->lock, nullptr);
    GioRecState *none = nullptr;
    if (!recorder.compare_exchange_strong(none, fresh, std::memory_order_acq_rel)) {
        pthread_mutex_destroy(&fresh->lock);
        delete fresh;
    }
}

GioRecState &gio_recorder_state() {
    gio_recorder_enable();
    return *recorder.load(std::memory_order_acquire);
}

const char *gio_recorder_deviceName(int device) {
    if (device < 0 || device >= gio_recorder_deviceCount()) return "";
    return deviceNames[device];
}

int gio_recorder_deviceCount() {
    return (int)(sizeof(deviceNames) / sizeof(deviceNames[0]));
}

bool gio_recorder_isKnown(int request) {
    for (const Kind &k : kinds)
        if (k.request == request) return true;
    return false;
}

GioRecArg gio_recorder_argKind(int request) {
    return kindOf(request).arg;
}

uint64_t gio_recorder_begin(int device, int request, void *arg, int *result) {
    *result = 0;
    GioRecState *s = recorder.load(std::memory_order_acquire);
    if (!s) return 0;
    GioRecState &state = *s;
    pthread_mutex_lock(&state.lock);
    GioRecEntry &e = newEntry(state, device, request, (uint64_t)(uintptr_t)arg);
    *result = recordIn(state, e, kindOf(request), arg);
    if (*result == 0) *result = takeFaultLocked(state, request);
    e.result = *result;
    uint64_t seq = e.seq;
    pthread_mutex_unlock(&state.lock);
    return seq;
}

void gio_recorder_finish(uint64_t seq, int request, void *arg, int result) {
    GioRecState *s = recorder.load(std::memory_order_acquire);
    if (!s || seq == 0) return;
    GioRecState &state = *s;
    pthread_mutex_lock(&state.lock);
    if (state.written > 0) {
        // The entry may have been overwritten by later requests meanwhile.
        for (uint64_t i = state.written; i-- > 0 && state.written - i <= GIO_REC_RING;) {
            GioRecEntry &e = state.ring[i % GIO_REC_RING];
            if (e.seq == seq) {
                e.result = result;
                recordOut(state, e, kindOf(request), arg);
                break;
            }
            if (e.seq < seq) break;
        }
    }
    pthread_mutex_unlock(&state.lock);
}

bool gio_recorder_readData(int request, void *p, size_t n) {
    GioRecState *s = recorder.load(std::memory_order_acquire);
    if (!s || !p || n == 0) return false;
    GioRecState &state = *s;
    pthread_mutex_lock(&state.lock);
    bool found = false;
    for (const GioRecReadData &r : state.reads) {
        if (r.request == request && r.request != 0) {
            memset(p, 0, n);
            memcpy(p, r.data, std::min<size_t>(n, r.bytes));
            found = true;
            break;
        }
    }
    pthread_mutex_unlock(&state.lock);
    return found;
}

void gio_recorder_recordWrite(int device, const void *buffer, size_t size) {
    GioRecState *s = recorder.load(std::memory_order_acquire);
    if (!s) return;
    GioRecState &state = *s;
    pthread_mutex_lock(&state.lock);
    GioRecEntry &e = newEntry(state, device, GIO_REC_WRITE_REQUEST, (uint64_t)(uintptr_t)buffer);
    keepPayload(state, e, buffer, (uint32_t)std::min<size_t>(size, UINT32_MAX));
    pthread_mutex_unlock(&state.lock);
}
