#pragma once

// The stand-in host with qvl.xll loaded and open, shared by the worksheet benchmarks.

#include <cstdio>
#include <cstdlib>

#include "host/host.hpp"

inline standin::Host& loaded_host() {
    static standin::Host host;
    static const bool ready = [] {
        host.load(QVL_XLL_PATH);
        if (host.open() != 1) {
            std::fprintf(stderr, "qvl.xll did not open\n");
            std::abort();
        }
        // The add-in's statics were registered for destruction after the host; closing it at
        // exit must come before they go, so it is registered after them.
        std::atexit([] { host.unload(); });
        return true;
    }();
    (void)ready;
    return host;
}
