#include "level/calibration.h"

#include <cstring>

#include "core/printd.h"
#include "device/device.h"
#include "scpi/scpi_errorcodes.h"

namespace {

// 1/10 dB power-extension values spread at most this much over the frequencies; a wider
// spread means the file already holds 1/1000 dB.
constexpr int kTenthDbSpread = 99;

int64_t hertz(const KrFreq *f) {
    return f->integer;
}

// Interpolation in power at one frequency point, rounded to nearest. The end points count in
// whole dBm, as the inverse steps were made from them.
int32_t interpolatePower(Calibration *cal, int16_t CalibrationCell::*field, KrPow power,
                         const CalibrationCoord *coord, uint32_t f) {
    int32_t lo = cal->cell[coord->powerLo][f].*field;
    if (coord->powerLo == coord->powerHi) return lo;
    int64_t step = cal->inversePowerStep[coord->powerLo];
    if (step == 0) return lo;
    int32_t hi = cal->cell[coord->powerHi][f].*field;
    float pLo = (float)(int)cal->power[coord->powerLo];
    float pHi = (float)(int)cal->power[coord->powerHi];
    float sum = (float)lo * (pHi - power) + (float)hi * (power - pLo);
    int64_t v = ((int64_t)sum * step + (1LL << 31)) >> 32;
    if (v < 0) cal->saturated = true;
    return (int32_t)v;
}

// Power interpolation at both frequency points, then in frequency.
int32_t interpolate2D(Calibration *cal, int16_t CalibrationCell::*field, KrPow power,
                      const KrFreq *frequency, const CalibrationCoord *coord) {
    int64_t a = interpolatePower(cal, field, power, coord, coord->frequencyLo);
    if (coord->frequencyLo == coord->frequencyHi) return (int32_t)a;
    int64_t b = interpolatePower(cal, field, power, coord, coord->frequencyHi);
    int64_t fLo = cal->frequency[coord->frequencyLo], fHi = cal->frequency[coord->frequencyHi];
    int64_t f = hertz(frequency);
    int64_t width = fHi - fLo;
    if (width <= 0) return (int32_t)a;
    return (int32_t)((a * (fHi - f) + b * (f - fLo) + width / 2) / width);
}

uint16_t unsigned16(Calibration *cal, int32_t v) {
    if (v < 0 || v > 0xFFFF) cal->saturated = true;
    return (uint16_t)v;
}

int16_t signed16(Calibration *cal, int32_t v) {
    if (v < INT16_MIN || v > INT16_MAX) cal->saturated = true;
    return (int16_t)v;
}

uint8_t lowerZone(const Calibration *cal, const CalibrationCoord *coord) {
    return cal->zone[coord->powerLo];
}

// The power-extension sections' values are 1/1000 dB from here on.
void normaliseExtAtt(Calibration *cal) {
    int spread = 0;
    for (int s = 0; s < CAL_EXT_SECTIONS; s++) {
        int lo = cal->extAtt[s][0], hi = lo;
        for (uint32_t f = 1; f < cal->frequencyCount; f++) {
            if (cal->extAtt[s][f] < lo) lo = cal->extAtt[s][f];
            if (cal->extAtt[s][f] > hi) hi = cal->extAtt[s][f];
        }
        if (hi - lo > spread) spread = hi - lo;
    }
    if (spread > kTenthDbSpread) {
        printd("Calibration_validate(): 1/1000 dB ext attformat -> ok\n");
        return;
    }
    printd("Calibration_validate(): 1/10 dB ext att format -> conversion to 1/1000 dB\n");
    for (auto &column : cal->extAtt)
        for (uint32_t f = 0; f < cal->frequencyCount; f++)
            column[f] = (int16_t)(column[f] * 100);
}

// The first zone whose gain stages differ from the point below, -1 when none does.
int gainStagesChange(const Calibration *cal, uint32_t f) {
    for (int zone = 0; zone < CAL_MAX_OCCURRENCES; zone++)
        if (cal->gainStage[zone][f] != cal->gainStage[zone][f - 1]) return zone;
    return -1;
}

bool stepAttBChanges(const Calibration *cal, uint32_t f) {
    for (uint32_t p = 0; p < cal->powerCount; p++)
        if (cal->cell[p][f].stepAttB != cal->cell[p][f - 1].stepAttB) return true;
    return false;
}

}  // namespace

