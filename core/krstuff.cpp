#include "core/krstuff.h"

#include <errno.h>
#include <fcntl.h>
#include <libgen.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "core/krpath.h"
#include "core/printd.h"
#include "device/device.h"
#include "rtnative.h"
#include "scpi/scpi_errorcodes.h"

// The I/O program stream's delay step. Weak so that tools linking the core without the
// hardware layer still link; the firmware always carries the hardware layer.
int krgio_sleepUs(uint32_t us) __attribute__((weak));

int sused_max = 0;
KrDeferredCall deferredCalls[2];

namespace {

// ---------------------------------------------------------------------------------------
// Shell runner

constexpr size_t commandMax = 510;
constexpr size_t childStackBytes = 4800;

char commandBuffer[512];
alignas(16) unsigned char childStack[childStackBytes];

// Environment of the child inside a simulation root: PATH reaches only the root's own
// bin directories, so every tool a command names is a stand-in or a safe tool there.
char childPath[5 + 4 * KR_PATH_MAX + 4];
char childRoot[13 + KR_PATH_MAX];
char *childEnv[3];

// Callers are the main loop, start-up and the socket server's privileged-port fallback;
// the lock keeps two of them from sharing the static buffers.
std::mutex shellLock;

void prepareChildEnvironment() {
    const char *root = krpath_root();
    if (!root[0]) {
        childEnv[0] = nullptr;
        return;
    }
    char dirs[4][KR_PATH_MAX];
    const char *names[4] = {"/bin", "/sbin", "/usr/bin", "/usr/sbin"};
    for (int i = 0; i < 4; i++)
        krpath_resolve(names[i], dirs[i], sizeof(dirs[i]));
    snprintf(childPath, sizeof(childPath), "PATH=%s:%s:%s:%s", dirs[0], dirs[1], dirs[2], dirs[3]);
    snprintf(childRoot, sizeof(childRoot), "KORVANE_ROOT=%s", root);
    childEnv[0] = childPath;
    childEnv[1] = childRoot;
    childEnv[2] = nullptr;
}

// Runs in the parent's address space until exec: touch nothing but the prepared buffers.
int shellChild(void *) {
    if (childEnv[0])
        execle("/bin/sh", "sh", "-c", commandBuffer, (char *)nullptr, childEnv);
    else
        execl("/bin/sh", "sh", "-c", commandBuffer, (char *)nullptr);
    _exit(127);
}

pid_t startShellChild() {
    // Shares the address space and suspends the caller until the child has called exec:
    // no page of the locked process is copied or touched besides the static stack.
    return clone(shellChild, childStack + childStackBytes, CLONE_VM | CLONE_VFORK | SIGCHLD,
                 nullptr);
}

void noteStackUse() {
    size_t untouched = 0;
    while (untouched < childStackBytes && childStack[untouched] == 0xAA)
        untouched++;
    int used = (int)(childStackBytes - untouched);
    if (used > sused_max) sused_max = used;
}

// Single-quotes a resolved path for a command line; false when it cannot be quoted.
bool quotePath(const char *path, char *out, size_t size) {
    if (strchr(path, '\'')) return false;
    int n = snprintf(out, size, "'%s'", path);
    return n > 0 && (size_t)n < size;
}

// "<prefix>'<resolved path>'<suffix>" run through the shell.
int systemWithPath(const char *prefix, const char *absPath, const char *suffix) {
    KrPath p(absPath);
    char quoted[KR_PATH_MAX + 2];
    if (!p.ok() || !quotePath(p, quoted, sizeof(quoted))) return KR_E_EXECUTION_ERROR;
    char command[commandMax + 2];
    int n = snprintf(command, sizeof(command), "%s%s%s", prefix, quoted, suffix);
    if (n < 0 || (size_t)n >= sizeof(command)) return KR_E_EXECUTION_ERROR;
    return krstuffSystem(command);
}

// ---------------------------------------------------------------------------------------
// Storage switching

int runStorageScript(const char *script, const char *banner) {
    KrPath path(script);
    int r = access(path, X_OK);
    if (r != 0) return r;
    char frame[80];
    size_t width = std::min(strlen(banner) - 1, sizeof(frame) - 1);  // without the line feed
    memset(frame, '#', width);
    frame[width] = 0;
    printd("\n%s\n%s%s\n\n", frame, banner, frame);
    char quoted[KR_PATH_MAX + 2];
    if (!quotePath(path, quoted, sizeof(quoted))) return KR_E_EXECUTION_ERROR;
    return krstuffSystem(quoted);
}

bool startsWith(const char *path, const char *prefix) {
    return path && strncmp(path, prefix, strlen(prefix)) == 0;
}

uint64_t kr_tic_time = 0;

void runAndFree(int slot) {
    KrDeferredCall call = deferredCalls[slot];
    // Freed first, so that the call may queue itself again.
    deferredCalls[slot] = {nullptr, 0, 0};
    if (call.function) call.function(call.argument);
}

// Reads one decimal number field (1-based column) from a line of whitespace-separated text.
bool readColumn(const char *line, int column, uint64_t *value) {
    const char *p = line;
    for (int c = 1;; c++) {
        while (*p == ' ' || *p == '\t')
            p++;
        if (!*p || *p == '\n') return false;
        if (c == column) {
            char *end;
            errno = 0;
            unsigned long long v = strtoull(p, &end, 10);
            if (end == p || errno) return false;
            *value = v;
            return true;
        }
        while (*p && *p != ' ' && *p != '\t' && *p != '\n')
            p++;
    }
}

bool readStatsLine(int lineNumber, int column, uint64_t *value) {
    FILE *f = fopen(KrPath("/media/ram/user_memory_stats"), "r");
    if (!f) return false;
    char line[512];
    bool ok = false;
    for (int i = 1; fgets(line, sizeof(line), f); i++) {
        if (i == lineNumber) {
            ok = readColumn(line, column, value);
            break;
        }
    }
    fclose(f);
    return ok;
}

// Compares two items of a separated list as strings of their own.
int compareItems(const char *a, size_t alen, const char *b, size_t blen) {
    int r = memcmp(a, b, std::min(alen, blen));
    if (r != 0) return r;
    return (alen > blen) - (alen < blen);
}

const char *modelName(Device *device) {
    return DEVICE_ISREG(getName) ? Device_getName(device) : "undefined";
}

constexpr const char *firmwarePackage = "/root/rivezarudorade.tar";

}  // namespace

