#include "device/krquantity.h"

KrPow globalKrPow;
KrAngle globalKrAngle;
KrTime globalKrTime;