namespace {

// The calibration-status operations act on the current channel's record.
int setApproval(Device *device, int32_t approval) {
    Calibration *cal = Device_getCalibration(device);
    if (!cal) return KR_E_HARDWARE_MISSING;
    cal->approval = approval;
    return 0;
}
int calStatusApproved(Device *device) {
    return setApproval(device, CAL_APPROVAL_APPROVED);
}
int calStatusReset(Device *device) {
    return setApproval(device, CAL_APPROVAL_NONE);
}
int calStatusRegister(Device *device) {
    return setApproval(device, CAL_APPROVAL_REGISTERED);
}
int calStatusGet(Device *device) {
    Calibration *cal = Device_getCalibration(device);
    return cal ? cal->approval : CAL_APPROVAL_NONE;
}

}  // namespace

void Calibration_init(Calibration *cal) {
    Calibration_reset(cal);
    Device_setCalStatusApproved = calStatusApproved;
    Device_resetCalStatus = calStatusReset;
    Device_registerCalStatus = calStatusRegister;
    Device_getCalStatus = calStatusGet;
}

void Calibration_reset(Calibration *cal) {
    int32_t approval = cal->approval;
    memset(cal, 0, sizeof(*cal));
    cal->approval = approval;
    cal->frequencyCount = 1;
    cal->powerCount = 1;
    memset(cal->alcAtt, CAL_NO_ALC_ATT, sizeof(cal->alcAtt));
    memset(cal->alcAttZone, CAL_NO_ALC_ATT, sizeof(cal->alcAttZone));
    cal->amTableSize = 16;
    cal->amPairs = 1;
}

int Calibration_validate(Calibration *cal) {
    if (cal->powerCount < 2 || cal->powerCount > CAL_MAX_POWERS || cal->frequencyCount < 2 ||
        cal->frequencyCount > CAL_MAX_FREQUENCIES) {
        Calibration_reset(cal);
        return -1;
    }
    cal->zone[0] = 0;
    for (uint32_t p = 0; p + 1 < cal->powerCount; p++) {
        int64_t width = (int64_t)(int)cal->power[p + 1] - (int)cal->power[p];
        cal->inversePowerStep[p] = width != 0 ? (1LL << 32) / width : 0;
        cal->zone[p + 1] = (uint8_t)(cal->zone[p] + (cal->power[p + 1] == cal->power[p]));
    }
    cal->inversePowerStep[cal->powerCount - 1] = 0;
    for (uint32_t f = 0; f < cal->frequencyCount; f++)
        cal->band[f] |= CAL_BAND_START;
    normaliseExtAtt(cal);
    return 0;
}

void Calibration_defineBands(Calibration *cal, const int64_t *edges, int edgeCount) {
    int edge = 0;
    for (uint32_t f = 0; f < cal->frequencyCount; f++) {
        const long long at = (long long)cal->frequency[f];
        const int gainZone = f > 0 ? gainStagesChange(cal, f) : -1;
        cal->band[f] &= (uint8_t)~CAL_BAND_START;
        if (edge < edgeCount && edges[edge] <= at) {
            cal->band[f] |= CAL_BAND_START;
            printd(
                "Calibration_defineBands(): %lld is a band switching band limit   because %lld\n",
                at, (long long)edges[edge]);
            while (edge < edgeCount && edges[edge] <= at)
                edge++;
        } else if (gainZone >= 0) {
            cal->band[f] |= CAL_BAND_START;
            printd("Calibration_defineBands(): %lld is a zone %d gain switching band limit\n", at,
                   gainZone);
        } else if (f > 0 && stepAttBChanges(cal, f)) {
            cal->band[f] |= CAL_BAND_START;
            printd("Calibration_defineBands(): %lld is a pre doubler DAT switching band limit\n",
                   at);
        }
    }
}

