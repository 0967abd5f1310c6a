// The matcher over a small tree that has one node of every kind. Each device operation of the
// tree writes what it was called with into a log, so that a row can say which command a
// header reached and with which value and suffix.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "config/state_reporter.h"
#include "core/krpath.h"
#include "scpi/scpi_analize.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_match.h"
#include "scpi/scpi_node.h"
#include "scpi/scpi_parser.h"
#include "scpi/scpi_tree.h"
#include "scpi_test_harness.h"
#include "tests/support/param_name.h"

using krtest::LinkHarness;

namespace {

std::string callLog;
void logf(const char *format, long long v) {
    char buf[64];
    snprintf(buf, sizeof(buf), format, v);
    if (!callLog.empty()) callLog += " ";
    callLog += buf;
}

KrFreq freqValue{100, 0};
KrFreq freqMin{10, 0};
KrFreq freqMax{1000, 0};
int mode = 0;
int rf = 0;
int hold = 0;
int alc = 0;

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
    freqValue = *f;
    logf("freq(%lld)", f->integer);
    return 0;
}
int selectSource(Device *, int32_t i) {
    logf("src(%lld)", i);
    return 0;
}
int selectOutput(Device *, int32_t i) {
    logf("out(%lld)", i);
    return i == 9 ? KR_E_SUFFIX_OUT_OF_RANGE : 0;
}
int rfOn(Device *) {
    logf("rf(%lld)", 1);
    return rf = 1, 0;
}
int rfOff(Device *) {
    logf("rf(%lld)", 0);
    return rf = 0, 0;
}
int isRf(Device *) {
    return rf;
}
int holdOn(Device *) {
    logf("hold(%lld)", 1);
    return hold = 1, 0;
}
int holdOff(Device *) {
    logf("hold(%lld)", 0);
    return hold = 0, 0;
}
int isHold(Device *) {
    return hold;
}
int alcOn(Device *) {
    logf("alc(%lld)", 1);
    return alc = 1, 0;
}
int alcOff(Device *) {
    logf("alc(%lld)", 0);
    return alc = 0, 0;
}
int isAlc(Device *) {
    return alc;
}
int modeFixed(Device *) {
    logf("mode(%lld)", 0);
    return mode = 0, 0;
}
int modeSweep(Device *) {
    logf("mode(%lld)", 1);
    return mode = 1, 0;
}
int isModeFixed(Device *) {
    return mode == 0;
}
int isModeSweep(Device *) {
    return mode == 1;
}
uint32_t enable = 0;
uint32_t getEnable(Device *) {
    return enable;
}
int setEnable(Device *, uint32_t v) {
    logf("enable(%lld)", v);
    return enable = v, 0;
}
int setLong(Device *, uint32_t v) {
    logf("long(%lld)", v);
    return 0;
}

// The slots of the test tree.
const KrFreq *(*slotGetFreq)(Device *) = getFreq;
const KrFreq *(*slotGetFreqMin)(Device *) = getFreqMin;
const KrFreq *(*slotGetFreqMax)(Device *) = getFreqMax;
int (*slotSetFreq)(Device *, const KrFreq *) = setFreq;
int (*slotSelectSource)(Device *, int32_t) = selectSource;
int (*slotSelectOutput)(Device *, int32_t) = selectOutput;
int (*slotRfOn)(Device *) = rfOn;
int (*slotRfOff)(Device *) = rfOff;
int (*slotIsRf)(Device *) = isRf;
int (*slotHoldOn)(Device *) = holdOn;
int (*slotHoldOff)(Device *) = holdOff;
int (*slotIsHold)(Device *) = isHold;
int (*slotAlcOn)(Device *) = alcOn;
int (*slotAlcOff)(Device *) = alcOff;
int (*slotIsAlc)(Device *) = isAlc;
int (*slotModeFixed)(Device *) = modeFixed;
int (*slotModeSweep)(Device *) = modeSweep;
int (*slotIsModeFixed)(Device *) = isModeFixed;
int (*slotIsModeSweep)(Device *) = isModeSweep;
uint32_t (*slotGetEnable)(Device *) = getEnable;
int (*slotSetEnable)(Device *, uint32_t) = setEnable;
int (*slotSetLong)(Device *, uint32_t) = setLong;

