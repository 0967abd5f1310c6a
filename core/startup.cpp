#include "core/startup.h"

#include <arpa/inet.h>
#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/device_config.h"
#include "core/kr_event.h"
#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "device/device.h"
#include "frontpanel/krhc.h"
#include "frontpanel/krhcupdate.h"
#include "hw/krspi.h"
#include "remote/krconsole.h"
#include "remote/krgpib.h"
#include "remote/krsocket.h"
#include "remote/krusb.h"
#include "remote/krvxi.h"
#include "rtnative.h"

int fallbackEnabled = 0;
int kr_framework_status_success = 1;
int contextSwitch = 0;
int pid = 0;

ScpiLinkList link_list;
ScpiLink link_hc, link_file, link_console, link_socket, link_vxiA, link_vxiB, link_usb, link_gpib;
ScpiParserContext parserContext;
Device *debug_device = nullptr;

namespace {

Device *device = nullptr;
// Set once the process is on its way out: exit_KR's own SIGTERM reaches some other
// thread, whose handler must neither rewrite the run state nor run the exit a second
// time while the first one is still closing things down.
std::atomic<bool> exitInProgress{false};
// Signals are passed from their handler to the signal thread through this pipe.
int signalPipe[2] = {-1, -1};
pthread_t signalThread;
std::atomic<bool> consoleBroken{false};
KrHc hc;
KrSocket socketServer;
KrBcastSocket rcmdevFinderSocket;
KrUsb usb = {-1};
KrGpib gpib = {-1};
pthread_t hcLinkThread, consoleLinkThread, socketLinkThread, vxiCoreThread, usbLinkThread,
    gpibLinkThread, ipAddressChangeThread, rcmdevFinderThread;
char socketLinkName[SCPI_LINK_NAME_SIZE + 1];

void *hcLinkHandler(void *) {
    while (Krhc_handle(&hc, &link_hc) == 0) {
    }
    printf("Error in HC link, closing link\n");
    Krhc_close(&hc);
    return nullptr;
}

void *consoleLinkHandler(void *) {
    for (;;) {
        // Without a console (daemon, closed input) the thread idles instead of spinning.
        if (Krconsole_handle(&link_console) != 0) pause();
    }
    return nullptr;
}

void *socketLinkHandler(void *) {
    for (;;)
        Krsocket_handle(&socketServer, &link_socket);
    return nullptr;
}

void *vxiCoreHandler(void *) {
    kr_vxi_link_run();
    return nullptr;
}

void *usbLinkHandler(void *) {
    while (krusb_handle(&usb, &link_usb) == 0) {
    }
    printf("usbLinkHandler(): error: USB link halted\n");
    return nullptr;
}

void *gpibLinkHandler(void *) {
    for (;;)
        krgpib_handle(&gpib, &link_gpib);
    return nullptr;
}

void *rcmdevFinderHandler(void *) {
    for (;;)
        krsocketBcastHandle(&rcmdevFinderSocket);
    return nullptr;
}

int batteryState(float volts) {
    if (volts > 7.5f) return 6;
    if (volts > 7.2f) return 5;
    if (volts > 6.9f) return 4;
    if (volts > 6.6f) return 3;
    return 1;
}

void *ipAddressChangeHandler(void *arg) {
    Device *dev = static_cast<Device *>(arg);
    int lastBattery = -1;
    char address[INET_ADDRSTRLEN + 1];
    for (;;) {
        if (Krsocket_hasAddressChanged(address)) {
            // The LAN record is re-read under the lock: commands on the main loop read it.
            openSynchronousDeviceAccess();
            hcupdate_ipAddress();
            device_config_getLanConfig();
            closeSynchronousDeviceAccess();
            Krsocket_reset(&socketServer);
        }
        if (device_config_usesBattery() && DEVICE_ISREG(getBatteryVoltage)) {
            float volts = 0;
            openSynchronousDeviceAccess();
            Device_getBatteryVoltage(dev, &volts);
            int state = batteryState(volts);
            if (state != lastBattery) hcupdate_batteryState(state);
            closeSynchronousDeviceAccess();
            lastBattery = state;
        }
        krusb_check_connection(&usb, &link_usb, 0);
        krgpib_check_connection(&gpib, &link_gpib, 0);
        kr_event_indicateLinkActivity(nullptr);
        sleep(2);
    }
    return nullptr;
}

void registerLink(ScpiLink *link, int cmdSize, int ansSize, const char *name) {
    if (scpi_link_init(&link_list, link, cmdSize, ansSize, name) != 0) {
        printf("initialize(): out of memory for link %s\n", name);
        exit(1);
    }
}

void printBacktrace(FILE *alsoTo) {
    void *frames[1000];
    int n = backtrace(frames, 1000);
    printf("backtrace() returned %d addresses\n", n);
    char **symbols = backtrace_symbols(frames, n);
    if (!symbols) {
        perror("backtrace_symbols");
        exit(1);
    }
    for (int i = 0; i < n; i++) {
        printf("%s\n", symbols[i]);
        if (alsoTo) fprintf(alsoTo, "%s\n", symbols[i]);
    }
    free(symbols);
}

}  // namespace

