// The factory calibration of one output channel: for every (frequency, board power) point the
// settings of the levelling stages (step attenuations A and B, ALC setpoint DAC), per-frequency
// margins, gain stages, ALC-loop attenuator settings and the power-extension attenuator's
// tables. Read from the channel's semicolon file (csvtables.h), validated, split into bands
// that interpolation must not cross, then asked at every power change: the coordinates of the
// request first, then the look-ups, interpolating in power and frequency with integers.
// Main loop.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "device/krquantity.h"

constexpr int CAL_MAX_FREQUENCIES = 2048;
constexpr int CAL_MAX_POWERS = 16;
constexpr int CAL_MAX_OCCURRENCES = 8;  // gain-stage rows per stage, one per power zone
constexpr int CAL_MAX_ZONES = CAL_MAX_POWERS;
constexpr int CAL_EXT_SECTIONS = 4;  // attenuator sections of the power extension
constexpr int CAL_MIN_ZONE_ROWS = 4;
constexpr int CAL_MAX_ZONE_ROWS = 20;
constexpr int CAL_MAX_PE_ROWS = 8;  // 32-bit power-extension tables after the reference row
constexpr int CAL_MAX_AM_PAIRS = 16;
constexpr int CAL_MAX_BAND_EDGES = 100;
constexpr uint8_t CAL_BAND_START = 0x01;
constexpr uint8_t CAL_NO_ALC_ATT = 0xFF;  // no ALC-loop attenuator configuration

// Load and validation results (diagnostic output only).
enum CalStatus : int {
    CAL_OK = 0,
    CAL_BAD_CELL = -1,
    CAL_UNKNOWN_SECTION = -2,
    CAL_BAD_ROW_LENGTH = -3,
    CAL_BAD_POWER_TABLE = -4,
    CAL_BAD_ZONE_ROWS = -5,
    CAL_SECOND_MARGIN_ROW = -6,
    CAL_TOO_MANY_AM_PAIRS = -7,
    CAL_STAGE_TOO_OFTEN = -10,
    CAL_BAD_STAGE_NUMBER = -11,
    CAL_BAD_STAGE_CELL = -12,
    CAL_BOTH_ALC_ATT_KINDS = -20,
    CAL_NO_FILE = -100,
};

// Which sections the file carried.
enum CalSection : uint32_t {
    CAL_HAS_POWER_TABLE = 1u << 0,
    CAL_HAS_ZONE_ROWS = 1u << 1,
    CAL_HAS_ALC_ATT = 1u << 2,
    CAL_HAS_ALC_ATT_ZONES = 1u << 3,
    CAL_HAS_MARGIN = 1u << 4,
    CAL_HAS_MIN_ATTOUT = 1u << 5,
    CAL_HAS_AM = 1u << 6,
    CAL_HAS_GAIN_STAGES = 1u << 7,
    CAL_HAS_PE_REFERENCE = 1u << 8,
    CAL_HAS_PE_TABLE = 1u << 9,
};

struct CalibrationCell {
    int16_t alcSetpoint;
    int16_t stepAttA;
    int16_t stepAttB;
};

struct Calibration {
    uint32_t frequencyCount;
    uint32_t powerCount;
    int64_t frequency[CAL_MAX_FREQUENCIES];  // Hz, ascending
    uint8_t band[CAL_MAX_FREQUENCIES];       // CAL_BAND_START: no interpolation from below
    float power[CAL_MAX_POWERS];             // dBm, ascending; equal neighbours end a zone
    uint8_t zone[CAL_MAX_POWERS];
    int64_t inversePowerStep[CAL_MAX_POWERS];  // 2^32 / whole-dBm width of each interval
    CalibrationCell cell[CAL_MAX_POWERS][CAL_MAX_FREQUENCIES];
    int32_t alcMargin[CAL_MAX_FREQUENCIES];
    int32_t minAttout[CAL_MAX_FREQUENCIES];  // used in the top power zone only
    uint8_t alcAtt[CAL_MAX_FREQUENCIES];     // one configuration for all zones
    uint8_t alcAttZone[CAL_MAX_ZONES][CAL_MAX_FREQUENCIES];
    uint32_t alcAttZoneCount;
    uint32_t gainStage[CAL_MAX_OCCURRENCES][CAL_MAX_FREQUENCIES];  // bit s: stage s on
    uint32_t gainStagesInUse;
    uint8_t gainStageRows[32];  // rows (occurrences) each stage had in the file
    // Power extension: the four sections' attenuation (1/1000 dB after validation) and their
    // reference values, the zone rows (x100), the reference table and further tables.
    int16_t extAtt[CAL_EXT_SECTIONS][CAL_MAX_FREQUENCIES];
    int64_t extAttReference[CAL_EXT_SECTIONS];
    int32_t zoneRow[CAL_MAX_ZONE_ROWS][CAL_MAX_FREQUENCIES];
    int64_t zoneRowHeader[CAL_MAX_ZONE_ROWS];
    uint32_t zoneRowCount;
    int64_t peReferenceLevel;
    int64_t peReference[CAL_MAX_FREQUENCIES];
    int32_t peRow[CAL_MAX_PE_ROWS][CAL_MAX_FREQUENCIES];
    uint32_t peRowCount;
    int64_t peTable[CAL_MAX_FREQUENCIES];
    // Amplitude modulation: pairs of tables with a scale each.
    int16_t am[CAL_MAX_AM_PAIRS][2][CAL_MAX_FREQUENCIES];
    float amScale[CAL_MAX_AM_PAIRS];
    uint32_t amPairs;
    uint32_t amTableSize;
    uint32_t sections;  // CalSection bits
    bool oneFlag;
    bool saturated;    // the last look-up left the 16-bit range
    int32_t approval;  // CalApproval; kept when the table is emptied
};

