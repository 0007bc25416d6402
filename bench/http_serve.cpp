// Serves the reference swap on a loopback port until SIGINT or SIGTERM, for the load script.
// Usage: http_serve [port]

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/self_check.hpp"
#include "http/http_service.hpp"
#include "objects/object_cache.hpp"

int main(int argc, char** argv) {
    const int port = argc > 1 ? std::atoi(argv[1]) : qvl::service::default_port;

    // Signals are taken by sigwait below, so every thread started from here on blocks them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    const auto cache = std::make_shared<qvl::objects::ObjectCache>();
    const std::shared_ptr<const qvl::QVLSwap> swap = qvl::make_reference_swap(true);
    cache->add(swap->curve);
    cache->add(swap->series);
    cache->add(std::make_shared<const qvl::objects::SwapHandle>(swap));

    if (!qvl::service::StartHttpService(static_cast<std::uint16_t>(port), cache)) {
        std::printf("Failed: %s\n", qvl::service::http_service_last_error().value_or("").c_str());
        return 1;
    }
    std::printf("HTTP server running on port %d\n", port);
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stop_signals, &signal);
    qvl::service::stop_http_service();
    std::printf("HTTP server stopped\n");
    return 0;
}
