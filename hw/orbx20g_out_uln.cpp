// 20 GHz ultra-low-noise output board.
#include "hw/orbx20g_out_uln.h"

#include <iterator>

#include "device/device_board.h"
#include "hw/krgio.h"

namespace {

// The low-noise VCO and DDS shift the worst spurs: narrower gaps around 1.2, 1.25 and
// 1.33 GHz than the 1B board.
const Orbx20gOutWindow windowsUln[] = {
    {1165e6, 1198e6}, {1203e6, 1246e6}, {1254e6, 1297e6},
    {1302e6, 1322e6}, {1337e6, 1372e6}, {1378e6, 1398e6},
};

// A limited board is clamped to its maximum, which also closes its band-edge list.
constexpr Orbx20gOutPlan ulnPlan(uint64_t maxHz) {
    return {0,
            windowsUln,
            (uint32_t)std::size(windowsUln),
            1070e6,
            0,
            4,
            10000000000ull,
            20200000000ull,
            maxHz,
            maxHz ? maxHz : 20000000000ull,
            0};
}

}  // namespace

const Orbx20gOutPlan ORBX20G_OUT_ULN_PLAN = ulnPlan(0);
const Orbx20gOutPlan ORBX20G_OUT_ULN_PLAN_6G = ulnPlan(6000000000ull);

int ORBX20G_OUT_ULN_init(OrbxxxgOutBoard *board) {
    return ORBX20G_OUT_initWithPlan(
        board, board->revisionCode == 8 ? &ORBX20G_OUT_ULN_PLAN_6G : &ORBX20G_OUT_ULN_PLAN);
}

int ORBX20G_OUT_ULN_getPathSettlingTime(OrbxxxgOutBoard *board, KrTime *seconds) {
    *seconds = ORBX20G_OUT_record(board)->pathChanged ? ORBX20G_OUT_ULN_PATH_SETTLING_S : 0.0;
    return 0;
}

int ORBX20G_OUT_ULN_getVcoTuneTime(OrbxxxgOutBoard *board, KrTime *seconds) {
    *seconds = ORBX20G_OUT_record(board)->n1Changed ? ORBX20G_OUT_ULN_VCO_TUNE_S : 0.0;
    return 0;
}

// The quick blank of a path change: the board has no blanking switch of its own, the pulse
// modulator's mute blanks it.
int ORBX20G_OUT_ULN_blankRf(OrbxxxgOutBoard *) {
    return krgio_blankRf(1);
}

int ORBX20G_OUT_ULN_unblankRf(OrbxxxgOutBoard *) {
    return krgio_blankRf(0);
}

void ORBX20G_OUT_ULN_registerFunctions() {
    ORBX20G_OUT_registerFunctions();
    BOARD_ORBXXXG_OUT_init = ORBX20G_OUT_ULN_init;
    BOARD_ORBXXXG_OUT_getPathSettlingTime = ORBX20G_OUT_ULN_getPathSettlingTime;
    BOARD_ORBXXXG_OUT_getVcoTuneTime = ORBX20G_OUT_ULN_getVcoTuneTime;
    BOARD_ORBXXXG_OUT_blankRf = ORBX20G_OUT_ULN_blankRf;
    BOARD_ORBXXXG_OUT_unblankRf = ORBX20G_OUT_ULN_unblankRf;
}
