// Factory calibration tables from the level model.
#include "platform/sim/sim_calibration.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/krpath.h"
#include "level/csvtables.h"
#include "platform/sim_board.h"

namespace {

constexpr int64_t kMHz = 1000000;
// Every band edge of the boards lies on 10 MHz below 1 GHz and on 50 MHz above.
constexpr int64_t kFineStepHz = 10 * kMHz, kFineTopHz = 1000 * kMHz, kStepHz = 50 * kMHz;
constexpr int64_t kLowestHz = 100000;  // the lowest minimum frequency of any board

std::vector<int64_t> frequencyPoints(SimLevelBoard board) {
    const int64_t top = (int64_t)simlevel_topHz(board);
    std::vector<int64_t> f = {kLowestHz, top};
    for (int64_t x = kFineStepHz; x < top; x += x < kFineTopHz ? kFineStepHz : kStepHz)
        f.push_back(x);
    // The boards' own edges as well, should one ever lie off the grid.
    for (uint64_t e : simboard(board).edgesHz)
        if ((int64_t)e < top) f.push_back((int64_t)e);
    std::sort(f.begin(), f.end());
    f.erase(std::unique(f.begin(), f.end()), f.end());
    return f;
}

// The whole table is kept statically: it is large.
Calibration table;

}  // namespace

void simcal_fill(const SimLayout &lay, int channel, Calibration *cal) {
    const SimLevelBoard board = simhw_levelBoard(lay, channel);
    Calibration_reset(cal);
    std::vector<int64_t> f = frequencyPoints(board);
    cal->frequencyCount = (uint32_t)std::min<size_t>(f.size(), CAL_MAX_FREQUENCIES);
    std::copy_n(f.begin(), cal->frequencyCount, cal->frequency);
    cal->powerCount = 0;
    for (const SimCalZone &z : SIMCAL_ZONES) {
        for (int p : {z.lowDbm, z.highDbm}) {
            const uint32_t i = cal->powerCount++;
            cal->power[i] = (float)p;
            const double loopDbm = p + 0.5 * (z.stepsA + z.stepsB);
            for (uint32_t k = 0; k < cal->frequencyCount; k++) {
                double dac = simlevel_dacForLoopPoint(board, (double)f[k], loopDbm, 0);
                CalibrationCell &c = cal->cell[i][k];
                c.stepAttA = (int16_t)z.stepsA;
                c.stepAttB = (int16_t)z.stepsB;
                c.alcSetpoint = (int16_t)std::clamp(std::lround(dac), 0L, (long)SIMLEVEL_DAC_MAX);
            }
        }
    }
    cal->sections = CAL_HAS_POWER_TABLE;
}

int simcal_writeTables(bool replace) {
    const SimLayout lay = simhw_readLayout();
    int written = 0;
    for (int c = 0; c < lay.channels; c++) {
        char path[48];
        snprintf(path, sizeof(path), "/korvane/dev/calibration%d.csv", c);
        if (!replace && access(KrPath(path), F_OK) == 0) continue;
        simcal_fill(lay, c, &table);
        if (Csvtables_Cal2Csv(&table, path) != 0) return -1;
        written++;
    }
    return written;
}
