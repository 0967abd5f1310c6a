// libFuzzer target: arbitrary bytes arrive on a link as a transport would deliver them, in
// pieces of varying size, and run through the executor and the instrument's command tree.
// The device behind the tree keeps lists and stored settings, so that the list continuation,
// block transfers and the settings files are reached too.
//
// Input: byte 0 picks the link's buffer sizes and whether a device clear arrives halfway,
// byte 1 the size of the pieces; the rest is the byte stream.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/state_reporter.h"
#include "core/krpath.h"
#include "device/device.h"
#include "scpi/scpi_block.h"
#include "scpi/scpi_error.h"
#include "scpi_test_harness.h"

namespace {

// Bounded everywhere: a long list answer through a tiny link is cut off by the service limit.
constexpr size_t MAX_LIST = 20000;
constexpr int MAX_SERVICES = 4000;

std::vector<KrFreq> freqs;
std::vector<KrPow> pows;

int setListFrequency(Device *, int32_t phase, const KrFreq *f) {
    if (phase == 0 || phase == 3) freqs.clear();
    if (phase == 1) {
        if (freqs.size() >= MAX_LIST) return -223;
        freqs.push_back(*f);
    }
    return 0;
}
const KrFreq *getListFrequency(Device *, int32_t i) {
    return i >= 0 && (size_t)i < freqs.size() ? &freqs[(size_t)i] : nullptr;
}
int setListPower(Device *, int32_t phase, const KrPow *p) {
    if (phase == 0 || phase == 3) pows.clear();
    if (phase == 1) {
        if (pows.size() >= MAX_LIST) return -223;
        pows.push_back(*p);
    }
    return 0;
}
const KrPow *getListPower(Device *, int32_t i) {
    return i >= 0 && (size_t)i < pows.size() ? &pows[(size_t)i] : nullptr;
}
const char *storedParameters(Device *, int32_t) {
    return "STAT:OPER:ENAB\nSTAT:QUES:ENAB\n*SRE\n*ESE\nSTAT:OPER:PTR\n";
}

void setUpOnce() {
    static bool done = false;
    if (done) return;
    done = true;
    static char root[] = "/tmp/kr_fuzz_XXXXXX";
    if (!mkdtemp(root)) abort();
    krpath_setRoot(root);
    mkdir(KrPath("/korvane"), 0777);
    mkdir(KrPath("/korvane/cust"), 0777);
    Device_setListFrequency = setListFrequency;
    Device_getListFrequency = getListFrequency;
    Device_setListPower = setListPower;
    Device_getListPower = getListPower;
    Device_getStoredScpiParameters = storedParameters;
}

// The executor's bookkeeping must hold after every service, whatever arrived.
void checkLink(const ScpiLink *link) {
    bool ok = link->cmdFill >= 0 && link->cmdFill <= link->cmdSize && link->scanPos >= 0 &&
              link->scanPos <= link->cmdFill && link->ansLen >= 0 &&
              link->ansLen <= link->ansSize && link->ansRead >= 0 &&
              link->ansRead <= link->ansLen && link->ansOverflow >= -1 &&
              link->ansOverflow < SCPI_ANS_OVERFLOW_RESERVE &&
              strnlen(link->storedPath, SCPI_LINK_PATH_SIZE) < (size_t)SCPI_LINK_PATH_SIZE;
    if (!ok) abort();
}

void requestClear(ScpiLink *link) {
    pthread_mutex_lock(&link->bufLock);
    link->clearPending = 1;
    pthread_mutex_unlock(&link->bufLock);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    setUpOnce();
    static const int cmdSizes[] = {16, 64, 256, 1024};
    static const int ansSizes[] = {16, 48, 128, 1024};
    krtest::LinkHarness h;
    ScpiLink *link = h.addLink(cmdSizes[data[0] & 3], ansSizes[(data[0] >> 2) & 3]);
    bool clearHalfway = (data[0] & 0x80) != 0;
    size_t piece = 1 + data[1] % 97;
    std::string input(reinterpret_cast<const char *>(data + 2), size - 2);
    freqs.clear();
    pows.clear();

    size_t pos = 0;
    int services = 0;
    bool cleared = false;
    while (services < MAX_SERVICES) {
        if (pos < input.size()) {
            size_t n = piece < input.size() - pos ? piece : input.size() - pos;
            pos += (size_t)h.feed(link, input.substr(pos, n));
        }
        if (clearHalfway && !cleared && pos >= input.size() / 2) {
            requestClear(link);
            cleared = true;
        }
        h.serve(link);
        services++;
        checkLink(link);
        int more = 0;
        h.drain(link, &more);
        if (!more && pos >= input.size()) {
            // Nothing more to say: end the message, once, so that what is pending runs.
            static const std::string end = "\n";
            if (link->cmdFill == 0 && !scpi_exec_receivingBlockData(link) && !link->continuation)
                break;
            if (h.feed(link, end) == 0 && link->cmdFill == link->cmdSize) {
                requestClear(link);  // a buffer held by a block that never ends
            }
        }
    }
    // Whatever is still running ends with a device clear; the link must then answer again.
    requestClear(link);
    h.serve(link);
    checkLink(link);
    if (scpi_exec_receivingBlockData(link) || scpi_exec_sendingBlockData(link) ||
        link->continuation)
        abort();
    h.errors();
    return 0;
}
