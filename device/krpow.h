// Power arithmetic: plain single-precision operations on dBm values at the device reference.
// Sweeps step power with them; limit checks compare with krpowCompare.
#pragma once

#include <cstdint>

#include "device/krquantity.h"

void krpowAdd(KrPow *out, const KrPow *a, const KrPow *b);
void krpowSubtract(KrPow *out, const KrPow *a, const KrPow *b);
void krpowMultiplyByInt32(KrPow *out, const KrPow *p, int32_t k);
void krpowMultiplyByUint32(KrPow *out, const KrPow *p, uint32_t k);
void krpowDivideByInt32(KrPow *out, const KrPow *p, int32_t k);
// 1 if a > b, -1 if a < b, 0 otherwise (also when either is not a number).
int krpowCompare(const KrPow *a, const KrPow *b);
