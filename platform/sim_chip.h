// Chip emulators of the simulated hardware. Each sits at one bus and slave address and sees
// only the wire: chip select, the bytes clocked in and out, and the I/O update line. They
// decode frames with the same register constants as the firmware's drivers, so a wrong bit
// in a driver shows as a wrong simulated output. All members are used under the
// simulation's lock (sim_hw.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "device/krfreq.h"

// A register's name by its address, for the hardware log; the names are the data sheets'.
struct SimRegName {
    uint32_t address;
    const char *name;
};

// The name of address in the table, or "REG_0x<address>" written into fallback.
const char *simchip_regName(const SimRegName *table, size_t count, uint32_t address, char *fallback,
                            size_t size);
template <size_t N>
const char *simchip_regName(const SimRegName (&table)[N], uint32_t address, char *fallback,
                            size_t size) {
    return simchip_regName(table, N, address, fallback, size);
}

class SimChip {
  public:
    SimChip(const char *type, int channel, uint32_t bus, uint32_t slave);
    virtual ~SimChip() = default;

    const char *type() const { return type_; }
    int channel() const { return channel_; }  // -1: not a channel's chip
    uint32_t bus() const { return bus_; }
    uint32_t slave() const { return slave_; }
    bool isSelected() const { return selected_; }
    uint64_t frames() const { return frames_; }

    void select();
    uint8_t transfer(uint8_t mosi);
    void deselect();

    // Chip select released, frame counter cleared (with reset()).
    void resetWire();
    // The I/O update line: prepared registers take effect.
    virtual void ioupdate() {}
    // Power-on state.
    virtual void reset() {}
    // Extra fields for the state file and test peeks ("name": value pairs, comma-led).
    virtual void describe(std::string &json) const { (void)json; }

  protected:
    // The byte the chip drives while the byte at frame position index is clocked in.
    virtual uint8_t miso(size_t index) {
        (void)index;
        return 0;
    }
    // A complete frame (chip select released).
    virtual void frameDone() = 0;
    // Reports a frame that does not fit the chip's protocol.
    void violation(const char *format, ...) const __attribute__((format(printf, 2, 3)));
    // The frame as one big-endian number of up to 8 bytes.
    uint64_t frameWord() const;
    // Up to 8 bytes of the frame from index from, as one big-endian number.
    uint64_t frameValue(size_t from) const;
    // One line of the hardware log for a write to register reg of this chip: format gives the
    // value first, then what it means as " name=value" pairs.
    void logWrite(const char *reg, const char *format, ...) const
        __attribute__((format(printf, 3, 4)));

    std::vector<uint8_t> frame_;

  private:
    const char *type_;
    int channel_;
    uint32_t bus_;
    uint32_t slave_;
    bool selected_ = false;
    uint64_t frames_ = 0;
};

// A chain of shift registers latched at chip select release; bit b of the image is bit b
// of the word shifted in (the last byte on the wire holds bits 0-7). bytes 0: the length
// is whatever the board module shifts in.
class SimShiftRegister : public SimChip {
  public:
    SimShiftRegister(const char *type, int channel, uint32_t slave, size_t bytes);
    bool bit(int b) const;
    uint64_t field(int low, int width) const;
    size_t bytes() const { return image_.size(); }
    const std::vector<uint8_t> &image() const { return image_; }
    bool written() const { return written_; }
    void reset() override;
    void describe(std::string &json) const override;

  protected:
    void frameDone() override;

  private:
    size_t fixed_;
    std::vector<uint8_t> image_;
    bool written_ = false;
};

// A chip whose frames are fixed-size words: each accepted word is decoded into one of its
// registers (address -> value) by the subclass.
class SimWordChip : public SimChip {
  public:
    SimWordChip(const char *type, int channel, uint32_t slave, size_t wordBytes);
    uint64_t reg(uint32_t address, uint64_t otherwise = 0) const;
    bool has(uint32_t address) const { return regs_.count(address) != 0; }
    void reset() override { regs_.clear(); }
    void describe(std::string &json) const override;

  protected:
    // The chips addressed by a 16-bit instruction keep one byte per address; bytes high,
    // high - 1, ... as one big-endian number.
    uint64_t bytesFrom(uint32_t high, int bytes) const;
    // clock x word / 2^bits, exact to 2^-64 Hz (the word and clock of a 48-bit DDS).
    static KrFreq tone(uint64_t clockHz, uint64_t word, uint32_t bits);
    // Where a DDS with a wide tuning word keeps it, for the log.
    struct DdsMap {
        const SimRegName *names;
        size_t count;
        uint32_t ftwHigh, load, phaseHigh;  // the load register takes the word into effect
        uint16_t phaseMask;
        double phaseSteps;
        uint32_t flagAddress;  // one register's state worth naming
        const char *flag;
    };
    // One line per write frame (data from frame byte 2), named by the register its instruction
    // addresses: the tuning word as it stands buffered, or in effect after a load.
    void logDdsFrame(const DdsMap &m, uint32_t address, uint64_t clockHz, uint32_t bits,
                     uint64_t loaded, const char *flagValue) const;
    void frameDone() override;
    // Decodes one word; default: register 0 := word.
    virtual void word(uint64_t w) { regs_[0] = w; }
    std::map<uint32_t, uint64_t> regs_;
    size_t wordBytes_;
};

