// The register of changed settings: recording, replacement, per-link changed-only reads, values
// obtained through the tree, and the settings queries of the instrument's tree.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/state_reporter.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_tree.h"
#include "scpi_test_harness.h"

using krtest::LinkHarness;

namespace {

void record(const char *path) {
    state_reporter_collectorClear();
    state_reporter_collectorAppend(path, (int)strlen(path));
    state_reporter_write();
}

// The whole list a link reads, items joined by ";".
std::string readAll(ScpiLink *link, int flags, int size = 128) {
    std::string all;
    for (int i = 0; i < 1000; i++) {
        char item[256];
        int len = -1;
        EXPECT_EQ(state_reporter_read(link, item, size, &len, i, flags), 0);
        if (len == 0) break;
        if (!all.empty()) all += ";";
        all.append(item, (size_t)len);
    }
    return all;
}

bool recorded(const char *path) {
    for (const StateReporterEntry &e : state_reporter.entries)
        if (strcmp(e.path, path) == 0) return true;
    return false;
}

class StateReporterTest : public ::testing::Test {
  protected:
    void SetUp() override { link = h.addLink(1024, 1024); }  // the link list starts it empty
    LinkHarness h;
    ScpiLink *link = nullptr;
};

TEST_F(StateReporterTest, SameSettingTwiceIsOneEntryWithTheLaterStamp) {
    record("A");
    record("B");
    record("A");
    EXPECT_EQ(readAll(link, 0), ":A;:B");
    EXPECT_EQ(state_reporter.entries[0].stamp, 2u);
    EXPECT_EQ(state_reporter.changeCounter, 3u);
}

TEST_F(StateReporterTest, LeastRecentlyChangedPathIsReplacedBeyondOneHundred) {
    char name[16];
    for (int i = 0; i < 100; i++) {
        snprintf(name, sizeof(name), "P%d", i);
        record(name);
    }
    record("P0");  // P1 is now the least recently changed
    record("NEW");
    EXPECT_TRUE(recorded(":NEW"));
    EXPECT_FALSE(recorded(":P1"));
    EXPECT_TRUE(recorded(":P0"));
    EXPECT_TRUE(recorded(":P99"));
    int used = 0;
    for (const StateReporterEntry &e : state_reporter.entries)
        used += e.path[0] != 0;
    EXPECT_EQ(used, STATE_REPORTER_ENTRIES);
}

TEST_F(StateReporterTest, ChangedOnlyReadsSeeEveryChangeOnce) {
    ScpiLink *other = h.addLink(64, 64, "Other");
    record("A");
    record("B");
    EXPECT_EQ(readAll(link, STATE_REPORTER_CHANGED), ":A;:B");
    EXPECT_EQ(readAll(link, STATE_REPORTER_CHANGED), "");
    record("B");
    record("C");
    EXPECT_EQ(readAll(link, STATE_REPORTER_CHANGED), ":B;:C");
    EXPECT_EQ(readAll(link, STATE_REPORTER_CHANGED), "");
    // Each link has its own view.
    EXPECT_EQ(readAll(other, STATE_REPORTER_CHANGED), ":A;:B;:C");
    EXPECT_EQ(readAll(link, 0), ":A;:B;:C");
}

TEST_F(StateReporterTest, WithAllConsumersTakenFurtherLinksReadInFull) {
    std::vector<ScpiLink *> links;
    for (int i = 0; i < STATE_REPORTER_CONSUMERS; i++)
        links.push_back(h.addLink(8, 8));
    ScpiLink *late = h.addLink(8, 8);
    for (ScpiLink *l : links)
        EXPECT_GE(state_reporter_assignConsumerNumber(l), 0);
    EXPECT_EQ(state_reporter_assignConsumerNumber(late), -1);
    record("A");
    EXPECT_EQ(readAll(late, STATE_REPORTER_CHANGED), ":A");
    EXPECT_EQ(readAll(late, STATE_REPORTER_CHANGED), ":A");
}

TEST_F(StateReporterTest, CollectorStopsBeyondThirtyCharacters) {
    state_reporter_collectorClear();
    EXPECT_EQ(state_reporter_collectorAppend("FIFTEENCHARSXYZ", 15), 0);
    EXPECT_EQ(state_reporter_collectorAppend("THIRTEENCHARS", 13), 0);  // exactly 30
    EXPECT_STREQ(state_reporter.collector, ":FIFTEENCHARSXYZ:THIRTEENCHARS");
    state_reporter_collectorClear();
    EXPECT_EQ(state_reporter_collectorAppend("FIFTEENCHARSXYZ", 15), 0);
    EXPECT_EQ(state_reporter_collectorAppend("FIFTEENCHARSXYZ", 15), KR_E_QUEUE_OVERFLOW);
    EXPECT_STREQ(state_reporter.collector, "");
    EXPECT_EQ(state_reporter_collectorAppend("X", 1), 0) << "not collecting any more";
    EXPECT_STREQ(state_reporter.collector, "");
    state_reporter_write();
    EXPECT_EQ(state_reporter.entries[0].path[0], 0) << "nothing is recorded";
    state_reporter_collectorClear();
    state_reporter_collectorAppend("A", 1);
    state_reporter_collectorAppend("B", 1);
    state_reporter_collectorRemove();
    EXPECT_STREQ(state_reporter.collector, ":A");
}

TEST_F(StateReporterTest, ItemThatDoesNotFitIsAQueueOverflow) {
    record("ABCDEFGH");
    char item[16];
    int len = -1;
    EXPECT_EQ(state_reporter_read(link, item, 10, &len, 0, 0), KR_E_QUEUE_OVERFLOW);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(state_reporter_read(link, item, 12, &len, 0, 0), 0);
    EXPECT_EQ(std::string(item, (size_t)len), ":ABCDEFGH");
}

uint32_t value = 42;
uint32_t getValue(Device *) {
    return value;
}
int setValue(Device *, uint32_t v) {
    value = v;
    return 0;
}
uint32_t (*slotGet)(Device *) = getValue;
int (*slotSet)(Device *, uint32_t) = setValue;

// Keywords of 28 and 29 characters make paths of 29 and 30.
const ScpiNode longRoot[] = {
    scpi_kwLeaf("KEYWORDOFTWENTYEIGHTCHARSXXX",
                scpi_leafUint32(&slotGet, nullptr, nullptr, &slotSet)),
    scpi_kwLeaf("KEYWORDOFTWENTYNINECHARSXXXXX",
                scpi_leafUint32(&slotGet, nullptr, nullptr, &slotSet)),
    scpi_end(),
};

TEST_F(StateReporterTest, PathOfTwentyNineCharactersCarriesItsValue) {
    const ScpiNode *saved = scpi_tree_setRoot(longRoot);
    h.transact(link, "KEYWORDOFTWENTYEIGHTCHARSXXX 7;:KEYWORDOFTWENTYNINECHARSXXXXX 8\n");
    EXPECT_EQ(readAll(link, STATE_REPORTER_VALUES),
              ":KEYWORDOFTWENTYEIGHTCHARSXXX 8;:KEYWORDOFTWENTYNINECHARSXXXXX");
    scpi_tree_setRoot(saved);
}

TEST_F(StateReporterTest, SettingsQueriesAnswerThroughTheTree) {
    h.transact(link, ":STAT:OPER:ENAB 5;:STAT:QUES:ENAB 6\n");
    h.transact(link, ":STAT:OPER:ENAB?\n");  // queries record nothing
    EXPECT_EQ(h.transact(link, "SYST:SETT:CHAN?;*OPC?\n"), ":STAT:OPER:ENAB;:STAT:QUES:ENAB;1\n");
    // Nothing changed since: an empty answer, still a response unit of its own.
    EXPECT_EQ(h.transact(link, "SYST:SETT:CHAN?;*OPC?\n"), ";1\n");
    EXPECT_EQ(h.transact(link, "SYST:SETT?\n"), ":STAT:OPER:ENAB;:STAT:QUES:ENAB\n");
    EXPECT_EQ(h.transact(link, "SYST:SETT:CSEQ?\n"), ":STAT:OPER:ENAB 5;:STAT:QUES:ENAB 6\n");
    h.transact(link, ":STAT:QUES:ENAB 9\n");
    EXPECT_EQ(h.transact(link, "SYST:SETT:CSEQ:CHAN?\n"), ":STAT:QUES:ENAB 9\n");
    EXPECT_TRUE(h.errors().empty());
}

TEST_F(StateReporterTest, LongSettingsAnswerCrossesManyReads) {
    ScpiLink *small = h.addLink(64, 48);
    char name[16];
    std::string expect;
    for (int i = 0; i < 100; i++) {
        snprintf(name, sizeof(name), "SETTING%02d", i);
        record(name);
        expect += std::string(i ? ";:" : ":") + name;
    }
    EXPECT_EQ(h.transact(small, "SYST:SETT?;*OPC?\n"), expect + ";1\n");
}

}  // namespace
