#include "selftest/selftest.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/device_config.h"
#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "device/device.h"
#include "device/device_record.h"
#include "level/calibration.h"

namespace {

constexpr const char *REPORT_PATH = "/media/ram/selftest.txt";
constexpr uint32_t POINT_SETTLE_US = 100;
constexpr uint32_t CHANNEL_SETTLE_US = 500000;
// At and below this frequency the top power points need not level.
constexpr int64_t LOW_FREQUENCY_HZ = 10000000;
constexpr int JESD_STATES = 13;

struct Entry {
    Device *device;
    SelftestParam param;
};
// One device per process; a few more where tests build several.
Entry entries[4];
unsigned nextEntry = 0;

double toHz(const KrFreq &f) {
    double d;
    return krfreq2double(&f, &d);
}

bool isLowFrequency(const KrFreq &f) {
    KrFreq limit = krfreqHz(LOW_FREQUENCY_HZ);
    return krfreqCompare(&f, &limit) <= 0;
}

// On the direct DDS path the VCO is idle and its tuning voltage means nothing.
bool isAboveDirectPath(Device *device, const KrFreq &f) {
    if (!DEVICE_ISREG(getDdsDirectPathMaxFreq)) return true;
    KrFreq limit = *Device_getDdsDirectPathMaxFreq(device);
    return krfreqCompare(&f, &limit) > 0;
}

__attribute__((format(printf, 2, 3))) void reportLine(FILE *report, const char *format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(report, format, args);
    va_end(args);
    // A client may read the report while the test still runs.
    fflush(report);
}

FILE *openReport() {
    KrPath path(REPORT_PATH);
    unlink(path);
    FILE *f = fopen(path, "a");
    if (!f) printd("selftest: cannot open %s\n", path.c_str());
    return f;
}

int16_t result(uint32_t bits) {
    return (int16_t) - (int32_t)bits;
}

SelftestParam *entryFor(Device *device, bool *fresh) {
    *fresh = false;
    for (Entry &e : entries)
        if (e.device == device) return &e.param;
    *fresh = true;
    Entry &e = entries[nextEntry++ % (sizeof(entries) / sizeof(entries[0]))];
    e = Entry{device, {}};
    return &e.param;
}

// The phase-link bits are results of the phase synchronisation and stay as they were saved.
void fill(Device *device, SelftestParam *p) {
    uint8_t zeroSlip = p->phsZeroSlip, optimumDelay = p->phsOptimumDelay;
    *p = SelftestParam{};
    const DeviceChannel *ch = device->current ? device->current : &device->channels[0];
    p->step = krfreqHz(100000000);
    p->start = krfreqHz(300000);
    p->stop = DEVICE_ISREG(getFrequencyMax) ? *Device_getFrequencyMax(device) : ch->frequencyMax;
    p->boardWords[0] = ch->board.revisionCode;
    p->boardWords[1] = (uint32_t)ch->board.channel;
    p->powerIndexMax = ch->calibration ? (int32_t)ch->calibration->powerCount - 1 : 0;
    p->vcoAdcMin = 100;
    p->vcoAdcMax = 16200;
    p->controllerMin = 100;
    p->controllerMax = 15700;
    p->deviationMax = 200;
    p->checkPhaseSync = device_config_usesOptionPhs(0) ? 1 : 0;
    p->flag = 1;
    p->dropLastPower = 1;
    p->checkController = 1;
    p->phsZeroSlip = zeroSlip;
    p->phsOptimumDelay = optimumDelay;
    getPowerForSelftest(ch->calibration, p);
}

struct Point {
    int32_t controller, alcAdc, deviation, vco;
    int failed;
};

// Sets power point i at the tuned frequency f and checks what the loop and the VCO read.
uint32_t checkPoint(Device *device, const SelftestParam *p, const KrFreq &f, float power,
                    bool counts, Point *pt) {
    KrPow pow = power;
    Device_setPower(device, &pow);
    krstuff_delay_us_spi(POINT_SETTLE_US);
    *pt = Point{};
    pt->alcAdc = (int32_t)Device_getAlcAdc(device);
    if (p->digitalAlc) {
        pt->controller = (int32_t)Device_getAlcDac(device);
        pt->deviation = std::abs((int32_t)Device_getAlcSetpoint(device) - pt->alcAdc);
        printd("abs(calibAlcSetpoint-processedValue): %d \n", (int)pt->deviation);
    } else if (p->useDacValue) {
        pt->controller = DEVICE_ISREG(getAlcControlValue)
                             ? (int32_t)Device_getAlcControlValue(device)
                             : (int32_t)Device_getAlcDac(device);
    } else {
        pt->controller = pt->alcAdc;
    }
    printd("Controller Value: %d \n", (int)pt->controller);
    pt->vco = DEVICE_ISREG(getVcoAdc) ? (int32_t)Device_getVcoAdc(device) : 0;

    uint32_t bits = 0;
    if (counts) {
        bool bad = p->digitalAlc ? pt->deviation > p->deviationMax
                                 : p->checkController && (pt->controller < p->controllerMin ||
                                                          pt->controller > p->controllerMax);
        if (bad) {
            bits |= SELFTEST_FAIL_LEVEL;
            pt->failed = 1;
        }
    }
    // 0: no reading (the board has no such ADC).
    if (pt->vco > 0 && isAboveDirectPath(device, f) &&
        (pt->vco < p->vcoAdcMin || pt->vco > p->vcoAdcMax))
        bits |= SELFTEST_FAIL_VCO;
    return bits;
}

struct Scan {
    Device *device;
    const SelftestParam *p;
    FILE *report;
    KrFreq stop;
    int k;           // 1-based channel
    int code;        // line code, 20 or 21
    int lowSkipped;  // top power points not counted at low frequencies
    uint32_t bits;
};

void checkFrequency(Scan *s, const KrFreq &f) {
    KrFreq set = f;
    Device_setFrequencyFixed(s->device, &set);
    int n = (int)s->p->powerCount;
    bool low = isLowFrequency(f);
    for (int i = 0; i < n; i++) {
        Point pt;
        float power = s->p->powers[i];
        s->bits |= checkPoint(s->device, s->p, f, power, !(low && i >= n - s->lowSkipped), &pt);
        reportLine(s->report, "%d%d;%f;%f;%d;%d;%d;%d;%d\r\n", s->code, s->k, (double)power,
                   toHz(f), (int)pt.controller, (int)pt.alcAdc, (int)pt.deviation, (int)pt.vco,
                   pt.failed);
    }
}

// start, step, then step by step up to stop (a step of 0 or less: start and stop only).
void scanFrequencies(Scan *s) {
    const SelftestParam *p = s->p;
    KrFreq step = p->step, f = p->start, zero{};
    bool stepping = krfreqCompare(&step, &zero) > 0;
    for (bool first = true;; first = false) {
        bool last = krfreqCompare(&f, &s->stop) >= 0;
        if (last) f = s->stop;
        checkFrequency(s, f);
        if (last) return;
        if (!stepping) {
            f = s->stop;
            continue;
        }
        if (p->logSteps) double2krfreq(1e8 * std::exp(toHz(f) * 0.06 * 1e-9), &step);
        if (first)
            f = step;
        else
            krfreqAdd(&f, &f, &step);
    }
}

// Channel c current, RF on, its power points, settled at 0 dBm and the start frequency. The
// highest frequency of the channel's scan.
KrFreq prepareChannel(Device *device, SelftestParam *p, uint32_t c) {
    Device_setSource(device, (int32_t)c);
    Device_enableRf(device);
    const DeviceChannel *ch = &device->channels[c];
    p->powerIndexMax = ch->calibration ? (int32_t)ch->calibration->powerCount - 1 : 0;
    getPowerForSelftest(ch->calibration, p);
    KrPow zero = 0;
    Device_setPowerFixed(device, &zero);
    KrFreq start = p->start;
    Device_setFrequencyFixed(device, &start);
    if (DEVICE_ISREG(setAlcBandwidthHigh)) Device_setAlcBandwidthHigh(device);
    krstuff_delay_us_spi(CHANNEL_SETTLE_US);
    // A channel with a smaller board than the first stops at its own limit.
    if (ch->frequencyMax.integer > 0 && krfreqCompare(&ch->frequencyMax, &p->stop) < 0)
        return ch->frequencyMax;
    return p->stop;
}

void writeHeader(Device *device, const SelftestParam *p, FILE *report) {
    reportLine(report, "*TST? selftest report\r\n1;2\r\n");
    char text[256];
    getIdentificationString(text, sizeof(text), device);
    reportLine(report, "2;*%s\r\n", text);
    reportLine(report, "3;%s, %s\r\n", __DATE__, __TIME__);
    reportLine(report, "4;%d;%d\r\n", (int)p->boardWords[0], (int)p->boardWords[1]);
    reportLine(report, "5;%d;%d\r\n", (int)device->channelCount, (int)Device_getSource(device) + 1);
    reportLine(report, "6;%d;%d;%d;%d\r\n", (int)p->vcoAdcMin, (int)p->vcoAdcMax,
               (int)p->controllerMin, (int)p->controllerMax);
    reportLine(report, "7;%d\r\n", p->testFm);
    if (!device_config_getOptionsString(text, sizeof(text))) text[0] = 0;
    reportLine(report, "8;%s\r\n", text);

    char names[256] = "";
    float values[10];
    int n = Device_getTemperaturesExt(device, names, sizeof(names), values, 10);
    if (n < 0) {
        n = 0;
        names[0] = 0;
    }
    for (char *c = names; *c; c++)
        if (*c == ',') *c = ';';
    reportLine(report, "90;%s\r\n", names);
    fputs("91", report);
    for (int i = 0; i < n; i++)
        fprintf(report, ";%f", (double)values[i]);
    reportLine(report, "\r\n");

    for (uint32_t c = 0; c < device->channelCount; c++) {
        Device_setSource(device, (int32_t)c);
        reportLine(report, "10%d;%d;%f;%f;%d;%d\r\n", (int)c + 1, Device_isRfEnabled(device),
                   (double)*Device_getPowerFixed(device), toHz(*Device_getFrequencyFixed(device)),
                   (int)Device_getAlcAdc(device), 0);
    }
}

uint32_t checkLinks(Device *device, const SelftestParam *p, FILE *report) {
    uint32_t bits = 0;
    bool comFailed = false;
    for (uint32_t c = 0; p->checkComRam && c < device->channelCount; c++) {
        Device_setSource(device, (int32_t)c);
        const char *text = Device_checkCom(device);
        if (!text || !*text || strncmp(text, "FAIL", 4) == 0) {
            bits |= SELFTEST_FAIL_COM;
            comFailed = true;
        }
        if (!text) text = "";
        if (DEVICE_ISREG(checkRam)) {
            int ram = Device_checkRam(device);
            reportLine(report, "30%d;%s;%d\r\n", (int)c + 1, text, ram);
            if (ram != 0) bits |= SELFTEST_FAIL_RAM;
        } else {
            reportLine(report, "30%d;%s\r\n", (int)c + 1, text);
        }
    }
    for (uint32_t c = 0; p->checkJesd && !comFailed && c < device->channelCount; c++) {
        Device_setSource(device, (int32_t)c);
        int states = Device_checkJESD(device);
        fprintf(report, "40%d", (int)c + 1);
        for (int i = 0; i < JESD_STATES; i++) {
            int good = states >= 0 && (states >> i & 1);
            if (!good) bits |= SELFTEST_FAIL_JESD;
            fprintf(report, ";%d", good);
        }
        reportLine(report, "\r\n");
    }
    for (uint32_t c = 0; p->checkPhaseSync && c < device->channelCount; c++)
        reportLine(report, "50%d;%d;%d\r\n", (int)c + 1, !(p->phsZeroSlip >> c & 1),
                   p->phsOptimumDelay >> c & 1);
    return bits;
}

}  // namespace

