// The layout of the simulated hardware: what the serial number of the simulation root says
// (channels, output boards, step attenuator modules, reference board), and the chips placed
// for it at their bus and slave addresses.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/output_board.h"
#include "config/serial_codes.h"
#include "hw/board_slaves.h"
#include "hw/orbx40g_out_registers.h"
#include "hw/orbxxxg_out_registers.h"
#include "sim_ad9164.h"
#include "sim_ad9910.h"
#include "sim_ad9912.h"
#include "sim_board.h"
#include "sim_chip.h"
#include "sim_hw.h"
#include "sim_hw_internal.h"

using namespace simhw_detail;

namespace {

// An instrument of mixed models keeps each channel's own number in sn_all, one
// "SNCH<n>-<number>" line per channel; 'Z' at a position of the instrument number means
// that position is read from the channel's number.
void channelCodes(const std::string &r, int position, char *code) {
    FILE *f = fopen((r + "/korvane/dev/sn_all").c_str(), "r");
    if (!f) return;
    char line[96];
    while (fgets(line, sizeof(line), f)) {
        if (strncmp(line, "SNCH", 4) != 0 || line[4] < '0' || line[4] > '7' || line[5] != '-')
            continue;
        if ((int)strlen(line + 6) > position)
            code[line[4] - '0'] = (char)toupper((unsigned char)line[6 + position]);
    }
    fclose(f);
}

template <class T, class... A>
T *place(Hw &h, A... args) {
    T *chip = new T(args...);
    h.chips.emplace_back(chip);
    return chip;
}

}  // namespace

