#include "level/flatness.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/krcsv.h"
#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "device/device.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_unit.h"

namespace {

// One table per device; this build has one device. Static: 51 KB must not land on the
// stack or be allocated per command.
Flatness theTable;
// Peek parses a stored table into this one, leaving the active table alone.
Flatness peekTable;

Flatness *getFlatnessPtr(Device *) {
    return &theTable;
}

int flatness_init(Device *device, Flatness **table) {
    if (!DEVICE_ISREG(getFlatnessPtr)) {
        printd("flatness_init(): Error: Device_getFlatnessPtr not registered\n");
        return KR_E_UNDEFINED_HEADER;
    }
    *table = Device_getFlatnessPtr(device);
    if (!*table) {
        printd("flatness_init(): Error: Device_getFlatnessPtr() returns a NULL pointer\n");
        return KR_E_UNDEFINED_HEADER;
    }
    return 0;
}

// The current power is set again so that the changed correction reaches the output.
int reapply(Device *device) {
    KrPow p = *Device_getPower(device);
    return Device_setPower(device, &p);
}

void clearPoints(Flatness *t) {
    t->count = 0;
    t->lower = t->upper = 0;
    t->frequency = 0;
}

void preset(Flatness *t) {
    clearPoints(t);
    t->mode = FLATNESS_MODE_INTERPOLATION;
}

// The first index whose frequency is not below f (count when there is none).
int32_t firstNotBelow(const Flatness *t, int64_t f) {
    const FlatnessPoint *end = t->points + t->count;
    auto below = [](const FlatnessPoint &p, int64_t v) { return p.frequency < v; };
    return (int32_t)(std::lower_bound(t->points, end, f, below) - t->points);
}

int insertPoint(Flatness *t, const KrFreq *frequency, KrPow correction) {
    int64_t f = frequency->integer;
    if (f < 0) return KR_E_DATA_OUT_OF_RANGE;
    int32_t i = firstNotBelow(t, f);
    if (i < t->count && t->points[i].frequency == f) {
        t->points[i].correction = correction;
        return 0;
    }
    if (t->count >= FLATNESS_MAX_POINTS) return KR_E_TOO_MUCH_DATA;
    memmove(&t->points[i + 1], &t->points[i], (size_t)(t->count - i) * sizeof(FlatnessPoint));
    t->points[i] = FlatnessPoint{f, correction};
    t->count++;
    return 0;
}

// The resolved file of a table; only plain names.
int tablePath(const char *name, char *out, size_t size) {
    if (!krpath_isPlainName(name, FLATNESS_NAME_MAX)) return KR_E_EXECUTION_ERROR;
    return krpath_joinInside(FLATNESS_DIR, name, out, size) == 0 ? 0 : KR_E_EXECUTION_ERROR;
}

// The table and the resolved file of a client's table name.
int namedTable(Device *device, const char *name, Flatness **t, char (&path)[KR_PATH_MAX]) {
    int r = flatness_init(device, t);
    return r != 0 ? r : tablePath(name, path, sizeof(path));
}

int writeTable(const Flatness *t, const char *path) {
    FILE *f = krstuffOpenReplacement(path);
    if (!f) {
        printd("flatness_store(): cannot open %s\n", path);
        return KR_E_EXECUTION_ERROR;
    }
    for (int32_t i = 0; i < t->count; i++) {
        char freq[64], pow[64];
        KrFreq fr{t->points[i].frequency, 0};
        if (scpi_kr_freq2str(&fr, freq, sizeof(freq), nullptr) != 0 ||
            scpi_kr_pow2strf(&t->points[i].correction, SCPI_FORMAT_DEVICE_UNITS, pow, sizeof(pow),
                             nullptr) != 0) {
            krstuffDiscardReplacement(f, path);
            return KR_E_EXECUTION_ERROR;
        }
        fprintf(f, "%s;%s\n", freq, pow);
    }
    fputc('\n', f);
    return krstuffCommitReplacement(f, path);
}

// Reads the file's points into t (cleared first; the mode stays). 0 or the first error.
int readTable(Flatness *t, const char *path) {
    Krcsv csv;
    clearPoints(t);
    if (krcsv_open(&csv, path, ';') != 0) return KR_E_EXECUTION_ERROR;
    const char *cell;
    int32_t col, row;
    KrFreq f{};
    bool haveFrequency = false;
    int r = 0;
    while (r == 0 && krcsv_getCellAndItsIndex(&csv, &cell, &col, &row)) {
        if (col == 0) {
            r = haveFrequency ? KR_E_MISSING_PARAMETER : scpi_str2kr_freq(cell, &f);
            haveFrequency = true;
        } else if (col == 1) {
            KrPow c = 0;
            // Corrections are relative: a bare number is dB, whatever power unit is selected.
            r = scpi_str2kr_pow(cell, &c, SCPI_SUFFIX_BASE_UNIT);
            if (r == 0) r = insertPoint(t, &f, c);
            haveFrequency = false;
        }
        if (r != 0) printd("flatness_load(): error %d in row %d, column %d\n", r, row, col);
    }
    if (r == 0 && haveFrequency) r = KR_E_MISSING_PARAMETER;
    if (r == 0 && ferror(csv.file)) r = KR_E_EXECUTION_ERROR;
    krcsv_close(&csv);
    return r;
}

int removeAll() {
    char dir[KR_PATH_MAX];
    if (krpath_resolve(FLATNESS_DIR, dir, sizeof(dir)) != 0) return KR_E_EXECUTION_ERROR;
    DIR *d = opendir(dir);
    if (!d) return 0;  // nothing stored yet
    int r = 0;
    krstuffWriteKr();
    while (const dirent *e = readdir(d)) {
        char path[KR_PATH_MAX];
        struct stat st;
        if (tablePath(e->d_name, path, sizeof(path)) != 0) continue;
        if (stat(path, &st) == 0 && S_ISREG(st.st_mode) && remove(path) != 0)
            r = KR_E_EXECUTION_ERROR;
    }
    krstuffProtectKr();
    closedir(d);
    return r;
}

// ---- Slots --------------------------------------------------------------------------------

int isFlatnessEnabled(Device *device) {
    Flatness *t;
    int r = flatness_init(device, &t);
    return r != 0 ? r : t->enabled;
}

int setEnabled(Device *device, int32_t on) {
    Flatness *t;
    int r = flatness_init(device, &t);
    if (r != 0) return r;
    t->enabled = on;
    return reapply(device);
}

int enableFlatness(Device *device) {
    return setEnabled(device, 1);
}

int disableFlatness(Device *device) {
    return setEnabled(device, 0);
}

int flatnessPreset(Device *device) {
    Flatness *t;
    int r = flatness_init(device, &t);
    if (r != 0) return r;
    preset(t);
    return reapply(device);
}

int getFlatnessPoint(Device *device, int32_t index, KrFreq *frequency, KrPow *correction) {
    Flatness *t;
    int r = flatness_init(device, &t);
    if (r != 0) return r;
    if (t->count == 0) return KR_E_DATA_OUT_OF_RANGE;
    index = index < 0 ? 0 : index >= t->count ? t->count - 1 : index;
    *frequency = KrFreq{t->points[index].frequency, 0};
    *correction = t->points[index].correction;
    return 0;
}

int addFlatnessPoint(Device *device, const KrFreq *frequency, const KrPow *correction) {
    Flatness *t;
    int r = flatness_init(device, &t);
    if (r == 0) r = insertPoint(t, frequency, *correction);
    return r != 0 ? r : reapply(device);
}

int flatnessStore(Device *device, const char *name) {
    Flatness *t;
    char path[KR_PATH_MAX];
    int r = namedTable(device, name, &t, path);
    if (r != 0) return r;
    krstuffWriteKr();
    mkdir(KrPath(FLATNESS_DIR), 0777);
    r = writeTable(t, path);
    krstuffProtectKr();
    return r;
}

int flatnessDelete(Device *device, const char *name) {
    Flatness *t;
    char path[KR_PATH_MAX];
    if (!name) {  // DELete ALL
        int r = flatness_init(device, &t);
        return r != 0 ? r : removeAll();
    }
    int r = namedTable(device, name, &t, path);
    if (r != 0) return r;
    krstuffWriteKr();
    r = remove(path) == 0 ? 0 : KR_E_EXECUTION_ERROR;
    krstuffProtectKr();
    return r;
}

int flatnessLoad(Device *device, const char *name) {
    Flatness *t;
    char path[KR_PATH_MAX];
    int r = namedTable(device, name, &t, path);
    if (r != 0) return r;
    r = readTable(t, path);
    // A table read in part would correct some frequencies and not others.
    if (r != 0) preset(t);
    int applied = reapply(device);
    return r != 0 ? r : applied;
}

// "<points>,<first frequency>,<last frequency>" of a stored table, checked as a load would.
int flatnessPeek(Device *device, const char *name, char *out, int32_t size) {
    Flatness *t;
    char path[KR_PATH_MAX];
    int r = namedTable(device, name, &t, path);
    if (r == 0) r = readTable(&peekTable, path);
    if (r != 0) return r;
    const Flatness *p = &peekTable;
    KrFreq first{p->count ? p->points[0].frequency : 0, 0};
    KrFreq last{p->count ? p->points[p->count - 1].frequency : 0, 0};
    char a[64], b[64];
    scpi_kr_freq2str(&first, a, sizeof(a), nullptr);
    scpi_kr_freq2str(&last, b, sizeof(b), nullptr);
    int n = snprintf(out, (size_t)size, "%d,%s,%s", (int)p->count, a, b);
    return n < size ? n : KR_E_TOO_MUCH_DATA;
}

uint32_t getFlatnessPoints(Device *device) {
    Flatness *t;
    return flatness_init(device, &t) == 0 ? (uint32_t)t->count : 0;
}

// The mode slots, one instance per FlatnessMode.
template <int32_t mode>
int setMode(Device *device) {
    Flatness *t;
    int r = flatness_init(device, &t);
    if (r != 0) return r;
    t->mode = mode;
    return reapply(device);
}

template <int32_t mode>
int isMode(Device *device) {
    Flatness *t;
    int r = flatness_init(device, &t);
    return r != 0 ? r : t->mode == mode;
}

// The firmware path of a table: block transfers resolve it themselves.
const char *getFlatnessAbsolutePath(Device *, const char *name) {
    static char file[KR_PATH_MAX];
    char resolved[KR_PATH_MAX];
    if (tablePath(name, resolved, sizeof(resolved)) != 0) return nullptr;
    snprintf(file, sizeof(file), "%s/%s", FLATNESS_DIR, name);
    return file;
}

}  // namespace

