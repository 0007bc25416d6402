// The service under slow heads and, twice, a flood of stalled bodies, while probes ask for
// /health and a valuation: their answers stay right, /health quick and the process within its
// memory bound, then and afterwards. Each phase prints its figures. Run: ctest -L resilience

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

#include "http/http_server.hpp"
#include "service_fixture.hpp"

namespace qvl::service::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using win32util::HttpServer;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
// The bounds asserted; the sanitizers' own memory and slowness put them out of reach there.
constexpr std::size_t memory_cap = sanitized ? SIZE_MAX : std::size_t{200} << 20;
constexpr double health_bound_ms = sanitized ? 2000 : 500;
// A smaller crowd under the sanitizers, whose listener takes connections several times slower.
constexpr int stalled_body_count = sanitized ? 300 : 2000;
constexpr int slow_head_count = 50;

std::size_t resident_bytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// What the probes saw since the last take, and the process's peak resident memory.
struct Figures {
    int answers[2] = {}, wrong = 0;  // by probe: /health, valuation
    double worst_ms[2] = {};
    std::size_t peak = 0;
};

// A thread each, on a kept connection: /health, and a valuation.
class Probes {
  public:
    Probes(std::uint16_t port, const std::string& health) {
        for (bool calculate : {false, true}) {
            threads_.emplace_back([=, this] {
                Client client(port);
                while (!stop_) {
                    std::this_thread::sleep_for(3ms);
                    const auto asked = Clock::now();
                    const Reply reply = calculate ? client.request("POST", "/qvl", calculate_at200)
                                                  : client.request("GET", "/health", "");
                    const std::chrono::duration<double, std::milli> took = Clock::now() - asked;
                    const std::size_t memory = resident_bytes();
                    std::lock_guard<std::mutex> lock(mutex_);
                    ++figures_.answers[calculate];
                    figures_.wrong += reply.status != 200 ||
                                      reply.body != (calculate ? reference_valuation : health);
                    figures_.worst_ms[calculate] =
                        std::max(figures_.worst_ms[calculate], took.count());
                    figures_.peak = std::max(figures_.peak, memory);
                }
            });
        }
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
        refused_.resize(fds_.size());
    }
    ~Crowd() {
        for (const int fd : fds_) ::close(fd);
    }
    int size() const { return static_cast<int>(fds_.size()); }

    // Each member sends bytes as fast as the service takes them, until done or until the
    // deadline; a member the service refused stops.
    void send(const std::string& bytes, Clock::time_point deadline) {
        std::vector<std::size_t> sent(fds_.size(), 0);
        for (bool busy = true; busy && Clock::now() < deadline;) {
            busy = false;
            for (std::size_t i = 0; i < fds_.size(); ++i) {
                if (sent[i] == bytes.size() || refused_[i]) continue;
                const auto n = ::send(fds_[i], bytes.data() + sent[i], bytes.size() - sent[i],
                                      MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) sent[i] += static_cast<std::size_t>(n);
                refused_[i] = n < 0 && errno != EAGAIN;
                busy = busy || sent[i] < bytes.size();
            }
            std::this_thread::sleep_for(1ms);
        }
    }

    // How many members the service has refused so far: answered early, or closed.
    int refused() {
        for (std::size_t i = 0; i < fds_.size(); ++i) {
            char scratch[512];
            if (::recv(fds_[i], scratch, sizeof scratch, MSG_DONTWAIT) >= 0) refused_[i] = true;
        }
        return static_cast<int>(std::count(refused_.begin(), refused_.end(), true));
    }

  private:
    std::vector<int> fds_;
    std::vector<bool> refused_;
};

void report(const char* phase, Probes& probes) {
    const Figures f = probes.take();
    std::printf(
        "%-20s peak memory %5.1f MB | /health: %4d answers, worst %6.2f ms | Calculate: %3d "
        "answers, worst %6.1f ms | wrong %d\n",
        phase, static_cast<double>(f.peak) / 1e6, f.answers[0], f.worst_ms[0], f.answers[1],
        f.worst_ms[1], f.wrong);
    std::fflush(stdout);
    EXPECT_EQ(f.wrong, 0) << phase;
    EXPECT_GT(f.answers[0], 0) << phase;
    EXPECT_LT(f.worst_ms[0], health_bound_ms) << phase;
    EXPECT_LT(f.peak, memory_cap) << phase;
}

using ResilienceTest = ServiceTest;

TEST_F(ResilienceTest, StaysAvailableAndBoundedUnderAttack) {
    // Each crowd holds both ends of its connections in this process.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    store();
    Probes probes(port_, R"j({"status":"ok","curves":1,"series":1,"swaps":1})j");
    std::this_thread::sleep_for(1s);
    report("quiet", probes);

    // Slow heads: a byte every 100 ms, for as long as the service lets them, and a while longer
    // than the time it allows a head.
    Crowd slow_heads(port_, slow_head_count);
    int slow_cut = 0;
    std::thread slow([&] {
        const auto give_up =
            Clock::now() + std::chrono::seconds(HttpServer::idle_timeout_seconds + 5);
        const std::string head = "GET /health HTTP/1.1\r\nHost: localhost\r\nX-Slow: ";
        for (std::size_t i = 0; Clock::now() < give_up && slow_cut < slow_head_count; ++i) {
            slow_heads.send(std::string(1, i < head.size() ? head[i] : 's'), Clock::now() + 1ms);
            slow_cut = slow_heads.refused();
            std::this_thread::sleep_for(100ms);
        }
    });
    std::this_thread::sleep_for(2s);
    report("slow heads", probes);

    // Stalled bodies: each declares the largest body, sends most of it and stalls. Twice, so
    // that the second shows the memory of the first was given back or reused.
    const std::string stalled = "POST /qvl HTTP/1.1\r\nHost: localhost\r\nContent-Length: " +
                                std::to_string(HttpServer::max_body_size) + "\r\n\r\n" +
                                std::string(1000000, 'x');
    for (const char* phase : {"stalled bodies", "stalled bodies again"}) {
        {
            Crowd crowd(port_, stalled_body_count);
            crowd.send(stalled, Clock::now() + 5s);
            std::this_thread::sleep_for(500ms);
            const int refused = crowd.refused();
            std::printf("%s: %d of %d refused\n", phase, refused, crowd.size());
            EXPECT_EQ(crowd.size(), stalled_body_count);
            EXPECT_GT(refused, 0);
            report(phase, probes);
        }
        std::this_thread::sleep_for(1s);
        EXPECT_LT(resident_bytes(), memory_cap) << phase << ", 1 s after";
        probes.take();
    }

    // The slow heads were cut at the head's time limit.
    slow.join();
    std::printf("slow heads: %d of %d cut by the service\n", slow_cut, slow_head_count);
    EXPECT_EQ(slow_cut, slow_head_count);

    // Afterwards: served as before.
    std::this_thread::sleep_for(500ms);
    report("afterwards", probes);
}

}  // namespace
}  // namespace qvl::service::testing
