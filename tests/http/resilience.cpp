// The service under hostile and heavy load: slow heads, a flood of stalled bodies (twice), a
// flood of connections beyond the cap and a long worksheet call, while probes keep asking for
// /health and a valuation. The probes' answers must stay right, /health quick and the process
// within its memory bound; afterwards the service serves as before. Each phase prints what it
// measured. Run alone with: ctest -L resilience

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "core/date.hpp"
#include "core/yield_curve.hpp"
#include "http/http_server.hpp"
#include "service_fixture.hpp"

namespace qvl::service::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using win32util::HttpServer;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
// The bounds asserted; the sanitizers' own memory and slowness put them out of reach there.
constexpr std::size_t kMemoryCap = kSanitized ? SIZE_MAX : std::size_t{200} << 20;
constexpr double kHealthBoundMs = kSanitized ? 2000 : 500;
// Smaller crowds under the sanitizers, whose listener takes connections several times slower:
// there the cap is not reached (the tests of the listener reach it with a lowered file limit).
constexpr int kStalledBodies = kSanitized ? 300 : 2000;
constexpr int kFloodConnections = kSanitized ? 1000 : 3000;
constexpr int kSlowHeads = 50;

std::size_t resident_bytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// What the probes saw since the last take, and the peak of the process's resident memory.
struct Figures {
    int health = 0, calculate = 0, wrong = 0, fresh_refused = 0;
    double worst_health_ms = 0, worst_fresh_ms = 0, worst_calculate_ms = 0;
    std::size_t peak = 0;
};

// A thread each: /health on a kept connection, /health on a new connection each time, and a
// valuation on a kept connection; each samples the process's memory as well.
class Probes {
  public:
    enum Kind { kept_health, fresh_health, calculate };
    Probes(std::uint16_t port, std::string health) : port_(port), health_(std::move(health)) {
        for (Kind kind : {kept_health, fresh_health, calculate})
            threads_.emplace_back([this, kind] { run(kind); });
    }
    ~Probes() {
        stop_ = true;
        for (auto& t : threads_) t.join();
    }
    Figures take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(figures_, Figures{});
    }

  private:
    void run(Kind kind) {
        Client kept(port_);
        while (!stop_) {
            const auto asked = Clock::now();
            const Reply reply = kind == calculate ? kept.request("POST", "/qvl", kCalculateAt200)
                                : kind == kept_health ? kept.request("GET", "/health", "")
                                                      : Client(port_).request("GET", "/health", "");
            const double took = ms_since(asked);
            const bool wrong = reply.status != 200 ||
                               reply.body != (kind == calculate ? kReferenceValuation : health_);
            const std::size_t memory = resident_bytes();
            std::lock_guard<std::mutex> lock(mutex_);
            Figures& f = figures_;
            f.peak = std::max(f.peak, memory);
            if (kind == calculate) {
                ++f.calculate;
                f.wrong += wrong;
                f.worst_calculate_ms = std::max(f.worst_calculate_ms, took);
            } else if (kind == kept_health) {
                ++f.health;
                f.wrong += wrong;
                f.worst_health_ms = std::max(f.worst_health_ms, took);
            } else {
                // Beyond the connection cap a newcomer is turned away, which is no wrong answer;
                // under the sanitizers it may also be taken in only after the client's 5 s.
                if (reply.body == R"j({"error":"too many connections"})j" ||
                    (reply.status == 0 && kSanitized)) {
                    ++f.fresh_refused;
                } else {
                    f.wrong += wrong;
                }
                f.worst_fresh_ms = std::max(f.worst_fresh_ms, took);
            }
            std::this_thread::sleep_for(kind == fresh_health ? 10ms : 3ms);
        }
    }

    std::uint16_t port_;
    std::string health_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    Figures figures_;
    std::vector<std::thread> threads_;
};

// Many client connections, driven without blocking from the test's thread.
class Crowd {
  public:
    Crowd(std::uint16_t port, int count) {
        for (int i = 0; i < count; ++i) {
            std::uint16_t p = port;
            const int fd = loopback_socket(p, true);
            if (fd < 0) break;
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            fds_.push_back(fd);
        }
    }
    ~Crowd() {
        for (const int fd : fds_) ::close(fd);
    }
    int size() const { return static_cast<int>(fds_.size()); }

