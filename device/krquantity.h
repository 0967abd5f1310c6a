// Power, phase and time quantities shared by the instrument model and the command engine.
#pragma once

typedef float KrPow;     // dBm at the device reference
typedef double KrAngle;  // radians
typedef double KrTime;   // seconds

// Result buffers of getters that compute a value; copy before the next such call.
extern KrPow globalKrPow;
extern KrAngle globalKrAngle;
extern KrTime globalKrTime;