void kr_setRunState(const char *state) {
    // Written without the shell: the exit may run while another thread holds the shell
    // lock, and a file replaced by rename is never seen empty.
    KrPath path("/media/ram/kr_framework_status");
    std::string tmp = std::string(path.c_str()) + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) return;
    char line[64];
    int len = snprintf(line, sizeof(line), "%s\n", state);
    bool written = len > 0 && write(fd, line, (size_t)len) == len;
    close(fd);
    if (!written || rename(tmp.c_str(), path) != 0) unlink(tmp.c_str());
}

void preparePathsAndFiles() {
    mkdir(KrPath("/korvane"), 0777);
    mkdir(KrPath("/korvane/cust"), 0777);
    mkdir(KrPath("/korvane/cust/list"), 0777);
    // Truncating replaces the last run's report; no shell is needed for that.
    FILE *f = fopen(KrPath("/media/ram/selftest.txt"), "w");
    if (f) {
        fputs("*TST? selftest report\r\n", f);
        fputs("1;0\r\n", f);
        fclose(f);
    }
}

void loadDefaultSettings(Device *, ScpiParserContext *context) {
    if (fallbackEnabled) {
        printf("loadDefaultSettings(): skipped (fallback mode)\n");
        return;
    }
    scpi_execute_commandFile(&link_file, "/korvane/cust/sav0");
    // Errors of the power-on settings are not the first remote client's business.
    scpi_clearWholeErrorQueue(&context->errorQueue);
}

void exit_KR() {
    if (exitInProgress.exchange(true)) {
        // Another thread is already ending the process; its exit(0) ends this one too.
        for (;;)
            pause();
    }
    printf("exit_KR()\n");
    fflush(stdout);
    if (DEVICE_ISREG(abort)) Device_abort(debug_device);
    if (DEVICE_ISREG(disableAlcLownoise)) Device_disableAlcLownoise(debug_device);
    krspiClose();
    kill(pid, SIGTERM);
    if (rt_has_thread_exit_hook()) rt_run_thread_exit_hook();
    exit(0);
}

// Everything a signal asks for beyond a flag runs here, on a normal thread: the exit takes
// locks (shell, device, SPI) that the interrupted thread may hold.
void signal_dispatch(int sig) {
    if (sig == SIGPIPE) {
        // Once the console is gone its output is dropped quietly; reporting the broken pipe
        // there would raise the next one.
        if (consoleBroken.load()) return;
        printf("Got signal %d\n", sig);
        printf("Signal 13: broken pipe (ignored)\n");
        if (fflush(stdout) != 0 || ferror(stdout)) consoleBroken.store(true);
        return;
    }
    printf("Got signal %d\n", sig);
    fflush(stdout);
    switch (sig) {
        case 27:
        case 29:
            printf("Signal 27 or 29: profiling timer expired (ignored)\n");
            return;
        case 26:
        case 28:
            printf("Signal 26 or 28: virtual alarm clock (ignored)\n");
            return;
        case 17:
            printf("SIGCHLD\n");
            return;
        case 23:
            printf("SIGURG\n");
            return;
        case SIGINT:
        case SIGTERM:
            if (exitInProgress.load()) return;
            printf("SIGINT or SIGTERM\n");
            if (kr_framework_status_success) kr_setRunState("exit_success");
            exit_KR();
            return;
        default:
            if (exitInProgress.load()) return;
            kr_setRunState("exit_failure");
            kr_framework_status_success = 0;
            exit_KR();
    }
}