int idn(ScpiCall *call) {
    char *p[1];
    int found;
    int r = _scpi_getParameters(call->params, 0, p, &found, call->partial);
    if (r) return r;
    return scpi_chararray2str("IDN", call->out, call->outSize, &call->outLen);
}

int recall(ScpiCall *call) {
    char *p[1];
    int found;
    if (call->index != SCPI_NO_INDEX) {
        int r = _scpi_getParameters(call->params, 0, p, &found, call->partial);
        if (r) return r;
        logf("rcl(%lld)", call->index);
        return 0;
    }
    int r = _scpi_getParameters(call->params, 1, p, &found, call->partial);
    if (r) return r;
    int32_t n = 0;
    r = scpi_str2int(p[0], &n);
    if (r == 0) logf("rcl(%lld)", n);
    return r;
}

// An older name of FREQ:CW, and a leaf that aliases itself.
int oldFrequency(ScpiCall *call) {
    char command[64];
    snprintf(command, sizeof(command), "FREQ:CW%s %s", call->state == SCPI_STATE_QUERY ? "?" : "",
             call->params);
    call->outLen =
        scpi_alias(call->link, command, call->out, call->outSize, call->partial, call->flags);
    return 0;
}
int selfAlias(ScpiCall *call) {
    call->outLen = scpi_alias(call->link, "LOOP", call->out, call->outSize, 0, 0);
    return 0;
}

int alcadcRead(ScpiCall *call) {
    return scpi_chararray2str("77", call->out, call->outSize, &call->outLen);
}

int alcadcWrite(ScpiCall *call) {
    int32_t v = 0;
    int r = scpi_str2int(call->params, &v);
    if (r == 0) logf("alcadc(%lld)", v);
    return r;
}

const ScpiEnumValue modeValues[] = {
    {"FIXed", &slotModeFixed, &slotIsModeFixed},
    {"SWEep", &slotModeSweep, &slotIsModeSweep},
    {"CW", &slotModeFixed, nullptr},
    {nullptr, nullptr, nullptr},
};

const ScpiNode freqNodes[] = {
    scpi_kwLeaf("MODE", scpi_leafEnum(modeValues)),
    scpi_kwOptional("CW", nullptr,
                    scpi_leafFreq(&slotGetFreq, &slotGetFreqMin, &slotGetFreqMax, &slotSetFreq)),
    scpi_end(),
};

const ScpiNode alcStateNodes[] = {
    scpi_kwLeaf("HOLD", scpi_leafBool(&slotIsHold, &slotHoldOn, &slotHoldOff)),
    scpi_end(),
};

const ScpiNode alcNodes[] = {
    scpi_kwOptional("STATe", alcStateNodes, scpi_leafBool(&slotIsAlc, &slotAlcOn, &slotAlcOff)),
    scpi_end(),
};

// Two optional levels in a row, whose keywords begin with other letters than the leaf's: the
// leaf must be found whichever of them the header leaves out.
const ScpiNode immediateNodes[] = {
    scpi_kwLeaf("AMPLitude", scpi_leafUint32(nullptr, nullptr, nullptr, &slotSetLong)),
    scpi_end(),
};
const ScpiNode levelNodes[] = {
    scpi_kwOptional("IMMediate", immediateNodes),
    scpi_end(),
};

const ScpiNode powNodes[] = {
    scpi_kw("ALC", alcNodes),
    scpi_kwOptional("LEVel", levelNodes),
    scpi_end(),
};

// Long keywords to reach the remembered path's limit: each adds nine bytes.
const ScpiNode deepDNodes[] = {
    scpi_kwLeaf("XX", scpi_leafUint32(nullptr, nullptr, nullptr, &slotSetLong)),
    scpi_end(),
};
const ScpiNode deepCNodes[] = {
    scpi_kw("DDDDDDDD", deepDNodes),
    scpi_kwLeaf("YY", scpi_leafUint32(nullptr, nullptr, nullptr, &slotSetLong)),
    // An operation no module of this build fills.
    scpi_kwLeaf("ZZ", scpi_leafUint32(nullptr, nullptr, nullptr, &Device_setPhaseNoiseSamples)),
    scpi_end(),
};
const ScpiNode deepBNodes[] = {
    scpi_kw("CCCCCCCC", deepCNodes),
    scpi_end(),
};
const ScpiNode deepANodes[] = {
    scpi_kw("BBBBBBBB", deepBNodes),
    scpi_end(),
};