SelftestParam *selftest_getParam(Device *device) {
    bool fresh;
    SelftestParam *p = entryFor(device, &fresh);
    if (fresh) fill(device, p);
    return p;
}

void analog_setSelftestParam(Device *device) {
    bool fresh;
    fill(device, entryFor(device, &fresh));
}

void selftest_savePhsZeroSlip(Device *device, int channel, int bit) {
    if (channel < 0 || channel >= 8) return;
    SelftestParam *p = selftest_getParam(device);
    p->phsZeroSlip = (uint8_t)((p->phsZeroSlip & ~(1u << channel)) | (bit ? 1u << channel : 0));
}

void selftest_savePhsOptimumDelay(Device *device, int channel, int bit) {
    if (channel < 0 || channel >= 8) return;
    SelftestParam *p = selftest_getParam(device);
    p->phsOptimumDelay =
        (uint8_t)((p->phsOptimumDelay & ~(1u << channel)) | (bit ? 1u << channel : 0));
}

int getPowerForSelftest(const Calibration *calibration, SelftestParam *param) {
    int n = 0;
    if (calibration) {
        int last = std::min<int>(param->powerIndexMax, (int)calibration->powerCount - 1);
        for (int i = 0; i <= last && n < SELFTEST_MAX_POWERS; i++)
            if (i == 0 || i == last ||
                Calibration_getZone(calibration, i) != Calibration_getZone(calibration, i + 1))
                param->powers[n++] = Calibration_getPow(calibration, i);
    }
    if (n == 0) param->powers[n++] = 0.0f;
    if (param->dropLastPower && n > 1) n--;
    if (param->lowerLastPower) param->powers[n - 1] -= 4.0f;
    param->powerCount = (uint32_t)n;
    return n;
}

