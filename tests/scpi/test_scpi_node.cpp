// The typed node handlers: answers, MINimum and MAXimum, clamping without an error, parameter
// counts and forms a leaf does not have. Each fake setter writes what it was given into a log.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "device/device.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_match.h"
#include "scpi/scpi_node.h"
#include "tests/support/param_name.h"

namespace {

std::string lastSet;
void record(const char *format, double v) {
    char buf[64];
    snprintf(buf, sizeof(buf), format, v);
    lastSet = buf;
}

constexpr int Q = SCPI_STATE_QUERY;
constexpr int S = SCPI_STATE_SET;

KrFreq freqValue{100, 0}, freqMin{10, 0}, freqMax{1000, 0};
const KrFreq *getFreq(Device *) {
    return &freqValue;
}
const KrFreq *getFreqMin(Device *) {
    return &freqMin;
}
const KrFreq *getFreqMax(Device *) {
    return &freqMax;
}
int setFreq(Device *, const KrFreq *f) {
    char buf[64];
    snprintf(buf, sizeof(buf), "%lld+%llu", (long long)f->integer, (unsigned long long)f->fraction);
    lastSet = buf;
    return 0;
}

KrPow powValue = -10, powMin = -30, powMax = 20;
const KrPow *getPow(Device *) {
    return &powValue;
}
const KrPow *getPowMin(Device *) {
    return &powMin;
}
const KrPow *getPowMax(Device *) {
    return &powMax;
}
int setPow(Device *, const KrPow *p) {
    record("%g", *p);
    return 0;
}

KrTime timeValue = 1e-3, timeMin = 1e-6, timeMax = 10;
const KrTime *getTime(Device *) {
    return &timeValue;
}
const KrTime *getTimeMin(Device *) {
    return &timeMin;
}
const KrTime *getTimeMax(Device *) {
    return &timeMax;
}
int setTime(Device *, const KrTime *t) {
    record("%g", *t);
    return 0;
}

KrAngle angleValue = 0.5, angleMax = 3;
const KrAngle *getAngle(Device *) {
    return &angleValue;
}
const KrAngle *getAngleMax(Device *) {
    return &angleMax;
}
int setAngle(Device *, const KrAngle *a) {
    record("%g", *a);
    return 0;
}

double getDouble(Device *) {
    return 1.5;
}
double getDoubleMin(Device *) {
    return -2;
}
double getDoubleMax(Device *) {
    return 2;
}
int setDouble(Device *, double v) {
    record("%g", v);
    return 0;
}
double getDoubleUnitMax(Device *) {
    return 1e6;
}
double getDoubleUnitMin(Device *) {
    return 0;
}
int setDoubleRefused(Device *, double) {
    return KR_E_SETTINGS_CONFLICT;
}

float getFloat(Device *) {
    return 2.5f;
}
float getFloatMin(Device *) {
    return 0;
}
float getFloatMax(Device *) {
    return 10;
}
int setFloat(Device *, float v) {
    record("%g", v);
    return 0;
}

int32_t getInt(Device *) {
    return 3;
}
int32_t getIntMin(Device *) {
    return -5;
}
int32_t getIntMax(Device *) {
    return 5;
}
int setInt(Device *, int32_t v) {
    record("%g", v);
    return 0;
}

uint32_t getUint(Device *) {
    return 7;
}
uint32_t getUintMax(Device *) {
    return 100;
}
int setUint(Device *, uint32_t v) {
    record("%g", v);
    return 0;
}

uint64_t getUlint(Device *) {
    return 18446744073709551615ull;
}
int setUlint(Device *, uint64_t v) {
    char buf[32];
    snprintf(buf, sizeof(buf), "%llu", (unsigned long long)v);
    lastSet = buf;
    return 0;
}

int boolState = 0;
int isOn(Device *) {
    return boolState;
}
int turnOn(Device *) {
    lastSet = "on";
    return 0;
}
int turnOff(Device *) {
    lastSet = "off";
    return 0;
}
int isOnAt(Device *, int32_t i) {
    return i == 3;
}
int turnOnAt(Device *, int32_t i) {
    record("on(%g)", i);
    return 0;
}
int turnOffAt(Device *, int32_t i) {
    record("off(%g)", i);
    return 0;
}

double getDoubleAt(Device *, int32_t i) {
    return i * 10.0;
}
double getDoubleMaxAt(Device *, int32_t i) {
    return i * 100.0;
}
int setDoubleAt(Device *, int32_t i, double v) {
    char buf[64];
    snprintf(buf, sizeof(buf), "%d:%g", i, v);
    lastSet = buf;
    return 0;
}
float getFloatAt(Device *, int32_t) {
    return 0.25f;
}
int setFloatAt(Device *, int32_t i, float v) {
    char buf[64];
    snprintf(buf, sizeof(buf), "%d:%g", i, v);
    lastSet = buf;
    return 0;
}
uint32_t getUintAt(Device *, int32_t i) {
    return (uint32_t)i;
}
uint32_t getUintMinAt(Device *, int32_t) {
    return 2;
}
int setUintAt(Device *, int32_t i, uint32_t v) {
    char buf[64];
    snprintf(buf, sizeof(buf), "%d:%u", i, v);
    lastSet = buf;
    return 0;
}

std::string text;
const char *getText(Device *) {
    return text.c_str();
}
int setText(Device *, const char *t) {
    lastSet = t;
    return 0;
}

using Handler = std::function<int(int state, char *params, char *out, int size, int *len)>;

struct NodeRow {
    const char *name;
    Handler handler;
    int state;
    const char *params;
    int result;
    const char *answer;
    const char *set;  // what the setter got ("" when it was not called)
};

std::ostream &operator<<(std::ostream &os, const NodeRow &row) {
    return os << row.name << (row.state == Q ? "? " : " ") << row.params;
}

const Handler freq = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_freq(st, p, o, s, l, nullptr, getFreq, getFreqMin, getFreqMax, setFreq);
};
const Handler freqNoLimits = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_freq(st, p, o, s, l, nullptr, getFreq, nullptr,
                          &Device_fallback<const KrFreq *, Device *>, setFreq);
};
const Handler freqQueryOnly = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_freq(st, p, o, s, l, nullptr, getFreq, getFreqMin, getFreqMax, nullptr);
};
const Handler freqSetOnly = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_freq(st, p, o, s, l, nullptr, nullptr, getFreqMin, getFreqMax, setFreq);
};
const Handler pow = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_pow(st, p, o, s, l, nullptr, getPow, getPowMin, getPowMax, setPow);
};
const Handler time_ = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_time(st, p, o, s, l, nullptr, getTime, getTimeMin, getTimeMax, setTime);
};
const Handler angle = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_angle(st, p, o, s, l, nullptr, getAngle, nullptr, getAngleMax, setAngle);
};
const Handler dbl = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_double(st, p, o, s, l, nullptr, getDouble, getDoubleMin, getDoubleMax,
                            setDouble);
};
const Handler dblRefused = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_double(st, p, o, s, l, nullptr, getDouble, nullptr, nullptr, setDoubleRefused);
};
const Handler dblunit = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_dblunit(st, p, o, s, l, nullptr, &unitFrequency, 0, getDouble,
                             getDoubleUnitMin, getDoubleUnitMax, setDouble);
};
const Handler flt = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_float(st, p, o, s, l, nullptr, getFloat, getFloatMin, getFloatMax, setFloat);
};
const Handler int32 = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_int32(st, p, o, s, l, nullptr, getInt, getIntMin, getIntMax, setInt);
};
const Handler uint32 = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_uint32(st, p, o, s, l, nullptr, getUint, nullptr, getUintMax, setUint);
};
const Handler uint64 = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_uint64(st, p, o, s, l, nullptr, getUlint, nullptr, nullptr, setUlint);
};
const Handler boolean = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_bool(st, p, o, s, l, nullptr, isOn, turnOn, turnOff);
};
const Handler boolOneSetter = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_bool(st, p, o, s, l, nullptr, isOn, turnOn, nullptr);
};
const Handler indexBool = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_index_bool(st, p, o, s, l, nullptr, 3, isOnAt, turnOnAt, turnOffAt);
};
const Handler indexDouble = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_index_double(st, p, o, s, l, nullptr, 2, getDoubleAt, nullptr, getDoubleMaxAt,
                                  setDoubleAt);
};
const Handler indexFloat = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_index_float(st, p, o, s, l, nullptr, 5, getFloatAt, nullptr, nullptr,
                                 setFloatAt);
};
const Handler indexUint = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_index_uint32(st, p, o, s, l, nullptr, 4, getUintAt, getUintMinAt, nullptr,
                                  setUintAt);
};
const Handler string = [](int st, char *p, char *o, int s, int *l) {
    return scpi_node_string(st, p, o, s, l, nullptr, 8, getText, setText);
};