    // Each member sends head and then filler up to total bytes, as fast as the service takes
    // them, until done or until the deadline; a member the service closed stops.
    void send(const std::string& head, std::size_t total, Clock::time_point deadline) {
        const std::string bytes = head + std::string(total - head.size(), 'x');
        std::vector<std::size_t> sent(fds_.size(), 0);
        for (bool busy = true; busy && Clock::now() < deadline;) {
            busy = false;
            bool moved = false;
            for (std::size_t i = 0; i < fds_.size(); ++i) {
                if (sent[i] >= total) continue;
                const auto n = ::send(fds_[i], bytes.data() + sent[i],
                                      std::min<std::size_t>(65536, total - sent[i]),
                                      MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) {
                    sent[i] += static_cast<std::size_t>(n);
                    moved = true;
                } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                    sent[i] = total;  // closed by the service
                }
                busy = busy || sent[i] < total;
            }
            if (!moved) std::this_thread::sleep_for(1ms);
        }
    }

    // How many members have been answered 503 so far.
    int refused() {
        int count = 0;
        for (const int fd : fds_) {
            char text[16];
            const auto n = ::recv(fd, text, sizeof text, MSG_DONTWAIT);
            count += n >= 12 && std::string(text, 12) == "HTTP/1.1 503";
        }
        return count;
    }

  private:
    std::vector<int> fds_;
};

class ResilienceTest : public ServiceTest {
  protected:
    static void SetUpTestSuite() {
        // Each flood holds both ends of its connections in this process.
        rlimit files{};
        getrlimit(RLIMIT_NOFILE, &files);
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
        getrlimit(RLIMIT_NOFILE, &files);
        std::printf("open-file limit %llu (the test needs about 8000)\n",
                    static_cast<unsigned long long>(files.rlim_cur));
    }

    static Figures report(const char* phase, Probes& probes) {
        const Figures f = probes.take();
        std::printf(
            "%-20s peak memory %5.1f MB | /health kept: %4d answers, worst %6.2f ms | /health "
            "new: worst %7.2f ms, %d not served | Calculate: %3d answers, worst %6.1f ms | "
            "wrong %d\n",
            phase, static_cast<double>(f.peak) / 1e6, f.health, f.worst_health_ms, f.worst_fresh_ms,
            f.fresh_refused, f.calculate, f.worst_calculate_ms, f.wrong);
        std::fflush(stdout);
        EXPECT_EQ(f.wrong, 0) << phase;
        EXPECT_GT(f.health, 0) << phase;
        EXPECT_LT(f.worst_health_ms, kHealthBoundMs) << phase;
        EXPECT_LT(f.peak, kMemoryCap) << phase;
        return f;
    }
};

