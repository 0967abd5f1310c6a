// VCO calibration in the background: a thread calibrates the output board of every channel
// in turn, taking the synchronous device access for each channel so that commands keep
// being served in between. Its state (running, success, completion) is shared with the main
// loop under the device's VCO mutex; a stop request ends it after the channel in progress.
#include <pthread.h>

#include "core/krstuff.h"
#include "core/printd.h"
#include "device/analog_device.h"
#include "device/device.h"
#include "device/device_board.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_execute.h"

namespace {

pthread_t vcoThread;
bool threadJoinable = false;
bool stopRequested = false;  // under device->vcoMutex

void *vcoCalibrationBody(void *argument) {
    Device *device = static_cast<Device *>(argument);
    bool success = true;
    uint32_t count = device->channelCount;
    for (uint32_t c = 0; c < count; c++) {
        pthread_mutex_lock(&device->vcoMutex);
        bool stop = stopRequested;
        pthread_mutex_unlock(&device->vcoMutex);
        if (stop) {
            success = false;
            break;
        }
        // Waits for the main loop's pass to end, but gives up when a reset wants it gone (the
        // reset holds the access while it waits for this thread).
        bool taken = false;
        while (!(taken = tryOpenSynchronousDeviceAccess() == 1)) {
            pthread_mutex_lock(&device->vcoMutex);
            stop = stopRequested;
            pthread_mutex_unlock(&device->vcoMutex);
            if (stop) break;
            krstuff_delay_us(1000);
        }
        if (!taken) {
            success = false;
            break;
        }
        int r = BOARD_ORBXXXG_OUT_createVcoCalibration(device->channels[c].boardPtr);
        closeSynchronousDeviceAccess();
        if (r < 0) {
            printd("vcoCalibration(): channel %u failed (%d)\n", c + 1, r);
            success = false;
        }
        pthread_mutex_lock(&device->vcoMutex);
        device->vcoCompletion = (double)(c + 1) / count;
        pthread_mutex_unlock(&device->vcoMutex);
    }
    pthread_mutex_lock(&device->vcoMutex);
    device->vcoSuccess = success ? 1 : 0;
    device->vcoRunning = 0;
    pthread_mutex_unlock(&device->vcoMutex);
    return nullptr;
}

// Main loop.
int analog_createVcoCalibration(Device *device) {
    if (!BOARD_ORBXXXG_OUT_ISREG(createVcoCalibration)) return KR_E_UNDEFINED_HEADER;
    pthread_mutex_lock(&device->vcoMutex);
    bool running = device->vcoRunning;
    pthread_mutex_unlock(&device->vcoMutex);
    if (running) return KR_E_SETTINGS_CONFLICT;
    // The previous run has ended; collect its thread before starting the next.
    if (threadJoinable) pthread_join(vcoThread, nullptr);
    threadJoinable = false;
    pthread_mutex_lock(&device->vcoMutex);
    stopRequested = false;
    device->vcoRunning = 1;
    device->vcoSuccess = 0;
    device->vcoCompletion = 0;
    pthread_mutex_unlock(&device->vcoMutex);
    if (krstuffPthreadCreate(&vcoThread, vcoCalibrationBody, device, 32768) != 0) {
        pthread_mutex_lock(&device->vcoMutex);
        device->vcoRunning = 0;
        pthread_mutex_unlock(&device->vcoMutex);
        return KR_E_EXECUTION_ERROR;
    }
    threadJoinable = true;
    return 0;
}

int analog_stopVcoCalibration(Device *device) {
    pthread_mutex_lock(&device->vcoMutex);
    stopRequested = true;
    pthread_mutex_unlock(&device->vcoMutex);
    return 0;
}

double analog_getVcoCalibrationCompletion(Device *device) {
    pthread_mutex_lock(&device->vcoMutex);
    double v = device->vcoCompletion;
    pthread_mutex_unlock(&device->vcoMutex);
    return v;
}

int analog_isVcoCalibrationRunning(Device *device) {
    pthread_mutex_lock(&device->vcoMutex);
    int v = device->vcoRunning;
    pthread_mutex_unlock(&device->vcoMutex);
    return v;
}

int analog_isVcoCalibrationSuccessful(Device *device) {
    pthread_mutex_lock(&device->vcoMutex);
    int v = device->vcoSuccess;
    pthread_mutex_unlock(&device->vcoMutex);
    return v;
}

}  // namespace

// Before the record is built again: the thread must be gone.
void analog_endVcoCalibration(Device *device) {
    if (!threadJoinable) return;
    analog_stopVcoCalibration(device);
    pthread_join(vcoThread, nullptr);
    threadJoinable = false;
}

void analog_registerVcoCalibrationFunctions() {
    Device_createVcoCalibration = analog_createVcoCalibration;
    Device_stopVcoCalibration = analog_stopVcoCalibration;
    Device_getVcoCalibrationCompletion = analog_getVcoCalibrationCompletion;
    Device_isVcoCalibrationRunning = analog_isVcoCalibrationRunning;
    Device_isVcoCalibrationSuccessful = analog_isVcoCalibrationSuccessful;
}