// Where the calibration of a channel stands; the service programs set it.
enum CalApproval : int32_t {
    CAL_APPROVAL_NONE = 0,
    CAL_APPROVAL_REGISTERED = 1,
    CAL_APPROVAL_APPROVED = 2,
};

// Where a request lies in the table.
struct CalibrationCoord {
    uint32_t frequencyLo, frequencyHi;
    uint32_t powerLo, powerHi;
};

// An empty record; init also registers the calibration-status operations of the device.
void Calibration_init(Calibration *cal);
void Calibration_reset(Calibration *cal);
// Counts, power steps and zones, band starts everywhere, power-extension units. -1 (and a
// reset record) for counts outside their ranges.
int Calibration_validate(Calibration *cal);
// Refines the band starts with the board's band edges (Hz, ascending), the gain-stage changes
// and the step-attenuation B changes.
void Calibration_defineBands(Calibration *cal, const int64_t *edges, int edgeCount);
// Reports, for each band limit, whether the table has a band start there. The number of
// limits that are not ok.
int Calibration_forceAlcBands(const Calibration *cal, const int64_t *limits, int count);

void Calibration_findFrequencyCoord(const Calibration *cal, const KrFreq *frequency,
                                    CalibrationCoord *coord);
void Calibration_findPowerCoord(const Calibration *cal, KrPow power, CalibrationCoord *coord);
void Calibration_findCoord(const Calibration *cal, const KrFreq *frequency, KrPow power,
                           CalibrationCoord *coord);

uint16_t Calibration_getAlcSetpoint2D(Calibration *cal, KrPow power, const KrFreq *frequency,
                                      const CalibrationCoord *coord);
uint16_t Calibration_getStepAttenuationA2D(Calibration *cal, KrPow power, const KrFreq *frequency,
                                           const CalibrationCoord *coord);
int16_t Calibration_getStepAttenuationA2D_signedInt(Calibration *cal, KrPow power,
                                                    const KrFreq *frequency,
                                                    const CalibrationCoord *coord);
int16_t Calibration_getStepAttenuationB2D_signedInt(const Calibration *cal,
                                                    const CalibrationCoord *coord);
// At the lower frequency point only.
uint16_t Calibration_getAlcSetpoint(Calibration *cal, KrPow power, const CalibrationCoord *coord);
uint16_t Calibration_getStepAttenuationA(Calibration *cal, KrPow power,
                                         const CalibrationCoord *coord);
int16_t Calibration_getStepAttenuationASignedInt(Calibration *cal, KrPow power,
                                                 const CalibrationCoord *coord);
// At the lower power and frequency points, without interpolation.
uint16_t Calibration_getStepAttenuationB(const Calibration *cal, const CalibrationCoord *coord);
int16_t Calibration_getStepAttenuationBSignedInt(const Calibration *cal,
                                                 const CalibrationCoord *coord);
int32_t Calibration_getAlcMargin(const Calibration *cal, const CalibrationCoord *coord);
int32_t Calibration_getMinAttout(const Calibration *cal, const CalibrationCoord *coord);
bool Calibration_getGainstage(const Calibration *cal, const CalibrationCoord *coord, int stage);
// The ALC-loop attenuator configuration, CAL_NO_ALC_ATT when the table has none.
uint8_t Calibration_getAlcAttConfig(const Calibration *cal, const CalibrationCoord *coord);
// Whether the table configures the ALC-loop attenuator at this point.
bool Calibration_getAlcAttenuation(const Calibration *cal, const CalibrationCoord *coord);
// The power zone of the lower power point, or of a power point by index.
int Calibration_getZone(const Calibration *cal, const CalibrationCoord *coord);
int Calibration_getZone(const Calibration *cal, int powerIndex);
// A power point by index (dBm).
KrPow Calibration_getPow(const Calibration *cal, int powerIndex);
// The power extension's attenuation of one section at the lower frequency (1/1000 dB).
int32_t Calibration_getExtAtt(const Calibration *cal, const CalibrationCoord *coord, int section);
int32_t Calibration_getTotalExtAtt(const Calibration *cal, const CalibrationCoord *coord);
int64_t Calibration_getPELimit(const Calibration *cal, const CalibrationCoord *coord);
int64_t Calibration_getExtAttRefLevel(const Calibration *cal);
// An AM table value of one pair at the lower frequency, scaled.
float Calibration_getAm(const Calibration *cal, const CalibrationCoord *coord, int pair, int table);
bool Calibration_isResultSaturated(const Calibration *cal);
