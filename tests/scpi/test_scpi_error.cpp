#include "scpi/scpi_error.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <deque>
#include <random>
#include <string>

#include "tests/support/param_name.h"

namespace {

std::string format(int code, int size = SCPI_ERROR_TEXT_SIZE, int *result = nullptr) {
    char text[SCPI_ERROR_TEXT_SIZE];
    int length = -1;
    int r = scpi_errorCode2Str(text, code, size, &length);
    if (result != nullptr) *result = r;
    EXPECT_EQ(static_cast<size_t>(length), strlen(text));
    return text;
}

struct FormatRow {
    int code;
    const char *text;
};

class ErrorFormat : public testing::TestWithParam<FormatRow> {};

TEST_P(ErrorFormat, FormatsCode) {
    int r = -1;
    EXPECT_EQ(format(GetParam().code, SCPI_ERROR_TEXT_SIZE, &r), GetParam().text);
    EXPECT_EQ(r, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrorFormat,
    testing::Values(FormatRow{0, "0,\"No error\""}, FormatRow{-100, "-100,\"Command error\""},
                    FormatRow{-113, "-113,\"Undefined header\""},
                    FormatRow{-226, "-226,\"Lists not same length\""},
                    FormatRow{-350, "-350,\"Queue overflow\""},
                    FormatRow{-400, "-400,\"Query error\""},
                    // Not in the table: number and an empty text.
                    FormatRow{-999, "-999,\"\""}, FormatRow{-114, "-114,\"\""},
                    // Measurement details: the whole code, both texts.
                    FormatRow{-65736, "-65736,\"Execution error;No measurement running\""},
                    FormatRow{-131272, "-131272,\"Execution error;No signal detected\""},
                    FormatRow{-196808, "-196808,\"Execution error;No valid beat detected\""},
                    FormatRow{-262344, "-262344,\"Execution error;Lock failed\""},
                    FormatRow{-327880, "-327880,\"Execution error;Measurement failed\""},
                    FormatRow{-393416, "-393416,\"Execution error;Timeout\""},
                    // Unknown detail, and a known detail on an unknown SCPI number.
                    FormatRow{-(7 * 65536 + 200), "-458952,\"\""},
                    FormatRow{-(1 * 65536 + 999), "-66535,\"\""}),
    [](const testing::TestParamInfo<FormatRow> &info) { return paramNumber(info.param.code); });

TEST(ErrorFormat, EveryListedNumberGetsItsText) {
    for (const ScpiErrorText *e = scpierr_strings; e->text != nullptr; e++) {
        EXPECT_EQ(format(e->code), std::to_string(e->code) + ",\"" + e->text + "\"");
        EXPECT_STREQ(scpi_errorText(e->code), e->text);
    }
    EXPECT_STREQ(scpi_errorText(-65736), "Execution error");
    EXPECT_STREQ(scpi_errorText(-114), "");
}

TEST(ErrorFormat, MeasurementConstantsMatchTheirTable) {
    EXPECT_EQ(KR_E_MEAS_NOT_RUNNING, -65736);
    EXPECT_EQ(KR_E_MEAS_TIMEOUT, -393416);
    int n = 0;
    for (const ScpiErrorText *e = ateerr_strings; e->text != nullptr; e++)
        n++;
    EXPECT_EQ(n, 6);
}

TEST(ErrorFormat, ExtremeCodesStayDefined) {
    int r = -1;
    format(INT_MIN, SCPI_ERROR_TEXT_SIZE, &r);
    EXPECT_EQ(r, 0);
    format(INT_MAX, SCPI_ERROR_TEXT_SIZE, &r);
    EXPECT_EQ(r, 0);
    format(5, SCPI_ERROR_TEXT_SIZE, &r);
    EXPECT_EQ(r, 0);
}

TEST(ErrorFormat, TextThatDoesNotFitIsAQueryError) {
    const std::string full = "-65736,\"Execution error;No measurement running\"";
    for (int size = 0; size <= static_cast<int>(full.size()); size++) {
        char text[SCPI_ERROR_TEXT_SIZE];
        memset(text, 'x', sizeof text);
        int length = 99;
        EXPECT_EQ(scpi_errorCode2Str(text, -65736, size, &length), KR_E_QUERY_ERROR) << size;
        EXPECT_EQ(length, 0);
        if (size > 0) {
            EXPECT_EQ(text[0], '\0');
        }
        EXPECT_EQ(text[size], 'x') << "wrote past the buffer at size " << size;
    }
    int r = -1;
    EXPECT_EQ(format(-65736, full.size() + 1, &r), full);
    EXPECT_EQ(r, 0);
}

class ErrorQueue : public testing::Test {
  protected:
    void SetUp() override {
        memset(&queue, 0x5a, sizeof queue);  // init must not rely on zeroed memory
        scpi_initErrorQueue(&queue);
    }
    int pop(std::string *text = nullptr) {
        char buf[SCPI_ERROR_TEXT_SIZE];
        int code = 1, length = 0;
        EXPECT_EQ(scpi_popErrorQueue(&queue, &code, buf, sizeof buf, &length), 0);
        if (text != nullptr) *text = buf;
        return code;
    }
    ScpiErrorQueue queue;
};

TEST_F(ErrorQueue, StartsEmptyAndAnswersNoError) {
    EXPECT_TRUE(scpi_isErrorQueueEmpty(&queue));
    std::string text;
    EXPECT_EQ(pop(&text), 0);
    EXPECT_EQ(text, "0,\"No error\"");
    EXPECT_TRUE(scpi_isErrorQueueEmpty(&queue));
}

TEST_F(ErrorQueue, ZeroIsIgnored) {
    scpi_pushErrorQueue(0, &queue);
    EXPECT_TRUE(scpi_isErrorQueueEmpty(&queue));
    scpi_pushErrorQueue(-113, &queue);
    scpi_pushErrorQueue(0, &queue);
    EXPECT_EQ(pop(), -113);
    EXPECT_TRUE(scpi_isErrorQueueEmpty(&queue));
}

TEST_F(ErrorQueue, ElevenPushedGiveNineThenOverflow) {
    for (int i = 1; i <= 11; i++)
        scpi_pushErrorQueue(-i, &queue);
    for (int i = 1; i <= 9; i++)
        EXPECT_EQ(pop(), -i);
    std::string text;
    EXPECT_EQ(pop(&text), KR_E_QUEUE_OVERFLOW);
    EXPECT_EQ(text, "-350,\"Queue overflow\"");
    EXPECT_TRUE(scpi_isErrorQueueEmpty(&queue));
    EXPECT_EQ(pop(), 0);
}

TEST_F(ErrorQueue, TenFitExactly) {
    for (int i = 1; i <= 10; i++)
        scpi_pushErrorQueue(-i, &queue);
    for (int i = 1; i <= 10; i++)
        EXPECT_EQ(pop(), -i);
    EXPECT_TRUE(scpi_isErrorQueueEmpty(&queue));
}

TEST_F(ErrorQueue, ReadingMakesRoomAgainAfterOverflow) {
    for (int i = 1; i <= 12; i++)
        scpi_pushErrorQueue(-i, &queue);
    EXPECT_EQ(pop(), -1);
    scpi_pushErrorQueue(-100, &queue);
    for (int i = 2; i <= 9; i++)
        EXPECT_EQ(pop(), -i);
    EXPECT_EQ(pop(), KR_E_QUEUE_OVERFLOW);
    EXPECT_EQ(pop(), -100);
    EXPECT_TRUE(scpi_isErrorQueueEmpty(&queue));
}

// The ring against a plain model over many random pushes and pops, so that every wrap of
// both indices is visited.
TEST_F(ErrorQueue, BehavesAsBoundedFifoWithOverflowMark) {
    std::mt19937 rng(1234);
    std::deque<int> model;
    for (int step = 0; step < 20000; step++) {
        if (rng() % 3 != 0) {
            int code = -static_cast<int>(rng() % 500);
            scpi_pushErrorQueue(code, &queue);
            if (code == 0) continue;
            if (model.size() == SCPI_ERROR_QUEUE_SIZE)
                model.back() = KR_E_QUEUE_OVERFLOW;
            else
                model.push_back(code);
        } else {
            int expected = 0;
            if (!model.empty()) {
                expected = model.front();
                model.pop_front();
            }
            ASSERT_EQ(pop(), expected) << "step " << step;
        }
        ASSERT_EQ(scpi_isErrorQueueEmpty(&queue), model.empty() ? 1 : 0) << "step " << step;
    }
}

TEST_F(ErrorQueue, AllEntriesJoinedAndQueueEmptied) {
    scpi_pushErrorQueue(-113, &queue);
    scpi_pushErrorQueue(-65736, &queue);
    scpi_pushErrorQueue(-999, &queue);
    char text[256];
    int length = 0;
    EXPECT_EQ(scpi_getAndClearWholeErrorQueue(&queue, text, sizeof text, &length), 0);
    EXPECT_STREQ(text,
                 "-113,\"Undefined header\",-65736,\"Execution error;No measurement running\","
                 "-999,\"\"");
    EXPECT_EQ(static_cast<size_t>(length), strlen(text));
    EXPECT_TRUE(scpi_isErrorQueueEmpty(&queue));
}

TEST_F(ErrorQueue, AllOfEmptyQueueIsNoError) {
    char text[64];
    int length = 0;
    EXPECT_EQ(scpi_getAndClearWholeErrorQueue(&queue, text, sizeof text, &length), 0);
    EXPECT_STREQ(text, "0,\"No error\"");
    EXPECT_EQ(length, 12);
}

TEST_F(ErrorQueue, AllIntoTightBufferKeepsWholeEntriesOnly) {
    scpi_pushErrorQueue(-113, &queue);
    scpi_pushErrorQueue(-222, &queue);
    scpi_pushErrorQueue(-100, &queue);
    const char first[] = "-113,\"Undefined header\"";
    char text[64];
    memset(text, 'x', sizeof text);
    int length = 0;
    // Room for the first entry and a part of the second.
    EXPECT_EQ(scpi_getAndClearWholeErrorQueue(&queue, text, sizeof first + 10, &length),
              KR_E_QUERY_ERROR);
    EXPECT_STREQ(text, first);
    EXPECT_EQ(length, static_cast<int>(strlen(first)));
    EXPECT_TRUE(scpi_isErrorQueueEmpty(&queue));
    EXPECT_EQ(text[sizeof first + 10], 'x');
}

TEST_F(ErrorQueue, ClearEmptiesEverything) {
    for (int i = 1; i <= 11; i++)
        scpi_pushErrorQueue(-i, &queue);
    EXPECT_EQ(scpi_clearWholeErrorQueue(&queue), 0);
    EXPECT_TRUE(scpi_isErrorQueueEmpty(&queue));
    EXPECT_EQ(pop(), 0);
    scpi_pushErrorQueue(-5, &queue);
    EXPECT_EQ(pop(), -5);
}

}  // namespace
