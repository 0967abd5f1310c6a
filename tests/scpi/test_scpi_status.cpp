#include "scpi/scpi_status.h"

#include <gtest/gtest.h>

#include <string>

#include "scpi/scpi_errorcodes.h"
#include "tests/support/param_name.h"

namespace {

class StatusTest : public testing::Test {
  protected:
    void SetUp() override {
        memset(&block, 0xA5, sizeof block);  // init must clear whatever was there
        deviceStatusRegistersInit(&block);
    }
    // Runs one node; returns the answer text, or "error <code>".
    std::string node(StatusRegister *reg, StatusRegisterNode n, bool query,
                     const char *params = nullptr) {
        char out[32] = "unchanged";
        int length = -1;
        int r = statusregister_handleNode(reg, n, query, params, out, sizeof out, &length);
        if (r != 0) return "error " + std::to_string(r);
        EXPECT_EQ(length, query ? static_cast<int>(strlen(out)) : 0);
        return query ? std::string(out) : std::string("ok");
    }
    DeviceStatusRegisters block;
};

TEST_F(StatusTest, InitZeroesAndLinksParents) {
    struct Link {
        const StatusRegister *reg;
        const StatusRegister *parent;
        uint16_t bit;
    } links[] = {
        {&block.operation, nullptr, 0},
        {&block.operationSweep, nullptr, 0},
        {&block.operationWait, nullptr, 0},
        {&block.questionable, nullptr, 0},
        {&block.questionableModulation, &block.questionable, 128},
        {&block.pulseModulation, &block.questionableModulation, 4},
        {&block.modulationFurther, &block.questionableModulation, 16},
        {&block.questionablePower, &block.questionable, 8},
    };
    for (const Link &l : links) {
        EXPECT_EQ(l.reg->parent, l.parent);
        EXPECT_EQ(l.reg->parentBit, l.bit);
        EXPECT_EQ(l.reg->enable | l.reg->condition | l.reg->ntr | l.reg->ptr | l.reg->event, 0);
    }
    EXPECT_EQ(block.ese | block.esr | block.sre, 0);
}

struct TransitionRow {
    uint16_t ptr, ntr;
    uint16_t before;  // condition before
    uint16_t mask;
    int on;
    uint16_t condition, event;  // after
};

class Transition : public testing::TestWithParam<TransitionRow> {};

TEST_P(Transition, LatchesThroughFilters) {
    const TransitionRow &t = GetParam();
    StatusRegister reg = {};
    reg.ptr = t.ptr;
    reg.ntr = t.ntr;
    reg.condition = t.before;
    statusregister_setCondition(&reg, t.mask, t.on);
    EXPECT_EQ(reg.condition, t.condition);
    EXPECT_EQ(reg.event, t.event);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Transition,
    testing::Values(TransitionRow{0xFFFF, 0, 0, 0x0002, 1, 0x0002, 0x0002},       // rise, PTR
                    TransitionRow{0, 0xFFFF, 0, 0x0002, 1, 0x0002, 0},            // rise, no PTR
                    TransitionRow{0, 0xFFFF, 0x0003, 0x0002, 0, 0x0001, 0x0002},  // fall, NTR
                    TransitionRow{0xFFFF, 0, 0x0003, 0x0002, 0, 0x0001, 0},       // fall, no NTR
                    TransitionRow{0xFFFF, 0xFFFF, 0x0002, 0x0002, 1, 0x0002, 0},  // no change
                    TransitionRow{0x0001, 0, 0, 0x0003, 1, 0x0003, 0x0001},       // filter per bit
                    TransitionRow{0xFFFF, 0xFFFF, 0x8000, 0x8001, 0, 0, 0x8000}),
    [](const ::testing::TestParamInfo<TransitionRow> &info) {
        const TransitionRow &t = info.param;
        char name[64];
        snprintf(name, sizeof name, "%s%04X_From%04X_Ptr%04X_Ntr%04X", t.on ? "Set" : "Clear",
                 t.mask, t.before, t.ptr, t.ntr);
        return std::string(name);
    });

TEST_F(StatusTest, SummaryClimbsTheChainThroughEveryFilter) {
    block.pulseModulation.ptr = 0x0001;
    block.pulseModulation.enable = 0x0001;
    block.questionableModulation.ptr = 0x0004;
    block.questionableModulation.ntr = 0x0004;
    block.questionableModulation.enable = 0x0004;
    block.questionable.ptr = 0x0080;
    block.questionable.ntr = 0x0080;

    statusregister_setCondition(&block.pulseModulation, 0x0001, 1);
    EXPECT_EQ(block.pulseModulation.event, 0x0001);
    EXPECT_EQ(block.questionableModulation.condition, 0x0004);
    EXPECT_EQ(block.questionableModulation.event, 0x0004);
    EXPECT_EQ(block.questionable.condition, 0x0080);
    EXPECT_EQ(block.questionable.event, 0x0080);

    // The child's event stays latched after its condition falls, so the summary holds.
    statusregister_setCondition(&block.pulseModulation, 0x0001, 0);
    EXPECT_EQ(block.questionableModulation.condition, 0x0004);

    // Reading the child's event releases the summary; the falling bit passes the parents' NTR.
    block.questionable.event = 0;
    EXPECT_EQ(node(&block.pulseModulation, STATUS_NODE_EVENT, true), "1");
    EXPECT_EQ(block.questionableModulation.condition, 0);
    EXPECT_EQ(block.questionableModulation.event, 0x0004);
    EXPECT_EQ(block.questionable.condition, 0x0080) << "questionable modulation event still set";
    EXPECT_EQ(node(&block.questionableModulation, STATUS_NODE_EVENT, true), "4");
    EXPECT_EQ(block.questionable.condition, 0);
    EXPECT_EQ(block.questionable.event, 0x0080);
}

TEST_F(StatusTest, NoSummaryWithoutEnableUntilEnabled) {
    block.questionablePower.ptr = 0xFFFF;
    statusregister_setCondition(&block.questionablePower, 0x0001, 1);
    EXPECT_EQ(block.questionablePower.event, 0x0001);
    EXPECT_EQ(block.questionable.condition, 0);
    EXPECT_EQ(node(&block.questionablePower, STATUS_NODE_ENABLE, false, "1"), "ok");
    EXPECT_EQ(block.questionable.condition, 0x0008);
    EXPECT_EQ(node(&block.questionablePower, STATUS_NODE_ENABLE, false, "0"), "ok");
    EXPECT_EQ(block.questionable.condition, 0);
}

TEST_F(StatusTest, EventQueryAnswersOnceThenZero) {
    block.questionable.ptr = 0xFFFF;
    statusregister_setCondition(&block.questionable, 0x0030, 1);
    EXPECT_EQ(node(&block.questionable, STATUS_NODE_EVENT, true), "48");
    EXPECT_EQ(node(&block.questionable, STATUS_NODE_EVENT, true), "0");
    EXPECT_EQ(node(&block.questionable, STATUS_NODE_CONDITION, true), "48");
}

TEST_F(StatusTest, EventNotAnsweredStaysLatched) {
    block.questionable.event = 12345;
    char out[4];
    int length = -1;
    EXPECT_EQ(statusregister_handleNode(&block.questionable, STATUS_NODE_EVENT, true, nullptr, out,
                                        sizeof out, &length),
              KR_E_QUERY_ERROR);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(block.questionable.event, 12345);
}

struct NodeRow {
    StatusRegisterNode node;
    bool query;
    const char *params;
    const char *answer;  // "ok" for a set, the text for a query, "error <code>" for a failure
};

class Node : public StatusTest, public testing::WithParamInterface<NodeRow> {};

TEST_P(Node, AnswersOrRefuses) {
    block.operation = {3, 5, 7, 9, 11, nullptr, 0};
    const NodeRow &row = GetParam();
    EXPECT_EQ(node(&block.operation, row.node, row.query, row.params), row.answer)
        << row.node << " " << row.query << " '" << (row.params ? row.params : "(null)") << "'";
}

std::string nodeRowName(const testing::TestParamInfo<NodeRow> &info) {
    static const char *const nodes[] = {"Condition", "Enable", "Event", "NTransition",
                                        "PTransition"};
    const NodeRow &row = info.param;
    std::string name = std::string(nodes[row.node]) + (row.query ? "Query" : "Set");
    // No parameters at all and an empty text are rows of their own.
    if (row.params == nullptr) return name;
    return *row.params ? paramText(name + "_" + row.params) : name + "_Empty";
}

INSTANTIATE_TEST_SUITE_P(Rows, Node,
                         testing::Values(NodeRow{STATUS_NODE_ENABLE, true, nullptr, "3"},
                                         NodeRow{STATUS_NODE_CONDITION, true, "", "5"},
                                         NodeRow{STATUS_NODE_NTRANSITION, true, "  ", "7"},
                                         NodeRow{STATUS_NODE_PTRANSITION, true, nullptr, "9"},
                                         NodeRow{STATUS_NODE_EVENT, true, nullptr, "11"},
                                         NodeRow{STATUS_NODE_ENABLE, true, "1", "error -108"},
                                         NodeRow{STATUS_NODE_ENABLE, false, "65535", "ok"},
                                         NodeRow{STATUS_NODE_NTRANSITION, false, " 2 ", "ok"},
                                         NodeRow{STATUS_NODE_PTRANSITION, false, "1e2", "ok"},
                                         NodeRow{STATUS_NODE_CONDITION, false, "1", "error -113"},
                                         NodeRow{STATUS_NODE_EVENT, false, "1", "error -113"},
                                         NodeRow{STATUS_NODE_ENABLE, false, nullptr, "error -109"},
                                         NodeRow{STATUS_NODE_ENABLE, false, "", "error -109"},
                                         NodeRow{STATUS_NODE_ENABLE, false, "1,2", "error -108"},
                                         NodeRow{STATUS_NODE_ENABLE, false, "-1", "error -222"},
                                         NodeRow{STATUS_NODE_ENABLE, false, "4294967296",
                                                 "error -222"},
                                         NodeRow{STATUS_NODE_ENABLE, false, "1.5", "error -224"},
                                         NodeRow{STATUS_NODE_ENABLE, false, "ON", "error -224"}),
                         nodeRowName);

TEST_F(StatusTest, SetsStoreTheLow16Bits) {
    EXPECT_EQ(node(&block.operation, STATUS_NODE_PTRANSITION, false, "70000"), "ok");
    EXPECT_EQ(block.operation.ptr, 70000 & 0xFFFF);
    EXPECT_EQ(node(&block.operation, STATUS_NODE_NTRANSITION, false, "4"), "ok");
    EXPECT_EQ(block.operation.ntr, 4);
    EXPECT_EQ(node(&block.operation, STATUS_NODE_ENABLE, false, "0"), "ok");
    EXPECT_EQ(block.operation.enable, 0);
}

TEST_F(StatusTest, MissingRegisterMatchesNothing) {
    EXPECT_EQ(node(nullptr, STATUS_NODE_EVENT, true), "error -113");
    EXPECT_EQ(node(nullptr, STATUS_NODE_ENABLE, false, "1"), "error -113");
}

using CommonHandler = int (*)(DeviceStatusRegisters *, bool, const char *, char *, int, int *);

struct CommonRow {
    const char *name;
    CommonHandler handler;
    bool query;
    const char *params;
    const char *answer;
};

class Common : public StatusTest, public testing::WithParamInterface<CommonRow> {};

TEST_P(Common, AnswersOrRefuses) {
    block.ese = 4;
    block.esr = 200;
    block.sre = 16;
    const CommonRow &row = GetParam();
    char out[16] = "";
    int length = -1;
    int r = row.handler(&block, row.query, row.params, out, sizeof out, &length);
    EXPECT_EQ(r == 0 ? std::string(row.query ? out : "ok") : "error " + std::to_string(r),
              row.answer)
        << row.name;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Common,
    testing::Values(CommonRow{"*ESE?", statusregister_handleEse, true, nullptr, "4"},
                    CommonRow{"*ESE 1", statusregister_handleEse, false, "1", "ok"},
                    CommonRow{"*ESE", statusregister_handleEse, false, nullptr, "error -109"},
                    CommonRow{"*ESE? 1", statusregister_handleEse, true, "1", "error -108"},
                    CommonRow{"*ESE -1", statusregister_handleEse, false, "-1", "error -222"},
                    CommonRow{"*SRE?", statusregister_handleSre, true, nullptr, "16"},
                    CommonRow{"*SRE 1,2", statusregister_handleSre, false, "1,2", "error -108"},
                    CommonRow{"*ESR?", statusregister_handleEsr, true, nullptr, "200"},
                    CommonRow{"*ESR 1", statusregister_handleEsr, false, "1", "error -113"},
                    CommonRow{"*STB?", statusregister_handleStb, true, nullptr, "0"},
                    CommonRow{"*STB 1", statusregister_handleStb, false, "1", "error -113"}),
    [](const ::testing::TestParamInfo<CommonRow> &info) {
        // "*ESE? 1" and "*ESE -1" differ only in characters a name cannot hold.
        std::string name;
        for (const char *c = info.param.name; *c; ++c)
            name += *c == '?' ? "Query" : std::string(1, *c);
        return paramName(name);
    });

TEST_F(StatusTest, CommonSetsKeepLowEightBitsAndEsrSurvivesReading) {
    char out[16];
    ASSERT_EQ(statusregister_handleEse(&block, false, "300", out, sizeof out, nullptr), 0);
    EXPECT_EQ(statusregister_getEse(&block), 44);
    ASSERT_EQ(statusregister_handleEse(&block, true, nullptr, out, sizeof out, nullptr), 0);
    EXPECT_STREQ(out, "44");
    ASSERT_EQ(statusregister_handleSre(&block, false, "511", out, sizeof out, nullptr), 0);
    EXPECT_EQ(statusregister_getSre(&block), 255);
    statusregister_setEse(&block, 0x1FF);
    EXPECT_EQ(statusregister_getEse(&block), 0xFF);
    statusregister_setSre(&block, 0x100);
    EXPECT_EQ(statusregister_getSre(&block), 0);
    block.esr = 32;
    ASSERT_EQ(statusregister_handleEsr(&block, true, nullptr, out, sizeof out, nullptr), 0);
    ASSERT_EQ(statusregister_handleEsr(&block, true, nullptr, out, sizeof out, nullptr), 0);
    EXPECT_STREQ(out, "32");
    EXPECT_EQ(statusregister_getEsr(&block), 32);
    block.questionable.condition = 0xFFFF;
    EXPECT_EQ(statusregister_getStb(&block), 0);
}

}  // namespace
