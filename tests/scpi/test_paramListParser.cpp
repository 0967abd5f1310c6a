// Parameter lists streamed through the real executor and the instrument's tree: the device
// side records every phase it is called with.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "scpi/paramListParser.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_tree.h"
#include "scpi_test_harness.h"

using krtest::LinkHarness;

namespace {

std::vector<int> phases;  // 0, 2, 3 as they come; appends counted separately
int appends = 0;
std::vector<KrFreq> freqs;
std::vector<KrTime> dwells;
std::vector<double> generic;
int endResult = 0;

int setListFrequency(Device *, int32_t phase, const KrFreq *f) {
    if (phase == PARAMLIST_APPEND) {
        appends++;
        freqs.push_back(*f);
        return 0;
    }
    phases.push_back(phase);
    if (phase == PARAMLIST_BEGIN || phase == PARAMLIST_ABORT) freqs.clear();
    return phase == PARAMLIST_END ? endResult : 0;
}
const KrFreq *getListFrequency(Device *, int32_t i) {
    return i >= 0 && i < (int32_t)freqs.size() ? &freqs[(size_t)i] : nullptr;
}
int setListDwell(Device *, int32_t phase, const KrTime *t) {
    if (phase == PARAMLIST_APPEND) dwells.push_back(*t);
    if (phase == PARAMLIST_BEGIN) dwells.clear();
    return 0;
}
const KrTime dwellMin = 1e-3, dwellMax = 1;
const KrTime *getDwellMin(Device *) {
    return &dwellMin;
}
const KrTime *getDwellMax(Device *) {
    return &dwellMax;
}
int setGeneric(Device *, int32_t phase, const double *v) {
    if (phase == PARAMLIST_APPEND) generic.push_back(*v);
    phases.push_back(phase);
    return 0;
}
const double *getGeneric(Device *, int32_t i) {
    return i < (int32_t)generic.size() ? &generic[(size_t)i] : nullptr;
}
int (*slotSetGeneric)(Device *, int32_t, const double *) = setGeneric;
const double *(*slotGetGeneric)(Device *, int32_t) = getGeneric;

std::vector<AutomeasureTestSetEntry> testSet;
int setTestSet(Device *, const AutomeasureTestSetEntry *entries, int32_t count) {
    testSet.assign(entries, entries + count);
    return 0;
}

std::string hertz(long long value) {
    return std::to_string(value) + ".00000000000000000000";
}

class ListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        phases.clear();
        freqs.clear();
        dwells.clear();
        generic.clear();
        appends = 0;
        endResult = 0;
        installFakes();
    }
    // A harness of its own starts the device again, with its real list slots.
    static void installFakes() {
        Device_setListFrequency = setListFrequency;
        Device_getListFrequency = getListFrequency;
        Device_setListDwellTime = setListDwell;
        Device_getListDwellTimeMin = getDwellMin;
        Device_getListDwellTimeMax = getDwellMax;
    }
    void TearDown() override {
        Device_setListFrequency = &Device_fallback<int, Device *, int32_t, const KrFreq *>;
        Device_getListFrequency = &Device_fallback<const KrFreq *, Device *, int32_t>;
        Device_setListDwellTime = &Device_fallback<int, Device *, int32_t, const KrTime *>;
        Device_getListDwellTimeMin = &Device_fallback<const KrTime *, Device *>;
        Device_getListDwellTimeMax = &Device_fallback<const KrTime *, Device *>;
    }
    static std::string values(int n, int bad = -1) {
        std::string s;
        for (int i = 0; i < n; i++) {
            if (i) s += ",";
            s += i == bad ? "1.2.3" : std::to_string(1000000 + i);
        }
        return s;
    }
    LinkHarness h;
};

