// The factory tables made from the level model, read as the firmware reads them: for every
// ready configuration of the simulation root script, each channel's table loads and splits at
// the board's band edges, and the settings it gives for a board power level the modelled
// output to that power with the level loop inside its range.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "config/device_config.h"
#include "core/krpath.h"
#include "device/device.h"
#include "device/device_record.h"
#include "hw/krspi.h"
#include "level/calibration.h"
#include "level/csvtables.h"
#include "platform/sim/hardware_sim.h"
#include "platform/sim/sim_calibration.h"
#include "rtdev.h"

namespace {

struct Config {
    std::string name, serial;
};

std::vector<Config> readyConfigs() {
    std::string source = __FILE__;
    source.erase(source.rfind("/tests/platform/"));
    std::vector<Config> configs;
    FILE *p = popen(("'" + source + "/platform/make_simroot.sh' --list").c_str(), "r");
    char name[64], serial[64];
    while (p && fscanf(p, "%63s %63s%*[^\n]", name, serial) == 2)
        configs.push_back({name, serial});
    if (p) pclose(p);
    return configs;
}

Calibration cal;

TEST(SimCalibration, TablesLevelEveryReadyConfiguration) {
    std::vector<Config> configs = readyConfigs();
    ASSERT_GE(configs.size(), 4u);
    char tmpl[] = "/tmp/krsimcal.XXXXXX";
    const std::string root = mkdtemp(tmpl);
    mkdir((root + "/korvane").c_str(), 0755);
    mkdir((root + "/korvane/dev").c_str(), 0755);
    krpath_setRoot(root.c_str());
    hardware_sim_setTimeScale(0);
    for (const Config &config : configs) {
        SCOPED_TRACE(config.name);
        FILE *sn = fopen((root + "/korvane/dev/sn").c_str(), "w");
        ASSERT_TRUE(sn);
        fputs(config.serial.c_str(), sn);
        fclose(sn);
        ASSERT_GT(simcal_writeTables(true), 0);
        EXPECT_EQ(simcal_writeTables(false), 0);  // kept
        device_config_readSN();
        rtdev_restoreDefaults();
        ASSERT_EQ(krspiOpen(), 0);
        Device *device = Device_create();
        ASSERT_EQ(Device_init(device), 0);
        for (uint32_t c = 0; c < device->channelCount; c++) {
            SCOPED_TRACE(c);
            Device_setSource(device, (int32_t)c + 1);
            KrFreq edges[CAL_MAX_BAND_EDGES];
            int32_t n = 0;
            ASSERT_GE(Device_getFrequencyBands(device, edges, CAL_MAX_BAND_EDGES, &n), 0);
            int64_t edgeHz[CAL_MAX_BAND_EDGES];
            for (int32_t i = 0; i < n; i++)
                edgeHz[i] = edges[i].integer;
            char path[48];
            snprintf(path, sizeof(path), "/korvane/dev/calibration%u.csv", c);
            ASSERT_EQ(Csvtables_Csv2Cal(path, &cal), 0);
            ASSERT_EQ(Calibration_validate(&cal), 0);
            Calibration_defineBands(&cal, edgeHz, n);
            EXPECT_EQ(Calibration_forceAlcBands(&cal, edgeHz, n), 0);
            const SimLevelBoard board = simhw_levelBoard(simhw_readLayout(), (int)c);
            const int64_t fMin = Device_getFrequencyMin(device)->integer;
            const int64_t fMax = Device_getFrequencyMax(device)->integer;
            EXPECT_LE(cal.frequency[0], fMin);
            EXPECT_GE(cal.frequency[cal.frequencyCount - 1], fMax);
            const float pMin =
                device_config_usesORBX_Sspe((int)c) ? -20.0f : *Device_getPowerMin(device);
            std::vector<int64_t> fs = {fMin, fMax};
            for (int64_t f = fMin; f < fMax; f += 137 * 1000000 + 1234)
                fs.push_back(f);
            for (int32_t i = 0; i < n; i++)
                fs.insert(fs.end(), {edgeHz[i] - 1, edgeHz[i]});
            std::vector<float> ps = {30.0f};
            for (float p = pMin; p < 30.0f; p += 1.3f)
                ps.push_back(p);
            for (const SimCalZone &z : SIMCAL_ZONES)
                ps.push_back((float)z.lowDbm);
            int worst = 0;
            double worstDb = 0;
            for (int64_t f : fs) {
                if (f < fMin || f > fMax) continue;
                const KrFreq freq = {f, 0};
                for (float p : ps) {
                    if (p < pMin) continue;
                    CalibrationCoord coord;
                    Calibration_findCoord(&cal, &freq, p, &coord);
                    int a = Calibration_getStepAttenuationA(&cal, p, &coord) -
                            Calibration_getAlcMargin(&cal, &coord);
                    a = std::max({a, 0, (int)Calibration_getMinAttout(&cal, &coord)});
                    int dac = std::min<int>(Calibration_getAlcSetpoint2D(&cal, p, &freq, &coord),
                                            SIMLEVEL_DAC_MAX);
                    int b = Calibration_getStepAttenuationB(&cal, &coord);
                    SimLevelInput in = {};
                    in.board = board;
                    in.rfOn = true;
                    in.frequencyHz = (double)f;
                    in.alcEnabled = true;
                    in.alcDac = (uint32_t)dac;
                    in.attADb = a * 0.5;
                    in.attBDb = b * 0.5;
                    SimLevelOutput out = simlevel_evaluate(in);
                    double error = std::fabs(out.outputDbm - p);
                    bool midRange = out.controller >> 2 > 1000 && out.controller >> 2 < 15000;
                    if (!out.levelled || !midRange || error > 0.2) worst++;
                    worstDb = std::max(worstDb, error);
                    EXPECT_LE(a, 63);
                    EXPECT_LE(b, 63);
                }
            }
            EXPECT_EQ(worst, 0) << "largest error " << worstDb << " dB";
        }
        krspiClose();
    }
    krpath_setRoot("");
    EXPECT_EQ(system(("rm -rf '" + root + "'").c_str()), 0);
}

}  // namespace
