// Chip drivers against their emulators: what each driver's words make the simulated chip
// hold, what reads bring back, caches and their invalidation, and the pure computations
// (counters, codes, corrections).
#include <gtest/gtest.h>

#include <cmath>

#include "hw/ad5432.h"
#include "hw/ad5640.h"
#include "hw/ad5643.h"
#include "hw/ad5760.h"
#include "hw/ad5932.h"
#include "hw/ad7680.h"
#include "hw/ad7940.h"
#include "hw/ad8402.h"
#include "hw/ad9912.h"
#include "hw/adf4002.h"
#include "hw/adf5355.h"
#include "hw/am3152.h"
#include "hw/board_slaves.h"
#include "hw/hmc1018.h"
#include "hw/hmc424.h"
#include "hw/hmc611.h"
#include "hw/hmc624.h"
#include "hw/hmc7043.h"
#include "hw/hmc987.h"
#include "hw/krgio.h"
#include "hw/krspi.h"
#include "hw/mcp4131.h"
#include "hw/tc77.h"
#include "hw/w25q.h"
#include "hw_test_support.h"
#include "tests/support/param_name.h"

namespace {

uint32_t word(uint32_t slave) {
    return krspi_makeWord(slave, 0, 4);
}

uint32_t out0(uint32_t chip) {
    return board_outSlave(0, chip);
}

class ChipTest : public HwTest {
  protected:
    SimChannelState stateAfterUpdate() {
        krgio_ioupdate();
        EXPECT_TRUE(hardware_sim_waitIdle());
        return hardware_sim_channel(0);
    }
    uint64_t reg(uint32_t slave, uint32_t address) {
        hardware_sim_waitIdle();
        return hardware_sim_chipRegister(slave, address);
    }
};

TEST_F(ChipTest, LoopFilterPotentiometerTakesTheNearestResistance) {
    AD8402 pot;
    ASSERT_EQ(AD8402_init(&pot, word(out0(BOARD_OUT_LOOP_POT)), AD8402_R_AB_OHM), 0);
    for (double ohms : {100.0, 400.0, 900.0}) {
        ASSERT_EQ(AD8402_setResistanceWB1(&pot, ohms), 0);
        EXPECT_NEAR(AD8402_getResistanceWB1(&pot), ohms, 2.0);
        EXPECT_NEAR(stateAfterUpdate().loopFilterOhm, ohms, 2.0);
    }
    AD8402_setResistanceWB2(&pot, 5000);  // beyond the range: the largest value
    EXPECT_EQ(AD8402_getWiper2(&pot), 255);
    EXPECT_EQ(reg(out0(BOARD_OUT_LOOP_POT), 1), 255u);
    expectNoViolations();
}

TEST_F(ChipTest, AlcDacCachesValuesUntilTheSweepInvalidatesThem) {
    AD5643 dac;
    ASSERT_EQ(AD5643_init(&dac, word(out0(BOARD_OUT_ALC_DAC))), 0);
    ASSERT_EQ(AD5643_setValue(&dac, 0, 8000), 0);
    EXPECT_EQ(stateAfterUpdate().alcDac, 8000u);
    gio_record_clear();
    AD5643_setValue(&dac, 0, 8000);
    EXPECT_EQ(gio_record_count(), 0u);  // unchanged: skipped
    krspi_notifyInvalidationListener();
    AD5643_setValue(&dac, 0, 8000);
    EXPECT_EQ(gio_record_count(), 1u);
    AD5643_setValue(&dac, 0, 20000);  // clamped to 14 bits
    EXPECT_EQ(stateAfterUpdate().alcDac, 16383u);
    ASSERT_EQ(AD5643_powerDown(&dac, 1, 1), 0);
    EXPECT_EQ(reg(out0(BOARD_OUT_ALC_DAC), 0x21), 1u);
    EXPECT_EQ(AD5643_getCalSet(&dac), nullptr);
    AD5643CalSet set = {1, 9000, 1000, 15000};
    AD5643_setCalSet(&dac, &set);
    ASSERT_NE(AD5643_getCalSet(&dac), nullptr);
    EXPECT_EQ(AD5643_getCalSet(&dac)->alcSetpoint, 9000);
    krspiReset();
    expectNoViolations();
}

struct AttRow {
    float requested;
    float set;
};

class AttenuatorTest : public ChipTest, public ::testing::WithParamInterface<AttRow> {};

TEST_P(AttenuatorTest, StepAttenuatorRoundsToItsSteps) {
    HMC624 a;
    ASSERT_EQ(HMC624_init(&a, word(out0(BOARD_OUT_ATT_A))), 0);
    ASSERT_EQ(HMC624_set(&a, GetParam().requested), 0);
    EXPECT_FLOAT_EQ(*HMC624_get(&a), GetParam().set);
    EXPECT_DOUBLE_EQ(stateAfterUpdate().attenuationADb, GetParam().set);
    expectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, AttenuatorTest,
                         ::testing::Values(AttRow{0, 0}, AttRow{10.5f, 10.5f},
                                           AttRow{10.74f, 10.5f}, AttRow{10.75f, 11.0f},
                                           AttRow{40, 31.5f}, AttRow{-2, 0}),
                         [](const ::testing::TestParamInfo<AttRow> &info) {
                             return paramNumber(info.param.requested, 6) + "dB";
                         });

TEST_F(ChipTest, StepAttenuatorsStepUpAndDownWithinTheirRange) {
    HMC1018 a;
    ASSERT_EQ(HMC1018_init(&a, word(out0(BOARD_OUT_ATT_LOOP))), 0);
    EXPECT_FLOAT_EQ(*HMC1018_getMaximum(&a), 31.0f);
    HMC1018_set(&a, 30.4f);
    HMC1018_increase(&a);
    HMC1018_increase(&a);  // stays at the top
    EXPECT_FLOAT_EQ(*HMC1018_get(&a), 31.0f);
    HMC1018_decrease(&a);
    EXPECT_DOUBLE_EQ(stateAfterUpdate().attenuationLoopDb, 30.0);
    // Preset form: the six control lines in a board's image, active low.
    SRI image;
    uint8_t zeros[2] = {};
    SRI_init(&image, word(BOARD_CONT_SRI), zeros, 2);
    HMC424 p;
    HMC424_initPreset(&p, &image, 3);
    ASSERT_EQ(HMC424_preset(&p, 5.0f), 0);  // code 10 = 0b001010: lines 1 and 3 low
    EXPECT_EQ(SRI_getPresetField(&image, 3, 6), 0b110101u);
    EXPECT_EQ(SRI_getPresetBit(&image, 2), 0);
    expectNoViolations();
}

struct TempRow {
    double celsius;
};

class TemperatureTest : public ChipTest, public ::testing::WithParamInterface<double> {};

TEST_P(TemperatureTest, SensorReadsWhatTheTestSet) {
    TC77 t;
    TC77_init(&t, word(out0(BOARD_OUT_TEMP)));
    hardware_sim_setTemperature(0, GetParam());
    double c = 0;
    ASSERT_EQ(TC77_readTemperature(&t, &c), 0);
    EXPECT_DOUBLE_EQ(c, GetParam());
    c = 0;
    ASSERT_EQ(TC77_readTemperature_async(&t, &c), 0);
    EXPECT_DOUBLE_EQ(c, GetParam());
    expectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, TemperatureTest, ::testing::Values(25.5, -10.0625, 0.0, 125.0),
                         [](const ::testing::TestParamInfo<double> &info) {
                             return paramNumber(info.param) + "C";
                         });

TEST(Tc77, ConversionWordsAndTheBusyFlag) {
    EXPECT_DOUBLE_EQ(TC77_toCelsius(0x0C84), 25.0);  // 400 steps
    EXPECT_DOUBLE_EQ(TC77_toCelsius(0xFFFC), -0.0625);
    EXPECT_LT(TC77_toCelsius(0x0C80), -299);  // conversion not finished
}

TEST_F(ChipTest, AdcsReadTheirSamples) {
    AD7940 ref;
    AD7940_init(&ref, word(BOARD_REF_ADC));
    hardware_sim_setAdc(BOARD_REF_ADC, 12345);
    uint32_t v = 0;
    ASSERT_EQ(AD7940_read(&ref, &v), 0);
    EXPECT_EQ(v, 12345u);
    ASSERT_EQ(AD7940_readAveraged(&ref, 4, &v), 0);
    EXPECT_EQ(v, 12345u);
    AD7680 user;
    AD7680_init(&user, word(BOARD_CONT_USER_ADC));
    hardware_sim_setAdc(BOARD_CONT_USER_ADC, 54321);
    ASSERT_EQ(AD7680_read(&user, &v), 0);
    EXPECT_EQ(v, 54321u);
    expectNoViolations();
}

TEST_F(ChipTest, SerialFlashKeepsABinaryAcrossSectorsAndPages) {
    W25Q flash;
    ASSERT_EQ(W25Q_init(&flash, word(BOARD_CONT_FLASH)), 0);
    EXPECT_EQ(flash.jedec, W25Q_JEDEC_VALUE);
    std::vector<uint8_t> data(700);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (uint8_t)(i * 7 + 3);
    const uint32_t at = 0x0FF0;  // crosses a sector and several pages
    ASSERT_EQ(W25Q_writeBinary(&flash, at, data.data(), (uint32_t)data.size()), 0);
    EXPECT_EQ(W25Q_compareBinary(&flash, at, data.data(), (uint32_t)data.size()), 0);
    std::vector<uint8_t> back(data.size());
    ASSERT_EQ(W25Q_readData(&flash, at, (uint32_t)back.size(), back.data()), 0);
    EXPECT_EQ(back, data);
    data[500] ^= 1;
    EXPECT_EQ(W25Q_compareBinary(&flash, at, data.data(), (uint32_t)data.size()), 1);
    uint8_t before[4];
    ASSERT_EQ(W25Q_readData(&flash, at - 4, 4, before), 0);
    EXPECT_EQ(before[0], 0xFF);  // erased, never programmed
    EXPECT_EQ(W25Q_pageProgram(&flash, 0, 300, data.data()), -200);
    expectNoViolations();
}

TEST_F(ChipTest, FanOutBufferPortsAndClockDistributor) {
    hardware_sim_configure(1, true, "");  // the low-noise reference board
    HMC987 fan;
    ASSERT_EQ(HMC987_init(&fan, word(BOARD_REF_ULN_FANOUT)), 0);
    HMC987_enablePortLSB(&fan, 15);
    HMC987_enablePort(&fan, 7);
    HMC987_disablePortLSB(&fan, 9);
    EXPECT_EQ(reg(BOARD_REF_ULN_FANOUT, HMC987_REG_PORTS), 0x86u);
    EXPECT_TRUE(HMC987_isPortEnabled(&fan, 2));
    EXPECT_EQ(HMC987_enablePort(&fan, 8), -200);
    HMC987_setRfBufferGain(&fan, 5);
    EXPECT_EQ(reg(BOARD_REF_ULN_FANOUT, HMC987_REG_RF_BUFFER) & 7, 5u);

    HMC7043 clock;
    ASSERT_EQ(HMC7043_init(&clock, word(BOARD_REF_ULN_CLOCK)), 0);
    HMC7043_setInputBufferMode(&clock, HMC7043_INPUT_AC_CML_100);
    HMC7043_setDivider(&clock, 6, 1920);
    HMC7043_enableOutput(&clock, 6);
    HMC7043_enableMultislip(&clock, 6);
    HMC7043_disableMultislip(&clock, 6);
    HMC7043_setSysrefDivider(&clock, 1920);
    EXPECT_EQ(reg(BOARD_REF_ULN_CLOCK, hmc7043_channelReg(6, HMC7043_CH_DIV_LSB)), 1920u & 0xFF);
    EXPECT_EQ(reg(BOARD_REF_ULN_CLOCK, hmc7043_channelReg(6, HMC7043_CH_DIV_MSB)), 1920u >> 8);
    EXPECT_EQ(reg(BOARD_REF_ULN_CLOCK, hmc7043_channelReg(6, HMC7043_CH_CONTROL)), 1u);
    uint8_t back = 0;
    ASSERT_EQ(HMC7043_readRegister(&clock, HMC7043_REG_INPUT, &back), 0);
    EXPECT_EQ(back, HMC7043_INPUT_AC_CML_100);
    EXPECT_EQ(HMC7043_setDivider(&clock, 14, 1), -200);
    expectNoViolations();
}

struct CounterRow {
    int64_t comparison, reference;
    int result;
    uint32_t n, r;
};

class CounterTest : public ::testing::TestWithParam<CounterRow> {};

TEST_P(CounterTest, PllCountersMeetAtTheLargestCommonFrequency) {
    KrFreq c = {GetParam().comparison, 0}, f = {GetParam().reference, 0};
    uint32_t n = 0, r = 0;
    EXPECT_EQ(ADF4002_calcNR(&c, &f, &n, &r), GetParam().result);
    if (GetParam().result == 0) {
        EXPECT_EQ(n, GetParam().n);
        EXPECT_EQ(r, GetParam().r);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CounterTest,
                         ::testing::Values(CounterRow{100000000, 10000000, 0, 10, 1},
                                           CounterRow{100000000, 12300000, 0, 1000, 123},
                                           CounterRow{100000000, 250000000, 0, 2, 5},
                                           CounterRow{100000000, 1234567, -200, 0, 0},
                                           CounterRow{0, 10000000, -200, 0, 0}),
                         [](const ::testing::TestParamInfo<CounterRow> &info) {
                             return "Compare" + std::to_string(info.param.comparison) + "Hz_Ref" +
                                    std::to_string(info.param.reference) + "Hz";
                         });

TEST_F(ChipTest, ExternalReferencePllAndOscillatorDac) {
    hardware_sim_configure(1, true, "");
    ADF4002 pll;
    ASSERT_EQ(ADF4002_init(&pll, word(BOARD_REF_ULN_PLL)), 0);
    ADF4002_powerUp(&pll);
    ADF4002_setChargePumpCurrent(&pll, 7);
    ADF4002_setPhaseDetectorPolarity(&pll, 0);
    ADF4002_setMuxOut(&pll, 1);
    KrFreq vco = {100000000, 0}, ext = {12300000, 0};
    ADF4002_setComparisonFrequency(&pll, &vco);
    ASSERT_EQ(ADF4002_setReferenceFrequency(&pll, &ext), 0);
    EXPECT_EQ(reg(BOARD_REF_ULN_PLL, ADF4002_R_COUNTER) >> ADF4002_R_SHIFT, 123u);
    EXPECT_EQ(reg(BOARD_REF_ULN_PLL, ADF4002_N_COUNTER) >> ADF4002_N_SHIFT, 1000u);
    uint64_t function = reg(BOARD_REF_ULN_PLL, ADF4002_FUNCTION);
    EXPECT_EQ(function >> ADF4002_F_CURRENT1_SHIFT & 7, 7u);
    EXPECT_EQ(function >> ADF4002_F_MUXOUT_SHIFT & 7, 1u);
    EXPECT_EQ(function >> ADF4002_F_POWER_DOWN1 & 1, 0u);

    AD5760 dac;
    ASSERT_EQ(AD5760_init(&dac, word(BOARD_REF_ULN_OSC_DAC)), 0);
    AD5760_setValue(&dac, 0x1234);
    AD5760_setOutputModeHighImpedance(&dac);
    uint32_t v = 0;
    ASSERT_EQ(AD5760_readRegister(&dac, AD5760_ADDR_DAC, &v), 0);
    EXPECT_EQ(v, 0x1234u << AD5760_DAC_SHIFT);
    ASSERT_EQ(AD5760_readRegister(&dac, AD5760_ADDR_CONTROL, &v), 0);
    EXPECT_TRUE(v & AD5760_CTRL_DACTRI);
    AD5760_setOutputModeWeakGround(&dac);
    AD5760_readRegister(&dac, AD5760_ADDR_CONTROL, &v);
    EXPECT_FALSE(v & AD5760_CTRL_DACTRI);
    EXPECT_TRUE(v & AD5760_CTRL_OPGND);

    AD5640 lock;
    ASSERT_EQ(AD5640_init(&lock, word(BOARD_REF_ULN_LOCK_DAC)), 0);
    AD5640_setValue(&lock, 8300);
    AD5640_setOperatingMode(&lock, 3);
    EXPECT_EQ(reg(BOARD_REF_ULN_LOCK_DAC, 0), 8300u);
    EXPECT_EQ(reg(BOARD_REF_ULN_LOCK_DAC, 1), 3u);
    expectNoViolations();
}

TEST_F(ChipTest, SynthesizerVcoSettingsAndGenericDds) {
    ADF5355 pll;
    ASSERT_EQ(ADF5355_init(&pll, word(out0(BOARD_OUT_PLL))), 0);
    ADF5355_setBand(&pll, 200);
    ADF5355_setCore(&pll, 2);
    ADF5355_setBias(&pll, 9);
    EXPECT_EQ(ADF5355_getBand(&pll), 200u);
    EXPECT_EQ(ADF5355_setBand(&pll, 300), -200);
    uint64_t r12 = reg(out0(BOARD_OUT_PLL), 12);
    EXPECT_EQ(r12 >> ADF5355_R12_BAND_SHIFT & 0xFF, 200u);
    EXPECT_EQ(r12 >> ADF5355_R12_CORE_SHIFT & 3, 2u);
    ADF5355LutEntry entry = {140, 1000, 0, 2, 1, 77, 4};
    ASSERT_EQ(ADF5355_applyLut(&pll, &entry), 0);
    uint64_t r0 = reg(out0(BOARD_OUT_PLL), 0);
    EXPECT_EQ(r0 >> ADF5355_R0_INT_SHIFT & 0xFFFF, 140u);
    EXPECT_FALSE(r0 & ADF5355_R0_AUTOCAL);

    AD9912 dds;
    KrFreq clock = {1000000000, 0}, out = {250000000, 0};
    ASSERT_EQ(AD9912_init(&dds, word(out0(BOARD_OUT_DDS48)), &clock), 0);
    ASSERT_EQ(AD9912_setFrequency(&dds, &out), 0);
    EXPECT_EQ(dds.ftw.ftw, 1ull << 46);
    uint64_t ftw = 0;
    for (int i = 0; i < 6; i++)
        ftw |= reg(out0(BOARD_OUT_DDS48), AD9912_REG_FTW_HIGH - i) << (8 * (5 - i));
    EXPECT_EQ(ftw, 1ull << 46);
    expectNoViolations();
}

TEST_F(ChipTest, LowFrequencyGeneratorAmplitudeAndFanPotentiometer) {
    AD5932 lfg;
    ASSERT_EQ(AD5932_init(&lfg, word(BOARD_CONT_LFG)), 0);
    KrFreq f = {400, 0};
    ASSERT_EQ(AD5932_setStartFrequency(&lfg, &f), 0);
    uint64_t expect = FTW_calcFTW(&lfg.start.in, &f, AD5932_FTW_BITS);
    EXPECT_EQ(reg(BOARD_CONT_LFG, AD5932_ADDR_FSTART_LOW), expect & 0xFFF);
    EXPECT_EQ(reg(BOARD_CONT_LFG, AD5932_ADDR_FSTART_HIGH), expect >> 12);
    AD5932_setTriangleOutput(&lfg);
    EXPECT_FALSE(reg(BOARD_CONT_LFG, AD5932_ADDR_CONTROL) & AD5932_CTRL_SINE);
    AD5432 amp;
    AD5432_init(&amp, word(BOARD_CONT_LFG_AMP), KRSPI_OPT_CPHA);
    AD5432_setValue(&amp, 818);
    EXPECT_EQ(reg(BOARD_CONT_LFG_AMP, AD5432_CTRL_LOAD_UPDATE), 818u << AD5432_DATA_SHIFT);
    MCP4131 fan;
    ASSERT_EQ(MCP4131_init(&fan, word(BOARD_CONT_FAN_POT)), 0);
    MCP4131_presetRatio(&fan, 0.25);
    EXPECT_EQ(MCP4131_getWiper(&fan), 64u);  // preset only
    MCP4131_applyPreset(&fan);
    EXPECT_EQ(MCP4131_getWiper(&fan), 32u);
    EXPECT_EQ(reg(BOARD_CONT_FAN_POT, MCP4131_ADDR_WIPER0) & 0x3FF, 32u);
    expectNoViolations();
}

TEST(PowerDetector, CorrectionInterpolatesAndHoldsTheEnds) {
    EXPECT_EQ(HMC611_getDacCorrection(-80), 180);
    EXPECT_EQ(HMC611_getDacCorrection(-55), 120);
    EXPECT_EQ(HMC611_getDacCorrection(-40), 0);
    EXPECT_EQ(HMC611_getDacCorrection(10), 120);
}

TEST(TunableFilter, CutoffCodesAndSwitches) {
    SRI image = {};
    image.bytes = 4;
    AM3152 f;
    AM3152_init(&f, &image, 4);
    KrFreq cut = {14000000000, 0};
    ASSERT_EQ(AM3152_presetCutoff(&f, &cut), 0);
    EXPECT_EQ(f.code, 128u);  // (14 - 8) / 12 of 255, to nearest
    EXPECT_EQ(SRI_getPresetField(&image, 4, 8), 128u);
    AM3152_presetBypass(&f, 1);
    EXPECT_EQ(SRI_getPresetBit(&image, 12), 1);
    KrFreq low = {1, 0};
    AM3152_presetCutoff(&f, &low);
    EXPECT_EQ(f.code, 0u);
}

}  // namespace
