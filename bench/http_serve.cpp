// Serves the reference swap on a loopback port until SIGINT or SIGTERM, for the load script.
// Usage: http_serve [port]

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "core/self_check.hpp"
#include "excel/object_cache.hpp"
#include "http/http_service.hpp"

int main(int argc, char** argv) {
    const int port = argc > 1 ? std::atoi(argv[1]) : qvl::service::kDefaultPort;

    // Signals are taken by sigwait below, so every thread started from here on blocks them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    auto& cache = qvl::addin::ObjectCache::Instance();
    {
        const auto lock = cache.CalculationLock();
        const auto swap = qvl::make_reference_swap(true);
        cache.StoreCurve(cache.MakeHandle("YC"), swap->curve);
        cache.StoreSeries(cache.MakeHandle("Series"), swap->series);
        cache.StoreSwap(cache.MakeHandle("Swap"), swap);
    }

    const std::string started = qvl::service::HttpStartText(port);
    std::printf("%s\n", started.c_str());
    std::fflush(stdout);
    if (!qvl::service::HttpServiceRunning()) return 1;

    int signal = 0;
    sigwait(&stop_signals, &signal);
    std::printf("%s\n", qvl::service::HttpStopText().c_str());
    return 0;
}
