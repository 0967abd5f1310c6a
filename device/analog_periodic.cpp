// Periodic supervision from the main loop: fan and over-temperature shutdown, LED blinking
// during the shutdown, reference lock and levelling condition into the questionable status
// register and onto the front panel.
#include <algorithm>
#include <cstdio>

#include "config/device_config.h"
#include "core/printd.h"
#include "device/analog_device.h"
#include "device/device.h"
#include "device/device_board.h"
#include "frontpanel/krhcupdate.h"
#include "hw/krspi.h"
#include "modulation/krcont.h"
#include "scpi/scpi_errorcodes.h"

namespace {

constexpr uint16_t QUES_POWER = 1u << 3;
constexpr uint16_t QUES_TEMPERATURE = 1u << 4;
constexpr uint16_t QUES_FREQUENCY = 1u << 5;

struct Thresholds {
    double fanOn, fanOff, shutdown;
};

Thresholds thresholds() {
    if (device_config_uses_ORBX20G_OUT_2AorNewer(0))
        return device_config_usesAluCoolingPlates() ? Thresholds{49.25, 48.75, 75.0}
                                                    : Thresholds{61.25, 60.75, 95.0};
    if (device_config_uses_ORBXXXG_OUT_1B1(0)) return {40.25, 39.75, 65.0};
    if (device_config_uses_ORBX20G_OUT_1AorNewer(0) || device_config_usesSspeAtOut(0) ||
        device_config_uses_ORBXXXG_OUT_1C(0))
        return {31.25, 30.75, 75.0};
    return {61.25, 60.75, 95.0};
}

bool steepFan() {
    return device_config_uses_ORBX20G_OUT_1AorNewer(0) || device_config_usesSspeAtOut(0);
}

// No configuration of this build ignores the over-temperature shutdown.
bool ignoresOverTemperature() {
    return false;
}

void setQuestionable(Device *device, uint16_t bit, bool on) {
    statusregister_setCondition(&device->statusRegisters.questionable, bit, on ? 1 : 0);
}

void allLeds(Device *device, bool on) {
    int32_t before = Device_getSource(device);
    for (uint32_t c = 0; c < device->channelCount; c++) {
        Device_setSource(device, (int32_t)c);
        if (on)
            Device_enableOutputLed(device);
        else
            Device_disableOutputLed(device);
    }
    Device_setSource(device, before);
}

double supervisedTemperature(Device *device) {
    if (device_config_uses_ORBXXXG_OUT_1B1(0)) {
        double t = 0;
        KRCONT_getTemperature_async(&t);
        return t;
    }
    double values[10];
    int n = Device_getTemperatures(device, values, 10);
    if (n <= 1) return 0;
    return *std::max_element(values + 1, values + n);
}

void temperatureStep(Device *device) {
    if (!KRCONT_isFanAuto()) return;
    Thresholds th = thresholds();
    double t = supervisedTemperature(device);
    if ((t > th.shutdown && !ignoresOverTemperature()) || device->overTemperature) {
        if (device->overTemperature && t < th.fanOff) {
            device->overTemperature = 0;
            allLeds(device, false);
            setQuestionable(device, QUES_TEMPERATURE, false);
            return;
        }
        device->overTemperature = 1;
        printd("periodic(): overtemperature %f deg C, force power down\n", t);
        setQuestionable(device, QUES_TEMPERATURE, true);
        KRCONT_disableRF();
        KRCONT_setFanDac_imm(1.0);
        KRCONT_enableFan_imm();
        int32_t before = Device_getSource(device);
        for (uint32_t c = 0; c < device->channelCount; c++) {
            Device_setSource(device, (int32_t)c);
            Device_disableRf(device);
        }
        Device_setSource(device, before);
        hcupdate_rfOutputState(device);
    }
    if (t > th.fanOn) {
        double dac = steepFan() ? (t - th.fanOn) * 0.125 + 0.75 : (t - th.fanOn) * 0.5;
        KRCONT_setFanDac_imm(std::min(dac, 1.0));
        KRCONT_enableFan_imm();
    } else if (t < th.fanOff) {
        KRCONT_setFanDac_imm(0);
        KRCONT_disableFan_imm();
    }
}

void referenceStep(Device *device) {
    bool locked = BOARD_ORBXXXG_REF_ISREG(isReferencePhaseLocked) &&
                  BOARD_ORBXXXG_REF_isReferencePhaseLocked(device->ref) == 1;
    bool was = device->referenceLocked != 0;
    if (was && !locked) setQuestionable(device, QUES_FREQUENCY, true);
    if (!was && locked) setQuestionable(device, QUES_FREQUENCY, false);
    if (was != locked) hcupdate_roscLock(device);
    device->referenceLocked = locked ? 1 : 0;
}

void levellingStep(Device *device) {
    DeviceChannel *ch = device->current;
    bool pulm = DEVICE_ISREG(isPulmEnabled) && Device_isPulmEnabled(device) == 1;
    bool possible = !pulm && krspiAccessibleByThread() == 1 && !device->peOverride &&
                    BOARD_ORBXXXG_OUT_ISREG(getAlcCondition);
    uint32_t condition = 0;
    if (possible && ch->rfRequested) {
        if (device->digitalAlc && BOARD_ORBXXXG_OUT_ISREG(getDalcCondition))
            BOARD_ORBXXXG_OUT_getDalcCondition(ch->boardPtr, &condition);
        else
            BOARD_ORBXXXG_OUT_getAlcCondition(ch->boardPtr, &condition);
    }
    if (possible && ch->rfRequested && condition != 0 && condition != 3) {
        setQuestionable(device, QUES_POWER, true);
        if (!device->powerWarningShown) hcupdate_setQuesPow();
        device->powerWarningShown = 1;
    } else {
        setQuestionable(device, QUES_POWER, false);
        if (device->powerWarningShown) hcupdate_clearQuesPow();
        device->powerWarningShown = 0;
    }
}

// Board temperatures after the controller's; names[i] (when given) says whose value i is:
// 0 the controller, c + 1 channel c's board.
int readTemperatures(Device *device, double *values, int32_t *names, int32_t capacity) {
    if (capacity <= 0) return 0;
    int n = 0;
    double t = 0;
    KRCONT_getTemperature_async(&t);
    if (names) names[n] = 0;
    values[n++] = t;
    for (uint32_t c = 0; c < device->channelCount && n < capacity; c++) {
        double b = 0;
        if (BOARD_ORBXXXG_OUT_ISREG(getTemperature) &&
            BOARD_ORBXXXG_OUT_getTemperature(device->channels[c].boardPtr, &b) == 0) {
            if (names) names[n] = (int32_t)c + 1;
            values[n++] = b;
        }
    }
    return n;
}

int analog_getTemperatures(Device *device, double *values, int32_t capacity) {
    return readTemperatures(device, values, nullptr, capacity);
}

// The names of the values analog_getTemperatures gives, in its order: "CONT,CH1,CH2"; the
// values (up to capacity) beside them.
int analog_getTemperaturesExt(Device *device, char *text, int32_t size, float *values,
                              int32_t capacity) {
    if (size <= 0) return KR_E_TOO_MUCH_DATA;
    double read[1 + DEVICE_MAX_CHANNELS];
    int32_t names[1 + DEVICE_MAX_CHANNELS];
    int n =
        readTemperatures(device, read, names, std::min<int32_t>(capacity, 1 + DEVICE_MAX_CHANNELS));
    int used = 0;
    text[0] = 0;
    for (int i = 0; i < n; i++) {
        int w = names[i] ? snprintf(text + used, (size_t)(size - used), "%sCH%d", i ? "," : "",
                                    (int)names[i])
                         : snprintf(text + used, (size_t)(size - used), "%sCONT", i ? "," : "");
        if (w < 0 || w >= size - used) return KR_E_TOO_MUCH_DATA;
        used += w;
        values[i] = (float)read[i];
    }
    return n;
}

double analog_getContTemperature(Device *) {
    double t = 0;
    KRCONT_getTemperature_async(&t);
    return t;
}

float analog_getTemperatureMax(Device *device) {
    double values[10];
    int n = analog_getTemperatures(device, values, 10);
    return n ? (float)*std::max_element(values, values + n) : 0.0f;
}

}  // namespace

int analog_periodic(Device *device, uint32_t ticks) {
    if (!(ticks & 1u) && device->overTemperature) {
        allLeds(device, device->ledBlinkPhase != 0);
        device->ledBlinkPhase = !device->ledBlinkPhase;
    }
    if (!(ticks & 0xFu)) temperatureStep(device);
    if (!(ticks & 3u)) {
        referenceStep(device);
        levellingStep(device);
    }
    return 0;
}

void analog_registerSupervisionFunctions() {
    Device_getTemperatures = analog_getTemperatures;
    Device_getTemperaturesExt = analog_getTemperaturesExt;
    Device_getContTemperature = analog_getContTemperature;
    Device_getTemperatureMax = analog_getTemperatureMax;
}