namespace simhw_detail {

Layout readLayout() {
    Layout lay;
    std::string r = root();
    std::string path = r + "/korvane/dev/sn";
    FILE *f = r.empty() ? nullptr : fopen(path.c_str(), "r");
    if (!f) return lay;
    char sn[64] = {};
    if (!fgets(sn, sizeof(sn), f)) sn[0] = 0;
    fclose(f);
    for (char *p = sn; *p; p++)
        *p = (char)toupper((unsigned char)*p);
    if (strlen(sn) < 18) return lay;
    // The firmware's own rules over the code positions.
    lay.channels = serial_sourcesCount(sn[8]);
    lay.uln = serial_usesRefUln(sn[0], sn[1], serial_refBoardCode(sn[0], sn[1], sn[6], sn[7]));
    char board[SIMHW_CHANNELS], sspe[SIMHW_CHANNELS];
    memset(board, sn[7], sizeof(board));
    memset(sspe, sn[10], sizeof(sspe));
    if (sn[7] == 'Z') channelCodes(r, 7, board);
    if (sn[10] == 'Z') channelCodes(r, 10, sspe);
    // The firmware builds every channel's board from the first channel's code.
    OutputBoardFamily family = outputBoardFamily(board[0]);
    for (int c = 0; c < SIMHW_CHANNELS; c++) {
        lay.sspe[c] = serial_holds(serial_usesORBX_Sspe, sspe[c]) ? sspe[c] : 0;
        lay.board[c] = outputBoardIs40G(family)               ? SimLevelBoard::Orbx40G
                       : family == OutputBoardFamily::Generic ? SimLevelBoard::Generic
                                                              : SimLevelBoard::Orbx20G;
        lay.vcoLoop[c] = lay.board[c] != SimLevelBoard::Orbx40G && sn[7] > '5' && sn[7] <= 'Z';
    }
    return lay;
}

void build(Hw &h, const Layout &lay) {
    h.chips.clear();
    h.layout = lay;
    using L = SimRegisterChip::Layout;
    for (int c = 0; c < SIMHW_CHANNELS; c++) {
        ChannelChips &k = h.ch[c];
        auto at = [c](uint32_t chip) { return board_outSlave(c, chip); };
        const SimBoard &b = simboard(lay.board[c]);
        k.sri = place<SimShiftRegister>(h, b.sriName, c, at(BOARD_OUT_SRI), b.sriBytes);
        k.dds =
            b.ad9910ClockHz ? place<SimAd9910>(h, c, at(BOARD_OUT_DDS), b.ad9910ClockHz) : nullptr;
        k.pot = place<SimAd8402>(h, c, at(BOARD_OUT_LOOP_POT));
        k.attA = place<SimStepAttenuator>(h, "HMC624", c, at(BOARD_OUT_ATT_A));
        k.attB = place<SimStepAttenuator>(h, "HMC624", c, at(BOARD_OUT_ATT_B));
        k.alcDac = place<SimAd5643>(h, c, at(BOARD_OUT_ALC_DAC));
        k.temp = place<SimTc77>(h, c, at(BOARD_OUT_TEMP));
        k.alcAdc = place<SimAdc>(h, "AD7680", c, at(BOARD_OUT_ALC_ADC), 30000u,
                                 SimAdc::Reads::LevelController);
        k.vcoAdc =
            place<SimAdc>(h, "LTC2313", c, at(BOARD_OUT_VCO_ADC), 0u, SimAdc::Reads::VcoTuning);
        k.sspe = place<SimShiftRegister>(h, "SSPE", c, at(BOARD_OUT_SSPE), (size_t)2);
        place<SimRegisterChip>(h, "ADF5355", c, at(BOARD_OUT_PLL), L::ControlLow, (size_t)4, 4);
        k.rfdac = place<SimAd9164>(h, c, at(BOARD_OUT_RFDAC), ORBX40G_OUT_DAC_CLOCK_HZ);
        k.dds48 = place<SimAd9912>(h, c, at(BOARD_OUT_DDS48), ORBXXXG_OUT_DDS_CLOCK_HZ);
        k.attLoop = place<SimStepAttenuator>(h, "HMC1018", c, at(BOARD_OUT_ATT_LOOP));
        h.level[c] = LevelTrack();
    }
    h.refSri = place<SimShiftRegister>(h, "ORBXXXG_REF_SRI", -1, BOARD_REF_SRI, (size_t)0);
    if (lay.uln) {
        place<SimRegisterChip>(h, "HMC7043", -1, BOARD_REF_ULN_CLOCK, L::AddressHigh16, (size_t)3,
                               0);
        place<SimRegisterChip>(h, "HMC987", -1, BOARD_REF_ULN_FANOUT, L::Address8Data8, (size_t)2,
                               0);
        place<SimAd5760>(h, -1, BOARD_REF_ULN_OSC_DAC);
        place<SimRegisterChip>(h, "ADF4002", -1, BOARD_REF_ULN_PLL, L::ControlLow, (size_t)3, 2);
        place<SimAdc>(h, "AD7940", -1, BOARD_REF_ULN_ADC, 8000u);
        place<SimAd5640>(h, -1, BOARD_REF_ULN_LOCK_DAC);
    } else {
        place<SimAd5643>(h, -1, BOARD_REF_TUNE_DAC);
        place<SimAdc>(h, "AD7940", -1, BOARD_REF_ADC, 8000u);
        place<SimRegisterChip>(h, "HMC987", -1, BOARD_REF_FANOUT, L::Address8Data8, (size_t)2, 0);
    }
    place<SimShiftRegister>(h, "KRCONT_SRI", -1, BOARD_CONT_SRI, (size_t)0);
    place<SimTc77>(h, -1, BOARD_CONT_TEMP);
    place<SimRegisterChip>(h, "AD5932", -1, BOARD_CONT_LFG, L::Address4High, (size_t)2, 0);
    place<SimRegisterChip>(h, "AD5432", -1, BOARD_CONT_LFG_AMP, L::Address4High, (size_t)2, 0);
    place<SimAd5640>(h, -1, BOARD_CONT_USER_DAC);
    place<SimAdc>(h, "AD7680", -1, BOARD_CONT_USER_ADC, 0u);
    place<SimW25q>(h, -1, BOARD_CONT_FLASH);
    place<SimRegisterChip>(h, "MCP4131", -1, BOARD_CONT_FAN_POT, L::Address4High, (size_t)2, 0);
    place<SimShiftRegister>(h, "SSPE", -1, BOARD_CONT_SSPE, (size_t)2);
}

}  // namespace simhw_detail

bool SimLayout::operator==(const SimLayout &o) const {
    return channels == o.channels && uln == o.uln && memcmp(sspe, o.sspe, sizeof(sspe)) == 0 &&
           memcmp(board, o.board, sizeof(board)) == 0 &&
           memcmp(vcoLoop, o.vcoLoop, sizeof(vcoLoop)) == 0;
}

SimLayout simhw_readLayout() {
    return readLayout();
}