int Calibration_forceAlcBands(const Calibration *cal, const int64_t *limits, int count) {
    int bad = 0;
    const int64_t last = cal->frequency[cal->frequencyCount - 1];
    for (int i = 0; i < count; i++) {
        if (limits[i] > last) {
            printd("Band limit at %lld is above last calibration point\n", (long long)limits[i]);
            bad++;
            continue;
        }
        bool found = false;
        for (uint32_t f = 0; f < cal->frequencyCount && !found; f++)
            found = cal->frequency[f] == limits[i] && (cal->band[f] & CAL_BAND_START);
        if (found) {
            printd("Band limit at %lld Hz is ok\n", (long long)limits[i]);
        } else {
            printd("Band limit at %llu Hz is missing in the calibration table\n",
                   (unsigned long long)limits[i]);
            bad++;
        }
    }
    return bad;
}

void Calibration_findFrequencyCoord(const Calibration *cal, const KrFreq *frequency,
                                    CalibrationCoord *coord) {
    const int64_t f = hertz(frequency);
    uint32_t lo = 0;
    for (uint32_t bit = 1024; bit > 0; bit >>= 1)
        if (lo + bit < cal->frequencyCount && cal->frequency[lo + bit] <= f) lo += bit;
    coord->frequencyLo = lo;
    bool next = lo + 1 < cal->frequencyCount && !(cal->band[lo + 1] & CAL_BAND_START);
    coord->frequencyHi = next ? lo + 1 : lo;
}

void Calibration_findPowerCoord(const Calibration *cal, KrPow power, CalibrationCoord *coord) {
    uint32_t lo = 0;
    for (uint32_t bit = 8; bit > 0; bit >>= 1)
        if (lo + bit < cal->powerCount && cal->power[lo + bit] <= power) lo += bit;
    // Above the table the top interval extrapolates.
    if (lo + 1 >= cal->powerCount && lo > 0) lo--;
    coord->powerLo = lo;
    coord->powerHi = lo + 1 < cal->powerCount ? lo + 1 : lo;
}

void Calibration_findCoord(const Calibration *cal, const KrFreq *frequency, KrPow power,
                           CalibrationCoord *coord) {
    Calibration_findFrequencyCoord(cal, frequency, coord);
    Calibration_findPowerCoord(cal, power, coord);
}

uint16_t Calibration_getAlcSetpoint2D(Calibration *cal, KrPow power, const KrFreq *frequency,
                                      const CalibrationCoord *coord) {
    cal->saturated = false;
    return unsigned16(cal,
                      interpolate2D(cal, &CalibrationCell::alcSetpoint, power, frequency, coord));
}

uint16_t Calibration_getStepAttenuationA2D(Calibration *cal, KrPow power, const KrFreq *frequency,
                                           const CalibrationCoord *coord) {
    cal->saturated = false;
    return unsigned16(cal, interpolate2D(cal, &CalibrationCell::stepAttA, power, frequency, coord));
}

int16_t Calibration_getStepAttenuationA2D_signedInt(Calibration *cal, KrPow power,
                                                    const KrFreq *frequency,
                                                    const CalibrationCoord *coord) {
    cal->saturated = false;
    return signed16(cal, interpolate2D(cal, &CalibrationCell::stepAttA, power, frequency, coord));
}

int16_t Calibration_getStepAttenuationB2D_signedInt(const Calibration *cal,
                                                    const CalibrationCoord *coord) {
    return Calibration_getStepAttenuationBSignedInt(cal, coord);
}

uint16_t Calibration_getAlcSetpoint(Calibration *cal, KrPow power, const CalibrationCoord *coord) {
    cal->saturated = false;
    return unsigned16(cal, interpolatePower(cal, &CalibrationCell::alcSetpoint, power, coord,
                                            coord->frequencyLo));
}

uint16_t Calibration_getStepAttenuationA(Calibration *cal, KrPow power,
                                         const CalibrationCoord *coord) {
    cal->saturated = false;
    return unsigned16(
        cal, interpolatePower(cal, &CalibrationCell::stepAttA, power, coord, coord->frequencyLo));
}

int16_t Calibration_getStepAttenuationASignedInt(Calibration *cal, KrPow power,
                                                 const CalibrationCoord *coord) {
    cal->saturated = false;
    return signed16(
        cal, interpolatePower(cal, &CalibrationCell::stepAttA, power, coord, coord->frequencyLo));
}

