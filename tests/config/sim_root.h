// A fresh simulation root per test, made by the same script a developer uses, with the
// firmware's paths resolved inside it.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace krtest {

class SimRootTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Path of a firmware file inside the root.
    std::string path(const std::string &firmwarePath) const { return root + firmwarePath; }
    std::string read(const std::string &firmwarePath) const;
    bool exists(const std::string &firmwarePath) const;
    void write(const std::string &firmwarePath, const std::string &content) const;
    void remove(const std::string &firmwarePath) const;
    // What the stand-in system tools were asked to do.
    std::string actions() const { return read("/media/ram/sim_actions.log"); }
    // Writes the serial number (and optionally sn_all) and reads them in.
    void useSerial(const std::string &sn, const std::string &snAll = "");

    std::string root;
};

}  // namespace krtest