TEST_F(ResilienceTest, StaysAvailableAndBoundedUnderAttackAndALongCall) {
    store();
    const std::string health = get("/health").body;
    ASSERT_EQ(health, R"j({"status":"ok","curves":1,"series":1,"swaps":1})j");
    Probes probes(port_, health);
    std::this_thread::sleep_for(1s);
    report("quiet", probes);

    // Slow heads: a byte every 100 ms, for as long as the service lets them.
    const auto slow_started = Clock::now();
    std::atomic<bool> slow_done{false};
    std::atomic<int> slow_cut{0};
    double slow_cut_after_s = 0;
    std::thread slow([&] {
        std::vector<int> fds;
        for (int i = 0; i < kSlowHeads; ++i) {
            std::uint16_t p = port_;
            fds.push_back(loopback_socket(p, true));
        }
        const std::string head = "GET /health HTTP/1.1\r\nHost: localhost\r\nX-Slow: ";
        std::vector<bool> cut(fds.size(), false);
        for (std::size_t i = 0; !slow_done && slow_cut < kSlowHeads; ++i) {
            for (std::size_t k = 0; k < fds.size(); ++k) {
                const char byte = i < head.size() ? head[i] : 's';
                char scratch[512];
                if (!cut[k] && (::send(fds[k], &byte, 1, MSG_NOSIGNAL) != 1 ||
                                ::recv(fds[k], scratch, sizeof scratch, MSG_DONTWAIT) == 0)) {
                    cut[k] = true;
                    if (++slow_cut == kSlowHeads) slow_cut_after_s = ms_since(slow_started) / 1000;
                }
            }
            std::this_thread::sleep_for(100ms);
        }
        for (const int fd : fds) ::close(fd);
    });
    std::this_thread::sleep_for(2s);
    report("slow heads", probes);

    // Stalled bodies: each declares the largest body, sends most of it and stalls. Twice, so
    // that the second shows the memory of the first was given back or reused.
    const std::string stalled_head = "POST /qvl HTTP/1.1\r\nHost: localhost\r\nContent-Length: " +
                                     std::to_string(HttpServer::kMaxBodySize) + "\r\n\r\n";
    for (const char* phase : {"stalled bodies", "stalled bodies again"}) {
        {
            Crowd crowd(port_, kStalledBodies);
            crowd.send(stalled_head, stalled_head.size() + 1000000, Clock::now() + 5s);
            std::this_thread::sleep_for(500ms);
            const int refused = crowd.refused();
            std::printf("%s: %d connections, %d answered 503 at once\n", phase, crowd.size(),
                        refused);
            EXPECT_EQ(crowd.size(), kStalledBodies);
            EXPECT_GT(refused, 0);
            report(phase, probes);
        }
        std::this_thread::sleep_for(1s);
        const std::size_t after = resident_bytes();
        std::printf("%s, 1 s after: memory %.1f MB\n", phase, static_cast<double>(after) / 1e6);
        EXPECT_LT(after, kMemoryCap);
        probes.take();
    }

    // Connections beyond the cap: the newcomers are turned away, the kept ones served.
    {
        Crowd crowd(port_, kFloodConnections);
        std::this_thread::sleep_for(2s);
        const int refused = crowd.refused();
        const int cap = static_cast<int>(HttpServer::kMaxConnections);
        std::printf("connection flood: %d connections, %d turned away (cap %d)\n", crowd.size(),
                    refused, cap);
        EXPECT_EQ(crowd.size(), kFloodConnections);
        EXPECT_GE(refused, std::max(0, crowd.size() - cap));
        report("connection flood", probes);
    }
    std::this_thread::sleep_for(500ms);
    probes.take();

    // A long worksheet call: the calculation lock held for 3 s of curve building, as a
    // worksheet function building large curves holds it. Valuations wait for it; nothing else
    // does.
    {
        CurveInput table;
        for (int year = 1; year <= 2000; ++year)
            table.emplace_back(std::to_string(year) + "Y", 0.03);
        const auto lock = addin::ObjectCache::Instance().CalculationLock();
        const auto until = Clock::now() + 3s;
        int curves = 0;
        for (; Clock::now() < until; ++curves) YieldCurve(parse_date("2026-01-20"), table);
        std::printf("long call: %d curves of %zu rows in 3 s\n", curves, table.size());
    }
    std::this_thread::sleep_for(500ms);
    const Figures f = report("long worksheet call", probes);
    EXPECT_GT(f.worst_calculate_ms, 2000.0) << "the valuation did not wait for the long call";
    EXPECT_LT(f.worst_calculate_ms, 4000.0);

    // The slow heads were cut at the head's time limit.
    slow_done = true;
    slow.join();
    std::printf("slow heads: %d of %d cut by the service, the last after %.1f s\n", slow_cut.load(),
                kSlowHeads, slow_cut_after_s);
    EXPECT_EQ(slow_cut.load(), kSlowHeads);

    // Afterwards: served as before.
    std::this_thread::sleep_for(500ms);
    report("afterwards", probes);
    EXPECT_EQ(post(kCalculateAt200).body, kReferenceValuation);
    EXPECT_EQ(get("/health").body, health);
}

}  // namespace
}  // namespace qvl::service::testing