// SPAN shares its first character with STATus and its first two with SPLit (second root
// set); Xoffset has a one-character short form.
const ScpiNode sourceNodes[] = {
    scpi_kw("FREQuency", freqNodes),
    scpi_kw("POWer", powNodes),
    scpi_kwLeaf("SPAN", scpi_leafUint32(nullptr, nullptr, nullptr, &slotSetLong)),
    scpi_kwLeaf("Xoffset", scpi_leafUint32(nullptr, nullptr, nullptr, &slotSetLong)),
    scpi_end(),
};

const ScpiNode outputNodes[] = {
    scpi_kwOptional("STATe", nullptr, scpi_leafBool(&slotIsRf, &slotRfOn, &slotRfOff)),
    scpi_end(),
};

const ScpiNode operationNodes[] = {
    scpi_kwLeaf("ENABle", scpi_leafUint32(&slotGetEnable, nullptr, nullptr, &slotSetEnable)),
    scpi_end(),
};
const ScpiNode statusNodes[] = {
    scpi_kw("OPERation", operationNodes),
    scpi_end(),
};

const ScpiNode testRoot[] = {
    scpi_kwLeaf("*IDN", scpi_leafCustom(idn, SCPI_FORM_QUERY)),
    scpi_kwIndex("*RCL", nullptr, nullptr, scpi_leafCustom(recall, SCPI_FORM_SET)),
    scpi_kwIndex("OUTPut", &slotSelectOutput, outputNodes),
    scpi_kw("AAAAAAAA", deepANodes),
    scpi_kwBranch("SOURce", &slotSelectSource, sourceNodes),
    scpi_kw("STATus", statusNodes),
    scpi_kwLeaf("SPLit", scpi_leafUint32(nullptr, nullptr, nullptr, &slotSetLong)),
    scpi_kwLeaf("OLDFreq", scpi_leafCustom(oldFrequency, SCPI_FORM_BOTH)),
    scpi_kwLeaf("LOOP", scpi_leafCustom(selfAlias, SCPI_FORM_SET)),
    scpi_kwLegacy("alcadc/", scpi_leafCustom(alcadcRead, SCPI_FORM_QUERY)),
    scpi_kwLegacy("alcadc=", scpi_leafCustom(alcadcWrite, SCPI_FORM_SET)),
    scpi_end(),
};

class TreeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved = scpi_tree_setRoot(testRoot);
        link = h.addLink(1024, 1024);
        callLog.clear();
        freqValue = KrFreq{100, 0};
        mode = rf = hold = alc = 0;
        enable = 0;
    }
    void TearDown() override { scpi_tree_setRoot(saved); }

    // One unit straight through the parser.
    std::string unit(const std::string &text, int *error) {
        char buf[SCPI_MAX_UNIT + 1];
        snprintf(buf, sizeof(buf), "%s", text.c_str());
        char out[256 + SCPI_ANS_OVERFLOW_RESERVE];
        int n = scpi_parser(link, buf, out, 256, 0, 0);
        link->storedPath[0] = 0;  // each unit is a program message of its own
        std::vector<int> errors = h.errors();
        *error = errors.empty() ? 0 : errors.front();
        return std::string(out, (size_t)(n > 0 ? n : 0));
    }

    LinkHarness h;
    ScpiLink *link = nullptr;
    const ScpiNode *saved = nullptr;
};

struct MatchRow {
    const char *unit;
    int error;
    const char *answer;
    const char *log;  // device calls, in order
};

class MatchTest : public TreeTest, public ::testing::WithParamInterface<MatchRow> {};

TEST_P(MatchTest, ReachesTheNamedCommand) {
    const MatchRow &row = GetParam();
    int error = 0;
    EXPECT_EQ(unit(row.unit, &error), row.answer) << row.unit;
    EXPECT_EQ(error, row.error) << row.unit;
    EXPECT_EQ(callLog, row.log) << row.unit;
}

constexpr const char *none = "";
const char *const src = "src(2147483647)";

