// Numeric parameters as text in, answers as text out.
//
// Every number goes through one decimal normalisation (sign, digits with at most one ".",
// optional exponent, optional unit suffix) before it becomes a value, so that all parameters
// accept the same syntax and give the same errors:
//   -224 malformed text (a second "." or "e", blanks or letters inside the number, no digits),
//   -222 more than 39 integer digits after exponent and unit, or a value outside the type,
//   -131 unknown unit suffix.
// Frequencies never touch binary floating point.
//
// Formatters take the output buffer, its size and an optional length; a text that does not fit
// gives -400 with length 0 and an empty text.
//
// Context: main loop (command handlers); the power formatters read the selected power unit.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "device/krquantity.h"
#include "scpi/scpi_unit.h"

// Normalised decimal text: sign, at most 39 integer digits, ".", at most 41 fraction digits
// (later fraction digits are dropped), and the terminating zero.
constexpr int SCPI_STDDEC_INT_DIGITS = 39;
constexpr int SCPI_STDDEC_FRAC_DIGITS = 41;
constexpr int SCPI_STDDEC_SIZE = 1 + SCPI_STDDEC_INT_DIGITS + 1 + SCPI_STDDEC_FRAC_DIGITS + 1;

// Formatter flags.
constexpr int SCPI_FORMAT_FIXED = 1;         // "%.9lf" instead of "%lE"
constexpr int SCPI_FORMAT_TWO_DECIMALS = 2;  // power: "%.2f"
constexpr int SCPI_FORMAT_DEVICE_UNITS = 4;  // power: dBm as stored, no unit conversion

// text (with a unit suffix when table is given) as "+123.456" in the unit's base; the
// multiple of a decibel unit is not applied to the number but left to the caller through
// *entry. out needs SCPI_STDDEC_SIZE bytes. entry may be null.
int scpi_str2stddecstr(const char *text, const ScpiUnitTable *table, int flags,
                       const ScpiUnitEntry **entry, char *out, int size);

// Exact: the first 20 fraction digits of the hertz value are rounded to the nearest 2^-64 Hz,
// later digits are dropped. Range -2^63 Hz to below 2^63 Hz.
int scpi_str2kr_freq(const char *text, KrFreq *freq);
// Any unit of unitPower; a bare number is in the selected unit (SCPI_SUFFIX_BASE_UNIT: dBm).
int scpi_str2kr_pow(const char *text, KrPow *pow, int flags);
int scpi_str2kr_time(const char *text, KrTime *time);
// Radians; degrees are converted.
int scpi_str2kr_angle(const char *text, KrAngle *angle);
// Plain ratio: PCT divides by 100, PPM by 1 000 000.
int scpi_str2ratio(const char *text, double *value);
// In the base of the table's unit: multiples applied, degrees in radians, decibel values
// relative to the base unit (dB re W for the watt family, dB re V or A otherwise).
int scpi_str2double_unit(const char *text, double *value, const ScpiUnitTable *table);
int scpi_str2double(const char *text, double *value);
int scpi_str2float(const char *text, float *value);
int scpi_str2int(const char *text, int32_t *value);
int scpi_str2uint(const char *text, uint32_t *value);
int scpi_str2lint(const char *text, int64_t *value);
int scpi_str2ulint(const char *text, uint64_t *value);
// "ON" 1, "OFF" 0, otherwise an integer, nonzero meaning 1.
int scpi_str2bool(const char *text, int *flag);
// Copies text into buffer of size bytes; -223 (and an empty buffer) when it does not fit.
// Removes one pair of surrounding quotes (single or double) in place.
char *scpi_unquote(char *text);
int scpi_str2chararray(const char *text, char *buffer, int size);

// "%lld." and exactly 20 fraction digits, truncated; negative values as "-" and the magnitude.
int scpi_kr_freq2str(const KrFreq *freq, char *out, int size, int *length);
// In the selected power unit, "%f"; a null value is "0".
int scpi_kr_pow2str(const KrPow *pow, char *out, int size, int *length);
int scpi_kr_pow2strf(const KrPow *pow, int flags, char *out, int size, int *length);
// "%lE" ("%.9lf" with SCPI_FORMAT_FIXED); a null value is "0.0".
int scpi_kr_time2str(const KrTime *time, char *out, int size, int *length);
int scpi_kr_time2strf(const KrTime *time, int flags, char *out, int size, int *length);
// "%.9lf" ("%lE" when the f variant is called without SCPI_FORMAT_FIXED).
int scpi_kr_angle2str(const KrAngle *angle, char *out, int size, int *length);
int scpi_kr_angle2strf(const KrAngle *angle, int flags, char *out, int size, int *length);
int scpi_double2str(double value, char *out, int size, int *length);
int scpi_double2strf(double value, int flags, char *out, int size, int *length);
int scpi_float2str(float value, char *out, int size, int *length);
// The values joined by ", ".
int scpi_doubleArray2strf(const double *values, int count, int flags, char *out, int size,
                          int *length);
int scpi_int2str(int32_t value, char *out, int size, int *length);
int scpi_uint2str(uint32_t value, char *out, int size, int *length);
int scpi_ulint2str(uint64_t value, char *out, int size, int *length);
int scpi_bool2str(int flag, char *out, int size, int *length);
int scpi_chararray2str(const char *text, char *out, int size, int *length);
// A fixed character field of bufferSize bytes, up to its first zero byte.
int scpi_buffer2str(const char *buffer, int bufferSize, char *out, int size, int *length);
