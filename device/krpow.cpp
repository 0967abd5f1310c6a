#include "device/krpow.h"

void krpowAdd(KrPow *out, const KrPow *a, const KrPow *b) {
    *out = *a + *b;
}

void krpowSubtract(KrPow *out, const KrPow *a, const KrPow *b) {
    *out = *a - *b;
}

void krpowMultiplyByInt32(KrPow *out, const KrPow *p, int32_t k) {
    *out = *p * (KrPow)k;
}

void krpowMultiplyByUint32(KrPow *out, const KrPow *p, uint32_t k) {
    *out = *p * (KrPow)k;
}

// Division by zero follows IEEE rules (infinity or NaN), as all power arithmetic does.
void krpowDivideByInt32(KrPow *out, const KrPow *p, int32_t k) {
    *out = *p / (KrPow)k;
}

int krpowCompare(const KrPow *a, const KrPow *b) {
    if (*a > *b) return 1;
    if (*a < *b) return -1;
    return 0;
}
