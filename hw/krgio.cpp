// Generic I/O family: opcode records (standard variant) or FS FPGA commands.
#include "hw/krgio.h"

#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "config/device_config.h"
#include "core/krdebug.h"
#include "hw/fs_fpga.h"
#include "hw/fs_fpga_if.h"
#include "hw/krspi.h"
#include "kr_generic_io.h"
#include "rtnative.h"
#include "scpi/scpi_errorcodes.h"

namespace {

std::atomic<KrgioTransientAction> transientAction{nullptr};

bool fs() {
    return device_config_usesOptionFs() != 0;
}

// One opcode record without data.
int opcode(uint32_t code, uint32_t parameter) {
    return krspi_doCapture(code, 0, parameter, nullptr) < 0 ? -1 : 0;
}

}  // namespace

int krgio_ioupdate() {
    return fs() ? FS_FPGA_IF_ioupdate() : opcode(KR_IO_ADDR_IOUPD, 0);
}

int krgio_ioupdateAll() {
    return fs() ? FS_FPGA_IF_ioupdateAll() : opcode(KR_IO_ADDR_IOUPD, 0);
}

int krgio_ioupdateTrigger(int flag) {
    if (fs()) return FS_FPGA_IF_ioupdate();
    return opcode(flag ? KR_IO_ADDR_IOUPD_TRIG : KR_IO_ADDR_IOUPD, 0);
}

int krgio_setIoupdate() {
    return fs() ? FS_FPGA_IF_setIoupdate() : opcode(KR_IO_ADDR_SET_IOUPD, 0);
}

int krgio_delayUs(uint32_t us) {
    return fs() ? FS_FPGA_IF_delayUs(us) : opcode(KR_IO_ADDR_DELAY_US, us);
}

// Also the microsecond delay of the system services (krstuff_delay_us_spi).
int krgio_sleepUs(uint32_t us) {
    return fs() ? FS_FPGA_IF_delayUs(us) : opcode(KR_IO_ADDR_SLEEP_US, us);
}

int krgio_awaitPointProg() {
    return fs() ? FS_FPGA_IF_awaitSweepPointProg() : opcode(KR_IO_ADDR_WAIT_TRAN, 0);
}

int krgio_awaitTrigger() {
    return fs() ? FS_FPGA_IF_awaitTrigger() : opcode(KR_IO_ADDR_AWAIT_TRIG, 0);
}

int krgio_blankRf(int blank) {
    if (fs()) return 0;
    return opcode(KR_IO_ADDR_MUTE, blank ? MUTE_CONF_EN_TPT : MUTE_CONF_DIS_TPT);
}

int krgio_markOutputValid(double t) {
    return fs() ? FS_FPGA_IF_markOutputValid(t) : KR_E_HARDWARE_MISSING;
}

int krgio_markOutputInvalid() {
    return fs() ? FS_FPGA_IF_markOutputInvalid() : KR_E_HARDWARE_MISSING;
}

int krgio_imm_waitBufStreamStart() {
    if (fs()) return KR_E_EXECUTION_ERROR;
    return rt_dev_ioctl(krspi_getFd(), KRGIO_IOC_WAIT_BUFSTREAM_START) < 0 ? KR_E_EXECUTION_ERROR
                                                                           : 0;
}

int krgio_imm_listenBufStreamStart() {
    if (fs()) return KR_E_EXECUTION_ERROR;
    return rt_dev_ioctl(krspi_getFd(), KRGIO_IOC_LISTEN_BUFSTREAM_START) < 0 ? KR_E_EXECUTION_ERROR
                                                                             : 0;
}

// The holder of the SPI lock (sweep task before each point, fixed-frequency setter).
int krgio_setTransientAction(KrgioTransientAction action) {
    transientAction = action;
    return 0;
}

void krgio_transient() {
    KrgioTransientAction action = transientAction.exchange(nullptr);
    if (action) action();
}

uint64_t krgio_timerCount(double seconds) {
    if (!(seconds > 0)) return 0;
    return 2 * (uint64_t)std::floor(seconds * 66.048e6 + 0.5);
}

// Any thread, the sweep task included: formats into a fixed buffer, no allocation.
int printdRt(const char *format, ...) {
    char text[512];
    int n = 0;
    if (debugEnabled) {
        va_list args;
        va_start(args, format);
        n = vsnprintf(text, sizeof(text), format, args);
        va_end(args);
        if (n < 0) n = 0;
        if (n >= (int)sizeof(text)) n = (int)sizeof(text) - 1;
    } else {
        text[0] = 0;
    }
    KrGioBuffer b = {text, (uint32_t)n};
    rt_dev_ioctl(krspi_getFd(), KRGIO_IOC_PRINT, &b);
    return n;
}
