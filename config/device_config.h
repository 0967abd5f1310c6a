// What hardware the firmware runs on, decoded from the serial number, and the stored
// LAN, port and boot settings.
#pragma once

extern int device_config_reset_cause;  // 0 power-up, 1 firmware, 2 user reset

void device_config_init();
int device_config_readSN();
const char *device_config_getSN();
const char *device_config_getFWVersion();
const char *device_config_getModelNameExt_bracketed();

int device_config_loadBootDelay(double *seconds);
void device_config_initResetCounter();
void device_config_getLanConfig();
int device_config_getPort();

int device_config_usesFp();
int device_config_usesFpStm();
int device_config_usesGPIB();
int device_config_usesBattery();