// DACs, potentiometers and attenuators: one latched value per output.
class SimAd5643 : public SimWordChip {  // dual 14-bit DAC
  public:
    SimAd5643(int channel, uint32_t slave) : SimWordChip("AD5643", channel, slave, 3) {}
    uint32_t dac(int n) const { return (uint32_t)reg(0x10 + n); }
    bool poweredDown(int n) const { return reg(0x20 + n) != 0; }
    // Loads of channel A's output so far (a modulation table counts its samples by them).
    uint64_t loadsA() const { return loadsA_; }

  protected:
    void word(uint64_t w) override;

  private:
    uint64_t loadsA_ = 0;
};

class SimAd5640 : public SimWordChip {  // 14-bit DAC with power-down modes
  public:
    SimAd5640(int channel, uint32_t slave) : SimWordChip("AD5640", channel, slave, 2) {}

  protected:
    void word(uint64_t w) override;
};

class SimAd5760 : public SimWordChip {  // 16-bit DAC: DAC, control, clear-code registers
  public:
    SimAd5760(int channel, uint32_t slave) : SimWordChip("AD5760", channel, slave, 3) {}

  protected:
    uint8_t miso(size_t index) override;
    void word(uint64_t w) override;

  private:
    uint32_t readback_ = 0;
};

class SimAd8402 : public SimWordChip {  // dual 8-bit potentiometer, 10-bit words
  public:
    SimAd8402(int channel, uint32_t slave) : SimWordChip("AD8402", channel, slave, 2) {}
    uint32_t wiper(int n) const { return (uint32_t)reg((uint32_t)n, 128); }

  protected:
    void word(uint64_t w) override;
};

class SimStepAttenuator : public SimWordChip {  // HMC624, HMC1018, ADRF57X0/1
  public:
    SimStepAttenuator(const char *type, int channel, uint32_t slave);
    double attenuationDb() const;

  protected:
    void word(uint64_t w) override;
};

// Converters that are read. A fixed converter gives the value a test set (or a default); a
// level converter gives its channel's level-model reading unless a test set a value (until
// the next reset) or a stimulus file $KORVANE_ROOT/sim/<name>-<channel> holds a 14-bit value,
// read at every conversion.
class SimAdc : public SimChip {  // AD7940 (14 bits), AD7680 (16 bits), LTC2313 (14 bits)
  public:
    enum class Reads { Fixed, LevelController, VcoTuning };
    SimAdc(const char *type, int channel, uint32_t slave, uint32_t value,
           Reads reads = Reads::Fixed);
    void setValue(uint32_t v) {
        value_ = v;
        forced_ = true;
    }
    // The code a conversion gives now.
    uint32_t reading() const;
    void reset() override { forced_ = false; }
    void describe(std::string &json) const override;

  protected:
    uint8_t miso(size_t index) override;
    void frameDone() override {}

  private:
    uint32_t value_;
    uint32_t converted_ = 0;  // the conversion being shifted out
    Reads reads_;
    bool forced_ = false;
};

class SimTc77 : public SimChip {  // temperature sensor: 13-bit, 0.0625 C per step
  public:
    SimTc77(int channel, uint32_t slave) : SimChip("TC77", channel, 0, slave) {}
    void setCelsius(double c) { celsius_ = c; }
    double celsius() const { return celsius_; }
    void describe(std::string &json) const override;

  protected:
    uint8_t miso(size_t index) override;
    void frameDone() override {}

  private:
    void pollOverride();
    double celsius_ = 35.0;
};

class SimW25q : public SimChip {  // serial flash: identification, status, read, program, erase
  public:
    SimW25q(int channel, uint32_t slave);
    void reset() override;

  protected:
    uint8_t miso(size_t index) override;
    void frameDone() override;

  private:
    std::vector<uint8_t> memory_;
    bool writeEnabled_ = false;
};

// Chips whose registers are kept but not interpreted further (clock distribution, PLLs, the
// generic DDS and RF DAC, the frequency-scan generator).
class SimRegisterChip : public SimWordChip {
  public:
    enum class Layout {
        AddressHigh16,  // HMC7043: 24-bit frame, read bit 23, address 20-8, data 7-0
        ControlLow,     // ADF4002 / ADF5355: register number in the low control bits
        Address4High,   // AD5932 / AD5432 / MCP4131: 16-bit word, address in bits 15-12
        Address8Data8,  // HMC987: 16-bit word, register 15-8, data 7-0
        Instruction16,  // AD9912 / AD9164: 16-bit instruction, then data bytes
    };
    SimRegisterChip(const char *type, int channel, uint32_t slave, Layout layout, size_t bytes,
                    int controlBits = 0);

  protected:
    void frameDone() override;
    uint8_t miso(size_t index) override;
    void word(uint64_t w) override;

  private:
    const char *registerName(uint32_t address, char *fallback, size_t size) const;
    Layout layout_;
    int controlBits_;
};
