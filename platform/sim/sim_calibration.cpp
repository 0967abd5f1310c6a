// Factory calibration tables from the level model.
#include "platform/sim/sim_calibration.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/krpath.h"
#include "hw/orbx20g_out.h"
#include "hw/orbx20g_out_registers.h"
#include "hw/orbx40g_out_registers.h"
#include "hw/orbxxxg_out_registers.h"
#include "level/csvtables.h"

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
    std::vector<int64_t> edges;
    if (board == SimLevelBoard::Orbx40G) {
        edges = {(int64_t)ORBX40G_OUT_DIRECT_LIMIT_HZ, (int64_t)ORBX40G_OUT_DOUBLER_EDGE_HZ};
        for (uint64_t e : ORBX40G_OUT_FILTER_EDGES_HZ)
            edges.push_back((int64_t)e);
    } else if (board == SimLevelBoard::Generic) {
        edges = {(int64_t)ORBXXXG_OUT_DIRECT_LIMIT_HZ};
        for (uint64_t e : ORBXXXG_OUT_FILTER_EDGES_HZ)
            edges.push_back((int64_t)e);
    } else {
        edges = {(int64_t)ORBX20G_OUT_DIRECT_LIMIT_HZ, (int64_t)ORBX20G_OUT_BAND_EDGE1_HZ,
                 (int64_t)ORBX20G_OUT_BAND_EDGE2_HZ, (int64_t)ORBX20G_OUT_BAND2_EDGE_HZ};
    }
    for (int64_t e : edges)
        if (e < top) f.push_back(e);
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
