#include "remote_test_support.h"

namespace krtest {

MainLoop::MainLoop() {
    scpi_link_initAll(&list);
    device = Device_create();
    Device_init(device);
    context.device = device;
    scpi_parser_init(&context);
}

MainLoop::~MainLoop() {
    stop();
    for (int i = 0; i < count_; i++)
        scpi_link_destroy(links_[i]);
}

void MainLoop::add(ScpiLink *link, int cmdSize, int ansSize, const char *name) {
    scpi_link_init(&list, link, cmdSize, ansSize, name);
    links_[count_++] = link;
}

void MainLoop::start() {
    running_ = true;
    thread_ = std::thread([this] {
        while (running_)
            scpi_execute(&list, device, 20);
    });
}

void MainLoop::stop() {
    if (!running_) return;
    running_ = false;
    scpi_link_doHandle(nullptr);
    thread_.join();
}

}  // namespace krtest
