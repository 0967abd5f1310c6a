// Shared set-up of the hardware tests: a simulation root of the test's own with a chosen
// serial number (the variant and layout come from it, as on the instrument), the SPI
// transport opened on the simulated driver, and helpers to read what reached the driver.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/krfreq.h"
#include "hw/orbxxxg_board.h"
#include "platform/sim/gio_record.h"
#include "platform/sim/hardware_sim.h"

// Serial numbers: standard or FS controller, channel count.
std::string hwtest_serial(bool fs, int channels = 1, char powerExtension = '0');

// A temporary simulation root holding /korvane/dev/sn; removed again by the destructor.
class HwTestRoot {
  public:
    explicit HwTestRoot(const std::string &serial);
    ~HwTestRoot();
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

// Opens the SPI transport on the simulated hardware with the serial number's variant; the
// FS variant also starts the FS FPGA link. Time runs without delays unless a test sets a
// scale.
class HwTest : public ::testing::Test {
  protected:
    explicit HwTest(bool fs = false, int channels = 1) : fs_(fs), channels_(channels) {}
    void SetUp() override;
    void TearDown() override;
    // The data of every I/O record sent since the last clear (blocks and asynchronous writes).
    std::vector<GioIoRecord> ioRecords() { return gio_record_ioRecords(); }
    // Payloads of all requests with this code.
    std::vector<std::vector<uint8_t>> payloads(int request);
    void expectNoViolations();

    bool fs_;
    int channels_;
    HwTestRoot *root_ = nullptr;
};

class FsHwTest : public HwTest {
  protected:
    FsHwTest() : HwTest(true) {}
};

// Everything the FS link handed to the driver on the buffered path, in order (call
// FS_FPGA_flush first so that the transmit thread has nothing left).
std::vector<uint8_t> hwtest_bufferedStream();
// The immediate-path strings, one per send.
std::vector<std::vector<uint8_t>> hwtest_immediateSends();

// Frequencies in the output-board tests; a test program takes them with using-declarations so
// that its own helpers of the same name elsewhere do not collide.
namespace hwtest {
KrFreq hz(uint64_t h, uint64_t fraction = 0);
double toDouble(const KrFreq &f);
bool sameFreq(const KrFreq &a, const KrFreq &b);
}  // namespace hwtest

// An output board on the simulated instrument of the test's serial number: the root, the SPI
// transport, and the board record as the channel device hands it over (fresh, channel 0, the
// given revision), initialised by the test's initBoard. Protocol violations fail the test.
// The record lives in the test program, not here: the ALC DAC's invalidation listener points
// into it across tests.
class OutBoardTest : public ::testing::Test {
  protected:
    OutBoardTest(OrbxxxgOutBoard &board, uint32_t revisionCode)
        : board_(board), revisionCode_(revisionCode) {}
    virtual const char *serial() const = 0;
    // Initialises the prepared record; returns the init call's result.
    virtual int initBoard() = 0;
    void SetUp() override;
    void TearDown() override;

    HwTestRoot *root_ = nullptr;

  private:
    OrbxxxgOutBoard &board_;
    uint32_t revisionCode_;
};