float flatness_findAndGet(Flatness *t, int64_t frequency) {
    t->frequency = frequency;
    if (t->count <= 0) {
        t->lower = t->upper = 0;
        return 0.0f;
    }
    // The last point at or below the frequency; below the table, the first point.
    int32_t i = firstNotBelow(t, frequency);
    int32_t lo = i < t->count && t->points[i].frequency == frequency ? i : i > 0 ? i - 1 : 0;
    int32_t hi = t->points[lo].frequency < frequency && lo + 1 < t->count ? lo + 1 : lo;
    t->lower = lo;
    t->upper = hi;
    const FlatnessPoint &a = t->points[lo], &b = t->points[hi];
    if (t->mode == FLATNESS_MODE_LOWER || lo == hi) return a.correction;
    if (t->mode == FLATNESS_MODE_HIGHER) return b.correction;
    double span = (double)(b.frequency - a.frequency);
    double c = ((double)a.correction * (double)(b.frequency - frequency) +
                (double)b.correction * (double)(frequency - a.frequency)) /
               span;
    return (float)c;
}

void flatness_registerDeviceFunctions() {
    preset(&theTable);
    theTable.enabled = 0;
    Device_getFlatnessPtr = getFlatnessPtr;
    Device_isFlatnessEnabled = isFlatnessEnabled;
    Device_enableFlatness = enableFlatness;
    Device_disableFlatness = disableFlatness;
    Device_flatnessPreset = flatnessPreset;
    Device_getFlatnessPoint = getFlatnessPoint;
    Device_addFlatnessPoint = addFlatnessPoint;
    Device_flatnessStore = flatnessStore;
    Device_flatnessDelete = flatnessDelete;
    Device_flatnessLoad = flatnessLoad;
    Device_flatnessPeek = flatnessPeek;
    Device_getFlatnessPoints = getFlatnessPoints;
    Device_setFlatnessModeLower = setMode<FLATNESS_MODE_LOWER>;
    Device_isFlatnessModeLower = isMode<FLATNESS_MODE_LOWER>;
    Device_setFlatnessModeHigher = setMode<FLATNESS_MODE_HIGHER>;
    Device_isFlatnessModeHigher = isMode<FLATNESS_MODE_HIGHER>;
    Device_setFlatnessModeInterpolation = setMode<FLATNESS_MODE_INTERPOLATION>;
    Device_isFlatnessModeInterpolation = isMode<FLATNESS_MODE_INTERPOLATION>;
    Device_getFlatnessAbsolutePath = getFlatnessAbsolutePath;
}