class NodeTest : public ::testing::TestWithParam<NodeRow> {};

TEST_P(NodeTest, AnswersSetsAndClamps) {
    const NodeRow &row = GetParam();
    lastSet.clear();
    text.clear();
    char params[128];
    snprintf(params, sizeof(params), "%s", row.params);
    char out[128] = "";
    int len = -1;
    EXPECT_EQ(row.handler(row.state, params, out, sizeof(out), &len), row.result);
    EXPECT_EQ(std::string(out, (size_t)(len > 0 ? len : 0)), row.answer);
    EXPECT_EQ(lastSet, row.set);
}

INSTANTIATE_TEST_SUITE_P(
    Handlers, NodeTest,
    ::testing::Values(
        NodeRow{"freq", freq, Q, "", 0, "100.00000000000000000000", ""},
        NodeRow{"freq", freq, Q, " MIN ", 0, "10.00000000000000000000", ""},
        NodeRow{"freq", freq, Q, "maximum", 0, "1000.00000000000000000000", ""},
        NodeRow{"freq", freq, Q, "MIN,MAX", KR_E_PARAMETER_NOT_ALLOWED, "", ""},
        NodeRow{"freq", freq, Q, "5", KR_E_PARAMETER_NOT_ALLOWED, "", ""},
        NodeRow{"freq", freq, S, "500", 0, "", "500+0"},
        NodeRow{"freq", freq, S, "0.5kHz", 0, "", "500+0"},
        NodeRow{"freq", freq, S, "5000", 0, "", "1000+0"},
        NodeRow{"freq", freq, S, "1e300", KR_E_DATA_OUT_OF_RANGE, "", ""},
        NodeRow{"freq", freq, S, "9.5", 0, "", "10+0"},
        NodeRow{"freq", freq, S, "-20", 0, "", "10+0"},
        NodeRow{"freq", freq, S, "MIN", 0, "", "10+0"},
        NodeRow{"freq", freq, S, "Maximum", 0, "", "1000+0"},
        NodeRow{"freq", freq, S, "MAXI", KR_E_INVALID_SUFFIX, "", ""},
        NodeRow{"freq", freq, S, "", KR_E_MISSING_PARAMETER, "", ""},
        NodeRow{"freq", freq, S, "1,2", KR_E_PARAMETER_NOT_ALLOWED, "", ""},
        // Absent (or unregistered) limits are no bound; MIN and MAX then take the type's range
        // and the query of a missing limit answers nothing.
        NodeRow{"freq, no limits", freqNoLimits, S, "-20", 0, "", "-20+0"},
        NodeRow{"freq, no limits", freqNoLimits, S, "MAX", 0, "",
                "9223372036854775807+18446744073709551615"},
        NodeRow{"freq, no limits", freqNoLimits, Q, "MIN", 0, "", ""},
        NodeRow{"freq, query only", freqQueryOnly, S, "5", KR_E_UNDEFINED_HEADER, "", ""},
        NodeRow{"freq, set only", freqSetOnly, Q, "", KR_E_UNDEFINED_HEADER, "", ""},
        NodeRow{"pow", pow, Q, "", 0, "-10.000000", ""}, NodeRow{"pow", pow, S, "25", 0, "", "20"},
        NodeRow{"pow", pow, S, "-100 dBm", 0, "", "-30"},
        NodeRow{"pow", pow, S, "MIN", 0, "", "-30"},
        NodeRow{"pow", pow, Q, "MAX", 0, "20.000000", ""},
        NodeRow{"time", time_, Q, "", 0, "1.000000E-03", ""},
        NodeRow{"time", time_, S, "2ms", 0, "", "0.002"},
        NodeRow{"time", time_, S, "20", 0, "", "10"},
        NodeRow{"time", time_, S, "1ns", 0, "", "1e-06"},
        NodeRow{"angle", angle, Q, "", 0, "0.500000000", ""},
        NodeRow{"angle", angle, S, "4", 0, "", "3"}, NodeRow{"angle", angle, S, "-4", 0, "", "-4"},
        NodeRow{"angle", angle, S, "90DEG", 0, "", "1.5708"},
        NodeRow{"double", dbl, Q, "", 0, "1.500000000", ""},
        NodeRow{"double", dbl, S, "-3", 0, "", "-2"},
        NodeRow{"double", dbl, S, "1.25", 0, "", "1.25"},
        NodeRow{"double, refused", dblRefused, S, "1", KR_E_SETTINGS_CONFLICT, "", ""},
        NodeRow{"dblunit", dblunit, S, "5kHz", 0, "", "5000"},
        NodeRow{"dblunit", dblunit, S, "2MHz", 0, "", "1e+06"},
        NodeRow{"dblunit", dblunit, S, "5 parsecs", KR_E_INVALID_SUFFIX, "", ""},
        NodeRow{"float", flt, Q, "", 0, "2.500000000", ""},
        NodeRow{"float", flt, S, "11", 0, "", "10"}, NodeRow{"int32", int32, Q, "", 0, "3", ""},
        NodeRow{"int32", int32, S, "-7", 0, "", "-5"},
        NodeRow{"int32", int32, S, "MAX", 0, "", "5"},
        NodeRow{"int32", int32, S, "2.5", KR_E_ILLEGAL_PARAMETER_VALUE, "", ""},
        NodeRow{"uint32", uint32, S, "200", 0, "", "100"},
        NodeRow{"uint32", uint32, S, "MIN", 0, "", "0"},
        NodeRow{"uint32", uint32, S, "-1", KR_E_DATA_OUT_OF_RANGE, "", ""},
        NodeRow{"uint64", uint64, Q, "", 0, "18446744073709551615", ""},
        NodeRow{"uint64", uint64, S, "MAX", 0, "", "18446744073709551615"},
        NodeRow{"uint64", uint64, S, "18446744073709551616", KR_E_DATA_OUT_OF_RANGE, "", ""},
        NodeRow{"bool", boolean, Q, "", 0, "0", ""},
        NodeRow{"bool", boolean, Q, "1", KR_E_PARAMETER_NOT_ALLOWED, "", ""},
        NodeRow{"bool", boolean, S, "ON", 0, "", "on"},
        NodeRow{"bool", boolean, S, "off", 0, "", "off"},
        NodeRow{"bool", boolean, S, "2", 0, "", "on"},
        NodeRow{"bool", boolean, S, "0", 0, "", "off"},
        NodeRow{"bool", boolean, S, "maybe", KR_E_ILLEGAL_PARAMETER_VALUE, "", ""},
        NodeRow{"bool", boolean, S, "", KR_E_MISSING_PARAMETER, "", ""},
        NodeRow{"bool, one setter", boolOneSetter, S, "ON", KR_E_UNDEFINED_HEADER, "", ""},
        NodeRow{"index bool", indexBool, Q, "", 0, "1", ""},
        NodeRow{"index bool", indexBool, S, "OFF", 0, "", "off(3)"},
        NodeRow{"index double", indexDouble, Q, "", 0, "20.000000000", ""},
        NodeRow{"index double", indexDouble, Q, "MAX", 0, "200.000000000", ""},
        NodeRow{"index double", indexDouble, S, "500", 0, "", "2:200"},
        NodeRow{"index float", indexFloat, S, "-1e3", 0, "", "5:-1000"},
        NodeRow{"index uint32", indexUint, S, "1", 0, "", "4:2"},
        NodeRow{"index uint32", indexUint, Q, "", 0, "4", ""},
        NodeRow{"string", string, Q, "", 0, "none", ""},
        NodeRow{"string", string, S, "\"abc\"", 0, "", "abc"},
        NodeRow{"string", string, S, "'a,b'", 0, "", "a,b"},
        NodeRow{"string", string, S, "plain", 0, "", "plain"},
        NodeRow{"string", string, S, "\"eightchr\"", KR_E_TOO_MUCH_DATA, "", ""}),
    [](const ::testing::TestParamInfo<NodeRow> &info) {
        const NodeRow &row = info.param;
        std::string name = paramName(row.name) + (row.state == Q ? "_Query" : "_Set");
        return *row.params ? paramText(name + "_" + row.params) : name;
    });

