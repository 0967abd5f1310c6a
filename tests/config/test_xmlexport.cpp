// The settings export on the channel device of a standard 20 GHz instrument: values in their
// kinds, what a missing family or board operation writes, and a failed save.
#include <gtest/gtest.h>
#include <mxml.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/xmlexport.h"
#include "core/krpath.h"
#include "device/device.h"
#include "scpi/scpi_errorcodes.h"
#include "tests/support/sim_device.h"

namespace {

std::string slurp(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class XmlExportTest : public SimDeviceTest {
  protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        mkdir((root() + "/media").c_str(), 0755);
        mkdir((root() + "/media/ram").c_str(), 0755);
        file_ = root() + XMLEXPORT_PATH;
    }
    void TearDown() override {
        if (xml_) mxmlDelete(xml_);
        SimDeviceTest::TearDown();
    }

    // Exports and loads the document; the configuration element.
    mxml_node_t *exported() {
        EXPECT_EQ(xmlexport_write(device_, XMLEXPORT_PATH), 0);
        FILE *f = fopen(file_.c_str(), "r");
        EXPECT_NE(f, nullptr);
        if (!f) return nullptr;
        if (xml_) mxmlDelete(xml_);
        xml_ = mxmlLoadFile(nullptr, f, MXML_OPAQUE_CALLBACK);
        fclose(f);
        return mxmlFindElement(xml_, xml_, "configuration", nullptr, nullptr, MXML_DESCEND);
    }
    std::string attr(const char *element, const char *name) {
        mxml_node_t *config = exported();
        mxml_node_t *e = mxmlFindElement(config, config, element, nullptr, nullptr, MXML_DESCEND);
        const char *v = e ? mxmlElementGetAttr(e, name) : nullptr;
        return v ? v : "<absent>";
    }

    std::string file_;
    mxml_node_t *xml_ = nullptr;
};

TEST_F(XmlExportTest, ValuesInTheirKinds) {
    KrFreq start{3000000000LL, 0};
    ASSERT_EQ(Device_setFrequencyStart(device_, &start), 0);
    EXPECT_EQ(attr("frequency_settings", "start_frequency"), "3000000000.00000000000000000000");
    EXPECT_EQ(attr("general", "variant"), "generator");
    EXPECT_EQ(attr("sweep_settings", "dwell_time"), "5.000000E-05");
    EXPECT_EQ(attr("list_settings", "list_points_max"), "10000");
}

TEST_F(XmlExportTest, MissingFamiliesAndBoardOperationsReadAsAbsent) {
    // No AM on this instrument: the element stays, empty numbers, every flag 0.
    EXPECT_EQ(attr("amplitude_modulation_settings", "depth"), "");
    EXPECT_EQ(attr("amplitude_modulation_settings", "internal_frequency"), "");
    EXPECT_EQ(attr("amplitude_modulation_settings", "supported"), "0");
    EXPECT_EQ(attr("amplitude_modulation_settings", "source_internal"), "0");
    // A slot the channel device forwards to a board that lacks the operation.
    ASSERT_TRUE(DEVICE_ISREG(enableSysClockOutput));
    EXPECT_EQ(Device_isSlotAddressProvided(&Device_enableSysClockOutput), 0);
    EXPECT_EQ(attr("frequency_reference_settings", "clk_in_out_supported"), "0");
    EXPECT_EQ(attr("frequency_reference_settings", "internal_reference_supported"), "1");
}

TEST_F(XmlExportTest, AFailedSaveLeavesTheOldExportAndNoReplacement) {
    exported();
    std::string first = slurp(file_);
    std::string tmp = file_ + ".tmp";
    ASSERT_EQ(mkdir(tmp.c_str(), 0755), 0);
    EXPECT_EQ(xmlexport_write(device_, XMLEXPORT_PATH), KR_E_EXECUTION_ERROR);
    rmdir(tmp.c_str());
    EXPECT_EQ(slurp(file_), first);
    struct stat st;
    EXPECT_NE(stat(tmp.c_str(), &st), 0);
}

}  // namespace
