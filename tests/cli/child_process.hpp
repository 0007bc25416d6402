#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// A program run with its standard input read from a text and its output written to files. An
// alarm ends it after a minute, so that a hung child fails the test instead of the run.
class ChildProcess {
  public:
    ChildProcess(const std::vector<std::string>& args, const std::string& input,
                 const std::string& folder = "") {
        char name[] = "/tmp/qvl-child-XXXXXX";
        files_ = ::mkdtemp(name);
        std::ofstream(files_ / "0", std::ios::binary) << input;
        if ((pid_ = ::fork()) == 0) {
            for (int fd = 0; fd < 3; ++fd) {
                const auto file = files_ / std::to_string(fd);
                ::dup2(::open(file.c_str(), fd == 0 ? O_RDONLY : O_WRONLY | O_CREAT, 0600), fd);
            }
            if (!folder.empty() && ::chdir(folder.c_str()) != 0) ::_exit(126);
            std::vector<char*> argv;
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::alarm(60);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }

    ~ChildProcess() {
        if (raw_ < 0) ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
        std::filesystem::remove_all(files_);
    }

    // Polls standard output until it holds needle; false when the program ends first.
    bool wait_for_output(const std::string& needle) {
        while ((out = read(1)).find(needle) == std::string::npos) {
            if (::waitpid(pid_, &raw_, WNOHANG) != 0) return finish() < 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    void signal(int sig) { ::kill(pid_, sig); }

    // Waits for the program to end: its exit status, or 128 plus the signal that ended it.
    int finish() {
        if (raw_ < 0) ::waitpid(pid_, &raw_, 0);
        out = read(1);
        err = read(2);
        return status = WIFEXITED(raw_) ? WEXITSTATUS(raw_) : 128 + WTERMSIG(raw_);
    }

    std::string out, err;
    int status = -1;

  private:
    std::string read(int fd) const {
        std::ifstream in(files_ / std::to_string(fd), std::ios::binary);
        return (std::ostringstream() << in.rdbuf()).str();
    }

    std::filesystem::path files_;
    pid_t pid_ = -1;
    int raw_ = -1;  // the wait status, once collected
};
