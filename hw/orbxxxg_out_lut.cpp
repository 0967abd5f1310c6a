// Generic output board with synthesizer settings from a look-up table.
#include "hw/orbxxxg_out_lut.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "core/krpath.h"
#include "core/printd.h"
#include "device/device_board.h"
#include "scpi/scpi_errorcodes.h"

namespace {

constexpr const char *LUT_DIR = "/korvane/dev";
constexpr int FIELDS = 5;
constexpr uint32_t DIVIDER_MAX = 255;
constexpr uint64_t FTW_LIMIT = 1ull << AD9912_FTW_BITS;
constexpr double TOLERANCE_HZ = 1.0;

// One unsigned decimal number, spaces around it allowed; p moves past it.
bool parseNumber(const char *&p, uint64_t *value) {
    while (*p == ' ' || *p == '\t')
        p++;
    if (*p < '0' || *p > '9') return false;
    uint64_t v = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        uint64_t d = (uint64_t)(*p - '0');
        if (v > (UINT64_MAX - d) / 10) return false;
        v = v * 10 + d;
    }
    while (*p == ' ' || *p == '\t')
        p++;
    *value = v;
    return true;
}

// Exactly FIELDS numbers separated by commas, nothing after them.
bool parseLine(const char *line, uint64_t *fields) {
    const char *p = line;
    for (int i = 0; i < FIELDS; i++) {
        if (!parseNumber(p, &fields[i])) return false;
        if (i < FIELDS - 1 && *p++ != ',') return false;
    }
    return *p == 0;
}

// One line without its line feed; false at the end of the file. bad: longer than the buffer
// or holding a NUL byte (the rest of the line is read and dropped either way).
bool readLine(FILE *f, char *line, size_t size, bool *bad) {
    size_t n = 0;
    int c;
    *bad = false;
    while ((c = fgetc(f)) != EOF && c != '\n') {
        if (c == 0 || n + 1 >= size)
            *bad = true;
        else
            line[n++] = (char)c;
    }
    line[n] = 0;
    return c != EOF || n > 0 || *bad;
}

// The row would tune the board where it says, with every part inside its range.
bool validRow(const ORBXXXG_OUT *o, const uint64_t *v, OrbxxxgOutLutRow *row) {
    uint64_t f = v[0];
    if (f > o->frequencyMaxHz || f > (uint64_t)INT64_MAX) return false;
    for (int i = 1; i <= 3; i++)
        if (v[i] < 1 || v[i] > DIVIDER_MAX) return false;
    if (v[4] >= FTW_LIMIT) return false;
    bool direct = f < ORBXXXG_OUT_DIRECT_LIMIT_HZ;
    if (direct && (v[1] != 1 || v[2] != 1 || v[3] != 1)) return false;
    OrbxxxgOutSetting s = {(uint32_t)v[1], (uint32_t)v[2], (uint32_t)v[3], v[4]};
    KrFreq dds;
    ORBXXXG_OUT_settingOutput(&s, 1, &dds);
    if (krfreqToDouble(&dds) > (double)o->plan->ddsMaxHz) return false;
    if (!direct) {
        double vco = (double)f * (double)s.n1;
        if (vco < (double)o->plan->vcoMinHz || vco >= (double)o->plan->vcoMaxHz) return false;
    }
    KrFreq out, want = {(int64_t)f, 0}, diff;
    ORBXXXG_OUT_settingOutput(&s, direct, &out);
    krfreqSubtract(&diff, &out, &want);
    double d = krfreqToDouble(&diff);
    if (d > TOLERANCE_HZ || d < -TOLERANCE_HZ) return false;
    *row = {f, v[4], (uint8_t)v[1], (uint8_t)v[2], (uint8_t)v[3]};
    return true;
}

// Into the ascending table; false for a frequency it already holds.
bool insertRow(ORBXXXG_OUT_LUT *lut, const OrbxxxgOutLutRow &row) {
    int32_t i = lut->rowCount;
    while (i > 0 && lut->rows[i - 1].frequencyHz > row.frequencyHz)
        i--;
    if (i > 0 && lut->rows[i - 1].frequencyHz == row.frequencyHz) return false;
    memmove(&lut->rows[i + 1], &lut->rows[i], (size_t)(lut->rowCount - i) * sizeof(row));
    lut->rows[i] = row;
    lut->rowCount++;
    return true;
}

