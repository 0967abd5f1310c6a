// A main loop on its own thread serving test links, as the firmware's initial thread does, so
// transport code can be driven from the test thread.
#pragma once

#include <atomic>
#include <thread>

#include "device/device.h"
#include "scpi/scpi_execute.h"
#include "scpi/scpi_link.h"

namespace krtest {

class MainLoop {
  public:
    MainLoop();
    ~MainLoop();
    // Registers a link before start().
    void add(ScpiLink *link, int cmdSize, int ansSize, const char *name);
    void start();
    void stop();

    ScpiLinkList list{};
    ScpiParserContext context{};
    Device *device = nullptr;

  private:
    std::atomic<bool> running_{false};
    std::thread thread_;
    ScpiLink *links_[16] = {};
    int count_ = 0;
};

}  // namespace krtest
