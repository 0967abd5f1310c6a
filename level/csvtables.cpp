#include "level/csvtables.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "scpi/scpi_errorcodes.h"

namespace {

enum SectionCode : int64_t {
    SECTION_POWER = 32512,
    SECTION_ZONE_ROWS = 32513,
    SECTION_ALC_ATT = 32514,
    SECTION_MARGIN = 32515,
    SECTION_AM = 32516,
    SECTION_GAIN_STAGES = 32550,
    SECTION_ALC_ATT_ZONES = 32551,
    SECTION_MIN_ATTOUT = 32552,
    SECTION_PE_REFERENCE = 32554,
    SECTION_PE_TABLE = 32555,
    SECTION_IGNORED = 32600,
    SECTION_OPTION = 32999,
};
// A first cell in this range starts a section; anything else is a row header.
constexpr int64_t kFirstCode = 32500, kLastCode = 32999;
constexpr int kMaxCells = CAL_MAX_FREQUENCIES + 2;

bool knownSection(int64_t code) {
    switch (code) {
        case SECTION_POWER:
        case SECTION_ZONE_ROWS:
        case SECTION_ALC_ATT:
        case SECTION_MARGIN:
        case SECTION_AM:
        case SECTION_GAIN_STAGES:
        case SECTION_ALC_ATT_ZONES:
        case SECTION_MIN_ATTOUT:
        case SECTION_PE_REFERENCE:
        case SECTION_PE_TABLE:
        case SECTION_IGNORED:
        case SECTION_OPTION:
            return true;
        default:
            return false;
    }
}

// One line split into cells. The buffers are the main loop's, not the stack's: a line may be
// 32 KiB long.
char lineBuf[CSVTABLES_LINE_MAX + 2];
int64_t cellBuf[kMaxCells];

struct Load {
    Calibration *cal;
    int64_t section = 0;
    int rowInSection = 0;  // rows of the current section so far, its own row included
    int row = 0;           // line number, from 1
    int col = 0;           // cell of the failure, from 1
};

// Splits lineBuf into cellBuf: -1 (col set) for a cell that is not a decimal integer.
int splitCells(Load *load, int *count) {
    int n = 0;
    const char *p = lineBuf;
    for (;;) {
        const char *end = strchr(p, ';');
        size_t len = end ? (size_t)(end - p) : strlen(p);
        if (n == kMaxCells) {
            load->col = n + 1;
            return CAL_BAD_ROW_LENGTH;
        }
        int64_t v = 0;
        if (len > 0) {
            char text[24];
            size_t i = (p[0] == '-' || p[0] == '+') ? 1 : 0;
            bool digits = len > i && len < sizeof(text);
            for (size_t k = i; digits && k < len; k++)
                digits = p[k] >= '0' && p[k] <= '9';
            if (digits) {
                memcpy(text, p, len);
                text[len] = 0;
                errno = 0;
                v = strtoll(text, nullptr, 10);
                digits = errno == 0;
            }
            if (!digits) {
                load->col = n + 1;
                return CAL_BAD_CELL;
            }
        }
        cellBuf[n++] = v;
        if (!end) break;
        p = end + 1;
    }
    *count = n;
    return CAL_OK;
}

// A section's rows that must have one cell per frequency point.
int checkLength(const Load *load, int dataCount) {
    return dataCount == (int)load->cal->frequencyCount ? CAL_OK : CAL_BAD_ROW_LENGTH;
}

int powerRow(Load *load, int64_t header, const int64_t *data, int count) {
    Calibration *cal = load->cal;
    if (load->rowInSection == 1) {
        if (count > CAL_MAX_FREQUENCIES) return CAL_BAD_ROW_LENGTH;
        cal->frequencyCount = (uint32_t)count;
        for (int k = 0; k < count; k++)
            cal->frequency[k] = data[k];
        cal->powerCount = 0;
        cal->sections |= CAL_HAS_POWER_TABLE;
        return CAL_OK;
    }
    if (int r = checkLength(load, count)) return r;
    const int r = load->rowInSection - 2;
    const int point = r / 3, kind = r % 3;
    if (point >= CAL_MAX_POWERS) return CAL_BAD_POWER_TABLE;
    if (kind == 0) cal->power[point] = (float)header / 10.0f;
    for (int k = 0; k < count; k++) {
        CalibrationCell &c = cal->cell[point][k];
        (kind == 0 ? c.stepAttA : kind == 1 ? c.stepAttB : c.alcSetpoint) = (int16_t)data[k];
    }
    if (kind == 2) cal->powerCount = (uint32_t)point + 1;
    return CAL_OK;
}

int zoneRow(Load *load, int64_t header, const int64_t *data, int count) {
    Calibration *cal = load->cal;
    const int i = load->rowInSection - 1;
    if (i >= CAL_MAX_ZONE_ROWS) return CAL_BAD_ZONE_ROWS;
    if (int r = checkLength(load, count)) return r;
    cal->zoneRowHeader[i] = header;
    for (int k = 0; k < count; k++)
        cal->zoneRow[i][k] = (int32_t)(data[k] * 100);
    if (i < CAL_EXT_SECTIONS) {
        cal->extAttReference[i] = header * 100;
        for (int k = 0; k < count; k++)
            cal->extAtt[i][k] = (int16_t)data[k];
    }
    cal->zoneRowCount = (uint32_t)i + 1;
    cal->sections |= CAL_HAS_ZONE_ROWS;
    return CAL_OK;
}

int alcAttRow(Load *load, const int64_t *data, int count, bool perZone) {
    Calibration *cal = load->cal;
    const uint32_t other = perZone ? CAL_HAS_ALC_ATT : CAL_HAS_ALC_ATT_ZONES;
    if (cal->sections & other) return CAL_BOTH_ALC_ATT_KINDS;
    if (int r = checkLength(load, count)) return r;
    const int zone = load->rowInSection - 1;
    if (perZone && zone >= CAL_MAX_ZONES) return CAL_BAD_ROW_LENGTH;
    uint8_t *table = perZone ? cal->alcAttZone[zone] : cal->alcAtt;
    for (int k = 0; k < count; k++)
        table[k] = (uint8_t)data[k];
    if (perZone) cal->alcAttZoneCount = (uint32_t)zone + 1;
    cal->sections |= perZone ? CAL_HAS_ALC_ATT_ZONES : CAL_HAS_ALC_ATT;
    return CAL_OK;
}

// One row of a section that holds a single per-frequency table.
int singleRow(Load *load, const int64_t *data, int count, int32_t *table, uint32_t section,
              int secondRow) {
    if (load->rowInSection > 1 && secondRow) return secondRow;
    if (int r = checkLength(load, count)) return r;
    for (int k = 0; k < count; k++)
        table[k] = (int32_t)data[k];
    load->cal->sections |= section;
    return CAL_OK;
}

int amRow(Load *load, int64_t header, const int64_t *data, int count) {
    Calibration *cal = load->cal;
    const int i = load->rowInSection - 1;
    const int pair = i / 2, table = i % 2;
    if (pair >= CAL_MAX_AM_PAIRS) return CAL_TOO_MANY_AM_PAIRS;
    if (int r = checkLength(load, count)) return r;
    if (table == 0) cal->amScale[pair] = (float)header / 10.0f;
    for (int k = 0; k < count; k++)
        cal->am[pair][table][k] = (int16_t)data[k];
    cal->amPairs = (uint32_t)pair + 1;
    cal->sections |= CAL_HAS_AM;
    return CAL_OK;
}

int gainStageRow(Load *load, int64_t header, const int64_t *data, int count, int dataCol) {
    Calibration *cal = load->cal;
    if (header < 0 || header >= 32) {
        load->col = dataCol - 1;
        return CAL_BAD_STAGE_NUMBER;
    }
    const int stage = (int)header;
    if (cal->gainStageRows[stage] >= CAL_MAX_OCCURRENCES) return CAL_STAGE_TOO_OFTEN;
    const int occurrence = cal->gainStageRows[stage]++;
    for (int k = 0; k < count && k < CAL_MAX_FREQUENCIES; k++) {
        if (data[k] != 0 && data[k] != 1) {
            load->col = dataCol + k;
            return CAL_BAD_STAGE_CELL;
        }
        if (data[k]) cal->gainStage[occurrence][k] |= 1u << stage;
    }
    cal->gainStagesInUse |= 1u << stage;
    cal->sections |= CAL_HAS_GAIN_STAGES;
    return CAL_OK;
}

int peReferenceRow(Load *load, int64_t header, const int64_t *data, int count) {
    Calibration *cal = load->cal;
    const int i = load->rowInSection - 1;
    if (i == 0) {
        cal->peReferenceLevel = header;
        for (int k = 0; k < count && k < CAL_MAX_FREQUENCIES; k++)
            cal->peReference[k] = data[k];
    } else {
        if (i > CAL_MAX_PE_ROWS) return CAL_BAD_ROW_LENGTH;
        for (int k = 0; k < count && k < CAL_MAX_FREQUENCIES; k++)
            cal->peRow[i - 1][k] = (int32_t)data[k];
        cal->peRowCount = (uint32_t)i;
    }
    cal->sections |= CAL_HAS_PE_REFERENCE;
    return CAL_OK;
}

int sectionRow(Load *load, int64_t header, const int64_t *data, int count, int dataCol) {
    Calibration *cal = load->cal;
    switch (load->section) {
        case SECTION_POWER:
            return powerRow(load, header, data, count);
        case SECTION_ZONE_ROWS:
            return zoneRow(load, header, data, count);
        case SECTION_ALC_ATT:
            return alcAttRow(load, data, count, false);
        case SECTION_ALC_ATT_ZONES:
            return alcAttRow(load, data, count, true);
        case SECTION_MARGIN:
            return singleRow(load, data, count, cal->alcMargin, CAL_HAS_MARGIN,
                             CAL_SECOND_MARGIN_ROW);
        case SECTION_MIN_ATTOUT:
            return singleRow(load, data, count, cal->minAttout, CAL_HAS_MIN_ATTOUT, CAL_OK);
        case SECTION_AM:
            return amRow(load, header, data, count);
        case SECTION_GAIN_STAGES:
            return gainStageRow(load, header, data, count, dataCol);
        case SECTION_PE_REFERENCE:
            return peReferenceRow(load, header, data, count);
        case SECTION_PE_TABLE:
            for (int k = 0; k < count && k < CAL_MAX_FREQUENCIES; k++)
                cal->peTable[k] = data[k];
            cal->sections |= CAL_HAS_PE_TABLE;
            return CAL_OK;
        case SECTION_OPTION:
            if (header == 1) cal->oneFlag = true;
            return CAL_OK;
        default:  // SECTION_IGNORED
            return CAL_OK;
    }
}

// What a section must have when it ends.
int endSection(const Load *load) {
    if (load->section == SECTION_POWER && (load->rowInSection - 1) % 3 != 0)
        return CAL_BAD_POWER_TABLE;
    if (load->section == SECTION_ZONE_ROWS && load->rowInSection < CAL_MIN_ZONE_ROWS)
        return CAL_BAD_ZONE_ROWS;
    return CAL_OK;
}

int line(Load *load, int count) {
    const int64_t first = cellBuf[0];
    int dataAt = 1;
    if (first >= kFirstCode && first <= kLastCode) {
        if (!knownSection(first)) {
            load->col = 1;
            return CAL_UNKNOWN_SECTION;
        }
        if (int r = endSection(load)) return r;
        load->section = first;
        load->rowInSection = 0;
        dataAt = 2;
    } else if (load->section == 0) {
        load->col = 1;
        return CAL_UNKNOWN_SECTION;
    }
    load->rowInSection++;
    const int64_t header = dataAt - 1 < count ? cellBuf[dataAt - 1] : 0;
    const int data = count > dataAt ? count - dataAt : 0;
    return sectionRow(load, header, cellBuf + dataAt, data, dataAt + 1);
}

// Reads line by line up to the first empty line; after it only empty lines may follow.
int parse(FILE *f, Load *load) {
    bool ended = false;
    while (fgets(lineBuf, sizeof(lineBuf), f)) {
        load->row++;
        size_t len = strlen(lineBuf);
        if (len == sizeof(lineBuf) - 1 && lineBuf[len - 1] != '\n') {
            load->col = 0;
            return CAL_BAD_ROW_LENGTH;
        }
        while (len > 0 && (lineBuf[len - 1] == '\n' || lineBuf[len - 1] == '\r'))
            lineBuf[--len] = 0;
        if (len == 0) {
            ended = true;
            continue;
        }
        if (ended) return CAL_NO_FILE;
        int count = 0;
        if (int r = splitCells(load, &count)) return r;
        if (int r = line(load, count)) {
            if (load->col == 0) load->col = 1;
            return r;
        }
        load->col = 0;
    }
    return endSection(load);
}

// Writes one row: code (or nothing) and header, then a per-frequency table.
template <typename T>
void writeRow(FILE *f, const int64_t *code, int64_t header, const T *data, uint32_t count,
              int64_t scale = 1) {
    if (code) fprintf(f, "%lld;", (long long)*code);
    fprintf(f, "%lld", (long long)header);
    for (uint32_t k = 0; k < count; k++)
        fprintf(f, ";%lld", (long long)data[k] / scale);
    fputc('\n', f);
}

void writePowerTable(FILE *f, const Calibration *cal) {
    const int64_t code = SECTION_POWER;
    writeRow(f, &code, 0, cal->frequency, cal->frequencyCount);
    static int16_t column[CAL_MAX_FREQUENCIES];
    for (uint32_t p = 0; p < cal->powerCount; p++) {
        const int64_t header =
            (int64_t)(cal->power[p] * 10.0f + (cal->power[p] < 0 ? -0.5f : 0.5f));
        int16_t CalibrationCell::*fields[3] = {
            &CalibrationCell::stepAttA, &CalibrationCell::stepAttB, &CalibrationCell::alcSetpoint};
        for (auto field : fields) {
            for (uint32_t k = 0; k < cal->frequencyCount; k++)
                column[k] = cal->cell[p][k].*field;
            writeRow(f, nullptr, header, column, cal->frequencyCount);
        }
    }
}

void writeSections(FILE *f, const Calibration *cal) {
    const uint32_t n = cal->frequencyCount;
    if (cal->sections & CAL_HAS_POWER_TABLE) writePowerTable(f, cal);
    for (uint32_t i = 0; (cal->sections & CAL_HAS_ZONE_ROWS) && i < cal->zoneRowCount; i++) {
        const int64_t code = SECTION_ZONE_ROWS;
        writeRow(f, i == 0 ? &code : nullptr, cal->zoneRowHeader[i], cal->zoneRow[i], n, 100);
    }
    if (cal->sections & CAL_HAS_ALC_ATT) {
        const int64_t code = SECTION_ALC_ATT;
        writeRow(f, &code, 0, cal->alcAtt, n);
    }
    for (uint32_t z = 0; (cal->sections & CAL_HAS_ALC_ATT_ZONES) && z < cal->alcAttZoneCount; z++) {
        const int64_t code = SECTION_ALC_ATT_ZONES;
        writeRow(f, z == 0 ? &code : nullptr, 0, cal->alcAttZone[z], n);
    }
    if (cal->sections & CAL_HAS_MARGIN) {
        const int64_t code = SECTION_MARGIN;
        writeRow(f, &code, 0, cal->alcMargin, n);
    }
    if (cal->sections & CAL_HAS_MIN_ATTOUT) {
        const int64_t code = SECTION_MIN_ATTOUT;
        writeRow(f, &code, 0, cal->minAttout, n);
    }
    for (uint32_t i = 0; (cal->sections & CAL_HAS_AM) && i < 2 * cal->amPairs; i++) {
        const int64_t code = SECTION_AM;
        const int64_t header = i % 2 == 0 ? (int64_t)(cal->amScale[i / 2] * 10.0f + 0.5f) : 0;
        writeRow(f, i == 0 ? &code : nullptr, header, cal->am[i / 2][i % 2], n);
    }
    bool first = true;
    static uint8_t bits[CAL_MAX_FREQUENCIES];
    for (int stage = 0; stage < 32; stage++) {
        for (int o = 0; o < cal->gainStageRows[stage]; o++) {
            for (uint32_t k = 0; k < n; k++)
                bits[k] = (cal->gainStage[o][k] >> stage) & 1;
            const int64_t code = SECTION_GAIN_STAGES;
            writeRow(f, first ? &code : nullptr, stage, bits, n);
            first = false;
        }
    }
    if (cal->sections & CAL_HAS_PE_REFERENCE) {
        const int64_t code = SECTION_PE_REFERENCE;
        writeRow(f, &code, cal->peReferenceLevel, cal->peReference, n);
        for (uint32_t i = 0; i < cal->peRowCount; i++)
            writeRow(f, nullptr, 0, cal->peRow[i], n);
    }
    if (cal->sections & CAL_HAS_PE_TABLE) {
        const int64_t code = SECTION_PE_TABLE;
        writeRow(f, &code, 0, cal->peTable, n);
    }
    if (cal->oneFlag) fprintf(f, "%d;1\n", (int)SECTION_OPTION);
}

}  // namespace

int Csvtables_Csv2Cal(const char *path, Calibration *cal) {
    Calibration_reset(cal);
    Load load;
    load.cal = cal;
    FILE *f = fopen(KrPath(path), "r");
    int r = f ? parse(f, &load) : CAL_NO_FILE;
    if (f) fclose(f);
    if (r != CAL_OK) {
        printd("status=%d in row=%d, col=%d\n", r, load.row, load.col);
        Calibration_reset(cal);
        cal->frequencyCount = 0;
        cal->powerCount = 0;
    }
    return r;
}

int Csvtables_Cal2Csv(const Calibration *cal, const char *path) {
    KrPath resolved(path);
    FILE *f = resolved.ok() ? krstuffOpenReplacement(resolved) : nullptr;
    if (!f) return KR_E_EXECUTION_ERROR;
    writeSections(f, cal);
    return krstuffCommitReplacement(f, resolved);
}
