#include "frontpanel/krhcupdate.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "config/device_config.h"
#include "device/device.h"
#include "panel_test_support.h"
#include "scpi/scpi_link.h"

namespace {

using krtest::ConfiguredRoot;
using krtest::PanelPair;
using krtest::SlotGuard;

KrFreq freq10G = {10000000000LL, 0};
KrPow powM5 = -5.25f;
KrTime dwell = 0.001;
KrAngle half = 0.5;
const KrFreq *getFreq(Device *) {
    return &freq10G;
}
const KrPow *getPow(Device *) {
    return &powM5;
}
const KrTime *getTime(Device *) {
    return &dwell;
}
const KrAngle *getAngle(Device *) {
    return &half;
}
double getDepth(Device *) {
    return 0.3;
}
uint32_t getPoints(Device *) {
    return 101;
}
int yes(Device *) {
    return 1;
}
int no(Device *) {
    return 0;
}

TEST(PanelUpdate, TypedSendersFormatTheirValues) {
    PanelPair panel;
    struct Row {
        std::function<int()> send;
        const char *line;
    } rows[] = {
        {[] { return hcupdate_tFreq("FREQ", getFreq, nullptr); },
         "FREQ 10000000000.00000000000000000000"},
        {[] { return hcupdate_tPow("POW", getPow, nullptr); }, "POW -5.25"},
        {[] { return hcupdate_tTime("SWE:DWEL", getTime, nullptr); }, "SWE:DWEL 0.001000000"},
        {[] { return hcupdate_tAngle("PHAS", getAngle, nullptr); }, "PHAS 0.500000000"},
        {[] { return hcupdate_tDouble("AM:DEPT", getDepth, nullptr); }, "AM:DEPT 0.300000000"},
        {[] { return hcupdate_tUint32("SWE:POIN", getPoints, nullptr); }, "SWE:POIN 101"},
        {[] { return hcupdate_tState("OUTP:STAT", yes, nullptr); }, "OUTP:STAT 1"},
        {[] { return hcupdate_tState("OUTP:STAT", no, nullptr); }, "OUTP:STAT 0"},
        {[] { return hcupdate_tEnumMember(yes, "FREQ:MODE LIST", nullptr); }, "FREQ:MODE LIST"},
        {[] { return hcupdate_batteryState(6); }, "BATT 6"},
        {[] { return hcupdate_setQuesPow(); }, "PTR:POW"},
        {[] { return hcupdate_clearQuesDmePulseForm(); }, "NTR:MOD:DME:PULS:FORM"},
        {[] { return hcupdate_connectUsb(); }, "SYST:COMM:CONN USB"},
        {[] { return hcupdate_disconnectGpib(); }, "SYST:COMM:DISC GPIB"},
        {[] { return hcupdate_disconnectLan(); }, "SYST:COMM:DISC LAN"},
        {[] { return hcupdate_lock(); }, "SYST:LOCK"},
        {[] { return hcupdate_release(); }, "SYST:LOCK:REL"},
        {[] { return hcupdate_rst(); }, "*RST"},
        {[] { return hcupdate_remoteOPC(); }, "*OPC"},
        {[] { return hcupdate_ready(); }, "DIAG:HC:READ"},
        {[] { return hcupdate_resetHcCommandParser(); }, ": "},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(r.send(), 0) << r.line;
        EXPECT_EQ(panel.lines(), std::vector<std::string>{r.line});
    }
}

TEST(PanelUpdate, NothingIsSentForAMissingGetterOrAClosedLink) {
    PanelPair panel;
    SlotGuard slots;
    EXPECT_EQ(hcupdate_tFreq("FREQ", Device_getFrequency, nullptr), -1);  // the fallback
    EXPECT_EQ(hcupdate_tFreq("FREQ", nullptr, nullptr), -1);
    EXPECT_EQ(hcupdate_frequency(nullptr), -1);
    EXPECT_EQ(hcupdate_tEnumMember(nullptr, "X", nullptr), -1);
    EXPECT_TRUE(panel.lines().empty());
    slots.fill(Device_getFrequency, getFreq);
    EXPECT_EQ(hcupdate_frequency(nullptr), 0);
    EXPECT_EQ(panel.lines().size(), 1u);
    Krhc_close(&panel.hc);
    EXPECT_EQ(hcupdate_frequency(nullptr), -1);
    EXPECT_EQ(hcupdate_rst(), -1);
}

TEST(PanelUpdate, ModeChangeToListSendsOneLine) {
    PanelPair panel;
    SlotGuard slots;
    slots.fill(Device_isFrequencyModeFixed, no);
    slots.fill(Device_isFrequencyModeSweep, no);
    slots.fill(Device_isFrequencyModeList, yes);
    slots.fill(Device_isFrequencyModeChirp, no);
    EXPECT_EQ(hcupdate_frequencyMode(nullptr), 0);
    EXPECT_EQ(panel.lines(), std::vector<std::string>{"FREQ:MODE LIST"});
}

TEST(PanelUpdate, TwoValuedLinesAndReferenceSource) {
    PanelPair panel;
    SlotGuard slots;
    slots.fill(Device_isPulmEnabled, no);
    slots.fill(Device_isReferencePhaselocked, yes);
    slots.fill(Device_isReferenceSourceExternal, yes);
    hcupdate_pulmState(nullptr);
    hcupdate_roscLock(nullptr);
    hcupdate_roscSour(nullptr);
    slots.fill(Device_isReferenceSourceExternalVariable, yes);
    hcupdate_roscSour(nullptr);
    EXPECT_EQ(panel.lines(), (std::vector<std::string>{"PULM:STAT 0", "ROSC:LOCK 1",
                                                       "ROSC:SOUR EXT", "ROSC:SOUR EXTV"}));
}

std::vector<std::string> startsWith(const std::vector<std::string> &lines, const char *prefix) {
    std::vector<std::string> out;
    for (const auto &l : lines)
        if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
}

TEST(PanelUpdate, SettingsDumpHasOnlyTheFamiliesTheInstrumentHas) {
    ConfiguredRoot root("1C0-300B10000-0001");
    PanelPair panel;
    SlotGuard slots;
    slots.fill(Device_getFrequency, getFreq);
    slots.fill(Device_isRfEnabled, yes);
    slots.fill(Device_getPower, getPow);
    hcupdate_settings(nullptr);
    std::vector<std::string> lines = panel.lines();
    EXPECT_TRUE(startsWith(lines, "AM:").empty());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "OUTP:STAT 1");
    EXPECT_EQ(lines[1], "FREQ 10000000000.00000000000000000000");
    EXPECT_EQ(lines[2], "POW -5.25");
    EXPECT_EQ(lines.back(), "NTR:POW");

