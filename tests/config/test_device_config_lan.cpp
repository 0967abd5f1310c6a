#include "config/device_config_lan.h"

#include <gtest/gtest.h>

#include <string>

#include "config/device_config.h"
#include "scpi/scpi_errorcodes.h"
#include "sim_root.h"
#include "tests/support/param_name.h"

namespace {

using krtest::SimRootTest;

// ---------------------------------------------------------------------------------------
// Dotted addresses

struct AddressRow {
    const char *text;
    const char *stored;  // nullptr: rejected with -224
};

class AddressTextTest : public ::testing::TestWithParam<AddressRow> {};

TEST_P(AddressTextTest, ParsesExactlyFourNumbers) {
    uint32_t address = 0xdeadbeef;
    int r = stringToIpv4(GetParam().text, &address);
    if (!GetParam().stored) {
        EXPECT_EQ(r, KR_E_ILLEGAL_PARAMETER_VALUE);
        EXPECT_EQ(address, 0xdeadbeefu);
        return;
    }
    ASSERT_EQ(r, 0);
    char text[DEVICE_CONFIG_IP_SIZE];
    EXPECT_STREQ(ipv4ToString(address, text), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AddressTextTest,
    ::testing::Values(AddressRow{"192.168.1.10", "192.168.1.10"}, AddressRow{"0.0.0.0", "0.0.0.0"},
                      AddressRow{"255.255.255.255", "255.255.255.255"},
                      AddressRow{"010.001.0.00009", "10.1.0.9"}, AddressRow{"256.1.1.1", nullptr},
                      AddressRow{"1.2.3", nullptr}, AddressRow{"1.2.3.4.5", nullptr},
                      AddressRow{"1..2.3", nullptr}, AddressRow{"1.2.3.", nullptr},
                      AddressRow{".1.2.3", nullptr}, AddressRow{"1.2.3.4 ", nullptr},
                      AddressRow{" 1.2.3.4", nullptr}, AddressRow{"+1.2.3.4", nullptr},
                      AddressRow{"1.2.3.-4", nullptr}, AddressRow{"a.b.c.d", nullptr},
                      AddressRow{"", nullptr}, AddressRow{"1.2.3.4'; reboot; '", nullptr},
                      AddressRow{"1.2.3.99999999999999999999", nullptr}),
    [](const ::testing::TestParamInfo<AddressRow> &info) {
        // " 1.2.3.4" and "+1.2.3.4" differ only in a character a name cannot hold.
        const std::string_view text = info.param.text;
        return (text.starts_with('+') ? "Plus" : "") + paramName(text);
    });

TEST(AddressTextTest, NullIsRejected) {
    uint32_t address;
    EXPECT_EQ(stringToIpv4(nullptr, &address), KR_E_ILLEGAL_PARAMETER_VALUE);
}

struct MaskRow {
    const char *text;
    bool accepted;
};

class SubnetMaskTest : public SimRootTest, public ::testing::WithParamInterface<MaskRow> {};

TEST_P(SubnetMaskTest, OnlyContiguousMasksFromTheTopBit) {
    ASSERT_EQ(device_config_setSubn("255.255.255.0"), 0);
    int r = device_config_setSubn(GetParam().text);
    if (GetParam().accepted) {
        EXPECT_EQ(r, 0);
        EXPECT_STREQ(device_config_getSubn(), GetParam().text);
    } else {
        EXPECT_EQ(r, KR_E_ILLEGAL_PARAMETER_VALUE);
        EXPECT_STREQ(device_config_getSubn(), "255.255.255.0");  // unchanged
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SubnetMaskTest,
    ::testing::Values(MaskRow{"255.255.255.0", true}, MaskRow{"255.255.255.255", true},
                      MaskRow{"128.0.0.0", true}, MaskRow{"255.255.240.0", true},
                      MaskRow{"255.255.0.255", false}, MaskRow{"0.0.0.0", false},
                      MaskRow{"127.0.0.0", false}, MaskRow{"255.0.255.0", false},
                      MaskRow{"255.255.255", false}),
    [](const ::testing::TestParamInfo<MaskRow> &info) { return paramName(info.param.text); });

class LanTest : public SimRootTest {
  protected:
    void manualAddresses() {
        ASSERT_EQ(device_config_setIP("192.168.7.20"), 0);
        ASSERT_EQ(device_config_setSubn("255.255.255.0"), 0);
        ASSERT_EQ(device_config_setGW("192.168.7.1"), 0);
    }
};

TEST_F(LanTest, AddressSettersStoreNormalisedTextAndApplyNothing) {
    EXPECT_EQ(device_config_setIP("192.168.007.020"), 0);
    EXPECT_STREQ(device_config_getIP(), "192.168.7.20");
    EXPECT_EQ(device_config_setGW("10.0.0.1"), 0);
    EXPECT_STREQ(device_config_getGW(), "10.0.0.1");
    EXPECT_EQ(device_config_setIP("10.0.0.256"), KR_E_ILLEGAL_PARAMETER_VALUE);
    EXPECT_STREQ(device_config_getIP(), "192.168.7.20");
    EXPECT_EQ(actions().find("ifplugd"), std::string::npos);
}

TEST_F(LanTest, ModeComesFromItsFile) {
    struct {
        const char *file;
        int (*is)();
    } rows[] = {{"MAN\n", device_config_isLanConfigMan},
                {"DHCP\n", device_config_isLanConfigDhcp},
                {"AUTO\n", device_config_isLanConfigAuto},
                {"static\n", device_config_isLanConfigAuto},
                {nullptr, device_config_isLanConfigAuto}};
    for (const auto &row : rows) {
        if (row.file)
            write("/korvane/dev/conf/syst_comm_lan_conf", row.file);
        else
            remove("/korvane/dev/conf/syst_comm_lan_conf");
        device_config_getLanConfig();
        EXPECT_EQ(row.is(), 1) << (row.file ? row.file : "missing");
    }
}

TEST_F(LanTest, ManualConfigurationWritesTheStaticStanza) {
    manualAddresses();
    device_config_setLanConfigMan();
    ASSERT_EQ(device_config_setLanConfig(), 0);
    const std::string stanza =
        "auto eth0\niface eth0 inet static\n   address 192.168.7.20\n   netmask 255.255.255.0\n"
        "   gateway 192.168.7.1\n   post-up /usr/sbin/KR_generateAvahiServices\n";
    EXPECT_EQ(read("/korvane/dev/conf/eth0_static_conf"), stanza);
    EXPECT_EQ(read("/etc/network/interfaces"), read("/korvane/dev/conf/lo_conf") + stanza);
    EXPECT_EQ(read("/korvane/dev/conf/syst_comm_lan_conf"), "MAN\n");
    EXPECT_EQ(read("/etc/network/configuration"), "MAN\n");
    std::string log = actions();
    size_t writeRoot = log.find("write_root"), protectRoot = log.find("protect_root");
    size_t stop = log.find("ifplugd.init stop"), start = log.find("ifplugd.init start");
    ASSERT_NE(writeRoot, std::string::npos);
    ASSERT_NE(stop, std::string::npos);
    EXPECT_LT(writeRoot, protectRoot);
    EXPECT_LT(protectRoot, stop);
    EXPECT_LT(stop, start);

    device_config_setIP("192.168.7.99");  // stored, not yet applied
    device_config_getLanConfig();
    EXPECT_STREQ(device_config_getConfiguredIP(), "192.168.7.20");
}

TEST_F(LanTest, AutomaticAndDhcpUseTheDhcpStanza) {
    struct {
        void (*set)();
        const char *word;
    } rows[] = {{device_config_setLanConfigAuto, "AUTO"}, {device_config_setLanConfigDhcp, "DHCP"}};
    for (const auto &row : rows) {
        row.set();
        ASSERT_EQ(device_config_setLanConfig(), 0);
        EXPECT_EQ(read("/korvane/dev/conf/syst_comm_lan_conf"), std::string(row.word) + "\n");
        EXPECT_EQ(read("/etc/network/configuration"), std::string(row.word) + "\n");
        EXPECT_EQ(read("/etc/network/interfaces"), read("/korvane/dev/conf/lo_conf") +
                                                       read("/korvane/dev/conf/eth0_dhcp_conf") +
                                                       "hostname $(hostname)\n");
    }
    device_config_setLanConfigMan();
    ASSERT_EQ(device_config_setDefaultLanConfig(), 0);
    EXPECT_EQ(device_config_isLanConfigAuto(), 1);
    EXPECT_EQ(read("/korvane/dev/conf/syst_comm_lan_conf"), "AUTO\n");
    EXPECT_STREQ(device_config_getConfiguredIP(), device_config_getIP());
}

TEST_F(LanTest, AddressThatIsNotDottedTextIsNeverApplied) {
    manualAddresses();
    snprintf(device_config.gateway, sizeof(device_config.gateway), "1';touch x;'");
    device_config_setLanConfigMan();
    EXPECT_EQ(device_config_setLanConfig(), KR_E_ILLEGAL_PARAMETER_VALUE);
    EXPECT_FALSE(exists("/korvane/dev/conf/eth0_static_conf"));
    EXPECT_EQ(actions().find("ifplugd"), std::string::npos);
}

TEST_F(LanTest, MacAddressFromTheInterfaceTool) {
    char mac[32];
    EXPECT_EQ(device_config_getMacAddr(mac, sizeof(mac)), 0);
    EXPECT_STREQ(mac, "02:00:00:00:00:01");
    EXPECT_FALSE(exists("/media/ram/macaddr"));
    char small[6];
    EXPECT_EQ(device_config_getMacAddr(small, sizeof(small)), 0);
    EXPECT_STREQ(small, "02:00");
}

// ---------------------------------------------------------------------------------------
// Port and client mode

struct OtherConfRow {
    const char *file;  // nullptr: missing
    int port;
    int mses;
    const char *rewritten;  // nullptr: left as it was
};

class OtherConfTest : public SimRootTest, public ::testing::WithParamInterface<OtherConfRow> {};

TEST_P(OtherConfTest, ReadWithCorrectionsWrittenBack) {
    const OtherConfRow &row = GetParam();
    if (row.file)
        write("/korvane/dev/conf/eth0_other_conf", row.file);
    else
        remove("/korvane/dev/conf/eth0_other_conf");
    device_config_getLanConfig();
    EXPECT_EQ(device_config_getPort(), row.port);
    EXPECT_EQ(device_config_getMses(), row.mses);
    if (row.rewritten)
        EXPECT_EQ(read("/korvane/dev/conf/eth0_other_conf"), row.rewritten);
    else if (row.file)
        EXPECT_EQ(read("/korvane/dev/conf/eth0_other_conf"), row.file);
    else
        EXPECT_FALSE(exists("/korvane/dev/conf/eth0_other_conf"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, OtherConfTest,
    ::testing::Values(OtherConfRow{nullptr, 18, 0, nullptr},
                      OtherConfRow{"port 5025\nmses 1\n", 5025, 1, nullptr},
                      OtherConfRow{"mses 1\nport 5025\n", 5025, 1, nullptr},
                      OtherConfRow{"port 70000\nmses 1\n", 18, 1, "port 18\nmses 1\n"},
                      OtherConfRow{"port 0\n", 18, 0, "port 18\nmses 0\n"},
                      OtherConfRow{"port 5025\nmses 2\n", 5025, 0, "port 5025\nmses 0\n"},
                      OtherConfRow{"port 5025\nmses -1\n", 5025, 0, "port 5025\nmses 0\n"},
                      OtherConfRow{"port x\nmses 1\n", 18, 0, nullptr},
                      OtherConfRow{"other 7\nport 2000\n", 2000, 0, nullptr}),
    [](const ::testing::TestParamInfo<OtherConfRow> &info) {
        return info.param.file ? paramName(info.param.file) : "Missing";
    });

TEST_F(LanTest, PortAndClientModeSetters) {
    EXPECT_EQ(device_config_getMinPort(), 1);
    EXPECT_EQ(device_config_getMaxPort(), 65535);
    for (int bad : {0, -1, 65536})
        EXPECT_EQ(device_config_setPort(bad), KR_E_ILLEGAL_PARAMETER_VALUE) << bad;
    EXPECT_FALSE(exists("/korvane/dev/conf/eth0_other_conf"));
    EXPECT_EQ(device_config_setPort(5025), 0);
    EXPECT_EQ(read("/korvane/dev/conf/eth0_other_conf"), "port 5025\nmses 0\n");
    for (int bad : {-1, 2})
        EXPECT_EQ(device_config_setMses(bad), KR_E_ILLEGAL_PARAMETER_VALUE) << bad;
    EXPECT_EQ(device_config_setMses(1), 0);
    EXPECT_EQ(read("/korvane/dev/conf/eth0_other_conf"), "port 5025\nmses 1\n");
    device_config_getLanConfig();
    EXPECT_EQ(device_config_getPort(), 5025);
    EXPECT_EQ(device_config_getMses(), 1);
    EXPECT_NE(actions().find("write_kr"), std::string::npos);
}

}  // namespace