int fullSelftest(Device *device) {
    SelftestParam *p = selftest_getParam(device);
    FILE *report = openReport();
    if (!report) return -1;
    writeHeader(device, p, report);
    Device_reset(device);

    uint32_t bits = 0;
    for (uint32_t c = 0; c < device->channelCount; c++) {
        KrFreq stop = prepareChannel(device, p, c);
        Scan scan{device, p, report, stop, (int)c + 1, 20, 2, 0};
        scanFrequencies(&scan);
        if (p->testFm) {
            KrFreq rate = krfreqHz(100000), deviation = krfreqHz(240480);
            Device_setFmSourceInternal(device);
            Device_setFmInternalFrequency(device, &rate);
            Device_setFmDeviation(device, &deviation);
            Device_enableFm(device);
            scan.code = 21;
            scan.lowSkipped = 1;
            scanFrequencies(&scan);
            Device_disableFm(device);
        }
        bits |= scan.bits;
    }
    bits |= checkLinks(device, p, report);

    reportLine(report, "999;%d\r\n", (int)result(bits));
    fclose(report);
    Device_reset(device);
    return result(bits);
}

int fastSelftest(Device *device) {
    uint64_t begin = kr_abstime_ms();
    SelftestParam *p = selftest_getParam(device);
    FILE *report = openReport();
    if (!report) return -1;
    reportLine(report, "*TST? selftest report\r\n");
    Device_reset(device);

    uint32_t bits = 0;
    for (uint32_t c = 0; c < device->channelCount; c++) {
        KrFreq stop = prepareChannel(device, p, c), middle;
        krfreqAdd(&middle, &p->start, &stop);
        krfreqShiftRight(&middle, 1);
        const KrFreq frequencies[3] = {p->start, middle, stop};
        const float powers[3] = {p->powers[0], 0.0f, p->powers[p->powerCount - 1]};
        for (int j = 0; j < 3; j++) {
            KrFreq f = frequencies[j];
            Device_setFrequencyFixed(device, &f);
            bool low = isLowFrequency(f);
            for (int i = 0; i < 3; i++) {
                Point pt;
                bool counts = !(i == 2 && (j == 2 || low));
                bits |= checkPoint(device, p, f, powers[i], counts, &pt);
            }
        }
    }

    printd("Reset total execution time [s]: %d \n", (int)((kr_abstime_ms() - begin) / 1000));
    reportLine(report, "999;%d\r\n", (int)result(bits));
    fclose(report);
    return result(bits);
}

void selftest_registerFunctions() {
    Device_fullSelftest = fullSelftest;
    Device_fastSelftest = fastSelftest;
    Device_getSelftestParam = selftest_getParam;
}
