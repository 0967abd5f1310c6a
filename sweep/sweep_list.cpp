// The list record, its columns, checks and preparation, manual mode and list files.
#include "sweep/sweep_list.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "config/device_config.h"
#include "core/krcsv.h"
#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "device/device.h"
#include "hw/fs_fpga_if.h"
#include "scpi/paramListParser.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_unit.h"
#include "sweep/sweep.h"
#include "sweep/sweep_config.h"

namespace {

// Static: 560 KB each must not be allocated per command. A load fills the record not in use
// and swaps it in, so a bad file leaves the list as it was.
SweepList records[2];
SweepList *active = &records[0];

std::atomic<uint32_t> playingChannels{0};
int (*restartList)(Device *) = nullptr;

char loadedName[SWEEP_LIST_NAME_MAX + 1];
char currentName[SWEEP_LIST_NAME_MAX + 1];

constexpr int LINE_SIZE = 256;

// Words the player reads while the main loop may change them.
uint32_t loadShared(const uint32_t &word) {
    return std::atomic_ref<uint32_t>(const_cast<uint32_t &>(word)).load(std::memory_order_relaxed);
}
void storeShared(uint32_t &word, uint32_t value) {
    std::atomic_ref<uint32_t>(word).store(value, std::memory_order_relaxed);
}

SweepList *spare() {
    return active == &records[0] ? &records[1] : &records[0];
}

uint32_t capacityOf(const SweepList *l) {
    return std::min(l->capacity, SWEEP_LIST_CAPACITY);
}

bool usesPhase() {
    return device_config_usesOptionPhs(0) != 0;
}

// ---- Limits -------------------------------------------------------------------------------

KrFreq clampFrequency(Device *device, KrFreq f) {
    if (DEVICE_ISREG(getFrequencyMin)) {
        const KrFreq *lo = Device_getFrequencyMin(device);
        if (krfreqCompare(&f, lo) < 0) f = *lo;
    }
    if (DEVICE_ISREG(getFrequencyMax)) {
        const KrFreq *hi = Device_getFrequencyMax(device);
        if (krfreqCompare(&f, hi) > 0) f = *hi;
    }
    return f;
}

KrPow clampPower(Device *device, KrPow p) {
    if (DEVICE_ISREG(getPowerMin)) p = std::max(p, *Device_getPowerMin(device));
    if (DEVICE_ISREG(getPowerMax)) p = std::min(p, *Device_getPowerMax(device));
    return p;
}

template <class T>
T unchanged(Device *, T value) {
    return value;
}

// ---- Names --------------------------------------------------------------------------------

// A plain file name: no "/" (other directories), no "." (hidden files, "..", and the ".tmp"
// replacements of stores in progress), no control characters.
bool plainName(const char *name) {
    return krpath_isPlainName(name, SWEEP_LIST_NAME_MAX);
}

// The firmware path of a name and its resolved file.
int resolveName(const char *name, char *firmware, size_t size, char (&file)[KR_PATH_MAX]) {
    if (!name || !*name || strcmp(name, SWEEP_LIST_RAM) == 0) {
        snprintf(firmware, size, "%s", SWEEP_LIST_RAM);
        return krpath_resolve(SWEEP_LIST_RAM, file, sizeof(file)) == 0 ? 0 : KR_E_EXECUTION_ERROR;
    }
    if (strnlen(name, SWEEP_LIST_NAME_MAX + 1) > (size_t)SWEEP_LIST_NAME_MAX)
        return KR_E_EXECUTION_ERROR;
    size_t prefix = strlen(SWEEP_LIST_DIR);
    const char *rest = strncmp(name, SWEEP_LIST_DIR, prefix) == 0 ? name + prefix : name;
    if (!plainName(rest)) return KR_E_EXECUTION_ERROR;
    int n = snprintf(firmware, size, "%s%s", SWEEP_LIST_DIR, rest);
    if (n < 0 || (size_t)n >= size) return KR_E_EXECUTION_ERROR;
    return krpath_joinInside(SWEEP_LIST_DIR, rest, file, sizeof(file)) == 0 ? 0
                                                                            : KR_E_EXECUTION_ERROR;
}

// Calls visit(name, resolved file) for the regular files of the list directory in directory
// order until it returns false. False when the directory is missing.
template <class Visit>
bool forEachStoredList(Visit visit) {
    KrPath dir(SWEEP_LIST_DIR);
    DIR *d = opendir(dir);
    if (!d) {
        printd("directory not found\n");
        return false;
    }
    while (const dirent *e = readdir(d)) {
        char file[KR_PATH_MAX];
        struct stat st;
        if (!plainName(e->d_name)) continue;
        if (krpath_joinInside(SWEEP_LIST_DIR, e->d_name, file, sizeof(file)) != 0) continue;
        if (stat(file, &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (!visit(e->d_name, file)) break;
    }
    closedir(d);
    return true;
}

void setCurrent(const char *name) {
    snprintf(currentName, sizeof(currentName), "%s", name);
}

// ---- File format --------------------------------------------------------------------------

// One field of a row: empty once the row is past the column's entries.
template <class T>
bool appendField(char *line, int &pos, bool present, const T *value,
                 int (*format)(const T *, char *, int, int *), bool separator) {
    if (pos >= LINE_SIZE - 2) return false;
    if (separator) line[pos++] = ';';
    if (!present) return true;
    int n = 0;
    if (format(value, line + pos, LINE_SIZE - pos, &n) != 0 || pos + n >= LINE_SIZE - 1)
        return false;
    pos += n;
    return true;
}

// Stored in device units, so that a file loads back the same whatever unit is selected.
int powerText(const KrPow *p, char *out, int size, int *length) {
    return scpi_kr_pow2strf(p, SCPI_FORMAT_DEVICE_UNITS, out, size, length);
}

bool formatRow(const SweepList *l, uint32_t i, bool phase, char (&line)[LINE_SIZE]) {
    const SweepListPoint &p = l->point[i];
    int pos = 0;
    bool ok =
        appendField(line, pos, i < l->frequencyCount, &p.frequency, scpi_kr_freq2str, false) &&
        appendField(line, pos, i < l->powerCount, &p.power, powerText, true) &&
        appendField(line, pos, i < l->dwellCount, &p.dwell, scpi_kr_time2str, true) &&
        appendField(line, pos, i < l->delayCount, &p.delay, scpi_kr_time2str, true) &&
        (!phase || appendField(line, pos, i < l->phaseCount, &p.phase, scpi_kr_angle2str, true));
    if (!ok) return false;
    line[pos++] = '\n';
    line[pos] = 0;
    return true;
}

enum Column : int32_t { COL_FREQUENCY, COL_POWER, COL_DWELL, COL_DELAY, COL_PHASE, COLUMNS };

int parseCell(Device *device, int32_t col, const char *text, SweepListPoint *p) {
    int r = 0;
    switch (col) {
        case COL_FREQUENCY:
            r = scpi_str2kr_freq(text, &p->frequency);
            if (r == 0 && device) p->frequency = clampFrequency(device, p->frequency);
            return r;
        case COL_POWER:
            r = scpi_str2kr_pow(text, &p->power, SCPI_SUFFIX_BASE_UNIT);
            if (r == 0 && device) p->power = clampPower(device, p->power);
            return r;
        case COL_DWELL:
            return scpi_str2kr_time(text, &p->dwell);
        case COL_DELAY:
            return scpi_str2kr_time(text, &p->delay);
        default:
            return scpi_str2kr_angle(text, &p->phase);
    }
}

// Parses a list file into list (counts set), or only checks it when list is null. An empty
// field ends its column (the store writes them past a column's entries); a value after that
// is a broken file. Returns 0 or the first error, with the cell counts in counts.
int readList(const char *file, SweepList *list, Device *device, uint32_t (&counts)[COLUMNS]) {
    static SweepListPoint scratch;
    std::fill(counts, counts + COLUMNS, 0u);
    Krcsv csv;
    if (krcsv_open(&csv, file, ';') != 0) return KR_E_EXECUTION_ERROR;
    const char *cell;
    int32_t col, row;
    int r = 0;
    while (r == 0 && krcsv_getCellAndItsIndex(&csv, &cell, &col, &row)) {
        if (row < 0 || (uint32_t)row >= SWEEP_LIST_CAPACITY || col < 0 || col >= COLUMNS) {
            r = KR_E_EXECUTION_ERROR;
        } else if (*cell) {
            if (counts[col] != (uint32_t)row)
                r = KR_E_EXECUTION_ERROR;
            else
                r = parseCell(device, col, cell, list ? &list->point[row] : &scratch);
            if (r == 0) counts[col]++;
        }
        if (r != 0) printd("sweep_loadList(): error %d in row %d, column %d\n", r, row, col);
    }
    if (r == 0 && ferror(csv.file)) r = KR_E_EXECUTION_ERROR;
    krcsv_close(&csv);
    if (r == 0 && list) {
        list->frequencyCount = counts[COL_FREQUENCY];
        list->powerCount = counts[COL_POWER];
        list->dwellCount = counts[COL_DWELL];
        list->delayCount = counts[COL_DELAY];
        list->phaseCount = counts[COL_PHASE];
    }
    return r;
}

// ---- Column slots -------------------------------------------------------------------------

template <class T, T SweepListPoint::*Field, uint32_t SweepList::*Count,
          T (*clamp)(Device *, T) = unchanged<T>>
int setColumn(Device *device, int32_t action, const T *value) {
    if (sweep_isListPlaying(device)) return KR_E_SETTINGS_CONFLICT;
    SweepList *l = sweep_getActiveSweepList(device);
    if (action == PARAMLIST_BEGIN || action == PARAMLIST_ABORT) {
        l->*Count = 0;
        return 0;
    }
    if (action != PARAMLIST_APPEND || !value) return 0;
    if (l->*Count >= capacityOf(l)) return KR_E_TOO_MUCH_DATA;
    l->point[l->*Count].*Field = clamp(device, *value);
    l->*Count += 1;
    return 0;
}

// The delay column given by hand is no longer the automatic one.
int setListDelayTime(Device *device, int32_t action, const KrTime *value) {
    int r =
        setColumn<KrTime, &SweepListPoint::delay, &SweepList::delayCount>(device, action, value);
    if (r == 0) sweep_getActiveSweepList(device)->delayAuto = 0;
    return r;
}

template <class T, T SweepListPoint::*Field, uint32_t SweepList::*Count>
const T *getColumn(Device *device, int32_t index) {
    const SweepList *l = sweep_getActiveSweepList(device);
    if (index < 0 || (uint32_t)index >= l->*Count) return nullptr;
    return &(l->point[index].*Field);
}

template <uint32_t SweepList::*Count>
uint32_t getCount(Device *device) {
    return sweep_getActiveSweepList(device)->*Count;
}

uint32_t getListPoints(Device *device) {
    return sweep_getListPointCount(sweep_getActiveSweepList(device));
}

template <const KrTime SweepTimeLimits::*Field>
const KrTime *getLimit(Device *) {
    return &(sweep_getLimits()->*Field);
}

int enableListDelayTimeAuto(Device *device) {
    if (sweep_isListPlaying(device)) return KR_E_SETTINGS_CONFLICT;
    SweepList *l = sweep_getActiveSweepList(device);
    l->point[0].delay = sweep_getLimits()->automaticDelay;
    l->delayCount = 1;
    l->delayAuto = 1;
    return 0;
}
int disableListDelayTimeAuto(Device *device) {
    sweep_getActiveSweepList(device)->delayAuto = 0;
    return 0;
}
int isListDelayTimeAuto(Device *device) {
    return sweep_getActiveSweepList(device)->delayAuto ? 1 : 0;
}

// ---- Count, direction, mode ---------------------------------------------------------------

int setListCount(Device *device, uint32_t count) {
    sweep_getActiveSweepList(device)->count = count;
    return sweep_isListPlaying(device) ? FS_FPGA_IF_setSweepCount(count) : 0;
}
uint32_t getListCount(Device *device) {
    return sweep_getActiveSweepList(device)->count;
}

template <uint32_t Direction>
int setListDirection(Device *device) {
    SweepList *l = sweep_getActiveSweepList(device);
    l->direction = Direction;
    if (!l->followsSweepDirection) storeShared(l->activeDirection, Direction);
    return 0;
}
template <uint32_t Direction>
int isListDirection(Device *device) {
    return sweep_getActiveSweepList(device)->direction == Direction ? 1 : 0;
}

int restartIfPlaying(Device *device) {
    if (!sweep_isListPlaying(device)) return 0;
    return restartList ? restartList(device) : 0;
}

int setListModeManual(Device *device) {
    SweepList *l = sweep_getActiveSweepList(device);
    if (l->mode == SWEEP_LIST_MODE_MANUAL) return 0;
    l->mode = SWEEP_LIST_MODE_MANUAL;
    if (sweep_isListPlaying(device)) {
        printd("setListModeManual(): sweep is active, restart\n");
        return restartIfPlaying(device);
    }
    printd("setListModeManual(): sweep is not active, preset\n");
    return 0;
}
int setListModeAuto(Device *device) {
    sweep_getActiveSweepList(device)->mode = SWEEP_LIST_MODE_AUTO;
    return restartIfPlaying(device);
}
template <uint32_t Mode>
int isListMode(Device *device) {
    return sweep_getActiveSweepList(device)->mode == Mode ? 1 : 0;
}

// Points to choose from: those in play while the list plays, else the columns' largest.
uint32_t manualPoints(Device *device, const SweepList *l) {
    if (sweep_isListPlaying(device) && l->points > 0) return std::min(l->points, capacityOf(l));
    return sweep_getListPointCount(l);
}

int setListManualPoint(Device *device, uint32_t n) {
    SweepList *l = sweep_getActiveSweepList(device);
    uint32_t points = manualPoints(device, l);
    if (points == 0) return KR_E_SETTINGS_CONFLICT;
    storeShared(l->manualPoint, std::clamp(n, 1u, points));
    if (l->mode == SWEEP_LIST_MODE_MANUAL && sweep_isListPlaying(device))
        return sweep_list_manual(device);
    return 0;
}
int setListManualUp(Device *device) {
    const SweepList *l = sweep_getActiveSweepList(device);
    return setListManualPoint(device, std::min(l->manualPoint + 1, manualPoints(device, l)));
}
int setListManualDown(Device *device) {
    const SweepList *l = sweep_getActiveSweepList(device);
    return setListManualPoint(device, l->manualPoint > 1 ? l->manualPoint - 1 : 1);
}
uint32_t getListManualPoint(Device *device) {
    return sweep_getActiveSweepList(device)->manualPoint;
}
uint32_t getListManualPointMin(Device *) {
    return 1;
}
uint32_t getListManualPointMax(Device *device) {
    return std::max(manualPoints(device, sweep_getActiveSweepList(device)), 1u);
}

// ---- File slots ---------------------------------------------------------------------------

int storeList(Device *device, const char *name) {
    return sweep_storeList(sweep_getActiveSweepList(device), name);
}
int loadList(Device *device, const char *name) {
    return sweep_loadList(device, name);
}
int verifyList(Device *, const char *name) {
    return sweep_verifyList(name, nullptr);
}
int deleteList(Device *, const char *name) {
    return sweep_deleteList(name);
}

// The points of a stored list; "0" when the file does not verify.
int peekList(Device *, const char *name, char *out, int32_t size) {
    char firmware[KR_PATH_MAX], file[KR_PATH_MAX];
    int r = resolveName(name, firmware, sizeof(firmware), file);
    if (r != 0) return r;
    uint32_t points = 0;
    if (sweep_verifyList(name, &points) != 0) points = 0;
    int n = snprintf(out, (size_t)size, "%u", (unsigned)points);
    return n < size ? n : KR_E_TOO_MUCH_DATA;
}

int isRamList(Device *, const char *path) {
    return sweep_isRamList(path);
}

// The firmware path: block transfers resolve it themselves.
const char *getListAbsolutePath(Device *, const char *name) {
    static char firmware[KR_PATH_MAX];
    return sweep_getAbsoluteListPath(name, firmware, sizeof(firmware)) == 0 ? firmware : nullptr;
}

const char *getLoadedListName(Device *) {
    return loadedName;
}

// ---- Browsing -----------------------------------------------------------------------------

const char *getCurrentListName(Device *) {
    return currentName;
}

int setCurrentListName(Device *, const char *name) {
    if (!name || strnlen(name, SWEEP_LIST_NAME_MAX + 1) > (size_t)SWEEP_LIST_NAME_MAX)
        return KR_E_EXECUTION_ERROR;
    setCurrent(name);
    return 0;
}

enum Browse { BROWSE_FIRST, BROWSE_LAST, BROWSE_NEXT, BROWSE_PREV };

// Moves the current name through the stored lists. Without a further file, or when the
// current name is not among them, it stays; only "first" empties it when none is stored.
template <Browse which>
const char *browse(Device *) {
    using Name = char[SWEEP_LIST_NAME_MAX + 1];
    Name first = "", last = "", next = "", prev = "", before = "";
    bool passed = false;
    // Names reach here checked (at most SWEEP_LIST_NAME_MAX characters).
    auto copy = [](Name &to, const char *from) {
        snprintf(to, sizeof(to), "%.*s", (int)sizeof(to) - 1, from);
    };
    bool listed = forEachStoredList([&](const char *name, const char *) {
        if (!*first) copy(first, name);
        copy(last, name);
        if (passed && !*next) copy(next, name);
        if (!passed && strcmp(name, currentName) == 0) {
            passed = true;
            copy(prev, before);
        }
        copy(before, name);
        return true;
    });
    const char *pick = which == BROWSE_FIRST  ? first
                       : which == BROWSE_LAST ? last
                       : which == BROWSE_NEXT ? next
                                              : prev;
    if (which == BROWSE_FIRST ? listed : *pick != 0) setCurrent(pick);
    return currentName;
}

int removeAll() {
    int r = 0;
    krstuffWriteKr();
    forEachStoredList([&](const char *, const char *file) {
        if (unlink(file) != 0) r = KR_E_EXECUTION_ERROR;
        return true;
    });
    krstuffProtectKr();
    return r;
}

}  // namespace

// ---- Record -------------------------------------------------------------------------------

SweepList *sweep_getActiveSweepList(Device *) {
    return active;
}

void sweep_clearList(SweepList *l) {
    memset(l, 0, offsetof(SweepList, point));
    l->capacity = SWEEP_LIST_CAPACITY;
    l->manualPoint = 1;
    l->mode = SWEEP_LIST_MODE_AUTO;
    l->direction = l->activeDirection = SWEEP_DIRECTION_UP;
    l->delayAuto = 0;
}

void sweep_demoList(SweepList *l) {
    for (uint32_t i = 0; i < 4; i++) {
        SweepListPoint &p = l->point[i];
        p.frequency = KrFreq{(int64_t)(i + 1) * 10000000, 0};
        p.power = 6.0f - 2.0f * (float)i;
        p.phase = (i + 1) * M_PI / 4;
        p.dwell = 10e-3 * (1 << i);
        p.delay = 8e-3 * (1 << i);
    }
    l->frequencyCount = l->powerCount = l->phaseCount = l->dwellCount = l->delayCount = 4;
}

uint32_t sweep_getListPointCount(const SweepList *l) {
    uint32_t n = std::max({l->frequencyCount, l->powerCount, l->dwellCount, l->delayCount});
    return usesPhase() ? std::max(n, l->phaseCount) : n;
}

// ---- Checks and preparation ---------------------------------------------------------------

namespace {

uint32_t largestQuantityCount(const SweepList *l, uint32_t q) {
    uint32_t n = 0;
    if (q & SWEEP_LIST_FREQUENCY) n = std::max(n, l->frequencyCount);
    if (q & SWEEP_LIST_POWER) n = std::max(n, l->powerCount);
    if (q & SWEEP_LIST_PHASE) n = std::max(n, l->phaseCount);
    return n;
}

}  // namespace

int sweep_checkList(const SweepList *l, uint32_t q) {
    uint32_t n = largestQuantityCount(l, q);
    if (n == 0) return KR_E_LISTS_NOT_SAME_LENGTH;
    auto fits = [n](uint32_t count) { return count <= 1 || count == n; };
    bool ok = (!(q & SWEEP_LIST_FREQUENCY) || fits(l->frequencyCount)) &&
              (!(q & SWEEP_LIST_POWER) || fits(l->powerCount)) &&
              (!(q & SWEEP_LIST_PHASE) || fits(l->phaseCount)) && fits(l->dwellCount) &&
              fits(l->delayCount);
    return ok ? 0 : KR_E_LISTS_NOT_SAME_LENGTH;
}

void sweep_prepareList(SweepList *l, uint32_t q) {
    bool single = q == SWEEP_LIST_FREQUENCY || q == SWEEP_LIST_POWER || q == SWEEP_LIST_PHASE;
    auto use = [&](uint32_t bit, uint32_t count) {
        if (!(q & bit)) return SWEEP_LIST_USE_NONE;
        if (single || count > 1) return SWEEP_LIST_USE_PER_POINT;
        return count == 1 ? SWEEP_LIST_USE_SINGLE : SWEEP_LIST_USE_NONE;
    };
    l->frequencyUse = use(SWEEP_LIST_FREQUENCY, l->frequencyCount);
    l->powerUse = use(SWEEP_LIST_POWER, l->powerCount);
    l->phaseUse = use(SWEEP_LIST_PHASE, l->phaseCount);
    l->dwellUse = sweep_findListTimingSource(l->dwellCount);
    l->delayUse = sweep_findListTimingSource(l->delayCount);
    l->points = std::min(largestQuantityCount(l, q), capacityOf(l));
}

uint32_t sweep_listQuantities(uint32_t frequencyMode, uint32_t powerMode, uint32_t phaseMode) {
    return (frequencyMode == SWEEP_MODE_LIST ? SWEEP_LIST_FREQUENCY : 0) |
           (powerMode == SWEEP_MODE_LIST ? SWEEP_LIST_POWER : 0) |
           (phaseMode == SWEEP_MODE_LIST ? SWEEP_LIST_PHASE : 0);
}

uint32_t sweep_findListTimingSource(uint32_t entries) {
    return entries > 1    ? SWEEP_LIST_USE_PER_POINT
           : entries == 1 ? SWEEP_LIST_USE_SINGLE
                          : SWEEP_LIST_USE_SWEEP;
}

// ---- Player -------------------------------------------------------------------------------

namespace {

template <class T>
bool pointValue(const SweepList *l, uint32_t use, uint32_t point, T SweepListPoint::*field,
                T *out) {
    if (use == SWEEP_LIST_USE_PER_POINT) {
        *out = l->point[std::min(point, SWEEP_LIST_CAPACITY - 1)].*field;
        return true;
    }
    if (use == SWEEP_LIST_USE_SINGLE) {
        *out = l->point[0].*field;
        return true;
    }
    return false;
}

KrTime timing(const SweepList *l, uint32_t use, uint32_t point, KrTime SweepListPoint::*field,
              KrTime fallback) {
    KrTime t = fallback;
    pointValue(l, use, point, field, &t);
    return t;
}

}  // namespace

uint32_t sweep_getListPointIndex(const SweepList *l, uint32_t index) {
    uint32_t n = l->points > 0 ? std::min(l->points, SWEEP_LIST_CAPACITY) : 1;
    if (index >= n) index = n - 1;
    uint32_t direction = loadShared(l->activeDirection);
    if (direction == SWEEP_DIRECTION_DOWN) return n - 1 - index;
    if (direction == SWEEP_DIRECTION_RANDOM)
        return (uint32_t)krstuff_getRandomNumber(0, (int)(n - 1));
    return index;
}

bool sweep_getListPointFrequency(const SweepList *l, uint32_t point, KrFreq *out) {
    return pointValue(l, l->frequencyUse, point, &SweepListPoint::frequency, out);
}
bool sweep_getListPointPower(const SweepList *l, uint32_t point, KrPow *out) {
    return pointValue(l, l->powerUse, point, &SweepListPoint::power, out);
}
bool sweep_getListPointPhase(const SweepList *l, uint32_t point, KrAngle *out) {
    return pointValue(l, l->phaseUse, point, &SweepListPoint::phase, out);
}

KrTime sweep_getListDwellTime(const SweepList *l, const Sweep *s, uint32_t point) {
    return timing(l, l->dwellUse, point, &SweepListPoint::dwell, s ? s->dwell : 0);
}
KrTime sweep_getListDelayTime(const SweepList *l, const Sweep *s, uint32_t point) {
    return timing(l, l->delayUse, point, &SweepListPoint::delay, s ? s->delay : 0);
}

bool sweep_isVariableTimingList(const SweepList *l) {
    return l->dwellUse == SWEEP_LIST_USE_PER_POINT || l->delayUse == SWEEP_LIST_USE_PER_POINT;
}

int sweep_list_manual(Device *device) {
    const SweepList *l = sweep_getActiveSweepList(device);
    Sweep *s = Device_getSweepPtr(device);
    uint32_t n = std::max(std::min(l->points, SWEEP_LIST_CAPACITY), 1u);
    uint32_t i = std::min(l->manualPoint > 0 ? l->manualPoint - 1 : 0, n - 1);
    const SweepListPoint &p = l->point[i];
    Device_sweepDefinePreset(device);
    if (l->frequencyUse == SWEEP_LIST_USE_PER_POINT) Device_setFrequency(device, &p.frequency);
    if (l->powerUse == SWEEP_LIST_USE_PER_POINT) Device_setPower(device, &p.power);
    if (s && s->presetActive) Device_setAlcControlValue(device, p.alcControlValue);
    int r = Device_sweepApplyPreset(device);
    if (s) s->triggerable = 1;
    return r;
}

void sweep_setListPlaying(uint32_t channel, bool playing) {
    uint32_t bit = 1u << (channel & 31);
    if (playing)
        playingChannels.fetch_or(bit, std::memory_order_acq_rel);
    else
        playingChannels.fetch_and(~bit, std::memory_order_acq_rel);
}

bool sweep_isListPlaying(Device *device) {
    if (playingChannels.load(std::memory_order_acquire) != 0) return true;
    const Sweep *s = Device_getSweepPtr(device);
    return s && std::atomic_ref<uint8_t>(const_cast<uint8_t &>(s->running)).load() &&
           (s->frequencyMode == SWEEP_MODE_LIST || s->powerMode == SWEEP_MODE_LIST);
}

void sweep_setListRestart(int (*restart)(Device *device)) {
    restartList = restart;
}

// ---- Files --------------------------------------------------------------------------------

int sweep_getAbsoluteListPath(const char *name, char *out, size_t size) {
    char file[KR_PATH_MAX];
    return resolveName(name, out, size, file);
}

int sweep_isRamList(const char *path) {
    return path && strcmp(path, SWEEP_LIST_RAM) == 0 ? 1 : 0;
}

int sweep_storeList(const SweepList *l, const char *name) {
    char firmware[KR_PATH_MAX], file[KR_PATH_MAX];
    int r = resolveName(name, firmware, sizeof(firmware), file);
    if (r != 0) return r;
    printd("sweep_storeList(): list %p\n", (const void *)l);
    bool flash = krstuffIsKrFile(firmware) != 0;
    if (flash) {
        krstuffWriteKr();
        mkdir(KrPath(SWEEP_LIST_DIR), 0777);
    }
    FILE *f = krstuffOpenReplacement(file);
    if (!f) {
        printd("sweep_storeList(): cannot open %s\n", file);
        if (flash) krstuffProtectKr();
        return KR_E_EXECUTION_ERROR;
    }
    bool phase = usesPhase();
    uint32_t rows = std::min(sweep_getListPointCount(l), capacityOf(l));
    char line[LINE_SIZE];
    bool ok = true;
    for (uint32_t i = 0; ok && i < rows; i++) {
        ok = formatRow(l, i, phase, line);
        if (ok) ok = fputs(line, f) >= 0;
    }
    if (ok) {
        r = krstuffCommitReplacement(f, file);
    } else {
        krstuffDiscardReplacement(f, file);
        r = KR_E_EXECUTION_ERROR;
    }
    if (flash) krstuffProtectKr();
    return r;
}

int sweep_loadList(Device *device, const char *name) {
    if (!name || !*name) return 0;
    if (sweep_isListPlaying(device)) return KR_E_SETTINGS_CONFLICT;
    char firmware[KR_PATH_MAX], file[KR_PATH_MAX];
    int r = resolveName(name, firmware, sizeof(firmware), file);
    if (r != 0) return r;
    // Count, direction, mode and manual point belong to the list in use, not to the file.
    SweepList *into = spare();
    memcpy(into, active, offsetof(SweepList, point));
    into->delayAuto = 0;
    uint32_t counts[COLUMNS];
    r = readList(file, into, device, counts);
    if (r != 0) return r;
    active = into;
    snprintf(loadedName, sizeof(loadedName), "%s", name);
    return 0;
}

int sweep_verifyList(const char *name, uint32_t *points) {
    char firmware[KR_PATH_MAX], file[KR_PATH_MAX];
    int r = resolveName(name, firmware, sizeof(firmware), file);
    uint32_t counts[COLUMNS] = {};
    if (r == 0) r = readList(file, nullptr, nullptr, counts);
    if (points) *points = r == 0 ? std::max(counts[COL_FREQUENCY], counts[COL_POWER]) : 0;
    return r;
}

int sweep_deleteList(const char *name) {
    if (!name || strcmp(name, "*") == 0) {
        printd("sweep_deleteListAll(): directory <%s>\n", SWEEP_LIST_DIR);
        return removeAll();
    }
    char firmware[KR_PATH_MAX], file[KR_PATH_MAX];
    int r = resolveName(name, firmware, sizeof(firmware), file);
    if (r != 0) return r;
    printd("sweep_deleteList(): file <%s>\n", file);
    bool flash = krstuffIsKrFile(firmware) != 0;
    if (flash) krstuffWriteKr();
    r = unlink(file) == 0 ? 0 : KR_E_EXECUTION_ERROR;
    if (flash) krstuffProtectKr();
    return r;
}

// ---- Registration -------------------------------------------------------------------------

void SweepList_registerDeviceFunctions() {
    active = &records[0];
    sweep_clearList(active);
    sweep_demoList(active);
    loadedName[0] = 0;
    playingChannels.store(0, std::memory_order_release);

    Device_setListFrequency =
        setColumn<KrFreq, &SweepListPoint::frequency, &SweepList::frequencyCount, clampFrequency>;
    Device_setListPower =
        setColumn<KrPow, &SweepListPoint::power, &SweepList::powerCount, clampPower>;
    Device_setListPhase = setColumn<KrAngle, &SweepListPoint::phase, &SweepList::phaseCount>;
    Device_setListDwellTime = setColumn<KrTime, &SweepListPoint::dwell, &SweepList::dwellCount>;
    Device_setListDelayTime = setListDelayTime;
    Device_getListFrequency =
        getColumn<KrFreq, &SweepListPoint::frequency, &SweepList::frequencyCount>;
    Device_getListPower = getColumn<KrPow, &SweepListPoint::power, &SweepList::powerCount>;
    Device_getListPhase = getColumn<KrAngle, &SweepListPoint::phase, &SweepList::phaseCount>;
    Device_getListDwellTime = getColumn<KrTime, &SweepListPoint::dwell, &SweepList::dwellCount>;
    Device_getListDelayTime = getColumn<KrTime, &SweepListPoint::delay, &SweepList::delayCount>;
    Device_getFrequencyListPoints = getCount<&SweepList::frequencyCount>;
    Device_getPowerListPoints = getCount<&SweepList::powerCount>;
    Device_getPhaseListPoints = getCount<&SweepList::phaseCount>;
    Device_getDwellListPoints = getCount<&SweepList::dwellCount>;
    Device_getDelayListPoints = getCount<&SweepList::delayCount>;
    Device_getListPoints = getListPoints;
    Device_getListDwellTimeMin = getLimit<&SweepTimeLimits::dwellMin>;
    Device_getListDwellTimeMax = getLimit<&SweepTimeLimits::dwellMax>;
    Device_getListDelayTimeMin = getLimit<&SweepTimeLimits::delayMin>;
    Device_getListDelayTimeMax = getLimit<&SweepTimeLimits::delayMax>;
    Device_enableListDelayTimeAuto = enableListDelayTimeAuto;
    Device_disableListDelayTimeAuto = disableListDelayTimeAuto;
    Device_isListDelayTimeAuto = isListDelayTimeAuto;

    Device_setListCount = setListCount;
    Device_getListCount = getListCount;
    Device_setListDirectionUp = setListDirection<SWEEP_DIRECTION_UP>;
    Device_setListDirectionDown = setListDirection<SWEEP_DIRECTION_DOWN>;
    Device_setListDirectionRandom = setListDirection<SWEEP_DIRECTION_RANDOM>;
    Device_isListDirectionUp = isListDirection<SWEEP_DIRECTION_UP>;
    Device_isListDirectionDown = isListDirection<SWEEP_DIRECTION_DOWN>;
    Device_isListDirectionRandom = isListDirection<SWEEP_DIRECTION_RANDOM>;
    Device_setListModeManual = setListModeManual;
    Device_setListModeAuto = setListModeAuto;
    Device_isListModeManual = isListMode<SWEEP_LIST_MODE_MANUAL>;
    Device_isListModeAuto = isListMode<SWEEP_LIST_MODE_AUTO>;
    Device_setListManualPoint = setListManualPoint;
    Device_setListManualUp = setListManualUp;
    Device_setListManualDown = setListManualDown;
    Device_getListManualPoint = getListManualPoint;
    Device_getListManualPointMin = getListManualPointMin;
    Device_getListManualPointMax = getListManualPointMax;

    Device_storeList = storeList;
    Device_loadList = loadList;
    Device_verifyList = verifyList;
    Device_peekList = peekList;
    Device_deleteList = deleteList;
    Device_isRamList = isRamList;
    Device_getListAbsolutePath = getListAbsolutePath;
    Device_getLoadedListName = getLoadedListName;
    Device_getCurrentListName = getCurrentListName;
    Device_setCurrentListName = setCurrentListName;
    Device_getFirstListName = browse<BROWSE_FIRST>;
    Device_getLastListName = browse<BROWSE_LAST>;
    Device_getNextListName = browse<BROWSE_NEXT>;
    Device_getPrevListName = browse<BROWSE_PREV>;
}