TEST_F(ListTest, LongListCommandStreamsThroughASmallLinkInOneMessage) {
    ScpiLink *link = h.addLink(1024, 1024);
    std::string message = "LIST:FREQ " + values(5000) + "\n";
    ASSERT_GT(message.size(), 40000u);
    EXPECT_EQ(h.transact(link, message), "");
    EXPECT_EQ(phases, (std::vector<int>{PARAMLIST_BEGIN, PARAMLIST_END}));
    EXPECT_EQ(appends, 5000);
    ASSERT_EQ(freqs.size(), 5000u);
    for (int i = 0; i < 5000; i++)
        ASSERT_EQ(freqs[(size_t)i].integer, 1000000 + i) << i;
    EXPECT_TRUE(h.errors().empty());
    EXPECT_EQ(link->continuation, nullptr);
    EXPECT_EQ(h.transact(link, "*OPC?\n"), "1\n");
}

TEST_F(ListTest, InvalidValueMidwayAbortsTheListAndQueuesOneError) {
    ScpiLink *link = h.addLink(1024, 1024);
    EXPECT_EQ(h.transact(link, "LIST:FREQ " + values(5000, 2500) + ";*OPC?\n"), "1\n");
    EXPECT_EQ(phases, (std::vector<int>{PARAMLIST_BEGIN, PARAMLIST_ABORT}));
    EXPECT_EQ(appends, 2500);
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_ILLEGAL_PARAMETER_VALUE});
    EXPECT_EQ(h.transact(link, "*OPC?\n"), "1\n");
}

TEST_F(ListTest, DeviceResultOfTheEndIsTheCommandsResult) {
    ScpiLink *link = h.addLink(1024, 1024);
    endResult = KR_E_SETTINGS_CONFLICT;
    h.transact(link, "LIST:FREQ 1,2,3\n");
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_SETTINGS_CONFLICT});
}

TEST_F(ListTest, LongListQueryIsOneResponseInManyReads) {
    ScpiLink *link = h.addLink(1024, 1024);
    std::string expect;
    for (int i = 0; i < 5000; i++) {
        freqs.push_back(KrFreq{2000000 + i, 0});
        expect += (i ? "," : "") + hertz(2000000 + i);
    }
    h.feed(link, "LIST:FREQ?\n");
    std::string answer;
    int reads = 0, more = 1;
    while (more && reads < 100000) {
        h.serve(link);
        answer += h.drain(link, &more);
        reads++;
    }
    EXPECT_TRUE(answer == expect + "\n") << answer.size() << " bytes against " << expect.size() + 1;
    EXPECT_GT(reads, 100);
    EXPECT_TRUE(h.errors().empty());
    EXPECT_EQ(h.transact(link, "*OPC?\n"), "1\n");
}

TEST_F(ListTest, UnitsAroundAListQueryKeepTheirOrder) {
    for (int ans : {48, 64, 200, 1024}) {
        LinkHarness local;
        installFakes();
        ScpiLink *link = local.addLink(64, ans);
        freqs.clear();
        std::string list;
        for (int i = 0; i < 40; i++) {
            freqs.push_back(KrFreq{i, 0});
            list += (i ? "," : "") + hertz(i);
        }
        EXPECT_EQ(local.transact(link, "*OPC?;LIST:FREQ?;*OPC?\n*OPC?\n"), "1;" + list + ";1\n1\n")
            << "answer buffer " << ans;
    }
}

TEST_F(ListTest, QueryOfAnEmptyListAnswersAnEmptyLine) {
    ScpiLink *link = h.addLink(1024, 1024);
    EXPECT_EQ(h.transact(link, "LIST:FREQ?\n"), "\n");
    EXPECT_EQ(h.transact(link, "LIST:FREQ?;*OPC?\n"), ";1\n");
    EXPECT_TRUE(h.errors().empty());
}

TEST_F(ListTest, QueryWithParametersIsRefused) {
    ScpiLink *link = h.addLink(1024, 1024);
    freqs.push_back(KrFreq{1, 0});
    EXPECT_EQ(h.transact(link, "LIST:FREQ? 5\n"), "");
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_PARAMETER_NOT_ALLOWED});
}

