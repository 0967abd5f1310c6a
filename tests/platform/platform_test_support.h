// Shared set-up of the simulated-hardware tests: a simulation root of the test's own with a
// chosen serial number (the simulated channels and boards come from it, as on the
// instrument), the generic I/O device opened on it, I/O blocks built record by record, and
// frames clocked straight into one chip emulator.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "device/krfreq.h"
#include "platform/sim/hardware_sim.h"
#include "platform/sim_chip.h"

// A register write as it goes over the wire: the two instruction bytes, then the data from the
// addressed byte down.
std::vector<uint8_t> simtest_writeFrame(uint16_t instruction, uint64_t value, int bytes);

// The 20 GHz board's register image on band 1 with the 4 GHz filter bank entry and RF on,
// dividers R, N2 and N1.
std::vector<uint8_t> simtest_band1Image(uint8_t r, uint8_t n2, uint8_t n1);

// Clocks one frame into the chip under chip select; returns what the chip drove back.
std::vector<uint8_t> simtest_frame(SimChip &chip, const std::vector<uint8_t> &bytes);

// The output of an NCO or DDS on this clock with a 48-bit tuning word: clock x word / 2^48.
KrFreq simtest_wordOutput(uint64_t clock, uint64_t ftw);

// One chip emulator on its own, fed frames directly.
template <class Chip>
class SimChipTest : public ::testing::Test {
  protected:
    template <class... Args>
    explicit SimChipTest(Args... args) : chip(args...) {}
    void SetUp() override { hardware_sim_clearViolations(); }
    std::vector<uint8_t> frame(const std::vector<uint8_t> &bytes) {
        return simtest_frame(chip, bytes);
    }

    Chip chip;
};

// A temporary root with /korvane/dev/sn (and sn_all where the test gives one), the generic
// I/O device opened and the simulation reset; all removed again after the test. Time runs
// without delays.
class SimRootTest : public ::testing::Test {
  protected:
    virtual const char *serial() const = 0;
    virtual const char *snAll() const { return ""; }
    void SetUp() override;
    void TearDown() override;

    std::string root;
    int fd = -1;
};

// Raw I/O blocks to the simulated boards: records collected, then sent with an I/O update.
class SimBlockTest : public SimRootTest {
  protected:
    // One record; the data go out from the last byte to the first.
    void record(uint32_t address, std::vector<uint8_t> data);
    // A chip frame in wire order, reversed into the record so it arrives as written.
    void wireFrame(uint32_t slave, std::vector<uint8_t> wire);
    // The collected records and the I/O update, then waits until the simulation is idle.
    void send();

    std::vector<uint8_t> block;
};
