// Drives links as a transport and as the main loop would, for executor and link tests.
#pragma once

#include <string>
#include <vector>

#include "device/device.h"
#include "scpi/scpi_execute.h"
#include "scpi/scpi_link.h"

namespace krtest {

// A fresh link list, parser context and device for each test.
class LinkHarness {
  public:
    LinkHarness();
    ~LinkHarness();

    ScpiLink *addLink(int cmdSize, int ansSize, const char *name = "Test");

    // One service of the link by the main loop (synchronous, on this thread).
    void serve(ScpiLink *link);

    // Transport side: puts as much of input into the command buffer as there is room for
    // and returns the number of bytes taken. With endMark the last byte carries the end
    // indicator.
    int feed(ScpiLink *link, const std::string &input, bool endMark = false);
    // Takes everything in the answer buffer; returns it and whether more will follow.
    std::string drain(ScpiLink *link, int *more = nullptr);
    // Feeds input (in as many pieces as needed), serving and draining until the link has
    // nothing more to say. Returns the whole answer.
    std::string transact(ScpiLink *link, const std::string &input, bool endMark = false);

    std::vector<int> errors();  // pops the whole queue, oldest first

    ScpiLinkList list{};
    ScpiParserContext context{};
    Device *device = nullptr;

  private:
    std::vector<ScpiLink *> links_;
};

std::string identification();

}  // namespace krtest
