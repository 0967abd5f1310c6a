// AD9912 emulator, as the generic output board runs it: a 48-bit DDS. Register bytes are kept
// as written (16-bit instruction with the byte count in bits 14-13, data from the addressed
// byte downward). The tuning word and the phase offset are buffered and take effect with an
// I/O update: the register-update bit written by the driver, or the board's I/O update line.
// The power register acts at once.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "sim_chip.h"

class SimAd9912 : public SimWordChip {
  public:
    SimAd9912(int channel, uint32_t slave, uint64_t sysclkHz);

    // In effect since the last update.
    uint64_t ftw() const { return ftw_; }
    uint16_t phaseWord() const { return phase_; }  // 14 bits
    bool poweredDown() const;
    // Written since the last update.
    bool pending() const { return pending_; }
    KrFreq clock() const;
    // Exact output frequency: clock x word / 2^48.
    KrFreq output() const;

    void ioupdate() override;
    void reset() override;
    void describe(std::string &json) const override;

  protected:
    uint8_t miso(size_t index) override;
    void frameDone() override;

  private:
    void update();
    uint64_t clockHz_;
    uint64_t ftw_ = 0;
    uint16_t phase_ = 0;
    bool pending_ = false;
};