int load(OrbxxxgOutBoard *board, const char *name, bool quietWhenMissing) {
    ORBXXXG_OUT_LUT *lut = ORBXXXG_OUT_LUT_record(board);
    if (!lut->board.ready) return KR_E_HARDWARE_MISSING;
    char path[KR_PATH_MAX];
    if (!name || strlen(name) >= ORBXXXG_OUT_LUT_NAME_BYTES ||
        krpath_joinInside(LUT_DIR, name, path, sizeof(path)) != 0) {
        printd("ORBXXXG_OUT_LUT_loadCsvSynthesizerLut(): refused name <%s>\n", name ? name : "");
        return KR_E_ILLEGAL_PARAMETER_VALUE;
    }
    FILE *f = fopen(path, "r");
    if (!f) {
        if (!quietWhenMissing)
            printd("ORBXXXG_OUT_LUT_loadCsvSynthesizerLut(): cannot open %s\n", path);
        return KR_E_EXECUTION_ERROR;
    }
    lut->rowCount = 0;
    lut->skippedRows = 0;
    bool full = false;
    char line[160];
    bool bad = false;
    while (readLine(f, line, sizeof(line), &bad)) {
        if (bad) {
            lut->skippedRows++;
            continue;
        }
        size_t len = strlen(line);
        while (len > 0 && (line[len - 1] == '\r' || line[len - 1] == ' ' || line[len - 1] == '\t'))
            line[--len] = 0;
        const char *p = line;
        while (*p == ' ' || *p == '\t')
            p++;
        if (*p == 0 || *p == '#') continue;
        uint64_t v[FIELDS];
        OrbxxxgOutLutRow row;
        if (!parseLine(p, v) || !validRow(&lut->board, v, &row)) {
            lut->skippedRows++;
            continue;
        }
        if (lut->rowCount >= ORBXXXG_OUT_LUT_ROWS) {
            full = true;
            lut->skippedRows++;
            continue;
        }
        if (!insertRow(lut, row)) lut->skippedRows++;
    }
    fclose(f);
    snprintf(lut->filename, sizeof(lut->filename), "%s", name);
    printd("ORBXXXG_OUT_LUT_loadCsvSynthesizerLut(): %s: %d rows, %u skipped\n", path,
           (int)lut->rowCount, (unsigned)lut->skippedRows);
    return full ? KR_E_TOO_MUCH_DATA : 0;
}

}  // namespace

ORBXXXG_OUT_LUT *ORBXXXG_OUT_LUT_record(OrbxxxgOutBoard *board) {
    return orbxxxg_outRecord<ORBXXXG_OUT_LUT>(board);
}

int ORBXXXG_OUT_LUT_init(OrbxxxgOutBoard *board) {
    new (board->module) ORBXXXG_OUT_LUT{};
    return ORBXXXG_OUT_init(board);
}

int ORBXXXG_OUT_LUT_loadCsvSynthesizerLut(OrbxxxgOutBoard *board, const char *name) {
    return load(board, name, false);
}

int ORBXXXG_OUT_LUT_loadBuiltinSynthesizerLut(OrbxxxgOutBoard *board) {
    ORBXXXG_OUT_LUT *lut = ORBXXXG_OUT_LUT_record(board);
    char name[32];
    snprintf(name, sizeof(name), "synlut%d.csv", (int)board->channel + 1);
    int r = load(board, name, true);
    if (r == KR_E_EXECUTION_ERROR) {
        // No table for this channel: every frequency is computed.
        lut->rowCount = 0;
        lut->skippedRows = 0;
        lut->filename[0] = 0;
        return 0;
    }
    return r;
}

int ORBXXXG_OUT_LUT_getSynthesizerLutFilename(OrbxxxgOutBoard *board, const char **name) {
    *name = ORBXXXG_OUT_LUT_record(board)->filename;
    return 0;
}

const OrbxxxgOutLutRow *ORBXXXG_OUT_LUT_lookup(const ORBXXXG_OUT_LUT *lut, const KrFreq *f) {
    if (f->fraction != 0 || f->integer < 0) return nullptr;
    uint64_t want = (uint64_t)f->integer;
    int32_t low = 0, high = lut->rowCount;  // answer in [low, high)
    while (low < high) {
        int32_t mid = low + (high - low) / 2;
        if (lut->rows[mid].frequencyHz < want)
            low = mid + 1;
        else
            high = mid;
    }
    return low < lut->rowCount && lut->rows[low].frequencyHz == want ? &lut->rows[low] : nullptr;
}

int ORBXXXG_OUT_LUT_presetSetFrequency(OrbxxxgOutBoard *board, const KrFreq *f) {
    const OrbxxxgOutLutRow *row = ORBXXXG_OUT_LUT_lookup(ORBXXXG_OUT_LUT_record(board), f);
    if (!row) return ORBXXXG_OUT_presetSetFrequencyWith(board, f, nullptr);
    OrbxxxgOutSetting s = {row->n1, row->n2, row->r, row->ftw};
    return ORBXXXG_OUT_presetSetFrequencyWith(board, f, &s);
}

void ORBXXXG_OUT_LUT_registerFunctions() {
    ORBXXXG_OUT_registerFunctions();
    BOARD_ORBXXXG_OUT_init = ORBXXXG_OUT_LUT_init;
    BOARD_ORBXXXG_OUT_setFrequencySync = ORBXXXG_OUT_LUT_presetSetFrequency;
    BOARD_ORBXXXG_OUT_loadCsvSynthesizerLut = ORBXXXG_OUT_LUT_loadCsvSynthesizerLut;
    BOARD_ORBXXXG_OUT_loadBuiltinSynthesizerLut = ORBXXXG_OUT_LUT_loadBuiltinSynthesizerLut;
    BOARD_ORBXXXG_OUT_getSynthesizerLutFilename = ORBXXXG_OUT_LUT_getSynthesizerLutFilename;
}
