// Shared set-up of the hardware tests: a simulation root of the test's own with a chosen
// serial number (the variant and layout come from it, as on the instrument), the SPI
// transport opened on the simulated driver, and helpers to read what reached the driver.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