    slots.fill(Device_isAmEnabled, yes);
    slots.fill(Device_getAmDepth, getDepth);
    hcupdate_settings(nullptr);
    EXPECT_EQ(startsWith(panel.lines(), "AM:"),
              (std::vector<std::string>{"AM:STAT 1", "AM:DEPT 0.300000000"}));
}

TEST(PanelUpdate, LimitsOfTheTouchPanelGoBeyondFrequencyAndPower) {
    SlotGuard slots;
    slots.fill(Device_getFrequencyMin, getFreq);
    slots.fill(Device_getFrequencyMax, getFreq);
    slots.fill(Device_getPowerMin, getPow);
    slots.fill(Device_getPowerMax, getPow);
    slots.fill(Device_getDwellTimeMin, getTime);
    slots.fill(Device_getDwellTimeMax, getTime);
    {
        ConfiguredRoot root("1C0-400B10000-0001");  // HC panel, newer controller
        PanelPair panel;
        hcupdate_constants(nullptr);
        EXPECT_EQ(panel.lines(),
                  (std::vector<std::string>{": ", "FREQ:MIN 10000000000.00000000000000000000",
                                            "FREQ:MAX 10000000000.00000000000000000000",
                                            "POW:MIN -5.25", "POW:MAX -5.25"}));
    }
    {
        ConfiguredRoot root("1C0-300B10000-0001");  // touch panel
        PanelPair panel;
        hcupdate_constants(nullptr);
        std::vector<std::string> lines = panel.lines();
        EXPECT_EQ(lines.size(), 7u);
        EXPECT_EQ(lines.back(), "SWE:DWEL:MAX 0.001000000");
    }
}

TEST(PanelUpdate, SerialNumberLineEndsWithTwoLineFeeds) {
    ConfiguredRoot root("1C0-300B10000-0001");
    PanelPair panel;
    SlotGuard slots;
    EXPECT_EQ(Krhcupdate_sn(nullptr), 0);
    EXPECT_EQ(panel.raw(), "mserial-no=1C0-300B10000-0001?undefined\n\n");
    slots.fill(
        Device_getName, +[](Device *) -> const char * { return "ORBX20G"; });
    Krhcupdate_sn(nullptr);
    EXPECT_EQ(panel.raw(), "mserial-no=1C0-300B10000-0001?ORBX20G\n\n");
}

TEST(PanelUpdate, EepromWriteCountFromThePanelsReply) {
    uint32_t count = 0;
    EXPECT_EQ(Krhcupdate_getEepromWriteCycles(&count), -241);
    PanelPair panel;
    panel.hc.stmMode = 1;
    ScpiLinkList list{};
    ScpiLink link{};
    scpi_link_init(&list, &link, 256, 256, "HC Front Panel");
    // The HC thread takes the panel's reply on the update port into the reply buffer.
    std::thread pump([&] { Krhc_handle(&panel.hc, &link); });
    std::thread panelSide([&] {
        for (int i = 0; i < 100; i++) {
            std::string got = panel.raw();
            if (got.find("DIAG:EE:WC?\n") != std::string::npos) break;
        }
        panel.reply("1234\n");
    });
    EXPECT_EQ(Krhcupdate_getEepromWriteCycles(&count), 0);
    EXPECT_EQ(count, 1234u);
    panelSide.join();
    pump.join();
    EXPECT_EQ(panel.hc.replyLength, 0);
    scpi_link_destroy(&link);
}

TEST(PanelUpdate, EepromWriteCountTimesOutWithoutReply) {
    PanelPair panel;
    uint32_t count = 7;
    EXPECT_EQ(Krhcupdate_getEepromWriteCycles(&count), -200);
    EXPECT_EQ(count, 7u);
}

TEST(PanelUpdate, DisplayFlag) {
    EXPECT_EQ(hcupdate_disableDisplay(), -241);
    EXPECT_EQ(hcupdate_isDisplayEnabled(), 0);
    PanelPair panel;
    EXPECT_EQ(hcupdate_isDisplayEnabled(), 1);
    EXPECT_EQ(hcupdate_disableDisplay(), 0);
    hcupdate_displayState();
    EXPECT_EQ(hcupdate_enableDisplay(), 0);
    hcupdate_displayState();
    EXPECT_EQ(panel.lines(), (std::vector<std::string>{"DISP:ENAB 0", "DISP:ENAB 1"}));
}

}  // namespace
