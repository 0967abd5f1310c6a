// AD9910 emulator: I/O buffers and active registers, single-tone frequency from profile 0 or
// the FTW register, phase offset, digital ramp.
#pragma once

#include "device/krfreq.h"
#include "sim_chip.h"

class SimAd9910 : public SimChip {
  public:
    SimAd9910(int channel, uint32_t slave, uint64_t refclkHz);

    uint64_t active(int reg) const { return active_[reg]; }
    uint64_t buffered(int reg) const { return buffered_[reg]; }
    bool poweredDown() const;
    // Tuning word in effect (single tone, or the ramp's lower limit while ramping).
    uint32_t ftw() const;
    uint16_t pow() const;
    bool ramping() const;
    // The ramp toggles between two neighbouring words (high-resolution mode).
    bool dithering() const;
    KrFreq sysclk() const;
    // Exact output frequency: sysclk x word / 2^32, truncated to 2^-64 Hz; while dithering
    // the time average of the two words.
    KrFreq output() const;
    // Exact frequency of a tuning word at the clock in effect.
    KrFreq tone(uint32_t word) const;
    // The ramp as a chirp, decoded from the registers in effect (the register header says
    // how the bits run it): on while the ramp sweeps the frequency (not a dither).
    struct Chirp {
        bool on;
        uint32_t low, high;
        uint32_t step;  // of the ramp's first slope
        uint16_t rate;
        const char *direction;  // "up", "down", "updown", "downup"
        double rampSeconds;     // one ramp from limit to limit
    };
    Chirp chirp() const;

    void ioupdate() override;
    void reset() override;
    void describe(std::string &json) const override;

  protected:
    uint8_t miso(size_t index) override;
    void frameDone() override;

  private:
    void logRegister(int reg, size_t bytes) const;
    uint64_t refclkHz_;
    uint64_t buffered_[23];
    uint64_t active_[23];
    bool changed_ = false;
};