TEST_F(ListTest, UnregisteredOperationSwallowsTheListAndQueuesUndefinedHeader) {
    ScpiLink *link = h.addLink(256, 256);
    Device_setListFrequency = &Device_fallback<int, Device *, int32_t, const KrFreq *>;
    // Values that would be commands of their own if the rest of the list were not swallowed.
    std::string list;
    for (int i = 0; i < 200; i++)
        list += ",*OPC?";
    EXPECT_EQ(h.transact(link, "LIST:FREQ 1" + list + "\n"), "");
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_UNDEFINED_HEADER});
    Device_getListFrequency = &Device_fallback<const KrFreq *, Device *, int32_t>;
    EXPECT_EQ(h.transact(link, "LIST:FREQ?\n"), "");
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_UNDEFINED_HEADER});
}

TEST_F(ListTest, DwellValuesAreClampedToTheDeviceLimits) {
    ScpiLink *link = h.addLink(1024, 1024);
    h.transact(link, "SOUR:LIST:DWEL 1us,0.5,10\n");
    EXPECT_EQ(dwells, (std::vector<KrTime>{1e-3, 0.5, 1}));
    EXPECT_TRUE(h.errors().empty());
}

TEST_F(ListTest, DeviceClearAbortsAListInProgress) {
    ScpiLink *link = h.addLink(1024, 1024);
    h.transact(link, "LIST:FREQ " + values(2000).substr(0, 3000));
    ASSERT_NE(link->continuation, nullptr);
    pthread_mutex_lock(&link->bufLock);
    link->clearPending = 1;
    pthread_mutex_unlock(&link->bufLock);
    h.serve(link);
    EXPECT_EQ(link->continuation, nullptr);
    EXPECT_EQ(phases, (std::vector<int>{PARAMLIST_BEGIN, PARAMLIST_ABORT}));
    EXPECT_EQ(h.transact(link, "*OPC?\n"), "1\n");
    EXPECT_TRUE(h.errors().empty());
}

TEST_F(ListTest, GenericListLeafUsesItsConfiguredOperation) {
    ScpiLink *link = h.addLink(1024, 1024);
    ScpiListOperation op{&slotSetGeneric, &slotGetGeneric};
    paramListParser_configure(link, &op, 0);
    char first[] = "1.5, 2.5";
    char out[256];
    EXPECT_EQ(paramListParser_command(link, first, out, sizeof(out), 1), 0);
    char rest[] = "3.5";
    EXPECT_EQ(paramListParser_command(link, rest, out, sizeof(out), 0), 0);
    EXPECT_EQ(generic, (std::vector<double>{1.5, 2.5, 3.5}));
    EXPECT_EQ(phases, (std::vector<int>{PARAMLIST_BEGIN, 1, 1, 1, PARAMLIST_END}));
    char none[] = "";
    int n = paramListParser_query(link, none, out, sizeof(out), 0);
    EXPECT_EQ(std::string(out, (size_t)n), "1.500000000,2.500000000,3.500000000");
    EXPECT_EQ(link->continuation, nullptr);
    paramListParser_configure(link, &op, 1);  // query only
    EXPECT_EQ(paramListParser_command(link, first, out, sizeof(out), 0), 0);
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_UNDEFINED_HEADER});
    EXPECT_EQ(link->continuation, nullptr);
}

TEST_F(ListTest, TestSetEntriesAreCodedByTheirLetter) {
    ScpiLink *link = h.addLink(1024, 1024);
    Automeasure_setTestSetDefinition = setTestSet;
    char text[] = "o12, F, p, x, J, i, d, R, m, o-3";
    char out[16];
    EXPECT_EQ(paramListParser_AteTestSetCmd(link, text, out, sizeof(out), 0), 0);
    std::vector<int> types, offsets;
    for (const AutomeasureTestSetEntry &e : testSet) {
        types.push_back(e.type);
        offsets.push_back(e.value);
    }
    EXPECT_EQ(types, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 0}));
    EXPECT_EQ(offsets.front(), 12);
    EXPECT_EQ(offsets.back(), -3);
    EXPECT_TRUE(h.errors().empty());
    Automeasure_setTestSetDefinition =
        &Device_fallback<int, Device *, const AutomeasureTestSetEntry *, int32_t>;
}

}  // namespace
