// Generic output board with a synthesizer look-up table: a table row is used exactly as
// written (dividers and tuning word reach the simulated board), other frequencies fall back
// to the computed plan, malformed rows are skipped and counted, a full table says so, and
// names outside /korvane/dev/ are refused.
#include "hw/orbxxxg_out_lut.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "hw/krgio.h"
#include "hw_test_support.h"
#include "platform/sim/int128.h"
#include "scpi/scpi_errorcodes.h"

namespace {

using u128 = kr_u128;

constexpr const char *SERIAL_20G_GENERIC = "0C0-000310000-0001";

// 5 GHz through a 15 GHz VCO: DDS 375 MHz (an exact word) x 40 / 3. The plan itself
// would choose N1 = 2.
constexpr const char *ROW_5G = "5000000000,3,40,1,105553116266496";
constexpr uint64_t FTW_375M = 105553116266496ull;
// 100 MHz from the DDS alone, one word below the computed one.
constexpr uint64_t FTW_100M_LOW = 28147497671064ull;

OrbxxxgOutBoard board;

using hwtest::hz;
using hwtest::sameFreq;

// floor(f x 2^48 / 1 GHz): the word the DDS needs for f.
uint64_t wordFor(uint64_t f) {
    return (uint64_t)(((u128)f << 48) / 1000000000ull);
}

class LutTest : public OutBoardTest {
  protected:
    LutTest() : OutBoardTest(board, 2) {}
    const char *serial() const override { return SERIAL_20G_GENERIC; }
    int initBoard() override {
        int r = ORBXXXG_OUT_LUT_init(&board);
        lut = ORBXXXG_OUT_LUT_record(&board);
        return r;
    }
    void writeFile(const std::string &name, const std::string &text) {
        std::string path = root_->path() + "/korvane/dev/" + name;
        FILE *f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr) << path;
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
    // Preset through the table, apply, I/O update: the channel device's order.
    SimChannelState tune(const KrFreq &f) {
        EXPECT_EQ(ORBXXXG_OUT_LUT_presetSetFrequency(&board, &f), 0);
        EXPECT_EQ(ORBXXXG_OUT_SRI_applyPreset(&board), 0);
        krgio_ioupdate();
        hardware_sim_waitIdle();
        return hardware_sim_channel(0);
    }
    void expectExact(const SimChannelState &st) {
        KrFreq e;
        ASSERT_EQ(ORBXXXG_OUT_getFrequencyExact(&board, &e), 0);
        EXPECT_TRUE(sameFreq(st.frequency, e))
            << hardware_sim_freqText(st.frequency) << " vs " << hardware_sim_freqText(e);
    }
    ORBXXXG_OUT_LUT *lut = nullptr;
};

TEST_F(LutTest, ATableRowIsUsedAsWrittenAndOtherFrequenciesAreComputed) {
    // Descending, with a comment, a blank line, CRLF and spaces around fields.
    writeFile("table.csv", std::string("# frequency,N1,N2,R,FTW\n") + ROW_5G + "\r\n\n" +
                               " 100000000 , 1 , 1 , 1 , " + std::to_string(FTW_100M_LOW) + "\n");
    ASSERT_EQ(ORBXXXG_OUT_LUT_loadCsvSynthesizerLut(&board, "table.csv"), 0);
    EXPECT_EQ(lut->rowCount, 2);
    EXPECT_EQ(lut->skippedRows, 0u);
    const char *name = nullptr;
    ORBXXXG_OUT_LUT_getSynthesizerLutFilename(&board, &name);
    EXPECT_STREQ(name, "table.csv");

    SimChannelState st = tune(hz(5000000000ull));
    EXPECT_EQ(st.n1, 3u);
    EXPECT_EQ(st.n2, 40u);
    EXPECT_EQ(st.r, 1u);
    EXPECT_EQ(st.ftw, FTW_375M);
    EXPECT_TRUE(sameFreq(st.frequency, hz(5000000000ull))) << hardware_sim_freqText(st.frequency);
    EXPECT_TRUE(ORBXXXG_OUT_record(&board)->fromTable);
    expectExact(st);

    st = tune(hz(100000000));
    EXPECT_STREQ(st.path, "direct");
    EXPECT_EQ(st.ftw, FTW_100M_LOW);
    expectExact(st);

    // Misses: one hertz off, and the row's frequency with a fraction.
    const KrFreq misses[] = {hz(5000000001ull), hz(5000000000ull, 1ull << 63)};
    for (const KrFreq &f : misses) {
        st = tune(f);
        EXPECT_FALSE(ORBXXXG_OUT_record(&board)->fromTable);
        EXPECT_EQ(st.n1, 2u) << hardware_sim_freqText(f);
        EXPECT_NE(st.ftw, FTW_375M);
        expectExact(st);
    }
    st = tune(hz(100000001));
    EXPECT_EQ(st.ftw, wordFor(100000001));
}

TEST_F(LutTest, MalformedRowsAreSkippedAndCounted) {
    const char *bad[] = {
        "abc",
        "5000000000,3,40,1",                    // a field missing
        "5000000000,3,40,1,105553116266496,7",  // one too many
        "5000000000,0,40,1,105553116266496",    // divider 0
        "5000000000,3,256,1,105553116266496",   // divider above a byte
        "6000000000,3,40,1,105553116266496",    // the setting gives 5 GHz
        "100000000,2,1,1,28147497671065",       // direct rows carry 1,1,1
        "5000000000,3,40,1,281474976710656",    // word wider than 48 bits
        "99999999999999999999999,1,1,1,1",      // does not fit
        "-5,1,1,1,1",                           // negative
        "2000000000,1,25,1,22517998136852",     // VCO at 2 GHz
        "30000000000,1,75,1,105553116266496",   // above the model's maximum
        "5000000000;3;40;1;105553116266496",    // wrong separator
        "5000000000,3,40,1,0x1800000000",       // not decimal
        ROW_5G,                                 // repeats the first row
    };
    std::string text = std::string(ROW_5G) + "\n";
    for (const char *line : bad)
        text += std::string(line) + "\n";
    text += std::string(300, '7') + "\n";  // longer than any row
    text += std::string("12\0,3\n", 6);    // a NUL inside
    text += "\x01\xff\xfe garbage\n";
    text += "12500000000,1,32,1,109951162777600";  // last line without a line feed
    writeFile("bad.csv", text);
    ASSERT_EQ(ORBXXXG_OUT_LUT_loadCsvSynthesizerLut(&board, "bad.csv"), 0);
    EXPECT_EQ(lut->rowCount, 2);
    EXPECT_EQ(lut->skippedRows, (uint32_t)(std::size(bad) + 3));
    EXPECT_EQ(tune(hz(5000000000ull)).n1, 3u);
    SimChannelState st = tune(hz(12500000000ull));
    EXPECT_EQ(st.n2, 32u);
    expectExact(st);
}

TEST_F(LutTest, AFullTableKeepsItsFirstRowsAndSaysSo) {
    std::string text;
    for (int i = 0; i <= ORBXXXG_OUT_LUT_ROWS; i++) {
        uint64_t f = 1000000 + (uint64_t)i * 1000;
        text += std::to_string(f) + ",1,1,1," + std::to_string(wordFor(f)) + "\n";
    }
    writeFile("big.csv", text);
    EXPECT_EQ(ORBXXXG_OUT_LUT_loadCsvSynthesizerLut(&board, "big.csv"), KR_E_TOO_MUCH_DATA);
    EXPECT_EQ(lut->rowCount, ORBXXXG_OUT_LUT_ROWS);
    EXPECT_EQ(lut->skippedRows, 1u);
    KrFreq first = hz(1000000), last = hz(1000000 + (ORBXXXG_OUT_LUT_ROWS - 1) * 1000);
    KrFreq dropped = hz(1000000 + ORBXXXG_OUT_LUT_ROWS * 1000);
    EXPECT_NE(ORBXXXG_OUT_LUT_lookup(lut, &first), nullptr);
    EXPECT_NE(ORBXXXG_OUT_LUT_lookup(lut, &last), nullptr);
    EXPECT_EQ(ORBXXXG_OUT_LUT_lookup(lut, &dropped), nullptr);
}

TEST_F(LutTest, NamesOutsideTheDirectoryAndMissingFilesLeaveTheTable) {
    writeFile("table.csv", std::string(ROW_5G) + "\n");
    ASSERT_EQ(ORBXXXG_OUT_LUT_loadCsvSynthesizerLut(&board, "/korvane/dev/table.csv"), 0);
    writeFile("../elsewhere.csv", "5000000000,2,26,1,108246655309627\n");
    struct NameRow {
        const char *name;
        int result;
    };
    const NameRow rows[] = {
        {"../elsewhere.csv", KR_E_ILLEGAL_PARAMETER_VALUE},
        {"/korvane/elsewhere.csv", KR_E_ILLEGAL_PARAMETER_VALUE},
        {"/etc/passwd", KR_E_ILLEGAL_PARAMETER_VALUE},
        {"sub/../../elsewhere.csv", KR_E_ILLEGAL_PARAMETER_VALUE},
        {"", KR_E_ILLEGAL_PARAMETER_VALUE},
        {nullptr, KR_E_ILLEGAL_PARAMETER_VALUE},
        {"missing.csv", KR_E_EXECUTION_ERROR},
    };
    for (const NameRow &row : rows) {
        EXPECT_EQ(ORBXXXG_OUT_LUT_loadCsvSynthesizerLut(&board, row.name), row.result)
            << (row.name ? row.name : "(null)");
        EXPECT_EQ(lut->rowCount, 1);
    }
    const char *name = nullptr;
    ORBXXXG_OUT_LUT_getSynthesizerLutFilename(&board, &name);
    EXPECT_STREQ(name, "/korvane/dev/table.csv");
    EXPECT_EQ(tune(hz(5000000000ull)).n1, 3u);
}

TEST_F(LutTest, TheBuiltinTableIsTheChannelsFileOrNone) {
    EXPECT_EQ(ORBXXXG_OUT_LUT_loadBuiltinSynthesizerLut(&board), 0);
    EXPECT_EQ(lut->rowCount, 0);
    const char *name = nullptr;
    ORBXXXG_OUT_LUT_getSynthesizerLutFilename(&board, &name);
    EXPECT_STREQ(name, "");
    SimChannelState st = tune(hz(5000000000ull));  // computed
    EXPECT_EQ(st.n1, 2u);

    writeFile("synlut1.csv", std::string(ROW_5G) + "\n");
    EXPECT_EQ(ORBXXXG_OUT_LUT_loadBuiltinSynthesizerLut(&board), 0);
    EXPECT_EQ(lut->rowCount, 1);
    ORBXXXG_OUT_LUT_getSynthesizerLutFilename(&board, &name);
    EXPECT_STREQ(name, "synlut1.csv");
    EXPECT_EQ(tune(hz(5000000000ull)).n1, 3u);
}

}  // namespace
