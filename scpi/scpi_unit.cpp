#include "scpi/scpi_unit.h"

#include <cfloat>
#include <cmath>

#include "scpi/scpi_errorcodes.h"

namespace {

// 50-ohm reference: P[dBm] = 20 log10(U) + 10 log10(1000 / 50) = 20 log10(I) + 10 log10(50000).
constexpr double DBM_OF_1V = 13.0102999566398;
constexpr double DBM_OF_1A = 46.9897000433602;

const ScpiUnitEntry frequencyEntries[] = {
    {"Hz", SCPI_UNIT_LINEAR, 0}, {"kHz", SCPI_UNIT_LINEAR, 3},  {"MHz", SCPI_UNIT_LINEAR, 6},
    {"MH", SCPI_UNIT_LINEAR, 6}, {"MAHz", SCPI_UNIT_LINEAR, 6}, {"GHz", SCPI_UNIT_LINEAR, 9},
    {"GH", SCPI_UNIT_ALIAS, 0},
};

const ScpiUnitEntry powerEntries[] = {
    {"dBmW", SCPI_UNIT_DB_WATT, -3},   {"dBm", SCPI_UNIT_ALIAS, 0},
    {"DM", SCPI_UNIT_ALIAS, 0},        {"uW", SCPI_UNIT_LINEAR, -6},
    {"mW", SCPI_UNIT_LINEAR, -3},      {"W", SCPI_UNIT_LINEAR, 0},
    {"uV", SCPI_UNIT_VOLT, -6},        {"mV", SCPI_UNIT_VOLT, -3},
    {"V", SCPI_UNIT_VOLT, 0},          {"uA", SCPI_UNIT_AMPERE, -6},
    {"mA", SCPI_UNIT_AMPERE, -3},      {"A", SCPI_UNIT_AMPERE, 0},
    {"dBuW", SCPI_UNIT_DB_WATT, -6},   {"dBW", SCPI_UNIT_DB_WATT, 0},
    {"dB", SCPI_UNIT_ALIAS, 0},        {"dBuA", SCPI_UNIT_DB_AMPERE, -6},
    {"dBmA", SCPI_UNIT_DB_AMPERE, -3}, {"dBA", SCPI_UNIT_DB_AMPERE, 0},
    {"dBuV", SCPI_UNIT_DB_VOLT, -6},   {"dBmV", SCPI_UNIT_DB_VOLT, -3},
    {"dBV", SCPI_UNIT_DB_VOLT, 0},
};

const ScpiUnitEntry ratioEntries[] = {
    {"", SCPI_UNIT_LINEAR, 0},
    {"PCT", SCPI_UNIT_LINEAR, -2},
    {"PPM", SCPI_UNIT_LINEAR, -6},
};

const ScpiUnitEntry timeEntries[] = {
    {"s", SCPI_UNIT_LINEAR, 0},   {"fs", SCPI_UNIT_LINEAR, -15}, {"ps", SCPI_UNIT_LINEAR, -12},
    {"ns", SCPI_UNIT_LINEAR, -9}, {"us", SCPI_UNIT_LINEAR, -6},  {"ms", SCPI_UNIT_LINEAR, -3},
};

const ScpiUnitEntry angleEntries[] = {
    {"rad", SCPI_UNIT_RADIAN, 0},
    {"deg", SCPI_UNIT_DEGREE, 0},
};

template <int N>
constexpr ScpiUnitTable makeTable(const ScpiUnitEntry (&entries)[N]) {
    return {nullptr, entries, N};
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isSuffixChar(char c) {
    return isLetter(c) || c == '.' || c == '/';
}
char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Name equals text[0, n) ignoring case.
bool nameEquals(const char *name, const char *text, int n) {
    int i = 0;
    for (; i < n; i++) {
        if (name[i] == '\0' || upper(name[i]) != upper(text[i])) return false;
    }
    return name[i] == '\0';
}

int resolveAlias(const ScpiUnitTable *table, int i, const ScpiUnitEntry **entry) {
    while (table->entries[i].type == SCPI_UNIT_ALIAS) {
        if (i == 0) return KR_E_INVALID_SUFFIX;
        i--;
    }
    *entry = &table->entries[i];
    return 0;
}

// dBm = slope * log10(x) + reference for W, V and A (x in the base unit), and
// dBm = x + slope * exponent + reference for dB relative to a multiple of them.
struct PowerLaw {
    double slope;
    double reference;
    bool logarithmic;
};

bool powerLaw(const ScpiUnitEntry *unit, PowerLaw *law) {
    switch (unit->type) {
        case SCPI_UNIT_LINEAR:
            *law = {10.0, 30.0, true};
            return true;
        case SCPI_UNIT_VOLT:
            *law = {20.0, DBM_OF_1V, true};
            return true;
        case SCPI_UNIT_AMPERE:
            *law = {20.0, DBM_OF_1A, true};
            return true;
        case SCPI_UNIT_DB_WATT:
            *law = {10.0, 30.0, false};
            return true;
        case SCPI_UNIT_DB_VOLT:
            *law = {20.0, DBM_OF_1V, false};
            return true;
        case SCPI_UNIT_DB_AMPERE:
            *law = {20.0, DBM_OF_1A, false};
            return true;
        default:
            return false;
    }
}

bool isScaledLinear(const ScpiUnitEntry *e) {
    return (e->type == SCPI_UNIT_LINEAR || e->type == SCPI_UNIT_VOLT ||
            e->type == SCPI_UNIT_AMPERE) &&
           e->exponent != 0;
}

}  // namespace

ScpiUnitTable unitFrequency = makeTable(frequencyEntries);
ScpiUnitTable unitPower = makeTable(powerEntries);
ScpiUnitTable unitRatio = makeTable(ratioEntries);
ScpiUnitTable unitTime = makeTable(timeEntries);
ScpiUnitTable unitAngle = makeTable(angleEntries);

int scpi_parseSuffixRange(const char *text, int *length, const ScpiUnitTable *table, int flags,
                          const ScpiUnitEntry **entry) {
    int end = *length;
    while (end > 0 && isBlank(text[end - 1]))
        end--;
    int start = end;
    while (start > 0 && isSuffixChar(text[start - 1]))
        start--;
    // "5." and "1.GHz": the point belongs to the number.
    if (start < end && text[start] == '.' && start > 0 && isDigit(text[start - 1])) start++;
    if (table->count == 0) return KR_E_INVALID_SUFFIX;

    int index = 0;
    if (start == end) {
        if (!(flags & SCPI_SUFFIX_BASE_UNIT) && table->selected != nullptr) {
            *entry = table->selected;
            *length = start;
            return 0;
        }
    } else {
        int n = end - start;
        for (index = 0; index < table->count; index++) {
            if (nameEquals(table->entries[index].name, text + start, n)) break;
        }
        if (index == table->count) return KR_E_INVALID_SUFFIX;
    }
    int r = resolveAlias(table, index, entry);
    if (r == 0) *length = start;
    return r;
}

int scpi_parseSuffix(char *text, const ScpiUnitTable *table, int flags,
                     const ScpiUnitEntry **entry) {
    int length = 0;
    while (text[length] != '\0')
        length++;
    int r = scpi_parseSuffixRange(text, &length, table, flags, entry);
    if (r == 0) text[length] = '\0';
    return r;
}

int scpi_unit_setPowerUnit(const char *text) {
    while (isBlank(*text))
        text++;
    int length = 0;
    while (text[length] != '\0')
        length++;
    const ScpiUnitEntry *entry = nullptr;
    int r = scpi_parseSuffixRange(text, &length, &unitPower, 0, &entry);
    if (r != 0) return r;
    // The whole parameter must be the name: no number, and no bare empty text.
    if (length != 0 || text[0] == '\0') return KR_E_INVALID_SUFFIX;
    if (isScaledLinear(entry)) return KR_E_INVALID_SUFFIX;
    unitPower.selected = entry;
    return 0;
}

int scpi_unit_getPowerUnit(const char **name, const ScpiUnitEntry **entry) {
    const ScpiUnitEntry *e =
        unitPower.selected != nullptr ? unitPower.selected : &unitPower.entries[0];
    if (name != nullptr) *name = e->name;
    if (entry != nullptr) *entry = e;
    return 0;
}

int scpi_unit_pow2dBm(double value, const ScpiUnitEntry *unit, double *dBm) {
    PowerLaw law;
    if (!powerLaw(unit, &law)) return KR_E_INVALID_SUFFIX;
    double r = law.logarithmic ? law.slope * std::log10(value) + law.reference
                               : value + law.slope * unit->exponent + law.reference;
    if (!std::isfinite(r)) return KR_E_DATA_OUT_OF_RANGE;
    *dBm = r;
    return 0;
}

int scpi_unit_dBm2pow(double dBm, const ScpiUnitEntry *unit, double *value) {
    PowerLaw law;
    if (!powerLaw(unit, &law)) return KR_E_INVALID_SUFFIX;
    // dBmW comes out unchanged: 30 + 10 * -3 = 0.
    double r = law.logarithmic ? std::pow(10.0, (dBm - law.reference) / law.slope)
                               : dBm - law.reference - law.slope * unit->exponent;
    if (!std::isfinite(r)) return KR_E_DATA_OUT_OF_RANGE;
    *value = r;
    return 0;
}

int scpi_kr_pow_unit_dev2user(const KrPow *dBm, double *user) {
    const ScpiUnitEntry *unit = nullptr;
    scpi_unit_getPowerUnit(nullptr, &unit);
    return scpi_unit_dBm2pow(*dBm, unit, user);
}

int scpi_kr_powIndBm(double user, KrPow *dBm) {
    const ScpiUnitEntry *unit = nullptr;
    scpi_unit_getPowerUnit(nullptr, &unit);
    double d = 0.0;
    int r = scpi_unit_pow2dBm(user, unit, &d);
    if (r != 0) return r;
    // Out of float range the conversion itself would be undefined.
    if (std::fabs(d) > FLT_MAX) return KR_E_DATA_OUT_OF_RANGE;
    *dBm = static_cast<float>(d);
    return 0;
}
