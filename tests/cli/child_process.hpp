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
        std::ofstream(files_ / "in", std::ios::binary) << input;
        pid_ = ::fork();
        if (pid_ == 0) {
            const char* streams[] = {"in", "out", "err"};
            for (int fd = 0; fd < 3; ++fd) {
                const int file = ::open((files_ / streams[fd]).c_str(),
                                        fd == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0600);
                ::dup2(file, fd);
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
        if (status_ < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        std::filesystem::remove_all(files_);
    }

    // Polls standard output until it holds needle; false when the program ends first.
    bool wait_for_output(const std::string& needle) {
        while ((out = read("out")).find(needle) == std::string::npos) {
            if (::waitpid(pid_, &raw_, WNOHANG) != 0) {
                finish();
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    void signal(int sig) { ::kill(pid_, sig); }

    // Waits for the program to end; its exit status, or 128 plus the signal that ended it.
    int finish() {
        if (raw_ < 0) ::waitpid(pid_, &raw_, 0);
        status_ = WIFEXITED(raw_) ? WEXITSTATUS(raw_) : 128 + WTERMSIG(raw_);
        out = read("out");
        err = read("err");
        return status_;
    }

    std::string out;
    std::string err;

  private:
    std::string read(const char* stream) const {
        std::ifstream in(files_ / stream, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::filesystem::path files_;
    pid_t pid_ = -1;
    int raw_ = -1;  // the wait status, once collected
    int status_ = -1;
};