INSTANTIATE_TEST_SUITE_P(
    Keywords, MatchTest,
    ::testing::Values(
        // Short and long forms in any case; nothing between or beyond them.
        MatchRow{"freq 500", 0, none, "src(2147483647) freq(500)"},
        MatchRow{"FREQ 500", 0, none, "src(2147483647) freq(500)"},
        MatchRow{"Frequency 500", 0, none, "src(2147483647) freq(500)"},
        MatchRow{"FREQUENCY 500", 0, none, "src(2147483647) freq(500)"},
        MatchRow{"FREQU 500", KR_E_UNDEFINED_HEADER, none, src},
        MatchRow{"FREQUENCYX 500", KR_E_UNDEFINED_HEADER, none, src},
        MatchRow{"FRE 500", KR_E_UNDEFINED_HEADER, none, src},
        // The implied branch and the optional node reach the same leaf.
        MatchRow{"FREQ:CW 500", 0, none, "src(2147483647) freq(500)"},
        MatchRow{"SOUR:FREQ:CW 500", 0, none, "src(2147483647) freq(500)"},
        MatchRow{"SOURCE2:FREQ 500", 0, none, "src(2) freq(500)"},
        MatchRow{":SOUR3:FREQ:CW 500", 0, none, "src(3) freq(500)"},
        MatchRow{"FREQ?", 0, "100.00000000000000000000", src},
        MatchRow{"FREQ:CW?", 0, "100.00000000000000000000", src},
        // Numeric suffixes.
        MatchRow{"OUTP2:STAT ON", 0, none, "out(2) rf(1)"},
        MatchRow{"OUTP:STAT ON", 0, none, "out(2147483647) rf(1)"},
        MatchRow{"OUTP ON", 0, none, "out(2147483647) rf(1)"},
        MatchRow{"OUTPUT12 OFF", 0, none, "out(12) rf(0)"},
        MatchRow{"OUTP?", 0, "0", "out(2147483647)"},
        MatchRow{"OUTP9 ON", KR_E_SUFFIX_OUT_OF_RANGE, none, "out(9)"},
        MatchRow{"OUTPx:STAT ON", KR_E_UNDEFINED_HEADER, none, src},
        MatchRow{"OUTP99999999999:STAT ON", KR_E_UNDEFINED_HEADER, none, src},
        MatchRow{"*RCL5", 0, none, "rcl(5)"}, MatchRow{"*RCL 5", 0, none, "rcl(5)"},
        MatchRow{"*RCL5 6", KR_E_PARAMETER_NOT_ALLOWED, none, none},
        MatchRow{"*RCL", KR_E_MISSING_PARAMETER, none, none},
        // Parameter counts.
        MatchRow{"*IDN?", 0, "IDN", none},
        MatchRow{"*IDN? 5", KR_E_PARAMETER_NOT_ALLOWED, none, none},
        MatchRow{"FREQ? 5", KR_E_PARAMETER_NOT_ALLOWED, none, src},
        MatchRow{"FREQ 1,2", KR_E_PARAMETER_NOT_ALLOWED, none, src},
        MatchRow{"FREQ 1,", KR_E_PARAMETER_NOT_ALLOWED, none, src},
        MatchRow{"FREQ", KR_E_MISSING_PARAMETER, none, src},
        // A form the leaf does not have.
        MatchRow{"*IDN", KR_E_UNDEFINED_HEADER, none, none},
        MatchRow{"STAT:OPER:ENAB?", 0, "0", src},
        // Limits: clamped without an error, MINimum and MAXimum.
        MatchRow{"FREQ 5000", 0, none, "src(2147483647) freq(1000)"},
        MatchRow{"FREQ 1", 0, none, "src(2147483647) freq(10)"},
        MatchRow{"FREQ MAX", 0, none, "src(2147483647) freq(1000)"},
        MatchRow{"FREQ minimum", 0, none, "src(2147483647) freq(10)"},
        MatchRow{"FREQ? MAXIMUM", 0, "1000.00000000000000000000", src},
        MatchRow{"FREQ? min", 0, "10.00000000000000000000", src},
        MatchRow{"FREQ 1.2.3", KR_E_ILLEGAL_PARAMETER_VALUE, none, src},
        // Enumerations.
        MatchRow{"FREQ:MODE SWE", 0, none, "src(2147483647) mode(1)"},
        MatchRow{"FREQ:MODE fixed", 0, none, "src(2147483647) mode(0)"},
        MatchRow{"FREQ:MODE?", 0, "FIX", src},
        MatchRow{"FREQ:MODE XYZ", KR_E_ILLEGAL_PARAMETER_VALUE, none, src},
        // An optional node with children: both paths reach the same child.
        MatchRow{"POW:ALC:STAT:HOLD ON", 0, none, "src(2147483647) hold(1)"},
        MatchRow{"POW:ALC:HOLD ON", 0, none, "src(2147483647) hold(1)"},
        MatchRow{"POW:ALC ON", 0, none, "src(2147483647) alc(1)"},
        MatchRow{"POW:ALC:STAT OFF", 0, none, "src(2147483647) alc(0)"},
        MatchRow{"POW:LEV:IMM:AMPL 3", 0, none, "src(2147483647) long(3)"},
        MatchRow{"POW:IMM:AMPL 3", 0, none, "src(2147483647) long(3)"},
        MatchRow{"POW:LEV:AMPL 3", 0, none, "src(2147483647) long(3)"},
        MatchRow{"POW:AMPL 3", 0, none, "src(2147483647) long(3)"},
        MatchRow{"AMPL 3", KR_E_UNDEFINED_HEADER, none, src},
        MatchRow{"POW:LEV:IMM 3", KR_E_UNDEFINED_HEADER, none, src},
        MatchRow{"POW:BMPL 3", KR_E_UNDEFINED_HEADER, none, src},
        // The second root set, after nothing inside the implied branch matched.
        MatchRow{"STAT:OPER:ENAB 5", 0, none, "src(2147483647) enable(5)"},
        MatchRow{"SOUR:STAT:OPER:ENAB 5", KR_E_UNDEFINED_HEADER, none, "src(2147483647)"},
        // Words the implied branch may or may not hold, by their first two characters.
        MatchRow{"SPAN 4", 0, none, "src(2147483647) long(4)"},
        MatchRow{"SOUR2:SPAN 4", 0, none, "src(2) long(4)"},
        MatchRow{"SPL 7", 0, none, "src(2147483647) long(7)"},
        MatchRow{"split 7", 0, none, "src(2147483647) long(7)"},
        MatchRow{"SOUR:SPL 7", KR_E_UNDEFINED_HEADER, none, "src(2147483647)"},
        MatchRow{"X 6", 0, none, "src(2147483647) long(6)"},
        MatchRow{"xoffset 6", 0, none, "src(2147483647) long(6)"},
        MatchRow{"XOFF 6", KR_E_UNDEFINED_HEADER, none, src},
        // Legacy words: whole words only.
        MatchRow{"alcadc/", 0, "77", src}, MatchRow{"ALCADC/", 0, "77", src},
        MatchRow{"alcadcx/", KR_E_UNDEFINED_HEADER, none, src},
        MatchRow{"alcadc/x", KR_E_UNDEFINED_HEADER, none, src},
        MatchRow{"alcadc=42", 0, none, "src(2147483647) alcadc(42)"},
        // Nothing to match, stray characters, unbalanced forms.
        MatchRow{"NOSUCH", KR_E_UNDEFINED_HEADER, none, src},
        MatchRow{"FREQ::CW 1", KR_E_UNDEFINED_HEADER, none, src},
        MatchRow{"FREQ:CW? 1 2", KR_E_PARAMETER_NOT_ALLOWED, none, src},
        MatchRow{"?", KR_E_UNDEFINED_HEADER, none, src}, MatchRow{":", 0, none, none},
        MatchRow{"[SOUR]:FREQ 1", KR_E_UNDEFINED_HEADER, none, src},
        MatchRow{"FREQ#5", KR_E_UNDEFINED_HEADER, none, src},
        MatchRow{"FR\xff\x80Q 5", KR_E_UNDEFINED_HEADER, none, src}),
    [](const ::testing::TestParamInfo<MatchRow> &info) { return paramText(info.param.unit); });

