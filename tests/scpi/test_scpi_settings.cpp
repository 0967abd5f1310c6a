// Stored settings through the instrument's tree: the status registers of the device record
// are the settings, saved into and recalled from slot files in a private firmware root.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/krpath.h"
#include "device/device_record.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_settings.h"
#include "scpi_test_harness.h"

using krtest::LinkHarness;

namespace {

const char *headers = "STAT:OPER:ENAB\nSTAT:QUES:ENAB\n*SRE\nNOSUCH:SETTING\nSTAT:OPER:PTR";
const char *storedParameters(Device *, int32_t) {
    return headers;
}

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        snprintf(dir, sizeof(dir), "/tmp/kr_settings_XXXXXX");
        ASSERT_NE(mkdtemp(dir), nullptr);
        krpath_setRoot(dir);
        mkdir(KrPath("/korvane"), 0777);
        mkdir(KrPath("/korvane/cust"), 0777);
        Device_getStoredScpiParameters = storedParameters;
        link = h.addLink(1024, 1024);
    }
    void TearDown() override {
        Device_getStoredScpiParameters = &Device_fallback<const char *, Device *, int32_t>;
        std::string cmd = std::string("rm -rf ") + dir;
        if (system(cmd.c_str()) != 0) ADD_FAILURE() << cmd;
        krpath_setRoot(nullptr);
    }
    std::string readFile(const char *path) {
        std::string text;
        FILE *f = fopen(KrPath(path), "r");
        if (!f) return "<missing>";
        char buf[256];
        while (fgets(buf, sizeof(buf), f))
            text += buf;
        fclose(f);
        return text;
    }
    void writeFile(const char *path, const std::string &content) {
        FILE *f = fopen(KrPath(path), "w");
        ASSERT_NE(f, nullptr);
        fputs(content.c_str(), f);
        fclose(f);
    }
    std::string ask(const std::string &query) { return h.transact(link, query + "\n"); }

    LinkHarness h;
    ScpiLink *link = nullptr;
    char dir[64];
};

TEST_F(SettingsTest, SaveChangeRecallRestores) {
    ask(":STAT:OPER:ENAB 5;:STAT:QUES:ENAB 7;*SRE 4;:STAT:OPER:PTR 9");
    ask("*SAV 3");
    // The last name has no line feed of its own and is not taken.
    EXPECT_EQ(readFile("/korvane/cust/sav3"), ":STAT:OPER:ENAB 5\n:STAT:QUES:ENAB 7\n:*SRE 4\n\n");
    ask(":STAT:OPER:ENAB 1;:STAT:QUES:ENAB 2;*SRE 3;:STAT:OPER:PTR 0");
    ask("*RCL 3");
    EXPECT_EQ(ask(":STAT:OPER:ENAB?;:STAT:QUES:ENAB?;*SRE?;:STAT:OPER:PTR?"), "5;7;4;0\n");
    EXPECT_TRUE(h.errors().empty()) << "the header that answers nothing is left out quietly";
}

TEST_F(SettingsTest, SuffixAndParameterNameTheSameSlot) {
    ask(":STAT:OPER:ENAB 11");
    ask("*SAV5");
    ask(":STAT:OPER:ENAB 0");
    ask("*RCL 5");
    EXPECT_EQ(ask(":STAT:OPER:ENAB?"), "11\n");
    EXPECT_NE(readFile("/korvane/cust/sav5"), "<missing>");
}

TEST_F(SettingsTest, SlotNeverSavedChangesNothing) {
    ask(":STAT:OPER:ENAB 6");
    ask("*RCL 4");
    EXPECT_EQ(ask(":STAT:OPER:ENAB?"), "6\n");
    EXPECT_TRUE(h.errors().empty());
}

TEST_F(SettingsTest, SlotsFromOneThousandOnAreUndefined) {
    for (const char *cmd : {"*SAV 1000", "*RCL 1000", "*SDS 1000", "*SAV -1", "*RCL1000"}) {
        ask(cmd);
        EXPECT_EQ(h.errors(), std::vector<int>{KR_E_UNDEFINED_HEADER}) << cmd;
    }
    ask("*RCL");
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_MISSING_PARAMETER});
}

TEST_F(SettingsTest, DeleteRemovesTheSlot) {
    ask("*SAV 7");
    EXPECT_NE(readFile("/korvane/cust/sav7"), "<missing>");
    ask("*SDS 7");
    EXPECT_EQ(readFile("/korvane/cust/sav7"), "<missing>");
    ask("*SDS 7");
    EXPECT_TRUE(h.errors().empty()) << "a missing file is no error";
}

TEST_F(SettingsTest, SaveNeedsTheDevicesHeaderList) {
    Device_getStoredScpiParameters = &Device_fallback<const char *, Device *, int32_t>;
    ask("*SAV 2");
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_UNDEFINED_HEADER});
    EXPECT_EQ(readFile("/korvane/cust/sav2"), "<missing>");
}

TEST_F(SettingsTest, SaveIntoAMissingDirectoryIsAnExecutionError) {
    std::string cmd = std::string("rm -rf ") + dir + "/korvane/cust";
    ASSERT_EQ(system(cmd.c_str()), 0);
    ask("*SAV 2");
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_EXECUTION_ERROR});
}

// Lines longer than 69 characters are not executed, not even in part; errors of recalled lines
// are never queued.
TEST_F(SettingsTest, RecallSkipsOverLongLinesWhole) {
    std::string longLine = ":NOSUCH " + std::string(70, 'x') + ";:STAT:OPER:ENAB 9\n";
    writeFile("/korvane/cust/sav8",
              ":STAT:QUES:ENAB 3\n" + longLine + ":NOSUCH:HEADER 1\n:STAT:OPER:NTR 4\n\n");
    ask(":STAT:OPER:ENAB 1");
    ask("*RCL 8");
    EXPECT_EQ(ask(":STAT:OPER:ENAB?;:STAT:QUES:ENAB?;:STAT:OPER:NTR?"), "1;3;4\n");
    EXPECT_TRUE(h.errors().empty());
}

TEST_F(SettingsTest, RecallLeavesTheCallersPathAlone) {
    ask("*SAV 1");
    ask(":STAT:OPER:ENAB 12");
    ask("*SAV 2");
    ask(":STAT:OPER:ENAB 13");
    EXPECT_EQ(ask("STAT:OPER:ENAB 1;*RCL 2;ENAB?"), "12\n");
}

// A line that could not be recalled (longer than 69 characters) is not written.
TEST_F(SettingsTest, LineThatWouldNotFitIsNotSaved) {
    headers = "STAT:QUESTIONABLE:MODULATION:PULMODULATION:ENABLE\nSYSTEM:ERROR:ALL\n";
    ask("NOSUCH1;NOSUCH2;NOSUCH3");  // an answer of some 60 characters
    ask("*SAV 9");
    headers = "STAT:OPER:ENAB\nSTAT:QUES:ENAB\n*SRE\nNOSUCH:SETTING\nSTAT:OPER:PTR";
    EXPECT_EQ(readFile("/korvane/cust/sav9"),
              ":STAT:QUESTIONABLE:MODULATION:PULMODULATION:ENABLE 0\n\n");
}

}  // namespace
