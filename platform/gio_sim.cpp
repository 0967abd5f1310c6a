// The simulated drivers kr_generic_io and krssc_pulm: every request is recorded, its
// record checked, and handed to the player, the FS FPGA or the trigger and timer state of
// the simulated hardware.
#include "gio_sim.h"

#include <errno.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "gio_recorder.h"
#include "kr_generic_io.h"
#include "sim_fpga.h"
#include "sim_hw.h"
#include "sim_player.h"
#include "sim_pulse.h"

namespace {

constexpr uint32_t ioBlockMax = 16384;
constexpr uint32_t asyncBlockMax = 128;

int checkTransfer(const KrGioTransfer *t, const char *what, bool read) {
    if (t->length && !t->data) {
        simhw_violation("%s: %u bytes without a buffer", what, (unsigned)t->length);
        return -EFAULT;
    }
    if (t->address > (read ? 255u : 511u)) {
        simhw_violation("%s: address %u", what, (unsigned)t->address);
        return -EINVAL;
    }
    return 0;
}

int checkBuffer(const KrGioBuffer *b, uint32_t max, const char *what) {
    if (!b->data || b->length == 0) {
        simhw_violation("%s: empty buffer", what);
        return -EINVAL;
    }
    if (b->length > max) {
        simhw_violation("%s: %u bytes, at most %u", what, (unsigned)b->length, (unsigned)max);
        return -EINVAL;
    }
    return 0;
}

uint32_t value(void *arg) {
    return (uint32_t)(uintptr_t)arg;
}

// The stop sequence: timer off, prepare A and B, (the task joined), timer off again, finish A
// and B. A finishing step whose preparation is missing is a violation.
void checkStopOrder(int request) {
    static std::atomic<int> step{0};  // requests of the sequence seen so far
    static const int order[] = {KRTPT_IOC_STOP_PREPARE_A, KRTPT_IOC_STOP_PREPARE_B,
                                KRTPT_IOC_TIMER_OFF, KRTPT_IOC_STOP_FINISH_A,
                                KRTPT_IOC_STOP_FINISH_B};
    if (std::find(std::begin(order), std::end(order), request) == std::end(order)) return;
    if (request == KRTPT_IOC_STOP_PREPARE_A) {
        step = 1;
        return;
    }
    if (step == 0 || step >= 5) {
        if (request == KRTPT_IOC_STOP_FINISH_A || request == KRTPT_IOC_STOP_FINISH_B ||
            request == KRTPT_IOC_STOP_PREPARE_B)
            simhw_violation("sweep stop: request 0x%04X outside its sequence", request);
        return;
    }
    if (request == order[step]) {
        step++;
    } else if (request == KRTPT_IOC_STOP_PREPARE_B || request == KRTPT_IOC_STOP_FINISH_A ||
               request == KRTPT_IOC_STOP_FINISH_B) {
        simhw_violation("sweep stop: request 0x%04X out of order", request);
        step = 0;
    }
}

int dispatch(int request, void *arg) {
    checkStopOrder(request);
    switch (request) {
        case KRGIO_IOC_PRINT: {
            KrGioBuffer *b = (KrGioBuffer *)arg;
            if (b->length && b->data)
                simhw_log("DRIVER print: %.*s", (int)b->length, (const char *)b->data);
            return 0;
        }
        case KRSPI_IOC_SELECT_CHIP:
            return simplayer_select(value(arg));
        case KRSPI_IOC_DESELECT_CHIP:
            return simplayer_deselect();
        case KRSPI_IOC_WRITE: {
            KrGioTransfer *t = (KrGioTransfer *)arg;
            int r = checkTransfer(t, "unbuffered write", false);
            return r ? r : simplayer_write(t);
        }
        case KRSPI_IOC_READ:
        case KRSPI_IOC_READ_ASYNC: {
            KrGioTransfer *t = (KrGioTransfer *)arg;
            int r = checkTransfer(t, "read", true);
            if (r) return r;
            if (gio_recorder_readData(request, t->data, t->length)) return 0;
            return request == KRSPI_IOC_READ ? simplayer_read(t) : simplayer_asyncRead(t);
        }
        case KRSPI_IOC_MODULE0_READ: {
            KrGioTransfer *t = (KrGioTransfer *)arg;
            int r = checkTransfer(t, "module 0 read", true);
            if (r == 0 && !gio_recorder_readData(request, t->data, t->length) && t->data)
                memset(t->data, 0, t->length);
            return r;
        }
        case KRGIO_IOC_READ_PIN_0:
        case KRGIO_IOC_READ_PIN_1:
        case KRGIO_IOC_READ_PIN_2:
        case KRGIO_IOC_READ_PIN_3:
            if (!gio_recorder_readData(request, arg, sizeof(uint32_t))) *(uint32_t *)arg = 0;
            return 0;
        case KRSPI_IOC_SET_DIVIDER:
            if (value(arg) < 1 || value(arg) > 255) {
                simhw_violation("SPI clock divider %u outside 1..255", value(arg));
                return -EINVAL;
            }
            return 0;
        case KRSPI_IOC_SET_CS_DELAY:
            if (value(arg) > 255) {
                simhw_violation("chip-select delay %u outside 0..255", value(arg));
                return -EINVAL;
            }
            return 0;
        case KRSPI_IOC_TIMER_START: {
            KrGioSpiTimerStart *s = (KrGioSpiTimerStart *)arg;
            if (s->word[3] || s->word[4] || s->word[8] != 78)
                simhw_violation("SPI timer start record {.., %u, %u, .., %u}", s->word[3],
                                s->word[4], s->word[8]);
            return 0;
        }
        case KRSPI_IOC_SEND_IOBLOCK: {
            KrGioBuffer *b = (KrGioBuffer *)arg;
            int r = checkBuffer(b, ioBlockMax, "I/O block");
            return r ? r : simplayer_sendBlock((const uint8_t *)b->data, b->length);
        }
        case KRSPI_IOC_WRITE_ASYNC: {
            KrGioBuffer *b = (KrGioBuffer *)arg;
            int r = checkBuffer(b, asyncBlockMax, "asynchronous write");
            return r ? r : simplayer_asyncBlock((const uint8_t *)b->data, b->length);
        }
        case KRFS_IOC_INIT:
            simfpga_init();
            return 0;
        case KRFS_IOC_RESTART_RX:
            simfpga_restartRx();
            return 0;
        case KRFS_IOC_FETCH_REPLY: {
            KrGioFsReply *reply = (KrGioFsReply *)arg;
            if (gio_recorder_readData(request, reply->data, sizeof(reply->data))) {
                reply->length = sizeof(reply->data);
                return 0;
            }
            return simfpga_fetchReply(reply);
        }
        case KRFS_IOC_TRANSMIT: {
            KrGioBuffer *b = (KrGioBuffer *)arg;
            int r = checkBuffer(b, ioBlockMax, "FPGA transmit");
            return r ? r : simfpga_transmit((const uint8_t *)b->data, b->length);
        }
        case KRFS_IOC_FLUSH_END:
            return 0;
        case KRFS_IOC_SEND_IMM: {
            KrGioFsSend *s = (KrGioFsSend *)arg;
            if (s->length && !s->data) return -EFAULT;
            return simfpga_sendImm((const uint8_t *)s->data, s->length, s->replyExpected != 0);
        }
        case KRTPT_IOC_SET_CONSTTIME:
        case KRTPT_IOC_SET_VARTIME: {
            KrGioPointTiming *t = (KrGioPointTiming *)arg;
            simplayer_setPointTiming(t->t1, t->t2);
            return 0;
        }
        case KRTPT_IOC_TIMER_OFF:
            simplayer_timerOff();
            simplayer_abort();
            return 0;
        case KRTPT_IOC_RESET:
        case KRTPT_IOC_STOP_PREPARE_A:
        case KRTPT_IOC_STOP_PREPARE_B:
        case KRTPT_IOC_CHIRP_STOP:
            simplayer_abort();
            return 0;
        case KRTPT_IOC_SOURCE:
            simhw_setTriggerSourceImmediate(*(uint32_t *)arg == 0);
            return 0;
        case KRTPT_IOC_TYPE:
            simhw_setTriggerType(*(uint32_t *)arg);
            return 0;
        case KRTPT_IOC_DELAY:
            simhw_setTriggerDelay(((KrGioTriggerDelay *)arg)->count);
            return 0;
        case KRTPT_IOC_TRIGOUTPUT:
            simhw_setTriggerOutput(*(uint32_t *)arg);
            return 0;
        case KRTPT_IOC_EVENT_COUNT:
            simhw_setTriggerEventCount(*(uint32_t *)arg);
            return 0;
        case KRTPT_IOC_SLOPE:
            simhw_setTriggerSlope(*(uint32_t *)arg != 0);
            return 0;
        case KRTPT_IOC_SLOPE_BOTH:
            simhw_setTriggerSlopeBoth(*(uint32_t *)arg != 0);
            return 0;
        case KRTPT_IOC_TRIGGER:
            simhw_trigger();
            return 0;
        case KRTPT_IOC_ABORT:
            simhw_abortWaits();
            return 0;
        case KRPULM_IOC_INTMOD_OFF:
        case KRPULM_IOC_INTMOD_ON:
        case KRPULM_IOC_START:
        case KRPULM_IOC_STOP:
        case KRPULM_IOC_SET_INTERNAL:
        case KRPULM_IOC_SET_BITSTREAM:
            return simpulse_request(request, arg);
        default:
            break;
    }
    // Requests whose effect the simulation does not model: accepted once their record was
    // read by the recorder.
    return gio_recorder_isKnown(request) ? 0 : -ENOTTY;
}

// Requests the log leaves to the chips' own lines (transfers) or leaves out (reads, the
// periodic polls of supervision).
bool quiet(int request) {
    static const int requests[] = {
        KRSPI_IOC_SEND_IOBLOCK, KRFS_IOC_TRANSMIT,       KRFS_IOC_SEND_IMM,
        KRGIO_IOC_PRINT,        KRSPI_IOC_WRITE,         KRSPI_IOC_WRITE_ASYNC,
        KRSPI_IOC_SELECT_CHIP,  KRSPI_IOC_DESELECT_CHIP, KRSPI_IOC_READ,
        KRSPI_IOC_READ_ASYNC,   KRSPI_IOC_MODULE0_READ,  KRGIO_IOC_READ_PIN_0,
        KRGIO_IOC_READ_PIN_1,   KRGIO_IOC_READ_PIN_2,    KRGIO_IOC_READ_PIN_3,
        KRFS_IOC_FETCH_REPLY,   KRFS_IOC_FLUSH_END};
    for (int r : requests)
        if (r == request) return true;
    return false;
}

int simOpen(void *, int) {
    simhw_attach();
    return 0;
}

int simIoctl(void *context, int request, void *arg) {
    int device = (int)(intptr_t)context;
    int r;
    uint64_t seq = gio_recorder_begin(device, request, arg, &r);
    if (r == 0) {
        r = dispatch(request, arg);
        if (!quiet(request))
            simhw_log("DRIVER request 0x%04X (%s) -> %d", request, gio_recorder_deviceName(device),
                      r);
    } else if (r == -EFAULT) {
        simhw_violation("request 0x%04X without its record", request);
    }
    gio_recorder_finish(seq, request, arg, r);
    return r;
}

ssize_t simRead(void *, void *, size_t) {
    return 0;
}

ssize_t simWrite(void *context, const void *buffer, size_t size) {
    gio_recorder_recordWrite((int)(intptr_t)context, buffer, size);
    return (ssize_t)size;
}

const RtDevOps ops = {simOpen, nullptr, simIoctl, simRead, simWrite};

}  // namespace

const RtDevOps *gio_sim_ops() {
    return &ops;
}

const char *gio_sim_deviceName(int device) {
    return gio_recorder_deviceName(device);
}

int gio_sim_deviceCount() {
    return gio_recorder_deviceCount();
}
