// Unit tables of numeric parameters, unit-suffix parsing, the selectable power unit
// (UNIT:POWer) and the conversions between power units and dBm at the 50-ohm reference.
//
// Context: main loop only; the selected power unit is shared by every link.
#pragma once

#include <cstdint>

#include "device/krquantity.h"

enum ScpiUnitType : uint8_t {
    SCPI_UNIT_LINEAR = 1,     // the table's base unit (Hz, W, s, plain ratio)
    SCPI_UNIT_VOLT = 2,       // volts across 50 ohm
    SCPI_UNIT_AMPERE = 3,     // amperes into 50 ohm
    SCPI_UNIT_DB_WATT = 4,    // dB relative to 10^exponent W
    SCPI_UNIT_DB_VOLT = 5,    // dB relative to 10^exponent V
    SCPI_UNIT_DB_AMPERE = 6,  // dB relative to 10^exponent A
    SCPI_UNIT_RADIAN = 7,
    SCPI_UNIT_DEGREE = 8,
    SCPI_UNIT_ALIAS = 9,  // another name of the nearest preceding entry that is not an alias
};

constexpr int SCPI_UNIT_NAME_SIZE = 5;

struct ScpiUnitEntry {
    char name[SCPI_UNIT_NAME_SIZE];
    uint8_t type;     // ScpiUnitType
    int8_t exponent;  // decimal exponent of the multiple
};

// The entries carry a count instead of relying on an empty name as the end: the ratio
// table's first entry (the bare number) has an empty name itself.
struct ScpiUnitTable {
    const ScpiUnitEntry *selected;  // unit of bare numbers and of answers; null: none chosen
    const ScpiUnitEntry *entries;
    int count;
};

extern ScpiUnitTable unitFrequency;
extern ScpiUnitTable unitPower;
extern ScpiUnitTable unitRatio;
extern ScpiUnitTable unitTime;
extern ScpiUnitTable unitAngle;

// Flag of scpi_parseSuffix: a number without a suffix is read in the table's first unit, not
// in the selected one (values that are stored in device units).
constexpr int SCPI_SUFFIX_BASE_UNIT = 8;

// Finds the unit suffix at the end of text[0, *length): trailing blanks are dropped, the suffix
// is the longest run of letters, "." and "/" at the end (a "." directly behind a digit stays
// with the number). On success *length is shortened to the number before the suffix and
// *entry is the matching entry with aliases resolved; a number without suffix gets the
// selected entry, or the first one. Returns 0 or -131.
int scpi_parseSuffixRange(const char *text, int *length, const ScpiUnitTable *table, int flags,
                          const ScpiUnitEntry **entry);
// The same on a terminated text, which is cut behind the number.
int scpi_parseSuffix(char *text, const ScpiUnitTable *table, int flags,
                     const ScpiUnitEntry **entry);

// UNIT:POWer: the text must be one power unit name. Scaled linear units (uW, mW, uV, mV,
// uA, mA) are refused with -131 so that linear answers are always in W, V or A.
int scpi_unit_setPowerUnit(const char *text);
// The selected power unit: its name ("dBmW" until one is chosen) and entry; either may be null.
int scpi_unit_getPowerUnit(const char **name, const ScpiUnitEntry **entry);

// value is in W, V or A for the linear types (multiple already applied) and in dB relative to
// the entry's multiple for the decibel types. Both return 0, -222 for a result that is not
// finite (log of zero or of a negative number), or -131 for an entry that is no power unit.
int scpi_unit_pow2dBm(double value, const ScpiUnitEntry *unit, double *dBm);
int scpi_unit_dBm2pow(double dBm, const ScpiUnitEntry *unit, double *value);

// A device power (dBm) in the selected unit, and a value in the selected unit in dBm.
int scpi_kr_pow_unit_dev2user(const KrPow *dBm, double *user);
int scpi_kr_powIndBm(double user, KrPow *dBm);