uint16_t Calibration_getStepAttenuationB(const Calibration *cal, const CalibrationCoord *coord) {
    return (uint16_t)cal->cell[coord->powerLo][coord->frequencyLo].stepAttB;
}

int16_t Calibration_getStepAttenuationBSignedInt(const Calibration *cal,
                                                 const CalibrationCoord *coord) {
    return cal->cell[coord->powerLo][coord->frequencyLo].stepAttB;
}

int32_t Calibration_getAlcMargin(const Calibration *cal, const CalibrationCoord *coord) {
    return cal->alcMargin[coord->frequencyLo];
}

int32_t Calibration_getMinAttout(const Calibration *cal, const CalibrationCoord *coord) {
    const int zone = lowerZone(cal, coord);
    const int top = cal->zone[cal->powerCount - 1];
    if (zone != top) {
        printd("debug PF Calibration_getMinAttout, power zone %d, min_attout: %d\n", zone, 0);
        return 0;
    }
    int32_t v = cal->minAttout[coord->frequencyLo];
    printd(
        "debug PF Calibration_getMinAttout, power zone %d (maximum power zone), min_attout: "
        "%d\n",
        zone, v);
    return v;
}

bool Calibration_getGainstage(const Calibration *cal, const CalibrationCoord *coord, int stage) {
    if (stage < 0 || stage > 31) return false;
    const int zone = lowerZone(cal, coord);
    if (zone >= CAL_MAX_OCCURRENCES) return false;
    const uint32_t bit = 1u << stage;
    return (cal->gainStage[zone][coord->frequencyLo] & bit) && (cal->gainStagesInUse & bit);
}

uint8_t Calibration_getAlcAttConfig(const Calibration *cal, const CalibrationCoord *coord) {
    if (cal->sections & CAL_HAS_ALC_ATT_ZONES) {
        const int zone = lowerZone(cal, coord);
        return zone < (int)cal->alcAttZoneCount ? cal->alcAttZone[zone][coord->frequencyLo]
                                                : CAL_NO_ALC_ATT;
    }
    return cal->alcAtt[coord->frequencyLo];
}

bool Calibration_getAlcAttenuation(const Calibration *cal, const CalibrationCoord *coord) {
    return Calibration_getAlcAttConfig(cal, coord) != CAL_NO_ALC_ATT;
}

int Calibration_getZone(const Calibration *cal, const CalibrationCoord *coord) {
    return lowerZone(cal, coord);
}

int Calibration_getZone(const Calibration *cal, int powerIndex) {
    if (powerIndex < 0 || powerIndex >= (int)cal->powerCount) return -1;
    return cal->zone[powerIndex];
}

KrPow Calibration_getPow(const Calibration *cal, int powerIndex) {
    if (powerIndex < 0 || powerIndex >= (int)cal->powerCount) return 0;
    return cal->power[powerIndex];
}

int32_t Calibration_getExtAtt(const Calibration *cal, const CalibrationCoord *coord, int section) {
    if (section < 0 || section >= CAL_EXT_SECTIONS) return 0;
    return cal->extAtt[section][coord->frequencyLo];
}

int32_t Calibration_getTotalExtAtt(const Calibration *cal, const CalibrationCoord *coord) {
    int32_t total = 0;
    for (int s = 0; s < CAL_EXT_SECTIONS; s++)
        total += Calibration_getExtAtt(cal, coord, s);
    return total;
}

int64_t Calibration_getPELimit(const Calibration *cal, const CalibrationCoord *coord) {
    return cal->peReference[coord->frequencyLo];
}

int64_t Calibration_getExtAttRefLevel(const Calibration *cal) {
    return cal->peReferenceLevel;
}

float Calibration_getAm(const Calibration *cal, const CalibrationCoord *coord, int pair,
                        int table) {
    if (pair < 0 || pair >= (int)cal->amPairs || table < 0 || table > 1) return 0;
    return cal->am[pair][table][coord->frequencyLo] * cal->amScale[pair];
}

bool Calibration_isResultSaturated(const Calibration *cal) {
    return cal->saturated;
}
