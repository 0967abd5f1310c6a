// A panel link whose device is one end of a socket pair: the test reads the update lines the
// firmware writes and plays the panel's replies. Also a temporary root with a chosen serial
// number for the configuration predicates.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "frontpanel/krhc.h"

namespace krtest {

class PanelPair {
  public:
    PanelPair();
    ~PanelPair();
    // Everything written to the panel so far, split into lines (line feeds kept off).
    std::vector<std::string> lines();
    std::string raw();
    void reply(const std::string &bytes);  // the panel sends
    void closePanel();                     // the panel end goes away

    KrHc hc;
    int panelFd = -1;

  private:
    std::string pending_;
};

// Fills device slots for one test and restores them when it ends.
class SlotGuard {
  public:
    template <class F>
    void fill(F &slot, F fn) {
        F *p = &slot;
        F old = slot;
        restores_.push_back([p, old] { *p = old; });
        slot = fn;
    }
    ~SlotGuard() {
        for (auto it = restores_.rbegin(); it != restores_.rend(); ++it)
            (*it)();
    }

  private:
    std::vector<std::function<void()>> restores_;
};

// Creates a root with korvane/dev/sn holding serial and loads the configuration from it.
class ConfiguredRoot {
  public:
    explicit ConfiguredRoot(const char *serial);
    ~ConfiguredRoot();
    std::string path;
};

}  // namespace krtest
