// Recording stand-in for the real-time drivers until the hardware simulation takes over.
#include "gio_stub.h"

#include <errno.h>

#include <algorithm>
#include <cstring>

#include "kr_generic_io.h"

namespace {

// All zero (so it costs no image space): the mutex initialiser is zeros on this platform.
GioStubState state = {PTHREAD_MUTEX_INITIALIZER, 0, 0, 0, {}, 0, {}, {}, {}};

const char *const deviceNames[] = {KR_GENERIC_IO_DEVICE, KRSSC_PULM_DEVICE};

// How a request's argument is read.
enum class Arg {
    None,       // nothing to read
    Value,      // by value, low 32 bits
    U32In,      // pointer to one u32 the caller set
    U32Out,     // pointer to one u32 the driver fills
    Record,     // pointer to a record of the given size
    Write,      // KrGioTransfer whose data is sent
    Read,       // KrGioTransfer whose buffer the driver fills
    Buffer,     // KrGioBuffer whose bytes are sent
    FsSend,     // KrGioFsSend
    FsReply,    // KrGioFsReply filled by the driver
    Bitstream,  // KrGioPulmBitstream with its pattern
};

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

void keepArg(GioStubEntry &e, const void *p, size_t n) {
    e.argBytes = (uint32_t)std::min(n, sizeof(e.arg));
    memcpy(e.arg, p, e.argBytes);
}

void keepPayload(GioStubEntry &e, const void *p, uint32_t n) {
    e.payloadStart = state.arenaWritten;
    e.payloadBytes = n;
    e.payloadKept = (uint32_t)std::min<size_t>(n, GIO_STUB_ARENA);
    if (!p) e.payloadKept = 0;
    const uint8_t *src = (const uint8_t *)p;
    for (uint32_t i = 0; i < e.payloadKept;) {
        size_t at = (size_t)((state.arenaWritten + i) % GIO_STUB_ARENA);
        size_t chunk = std::min<size_t>(e.payloadKept - i, GIO_STUB_ARENA - at);
        memcpy(state.arena + at, src + i, chunk);
        i += (uint32_t)chunk;
    }
    state.arenaWritten += e.payloadKept;
}

// Fills a driver-written area with the bytes a test set up for this request, else zeros.
void fillRead(int request, void *p, size_t n) {
    if (!p || n == 0) return;
    memset(p, 0, n);
    for (const GioStubReadData &r : state.reads) {
        if (r.request == request && r.request != 0) {
            memcpy(p, r.data, std::min<size_t>(n, r.bytes));
            return;
        }
    }
}

int takeFault(int request) {
    for (GioStubFault &f : state.faults) {
        if (f.request == request && f.request != 0 && f.count > 0) {
            if (--f.count == 0) f.request = 0;
            return f.result;
        }
    }
    return 0;
}

GioStubEntry &newEntry(int device, int request, uint64_t word) {
    GioStubEntry &e = state.ring[state.written % GIO_STUB_RING];
    memset(&e, 0, sizeof(e));
    e.seq = ++state.nextSeq;
    e.device = device;
    e.request = request;
    e.word = word;
    e.payloadStart = state.arenaWritten;
    state.written++;
    return e;
}

int record(GioStubEntry &e, const Kind &k, void *arg) {
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
        case Arg::U32Out:
            fillRead(k.request, arg, sizeof(uint32_t));
            keepArg(e, arg, sizeof(uint32_t));
            break;
        case Arg::Record:
            keepArg(e, arg, k.size);
            break;
        case Arg::Write: {
            KrGioTransfer *t = (KrGioTransfer *)arg;
            keepArg(e, t, sizeof(*t));
            keepPayload(e, t->data, t->data ? t->length : 0);
            break;
        }
        case Arg::Read: {
            KrGioTransfer *t = (KrGioTransfer *)arg;
            keepArg(e, t, sizeof(*t));
            if (!t->data && t->length) return -EFAULT;
            fillRead(k.request, t->data, t->length);
            break;
        }
        case Arg::Buffer: {
            KrGioBuffer *b = (KrGioBuffer *)arg;
            keepArg(e, b, sizeof(*b));
            keepPayload(e, b->data, b->data ? b->length : 0);
            break;
        }
        case Arg::FsSend: {
            KrGioFsSend *s = (KrGioFsSend *)arg;
            keepArg(e, s, sizeof(*s));
            keepPayload(e, s->data, s->data ? s->length : 0);
            break;
        }
        case Arg::FsReply: {
            KrGioFsReply *r = (KrGioFsReply *)arg;
            fillRead(k.request, r->data, sizeof(r->data));
            r->length = sizeof(r->data);
            keepArg(e, r, sizeof(*r));
            break;
        }
        case Arg::Bitstream: {
            KrGioPulmBitstream *b = (KrGioPulmBitstream *)arg;
            keepArg(e, b, sizeof(*b));
            keepPayload(e, b->pattern, b->pattern ? KR_GIO_PULM_PATTERN_BYTES : 0);
            break;
        }
        default:
            break;
    }
    return 0;
}

int stubIoctl(void *context, int request, void *arg) {
    int device = (int)(intptr_t)context;
    pthread_mutex_lock(&state.lock);
    GioStubEntry &e = newEntry(device, request, (uint64_t)(uintptr_t)arg);
    int r = record(e, kindOf(request), arg);
    if (r == 0) r = takeFault(request);
    e.result = r;
    pthread_mutex_unlock(&state.lock);
    return r;
}

ssize_t stubRead(void *, void *, size_t) {
    return 0;
}

ssize_t stubWrite(void *context, const void *buffer, size_t size) {
    int device = (int)(intptr_t)context;
    pthread_mutex_lock(&state.lock);
    GioStubEntry &e = newEntry(device, GIO_STUB_WRITE_REQUEST, (uint64_t)(uintptr_t)buffer);
    keepPayload(e, buffer, (uint32_t)std::min<size_t>(size, UINT32_MAX));
    pthread_mutex_unlock(&state.lock);
    return (ssize_t)size;
}

const RtDevOps ops = {nullptr, nullptr, stubIoctl, stubRead, stubWrite};

}  // namespace

GioStubState &gio_stub_state() {
    return state;
}

const char *gio_stub_deviceName(int device) {
    if (device < 0 || device >= gio_stub_deviceCount()) return "";
    return deviceNames[device];
}

int gio_stub_deviceCount() {
    return (int)(sizeof(deviceNames) / sizeof(deviceNames[0]));
}

const RtDevOps *gio_stub_ops() {
    return &ops;
}
