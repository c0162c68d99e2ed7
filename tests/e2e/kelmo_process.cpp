#include "tests/e2e/kelmo_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace kelmo::testing_support {

KelmoProcess::KelmoProcess(const std::string& folder) {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string program = std::string(KELMO_BINARY_DIR) + "/kelmo";
    pid_ = fork();
    if (pid_ == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        if (chdir(folder.c_str()) != 0) _exit(126);
        execl(program.c_str(), "kelmo", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    outputFd_ = fds[0];
    reader_ = std::thread([this] {
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(outputFd_, buffer, sizeof buffer);
            if (n <= 0) break;
            std::lock_guard<std::mutex> lock(mutex_);
            output_.append(buffer, static_cast<size_t>(n));
        }
    });
}

KelmoProcess::~KelmoProcess() {
    if (pid_ > 0 && status_ < 0) {
        kill(pid_, SIGKILL);
        waitForExit(10.0);
    }
    if (reader_.joinable()) reader_.join();
    if (outputFd_ >= 0) close(outputFd_);
}

void KelmoProcess::signal(int number) const {
    if (pid_ > 0) kill(pid_, number);
}

bool KelmoProcess::waitForOutput(const std::string& text, double timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (output().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

int KelmoProcess::waitForExit(double timeoutSeconds) {
    if (status_ >= 0 || pid_ <= 0) return status_;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    do {
        int raw = 0;
        if (waitpid(pid_, &raw, WNOHANG) == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            // The pipe closes with the process: collect the rest of its output.
            if (reader_.joinable()) reader_.join();
            return status_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return -1;
}

std::string KelmoProcess::output() {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
}

}  // namespace kelmo::testing_support
