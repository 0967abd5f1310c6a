// The channel device on the simulated hardware, for tests that drive it as the firmware does:
// one temporary root for the whole test program (the simulation's threads may still write
// their state below it between tests), the serial number of the test's choice, the drivers
// opened, and, unless the test brings up only parts, the device initialised.
#pragma once

#include <gtest/gtest.h>

#include <string>

struct Device;

class SimDeviceTest : public ::testing::Test {
  protected:
    // The serial number decides the hardware (see the ready configurations).
    virtual std::string serial() const { return "1C0-000B10000-0001"; }
    // False: the test initialises what it needs itself after SetUp.
    virtual bool initDevice() const { return true; }

    void SetUp() override;
    void TearDown() override;

    // The root of this test program, and a file below it.
    static const std::string &root();
    static void writeFile(const std::string &path, const std::string &text);

    Device *device_ = nullptr;
};
