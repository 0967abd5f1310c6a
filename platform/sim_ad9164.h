// AD9164 emulator, as the 40 GHz board runs it: a DDS from its NCO. Register bytes are kept
// as written (16-bit instruction, data from the addressed byte downward); the 48-bit tuning
// word and the 16-bit phase offset take effect when the NCO load bit is written. Reads of the
// JESD status report every lane synchronised.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "sim_chip.h"

class SimAd9164 : public SimWordChip {
  public:
    SimAd9164(int channel, uint32_t slave, uint64_t dacClockHz);

    // In effect since the last load.
    uint64_t ftw() const { return ftw_; }
    uint16_t phaseWord() const { return phase_; }
    // The datapath sends the NCO tone to the output.
    bool ncoEnabled() const;
    // Written since the last load.
    bool pending() const { return pending_; }
    // Loads so far (a modulation table counts its samples by them).
    uint64_t loads() const { return loads_; }
    KrFreq clock() const;
    // Exact output frequency: clock x word / 2^48.
    KrFreq output() const;

    void reset() override;
    void describe(std::string &json) const override;

  protected:
    uint8_t miso(size_t index) override;
    void frameDone() override;

  private:
    uint64_t clockHz_;
    uint64_t ftw_ = 0;
    uint16_t phase_ = 0;
    bool pending_ = false;
    uint64_t loads_ = 0;
};