TEST_F(TreeTest, HeaderOfEveryLengthIsRefusedWithoutHarm) {
    for (int len : {1, 31, 32, 33, 200, 4000}) {
        std::string header(len, 'F');
        int error = 0;
        unit(header + ":CW 1", &error);
        EXPECT_EQ(error, KR_E_UNDEFINED_HEADER) << len;
        unit(std::string(len + 1, ':') + "FREQ 1", &error);
        EXPECT_EQ(error, KR_E_UNDEFINED_HEADER) << len;
    }
}

struct MessageRow {
    const char *message;
    const char *answer;
    const char *log;
    std::vector<int> errors;
};

class StoredPathTest : public TreeTest, public ::testing::WithParamInterface<MessageRow> {};

// Units of one program message share the remembered path.
TEST_P(StoredPathTest, LaterUnitsContinueThePath) {
    const MessageRow &row = GetParam();
    EXPECT_EQ(h.transact(link, std::string(row.message) + "\n"), row.answer) << row.message;
    EXPECT_EQ(callLog, row.log) << row.message;
    EXPECT_EQ(h.errors(), row.errors) << row.message;
    EXPECT_STREQ(link->storedPath, "") << "the path never reaches into the next message";
}

INSTANTIATE_TEST_SUITE_P(
    Messages, StoredPathTest,
    ::testing::Values(
        MessageRow{"SOUR:FREQ:CW 500;MODE SWE",
                   "",
                   "src(2147483647) freq(500) src(2147483647) mode(1)",
                   {}},
        MessageRow{"SOUR2:FREQ:CW 500;MODE SWE", "", "src(2) freq(500) src(2) mode(1)", {}},
        // FREQuency ended with a blank: nothing is remembered.
        MessageRow{
            "FREQ 500;POW:ALC ON", "", "src(2147483647) freq(500) src(2147483647) alc(1)", {}},
        MessageRow{"FREQ:CW 500;POW:ALC ON",
                   "",
                   "src(2147483647) freq(500) src(2147483647)",
                   {KR_E_UNDEFINED_HEADER}},
        // An absolute path starts afresh.
        MessageRow{
            "FREQ:CW 500;:POW:ALC ON", "", "src(2147483647) freq(500) src(2147483647) alc(1)", {}},
        // Common commands neither use nor change the path.
        MessageRow{"FREQ:CW 500;*IDN?;MODE SWE",
                   "IDN\n",
                   "src(2147483647) freq(500) src(2147483647) mode(1)",
                   {}},
        MessageRow{"OUTP3:STAT ON;STAT OFF", "", "out(3) rf(1) out(3) rf(0)", {}},
        // The path keeps only what fits into its 32 bytes: DDDDDDDD: is not remembered, so YY
        // is found below CCCCCCCC.
        MessageRow{"AAAAAAAA:BBBBBBBB:CCCCCCCC:DDDDDDDD:XX 1;YY 2", "", "long(1) long(2)", {}},
        MessageRow{"AAAAAAAA:BBBBBBBB:CCCCCCCC:DDDDDDDD:XX 1;XX 2",
                   "",
                   "long(1) src(2147483647)",
                   {KR_E_UNDEFINED_HEADER}}),
    [](const ::testing::TestParamInfo<MessageRow> &info) { return paramText(info.param.message); });

