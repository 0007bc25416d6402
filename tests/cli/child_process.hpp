#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

// A program run with piped standard streams, read with bounded waits so that a hung child fails
// the test instead of the run.
class ChildProcess {
  public:
    using Clock = std::chrono::steady_clock;

    ChildProcess(const std::vector<std::string>& args, const std::string& input,
                 const std::string& folder = "") {
        ::signal(SIGPIPE, SIG_IGN);  // a child that exits before reading its input
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC)) {
            throw std::runtime_error("pipe");
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
                ::_exit(126);
            }
            std::vector<char*> argv;
            for (const auto& a : args) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        out_fd_ = out[0];
        err_fd_ = err[0];
        // The input is small: it fits the pipe, and closing gives the child its end of input.
        [[maybe_unused]] auto n = ::write(in[1], input.data(), input.size());
        ::close(in[1]);
    }

    ~ChildProcess() {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_fd_);
        ::close(err_fd_);
    }

    // Reads until standard output holds needle; false when the time runs out or output ends.
    bool wait_for_output(const std::string& needle, std::chrono::seconds limit) {
        const auto deadline = Clock::now() + limit;
        while (out.find(needle) == std::string::npos) {
            if (!pump(deadline)) {
                return false;
            }
        }
        return true;
    }

    void signal(int sig) { ::kill(pid_, sig); }

    // Reads both streams to their end and waits for the exit status; -1 after the time limit.
    int finish(std::chrono::seconds limit = std::chrono::seconds(60)) {
        const auto deadline = Clock::now() + limit;
        while (pump(deadline)) {
        }
        if (open_streams_ > 0) {
            return -1;
        }
        int raw = 0;
        ::waitpid(pid_, &raw, 0);
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return status_;
    }

    std::string out;
    std::string err;

  private:
    // One read from whichever stream is ready; false at the deadline or when both have ended.
    bool pump(Clock::time_point deadline) {
        if (open_streams_ == 0) {
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd fds[2] = {{out_done_ ? -1 : out_fd_, POLLIN, 0},
                         {err_done_ ? -1 : err_fd_, POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const auto n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? out : err).append(buffer, static_cast<std::size_t>(n));
            } else {
                (i == 0 ? out_done_ : err_done_) = true;
                --open_streams_;
            }
        }
        return true;
    }

    pid_t pid_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    bool out_done_ = false;
    bool err_done_ = false;
    int open_streams_ = 2;
    int status_ = -1;
};
