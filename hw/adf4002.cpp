// ADF4002 PLL.
#include "hw/adf4002.h"

#include <cstring>

#include "core/printd.h"
#include "hw/krspi.h"
#include "scpi/scpi_errorcodes.h"

namespace {

uint64_t gcd(uint64_t a, uint64_t b) {
    while (b) {
        uint64_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

uint32_t functionLatch(const ADF4002 *p) {
    return (uint32_t)p->counterReset << ADF4002_F_COUNTER_RESET |
           (uint32_t)p->poweredDown << ADF4002_F_POWER_DOWN1 |
           (p->muxOut & 7) << ADF4002_F_MUXOUT_SHIFT | (p->polarity & 1) << ADF4002_F_PD_POLARITY |
           (uint32_t)p->threeState << ADF4002_F_CP_THREE_STATE |
           (p->chargePump & 7) << ADF4002_F_CURRENT1_SHIFT |
           (p->chargePump & 7) << ADF4002_F_CURRENT2_SHIFT |
           (uint32_t)p->poweredDown << ADF4002_F_POWER_DOWN2;
}

int latch(const ADF4002 *p, uint32_t control, uint32_t bits) {
    return krspi_sendWord(p->slave, KRSPI_OPT_NONE, (bits & ~ADF4002_CONTROL_MASK) | control, 3);
}

int writeFunction(const ADF4002 *p) {
    return latch(p, ADF4002_FUNCTION, functionLatch(p));
}

}  // namespace

int ADF4002_calcNR(const KrFreq *comparison, const KrFreq *reference, uint32_t *n, uint32_t *r) {
    if (comparison->integer <= 0 || reference->integer <= 0) return KR_E_EXECUTION_ERROR;
    uint64_t c = (uint64_t)comparison->integer, f = (uint64_t)reference->integer;
    uint64_t g = gcd(c, f);
    uint64_t nn = c / g, rr = f / g;
    if (nn > ADF4002_N_MAX || rr > ADF4002_R_MAX || nn == 0 || rr == 0) {
        printd("ADF4002_calcNR(): no counters for %lld Hz against %lld Hz\n", (long long)c,
               (long long)f);
        return KR_E_EXECUTION_ERROR;
    }
    *n = (uint32_t)nn;
    *r = (uint32_t)rr;
    return 0;
}

int ADF4002_init(ADF4002 *pll, uint32_t slave) {
    memset(pll, 0, sizeof(*pll));
    krspi_addSlave(slave, "ADF4002");
    pll->slave = slave;
    pll->r = pll->n = 1;
    pll->poweredDown = 1;
    // The initialisation latch first, as the part asks after power-up.
    int r = latch(pll, ADF4002_INITIALIZATION, functionLatch(pll));
    int s = writeFunction(pll);
    return r ? r : s;
}

int ADF4002_powerUp(ADF4002 *pll) {
    pll->poweredDown = 0;
    return writeFunction(pll);
}

int ADF4002_powerDown(ADF4002 *pll) {
    pll->poweredDown = 1;
    return writeFunction(pll);
}

int ADF4002_setChargePumpCurrent(ADF4002 *pll, uint32_t setting) {
    if (setting > 7) return KR_E_EXECUTION_ERROR;
    pll->chargePump = setting;
    return writeFunction(pll);
}

int ADF4002_setPhaseDetectorPolarity(ADF4002 *pll, uint32_t polarity) {
    pll->polarity = polarity ? 1 : 0;
    return writeFunction(pll);
}

int ADF4002_setThreeState(ADF4002 *pll, int on) {
    pll->threeState = on ? 1 : 0;
    return writeFunction(pll);
}

int ADF4002_setMuxOut(ADF4002 *pll, uint32_t mux) {
    if (mux > 7) return KR_E_EXECUTION_ERROR;
    pll->muxOut = mux;
    return writeFunction(pll);
}

int ADF4002_setCounterReset(ADF4002 *pll, int on) {
    pll->counterReset = on ? 1 : 0;
    return writeFunction(pll);
}

int ADF4002_setComparisonFrequency(ADF4002 *pll, const KrFreq *f) {
    pll->comparison = *f;
    return 0;
}

int ADF4002_setReferenceFrequency(ADF4002 *pll, const KrFreq *f) {
    pll->reference = *f;
    uint32_t n, r;
    int e = ADF4002_calcNR(&pll->comparison, &pll->reference, &n, &r);
    if (e) return e;
    pll->n = n;
    pll->r = r;
    int a = latch(pll, ADF4002_R_COUNTER, r << ADF4002_R_SHIFT);
    int b = latch(pll, ADF4002_N_COUNTER, n << ADF4002_N_SHIFT);
    return a ? a : b;
}