int krstuffSystem(const char *command) {
    if (!command) return KR_E_EXECUTION_ERROR;
    if (strlen(command) > commandMax) {
        printd("krstuffSystem() error: command too long\n");
        return KR_E_EXECUTION_ERROR;
    }
    std::lock_guard<std::mutex> g(shellLock);
    memset(commandBuffer, 0xAA, sizeof(commandBuffer));
    memset(childStack, 0xAA, sizeof(childStack));
    strcpy(commandBuffer, command);
    prepareChildEnvironment();

    pid_t pid = startShellChild();
    if (pid < 0) {
        printd("krstuffSystem() error: could not start the shell (%d)\n", errno);
        return KR_E_EXECUTION_ERROR;
    }
    int status = 0;
    pid_t r;
    while ((r = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    noteStackUse();
    if (r < 0) return KR_E_EXECUTION_ERROR;
    return status;
}

FILE *krstuffOpenReplacement(const char *path) {
    std::string tmp = std::string(path) + ".tmp";
    return fopen(tmp.c_str(), "w");
}

void krstuffDiscardReplacement(FILE *file, const char *path) {
    fclose(file);
    unlink((std::string(path) + ".tmp").c_str());
}

int krstuffCommitReplacement(FILE *file, const char *path) {
    std::string tmp = std::string(path) + ".tmp";
    bool failed = fflush(file) != 0 || ferror(file) || fsync(fileno(file)) != 0;
    if (fclose(file) != 0) failed = true;
    if (failed || rename(tmp.c_str(), path) != 0) {
        unlink(tmp.c_str());
        return KR_E_EXECUTION_ERROR;
    }
    // The rename itself reaches the medium with its directory.
    std::string dir = tmp;
    int fd = open(dirname(dir.data()), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    return 0;
}

int krstuffWriteKr() {
    return runStorageScript(
        "/bin/write_kr",
        "# krstuffWriteKr(): Korvane file system is now writeable (vulnerable) #\n");
}

int krstuffProtectKr() {
    return runStorageScript(
        "/bin/protect_kr",
        "# krstuffProtectKr(): Korvane file system is now read-only (safe)     #\n");
}

int krstuffWriteRoot() {
    return runStorageScript(
        "/bin/write_root",
        "# krstuffWriteRoot(): Root file system is now writeable (vulnerable)  #\n");
}

int krstuffProtectRoot() {
    return runStorageScript(
        "/bin/protect_root",
        "# krstuffProtectRoot(): Root file system is now read-only (safe)      #\n");
}

int krstuffWriteStorage() {
    return runStorageScript(
        "/bin/write_storage",
        "# krstuffWriteStorage(): Korvane storage file system is now writeable #\n");
}

int krstuffReadStorage() {
    return runStorageScript(
        "/bin/read_storage",
        "# krstuffReadStorage(): Korvane storage file system is now readable   #\n");
}

int krstuffProtectStorage() {
    return runStorageScript(
        "/bin/protect_storage",
        "# krstuffProtectStorage(): Korvane storage file system is now unmounted #\n");
}

int krstuffIsTempFile(const char *path) {
    return startsWith(path, "/media/ram/") || startsWith(path, "/korvane/temp/");
}

int krstuffIsKrFile(const char *path) {
    return !krstuffIsTempFile(path) && startsWith(path, "/korvane/");
}

int krstuffIsStorageFile(const char *path) {
    return startsWith(path, "/storage/");
}

int krstuffIsRootFile(const char *path) {
    return path && !krstuffIsTempFile(path) && !krstuffIsKrFile(path) &&
           !krstuffIsStorageFile(path);
}

int krstuffPthreadCreate(pthread_t *thread, void *(*body)(void *), void *argument,
                         size_t stackBytes) {
#if defined(__SANITIZE_ADDRESS__)
    stackBytes *= 4;  // instrumented frames are several times larger
#endif
    pthread_attr_t attr;
    int r = pthread_attr_init(&attr);
    if (r != 0) {
        printd("krstuffPthreadCreate() error: init attr failed (%d)\n", r);
        return KR_E_EXECUTION_ERROR;
    }
    r = pthread_attr_setstacksize(&attr, stackBytes);
    if (r != 0) printd("krstuffPthreadCreate() error: set stacksize failed (%d)\n", r);
    int created = pthread_create(thread, &attr, body, argument);
    if (created != 0) printd("krstuffPthreadCreate() error: create thread failed (%d)\n", created);
    r = pthread_attr_destroy(&attr);
    if (r != 0) {
        printd("krstuffPthreadCreate() error: destroy attr failed (%d)\n", r);
        return KR_E_EXECUTION_ERROR;
    }
    return created == 0 ? 0 : KR_E_EXECUTION_ERROR;
}

uint64_t kr_abstime() {
    return rt_timer_read();
}
uint64_t kr_abstime_us() {
    return kr_abstime() / 1000;
}
uint64_t kr_abstime_ms() {
    return kr_abstime() / 1000000;
}

void kr_abstime_setnew(KrAbsTime *deadline, uint64_t us) {
    *deadline = kr_abstime() + us * 1000;
}

void kr_abstime_setmin(KrAbsTime *deadline, uint64_t us) {
    *deadline = std::max(*deadline, kr_abstime() + us * 1000);
}

void kr_abstime_wait(const KrAbsTime *deadline) {
    if (rt_task_sleep_until(*deadline) != -EPERM) return;
    // Not a real-time task: the co-kernel's clock services sleep ordinary threads too.
    rt_clock_sleep_until(*deadline);
}

void kr_abstime_waitTaskBody(const KrAbsTime *deadline) {
    // Outside a real-time task the co-kernel refuses; the ordinary wait still keeps time.
    kr_abstime_wait(deadline);
}

void krstuff_delay_us(uint64_t us) {
    KrAbsTime deadline;
    kr_abstime_setnew(&deadline, us);
    kr_abstime_wait(&deadline);
}

void krstuff_delay_us_spi(uint32_t us) {
    if (us == 0) return;
    if (krgio_sleepUs) krgio_sleepUs(us);
}

void kr_tic() {
    kr_tic_time = kr_abstime_us();
}
uint64_t kr_toc() {
    return kr_abstime_us() - kr_tic_time;
}

uint64_t kr_toc_tic() {
    uint64_t now = kr_abstime_us();
    uint64_t elapsed = now - kr_tic_time;
    kr_tic_time = now;
    return elapsed;
}

int krstuff_deferredCall(KrDeferredFunction function, uint32_t argument, uint32_t delayUs) {
    if (delayUs == 0) {
        if (function) function(argument);
        printd("krstuff_deferredCall(): executed immediate call, returning 0\n");
        return 0;
    }
    int slot = -1;
    for (int i = 0; i < 2 && slot < 0; i++) {
        KrDeferredCall &c = deferredCalls[i];
        if (!c.function) {
            printd("krstuff_deferredCall(): queuing deferred call\n");
            c = {function, argument, (int64_t)delayUs};
            slot = i;
        } else if (c.function == function && c.argument == argument) {
            printd("krstuff_deferredCall(): updating queued call\n");
            slot = i;
        }
    }
    if (slot < 0) {
        printd(
            "krstuff_deferredCall(): can't queue deferred call, returning "
            "KR_E_OUT_OF_MEMORY\n");
        return KR_E_OUT_OF_MEMORY;
    }
    printd("krstuff_deferredCall(): queued or updated deferred call, returning 0\n");
    return 0;
}

void krstuff_executeDeferredCallsImmediately() {
    runAndFree(0);
    runAndFree(1);
}

void krstuff_executeDeferredCalls(int periodMs) {
    int64_t periodUs = (int64_t)periodMs * 1000;
    for (int i = 0; i < 2; i++) {
        KrDeferredCall &c = deferredCalls[i];
        if (!c.function) continue;
        if (c.delayUs < periodUs)
            runAndFree(i);
        else
            c.delayUs -= periodUs;
    }
}

int krstuff_getUserMemoryStats(uint64_t *freeBytes, uint64_t *usedBytes) {
    uint64_t usedKiB = 0, freeB = 0;
    char stats[KR_PATH_MAX + 2];
    if (!quotePath(KrPath("/media/ram/user_memory_stats"), stats, sizeof(stats)))
        return KR_E_EXECUTION_ERROR;
    char suffix[KR_PATH_MAX + 8];
    snprintf(suffix, sizeof(suffix), " > %s", stats);
    systemWithPath("du -s ", "/korvane/cust/", suffix);
    if (!readStatsLine(1, 1, &usedKiB)) return KR_E_EXECUTION_ERROR;
    systemWithPath("df -k -B 1 ", "/korvane/", suffix);
    if (!readStatsLine(2, 4, &freeB)) return KR_E_EXECUTION_ERROR;
    if (usedBytes) *usedBytes = usedKiB * 1024;
    if (freeBytes) *freeBytes = freeB;
    return 0;
}

int krstuff_deleteUserMemory() {
    krstuffWriteKr();
    systemWithPath("rm -rf ", "/korvane/cust/", "");
    mkdir(KrPath("/korvane/cust"), 0777);
    mkdir(KrPath("/korvane/cust/list"), 0777);
    mkdir(KrPath("/korvane/cust/flatness"), 0777);
    krstuffProtectKr();
    return 0;
}

void krstuff_printMemoryUsage(uint64_t *virtualBytes, uint64_t *residentBytes) {
    // statm: total and resident size in pages.
    unsigned long long sizePages = 0, rssPages = 0;
    if (FILE *f = fopen("/proc/self/statm", "r")) {
        if (fscanf(f, "%llu %llu", &sizePages, &rssPages) != 2) sizePages = rssPages = 0;
        fclose(f);
    }
    uint64_t page = (uint64_t)sysconf(_SC_PAGESIZE);
    uint64_t vsize = sizePages * page, resident = rssPages * page;
    char mlocked[128] = "Mlocked: ?\n";
    if (FILE *f = fopen("/proc/meminfo", "r")) {
        char line[128];
        while (fgets(line, sizeof(line), f))
            if (strncmp(line, "Mlocked:", 8) == 0) snprintf(mlocked, sizeof(mlocked), "%s", line);
        fclose(f);
    }
    printd("krstuff_printMemoryUsage(): virtual %llu kB, resident %llu kB, %s",
           (unsigned long long)(vsize / 1024), (unsigned long long)(resident / 1024), mlocked);
    if (virtualBytes) *virtualBytes = vsize;
    if (residentBytes) *residentBytes = resident;
}

uint32_t krstuff_getNecMinimumTiming_us(const int64_t *newFreqHz, const int64_t *oldFreqHz) {
    int64_t a = *newFreqHz, b = *oldFreqHz;
    uint64_t step = a > b ? (uint64_t)a - (uint64_t)b : (uint64_t)b - (uint64_t)a;
    if (a >= 31800000000ll) return step <= 549999999ull ? 30 : 500;
    return step <= 2199999999ull ? 30 : 100;
}

int krstuff_getRandomNumber(int low, int high) {
    int64_t span = (int64_t)high - low + 1;
    int64_t scaled = span * (int64_t)rand();
    // Floor division by 2^31, also for an empty (negative) span.
    int64_t q = scaled >= 0 ? scaled >> 31 : -((-scaled + (1ll << 31) - 1) >> 31);
    return (int)(low + q);
}

void setBfU32(uint32_t *word, int msb, int lsb, uint32_t value) {
    if (!word || lsb < 0 || msb > 31 || msb < lsb) return;
    uint32_t mask = (uint32_t)((((uint64_t)1 << (msb - lsb + 1)) - 1) << lsb);
    *word = (*word & ~mask) | ((value << lsb) & mask);
}

uint32_t getBfU32(uint32_t word, int msb, int lsb) {
    if (lsb < 0 || msb > 31 || msb < lsb) return 0;
    return (uint32_t)((word >> lsb) & (((uint64_t)1 << (msb - lsb + 1)) - 1));
}

char *uint8ToBin(uint8_t value, char *buffer) {
    for (int i = 0; i < 8; i++)
        buffer[i] = (value & (0x80 >> i)) ? '1' : '0';
    buffer[8] = 0;
    return buffer;
}

int strcicmp(const char *a, const char *b) {
    for (;; a++, b++) {
        int d = tolower((unsigned char)*a) - tolower((unsigned char)*b);
        if (d != 0 || !*a) return d;
    }
}

void strappend(char **cursor, size_t *room, const char *format, ...) {
    if (!cursor || !*cursor || !room || *room == 0) return;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(*cursor, *room, format, args);
    va_end(args);
    if (n < 0) return;
    // A cut-off append fills the room; the text stays terminated.
    size_t written = std::min((size_t)n, *room - 1);
    *cursor += written;
    *room -= written;
}

int sortCsvLine(char *text, char separator) {
    constexpr size_t itemMax = 48;
    if (!text) return 0;
    // Refuse before touching the text, so that a refused line stays as it was.
    size_t itemLen = 0;
    for (const char *p = text;; p++) {
        if (*p == separator || !*p) {
            if (itemLen > itemMax) return KR_E_OUT_OF_MEMORY;
            itemLen = 0;
            if (!*p) break;
        } else {
            itemLen++;
        }
    }
    // Bubble sort of adjacent items; equal items are never swapped.
    char swap[2 * itemMax + 1];
    for (bool swapped = true; swapped;) {
        swapped = false;
        char *a = text;
        for (;;) {
            char *aEnd = strchr(a, separator);
            if (!aEnd) break;
            char *b = aEnd + 1;
            char *bEnd = strchr(b, separator);
            if (!bEnd) bEnd = b + strlen(b);
            size_t alen = (size_t)(aEnd - a), blen = (size_t)(bEnd - b);
            if (compareItems(a, alen, b, blen) > 0) {
                memcpy(swap, b, blen);
                swap[blen] = separator;
                memcpy(swap + blen + 1, a, alen);
                memcpy(a, swap, alen + blen + 1);
                swapped = true;
                a += blen + 1;  // the greater item moves on with the pass
            } else {
                a = b;
            }
        }
    }
    return 0;
}

namespace {

// Whether model is one whole item of the comma-separated list (a part of an item, such as
// "ORBX20" of "ORBX20G", does not count; neither does an empty model).
bool modelListed(const char *list, const char *model) {
    size_t n = model ? strlen(model) : 0;
    if (n == 0) return false;
    for (const char *item = list; *item;) {
        while (*item == ' ')
            item++;
        size_t len = strcspn(item, ",");
        size_t trimmed = len;
        while (trimmed > 0 && (item[trimmed - 1] == ' ' || item[trimmed - 1] == '\t'))
            trimmed--;
        if (trimmed == n && strncmp(item, model, n) == 0) return true;
        item += len;
        if (*item == ',') item++;
    }
    return false;
}

}  // namespace

int isFirmwareCompatible(Device *device) {
    const char *model = modelName(device);
    KrPath path(firmwarePackage);
    FILE *f = fopen(path, "r");
    if (!f) {
        printd("isFirmwareCompatible(): can not open %s\n", firmwarePackage);
        return 0;
    }
    char line[1001];
    const char *list = nullptr;
    while (!list && fgets(line, sizeof(line), f)) {
        char *p = strstr(line, "package_device,");
        if (!p) continue;
        list = p + strlen("package_device,");
        char *end = strstr(p, ",end");
        if (end)
            *end = 0;
        else
            line[strcspn(line, "\r\n")] = 0;
    }
    fclose(f);
    if (!list) {
        printd("isFirmwareCompatible(): can not read from %s\n", firmwarePackage);
        return 0;
    }
    printd("isFirmwareCompatible(): firmware supports models: %s\n", list);
    if (modelListed(list, model)) {
        printd("    -> model %s is supported\n", model);
        return 1;
    }
    printd("    -> model %s is not supported\n", model ? model : "");
    return 0;
}

int installFirmware(Device *device) {
    if (isFirmwareCompatible(device)) {
        printd("installFirmware(): firmware is compatible\n");
        printd("    -> installation starts after current firmware sent update confirmation\n");
        if (krstuff_deferredCall(installFirmware_deferred, 0, 2000000) == 0) return 1;
        printd("installFirmware(): error: installation could not be scheduled\n");
        return 0;
    }
    printd("installFirmware(): firmware is not compatible\n");
    printd("    -> abort installation and delete firmware package file\n");
    krstuffWriteRoot();
    krstuffWriteStorage();
    remove(KrPath(firmwarePackage));
    krstuffProtectRoot();
    krstuffProtectStorage();
    return 0;
}

void installFirmware_deferred(uint32_t) {
    krstuffWriteRoot();
    krstuffWriteStorage();
    // The system's installer, detached so that it outlives this process, which then ends
    // as on SIGTERM: sweeps stopped, SPI closed, the run state "exit_success".
    systemWithPath("(", "/root/janitor.sh", " & )");
    kill(getpid(), SIGTERM);
}
