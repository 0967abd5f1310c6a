// A main loop on its own thread serving test links, as the firmware's initial thread does, so
// transport code can be driven from the test thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
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

namespace krtest {

// The outside end of a simulated character device: connects to "<path>.sock" and exchanges
// frames (see chardev.h).
class ChardevPeer {
  public:
    explicit ChardevPeer(const std::string &devicePath);
    ~ChardevPeer();
    bool connected() const { return fd_ >= 0; }
    void send(char type, int flags = 0, const std::string &payload = "");
    void credit(uint32_t bytes);
    // The next frame within timeoutMs; false on timeout or a closed connection.
    bool receive(char *type, int *flags, std::string *payload, int timeoutMs = 5000);
    // Skips other frames until one of type arrives.
    bool expect(char type, std::string *payload, int timeoutMs = 5000);

  private:
    int fd_ = -1;
};

// A temporary directory with a dev/ folder for simulated devices.
class TempRoot {
  public:
    TempRoot();
    ~TempRoot();
    std::string path;
};

}  // namespace krtest