TEST(NodeOutputTest, AnswerThatDoesNotFitIsAQueryError) {
    char params[1] = "";
    char out[8];
    int len = -1;
    EXPECT_EQ(scpi_node_freq(Q, params, out, sizeof(out), &len, nullptr, getFreq, nullptr, nullptr,
                             nullptr),
              KR_E_QUERY_ERROR);
    EXPECT_EQ(len, 0);
}

// An unregistered setter is still called: its fallback accepts the setting and counts the
// call for the unregistered-call report.
TEST(NodeOutputTest, UnregisteredOperationIsCountedNotRefused) {
    char params[8] = "5";
    char out[64];
    int len = 0;
    Device_unregisteredFunctionCalls = 0;
    EXPECT_EQ(scpi_node_double(
                  S, params, out, sizeof(out), &len, nullptr, &Device_fallback<double, Device *>,
                  &Device_fallback<double, Device *>, &Device_fallback<double, Device *>,
                  &Device_fallback<int, Device *, double>),
              0);
    EXPECT_EQ(Device_unregisteredFunctionCalls, 1u) << "the limits are not asked for";
    char query[1] = "";
    EXPECT_EQ(scpi_node_double(Q, query, out, sizeof(out), &len, nullptr,
                               &Device_fallback<double, Device *>, nullptr, nullptr, nullptr),
              0);
    EXPECT_STREQ(out, "0.000000000");
    EXPECT_EQ(Device_unregisteredFunctionCalls, 2u);
}

}  // namespace