// An alias runs its command with an empty path and leaves the path of its own message alone.
TEST_F(TreeTest, AliasRunsAnotherCommandInPlace) {
    EXPECT_EQ(h.transact(link, "OUTP3:STAT ON;:OLDF 500;:OLDF?;:OUTP3:STAT OFF;STAT ON\n"),
              "500.00000000000000000000\n");
    EXPECT_EQ(callLog,
              "out(3) rf(1) src(2147483647) src(2147483647) freq(500) src(2147483647) "
              "src(2147483647) out(3) rf(0) out(3) rf(1)");
    EXPECT_TRUE(h.errors().empty());
    // Directly: the remembered path is the same afterwards.
    snprintf(link->storedPath, sizeof(link->storedPath), "OUTP3:");
    link->pathCursor = link->storedPath + 6;
    char out[64 + SCPI_ANS_OVERFLOW_RESERVE];
    callLog.clear();
    EXPECT_EQ(scpi_alias(link, "FREQ:CW 700", out, 64, 0, 0), 0);
    EXPECT_EQ(callLog, "src(2147483647) freq(700)");
    EXPECT_STREQ(link->storedPath, "OUTP3:");
    EXPECT_EQ(link->pathCursor, link->storedPath + 6);
}

TEST_F(TreeTest, AliasThatCallsItselfEnds) {
    EXPECT_EQ(h.transact(link, "LOOP\n"), "");
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_UNDEFINED_HEADER});
}

TEST_F(TreeTest, ExpandStoredPathRefusesWhatDoesNotFit) {
    link->storedPath[0] = 0;
    EXPECT_EQ(scpi_expandStoredPath("AAAAAAAAAAAAAAA", 15, link), 0);  // 16 bytes used
    EXPECT_EQ(scpi_expandStoredPath("BBBBBBBBBBBBBB", 14, link), 0);   // 31 and the zero
    EXPECT_EQ(scpi_expandStoredPath("C", 1, link), -1);
    EXPECT_STREQ(link->storedPath, "AAAAAAAAAAAAAAA:BBBBBBBBBBBBBB:");
}