void *signalThreadBody(void *) {
    for (;;) {
        unsigned char sig = 0;
        ssize_t n = read(signalPipe[0], &sig, 1);
        if (n == 1)
            signal_dispatch(sig);
        else if (n == 0 || errno != EINTR)
            return nullptr;
    }
}

void signal_handler(int sig) {
    switch (sig) {
        // Faults of the interrupted code itself: it cannot go on, so they are reported here.
        case SIGSEGV: {
            printf("Got signal %d\n", sig);
            kr_setRunState("segfault");
            kr_framework_status_success = 0;
            FILE *f = fopen(KrPath("/korvane/segv"), "a");
            static const char banner[] = "\nSegmentation violation Korvane device firmware\n";
            printf("%s", banner);
            if (f) fwrite(banner, 1, sizeof(banner) - 1, f);
            printBacktrace(f);
            if (f) fclose(f);
            exit_KR();
            return;
        }
        case SIGBUS:
        case SIGFPE:
        case SIGILL:
        case SIGABRT:
        case SIGTRAP:
        case SIGSYS:
            printf("Got signal %d\n", sig);
            kr_setRunState("exit_failure");
            kr_framework_status_success = 0;
            exit_KR();
            return;
        case SIGXCPU:
            printf("Got signal %d\n", sig);
            contextSwitch = 1;
            printf("SIGXCPU: real time task has been switched to secondary mode!\n");
            printBacktrace(nullptr);
            return;
        default: {
            // A full pipe drops the signal: the ones already queued do the same work.
            int saved = errno;
            unsigned char byte = (unsigned char)sig;
            if (write(signalPipe[1], &byte, 1) < 0) {
            }
            errno = saved;
            return;
        }
    }
}