TEST_F(TreeTest, StateReporterCollectsThePathWithoutOptionalNodes) {
    struct Row {
        const char *unit;
        const char *path;
    } rows[] = {
        {"FREQ:CW 500", ":FREQ"},
        {"SOUR:FREQ 500", ":FREQ"},
        {"SOUR2:FREQ 500", ":SOUR2:FREQ"},
        {"POW:ALC:STAT:HOLD ON", ":POW:ALC:HOLD"},
        {"OUTP4 ON", ":OUTP4"},
        {"STAT:OPER:ENAB 3", ":STAT:OPER:ENAB"},
    };
    for (const Row &row : rows) {
        state_reporter_init();
        int error = 0;
        unit(row.unit, &error);
        EXPECT_EQ(error, 0) << row.unit;
        EXPECT_STREQ(state_reporter.entries[0].path, row.path) << row.unit;
    }
    // Queries and failed settings record nothing.
    state_reporter_init();
    int error = 0;
    unit("FREQ?", &error);
    unit("FREQ abc", &error);
    EXPECT_STREQ(state_reporter.entries[0].path, "");
}

TEST(ScpiMatchTest, KeywordComparisonSetsTheHeaderState) {
    struct Row {
        const char *text;
        int length;  // short form length, 0 for no match
        int state;
        const char *rest;
    } rows[] = {
        {"FREQ:CW", 4, SCPI_STATE_PATH, "CW"},
        {"frequency?", 4, SCPI_STATE_QUERY, ""},
        {"Freq   1GHz", 4, SCPI_STATE_SET, "1GHz"},
        {"FREQ", 4, SCPI_STATE_SET, ""},
        {"  FREQ?MAX", 4, SCPI_STATE_QUERY, "MAX"},
        {"FREQU", 0, 0, nullptr},
        {"FREQUENCYX", 0, 0, nullptr},
        {"FRE", 0, 0, nullptr},
        {"", 0, 0, nullptr},
    };
    for (const Row &row : rows) {
        const char *pos = row.text;
        int state = 0;
        EXPECT_EQ(scpi_compareNodes("FREQuency", &pos, &state), row.length) << row.text;
        if (row.length) {
            EXPECT_EQ(state, row.state) << row.text;
            EXPECT_STREQ(pos, row.rest) << row.text;
        } else {
            EXPECT_EQ(pos, row.text) << "a failed comparison moves nothing";
        }
    }
}

TEST(ScpiMatchTest, HeaderWordGivesFirstCharactersAndLengths) {
    struct Row {
        const char *text;
        char first;
        char second;
        int length;
        int stemLength;
    } rows[] = {
        {"FREQ:CW", 'F', 'R', 4, 4},
        {"  freq? MAX", 'F', 'R', 4, 4},
        {"OUTP12:STAT", 'O', 'U', 6, 4},
        {"outp2", 'O', 'U', 5, 4},
        {"123:X", '1', '2', 3, 3},
        {"*RCL5 6", '*', 'R', 5, 4},
        {":FREQ", ':', 0, 0, 0},
        {"", 0, 0, 0, 0},
        {"?", '?', 0, 0, 0},
        {"alcadc/x", 'A', 'L', 8, 8},
        {"F\t1", 'F', 0, 1, 1},
        {"x2:Y", 'X', '2', 2, 1},
    };
    for (const Row &row : rows) {
        ScpiHeaderWord word{};
        scpi_headerWord(row.text, &word);
        EXPECT_EQ(word.first, row.first) << row.text;
        EXPECT_EQ(word.second, row.second) << row.text;
        EXPECT_EQ(word.length, row.length) << row.text;
        EXPECT_EQ(word.stemLength, row.stemLength) << row.text;
    }
}

TEST(ScpiTreeTest, BuildersRecordTheKeywordForms) {
    static const ScpiNode nodes[] = {
        scpi_kw("FREQuency", nullptr),
        scpi_kwIndex("outPut", nullptr, nullptr),
        scpi_kwLeaf("*IDN", scpi_noLeaf()),
        scpi_kwLegacy("alcadc/", scpi_noLeaf()),
        scpi_end(),
    };
    EXPECT_EQ(nodes[0].first, 'F');
    EXPECT_EQ(nodes[0].shortLength, 4);
    EXPECT_EQ(nodes[0].longLength, 9);
    EXPECT_EQ(nodes[1].first, 'O');
    EXPECT_EQ(nodes[1].shortLength, 0);
    EXPECT_EQ(nodes[1].longLength, 6);
    EXPECT_EQ(nodes[2].first, '*');
    EXPECT_EQ(nodes[2].shortLength, 4);
    EXPECT_EQ(nodes[2].longLength, 4);
    EXPECT_EQ(nodes[3].first, 'A');
    EXPECT_EQ(nodes[4].first, 0);
}

TEST(ScpiMatchTest, ParametersAreSplitTrimmedAndCounted) {
    struct Row {
        const char *text;
        int count;
        int partial;
        int result;
        std::vector<std::string> params;
    } rows[] = {
        {"", 0, 0, 0, {}},
        {"  ", 0, 0, 0, {}},
        {"5", 0, 0, KR_E_PARAMETER_NOT_ALLOWED, {}},
        {" 1 , 2 ", 2, 0, 0, {"1", "2"}},
        {"1,2,3", 2, 0, KR_E_PARAMETER_NOT_ALLOWED, {"1", "2"}},
        {"1", 2, 0, KR_E_MISSING_PARAMETER, {"1"}},
        {"1", 2, 1, KR_E_QUEUE_OVERFLOW, {"1"}},
        {"\"a,b\", c", 2, 0, 0, {"\"a,b\"", "c"}},
        {"1,,3", 3, 0, 0, {"1", "", "3"}},
    };
    for (const Row &row : rows) {
        char buf[64];
        snprintf(buf, sizeof(buf), "%s", row.text);
        char *params[4] = {};
        int found = -1;
        EXPECT_EQ(_scpi_getParameters(buf, row.count, params, &found, row.partial), row.result)
            << row.text;
        for (size_t i = 0; i < row.params.size() && (int)i < found; i++)
            EXPECT_EQ(params[i], row.params[i]) << row.text;
    }
}

TEST(ScpiMatchTest, ParameterKeywordsFollowTheKeywordRule) {
    EXPECT_TRUE(scpi_isParam("MINimum", "min"));
    EXPECT_TRUE(scpi_isParam("MINimum", " MINIMUM "));
    EXPECT_FALSE(scpi_isParam("MINimum", "MINI"));
    EXPECT_FALSE(scpi_isParam("MINimum", "MINIMUMS"));
    EXPECT_FALSE(scpi_isParam("MINimum", ""));
}

TEST_F(TreeTest, ListingWritesEveryHeaderOnce) {
    char dir[] = "/tmp/kr_listing_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    krpath_setRoot(dir);
    ASSERT_EQ(scpi_analize_listAllCommands(testRoot, "/media/ram/"), KR_E_EXECUTION_ERROR)
        << "no such directory yet";
    std::string ram = std::string(dir) + "/media";
    mkdir(ram.c_str(), 0777);
    mkdir((ram + "/ram").c_str(), 0777);
    ASSERT_EQ(scpi_analize_listAllCommands(testRoot, "/media/ram/"), 0);
    auto read = [&](const char *name) {
        std::string text;
        FILE *f = fopen((ram + "/ram/" + name).c_str(), "r");
        if (!f) return text;
        char buf[256];
        while (fgets(buf, sizeof(buf), f))
            text += buf;
        fclose(f);
        return text;
    };
    std::string supported = read("SCPI_Commands.txt");
    EXPECT_NE(supported.find("*IDN?\n"), std::string::npos);
    EXPECT_NE(supported.find("*RCL<n>\n"), std::string::npos);
    EXPECT_NE(supported.find("[SOURce<n>]:FREQuency:[CW](?)\n"), std::string::npos);
    EXPECT_NE(supported.find("[SOURce<n>]:POWer:ALC:[STATe]:HOLD(?)\n"), std::string::npos);
    EXPECT_NE(supported.find("alcadc/?\n"), std::string::npos);
    EXPECT_NE(supported.find("AAAAAAAA:BBBBBBBB:CCCCCCCC:YY\n"), std::string::npos);
    EXPECT_EQ(supported.find("ZZ"), std::string::npos);
    EXPECT_EQ(read("SCPI_Not_Supp_Commands.txt"), "AAAAAAAA:BBBBBBBB:CCCCCCCC:ZZ\n");
    krpath_setRoot(nullptr);
}

}  // namespace