void initialize() {
    printf("Boot delay (OCXO startup time)... \n");
    double bootDelay = 0;
    device_config_loadBootDelay(&bootDelay);
    krstuff_delay_us((uint64_t)(bootDelay * 1000000.0));
    printf("Done. (Boot delay)\n");

    pid = getpid();
    preparePathsAndFiles();
    device_config_init();
    device = Device_create();
    debug_device = device;
    mkdir(KrPath("/korvane/cust/list"), 0777);
    mkdir(KrPath("/korvane/cust/flatness"), 0777);
    printf("Device = %p\n", (void *)device);

    if (pipe2(signalPipe, O_CLOEXEC) == 0) {
        fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
        // The exit runs on this thread: device abort and SPI close need more than a link's stack.
        krstuffPthreadCreate(&signalThread, signalThreadBody, nullptr, 256 * 1024);
    }
    for (int sig = 1; sig <= 31; sig++) {
        if (sig == 17 || sig == 18 || sig == 23 || sig == 27 || sig == 28) continue;
        if (signal(sig, signal_handler) == SIG_ERR) printf("signal( %d, ... ) failed\n", sig);
    }

    device_config_initResetCounter();
    krspiOpen();

    printf("Initialising SCPI link list...\n");
    scpi_link_initAll(&link_list);
    printf("Done. (Initialising SCPI link list)\n");

    printf("Initialising Device...\n");
    device_config_getLanConfig();
    device_config_reset_cause = 0;
    if (fallbackEnabled)
        recovery_device_init(device);
    else
        Device_init(device);
    printf("device_init done...\n");

    printf("Initialising HC link...\n");
    Krhc_init(&hc);
    Krhcupdate_init(&hc);
    bool withHc = device_config_usesFp();
    if (withHc) {
        printf("    Device with HC\n");
        Krhc_open(&hc, "/dev/krhc", 0);
        registerLink(&link_hc, 256, 256, SCPI_LINK_NAME_FRONT_PANEL);
        krstuffPthreadCreate(&hcLinkThread, hcLinkHandler, nullptr, 16384);
    } else {
        printf("    Device without HC\n");
    }
    printf("Done. (Initialising HC link)\n");

    parserContext.device = device;
    scpi_parser_init(&parserContext);

    if (withHc) {
        hcupdate_resetHcCommandParser();
        if (device_config_usesFpStm()) Krhcupdate_sn(device);
        hcupdate_constants(device);
        hcupdate_settings(device);
        hcupdate_ready(device);
    }
    Device_registerMandatoryFunctions();
    printf("Done. (Initialising Device)\n");

    Krsocket_open(&socketServer, device_config_getPort());

    printf("Init console link, processing device defaults command file\n");
    registerLink(&link_file, 128, 128, "File");
    registerLink(&link_console, 1024, 1024, "Console");
    loadDefaultSettings(device, &parserContext);
    krstuffPthreadCreate(&consoleLinkThread, consoleLinkHandler, nullptr, 16384);

    printf("Init socket link\n");
    snprintf(socketLinkName, sizeof(socketLinkName), "Socket Port %d", device_config_getPort());
    registerLink(&link_socket, 1024, 1024, socketLinkName);
    krstuffPthreadCreate(&socketLinkThread, socketLinkHandler, nullptr, 16384);

    printf("Init VXI links\n");
    registerLink(&link_vxiA, 1024, 1024, "VXI-11 Channel A");
    registerLink(&link_vxiB, 1024, 1024, "VXI-11 Channel B");
    kr_vxi_link_init(&link_vxiA, &link_vxiB);
    printf("Start VXI thread\n");
    krstuffPthreadCreate(&vxiCoreThread, vxiCoreHandler, nullptr, 32768);

    printf("Init USB link...\n");
    registerLink(&link_usb, 1024, 1024, "USB");
    if (krusb_open(&usb, "/dev/usbtmc") == 0)
        krstuffPthreadCreate(&usbLinkThread, usbLinkHandler, nullptr, 16384);
    printf("Done. (Initialising USB link)\n");

    printf("Init GPIB link...\n");
    if (device_config_usesGPIB()) {
        printf("    Device with GPIB\n");
        registerLink(&link_gpib, 1024, 1024, "GPIB");
        if (krgpib_open(&gpib, "/dev/gpib") == 0)
            krstuffPthreadCreate(&gpibLinkThread, gpibLinkHandler, nullptr, 16384);
    } else {
        printf("    Device without GPIB\n");
    }
    printf("Done. (Initialising GPIB link)\n");

    krstuffPthreadCreate(&ipAddressChangeThread, ipAddressChangeHandler, device, 16384);

    krsocketBcastOpen(&rcmdevFinderSocket, KRSOCKET_BCAST_PORT, device);
    krstuffPthreadCreate(&rcmdevFinderThread, rcmdevFinderHandler, nullptr, 16384);

    scpi_link_checkLinkList(&link_list);
    uint64_t virt = 0, rss = 0;
    krstuff_printMemoryUsage(&virt, &rss);
    device_config_reset_cause = 2;
    printf("\nDevice is running!\n");
    fflush(stdout);

    for (;;)
        scpi_execute(&link_list, device, 250);
}

int kr_main(int argc, char **argv) {
    // Messages go out line by line also when standard output is a pipe or a log file.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    debugTarget = 0;
    debugEnabled = 0;
    if (argc == 2 && strlen(argv[1]) == 2 && argv[1][0] == '-') {
        switch (argv[1][1]) {
            case 'd':
                if (getppid() != 1) {
                    pid_t child = fork();
                    if (child < 0) exit(1);
                    if (child > 0) exit(0);
                    if (setsid() < 0) exit(1);
                    if (chdir("/") != 0) exit(1);
                }
                break;
            case 'v':
                debugEnabled = 1;
                printf("verbose mode\n");
                break;
            case 'f':
                fallbackEnabled = 1;
                printf("fallback mode\n");
                break;
            default:
                break;
        }
    }
    kr_setRunState("running");
#ifdef M_ARENA_MAX
    // One heap for all threads: locked memory would hold every further arena's first block
    // (some 130 KB each) for a thread that only ever allocates a little.
    mallopt(M_ARENA_MAX, 1);
#endif
    mlockall(MCL_CURRENT | MCL_FUTURE);
    initialize();
    return 0;
}
