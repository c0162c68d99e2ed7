#pragma once
// Runs the real kelmo executable in a folder and collects what it prints.
#include <sys/types.h>

#include <mutex>
#include <string>
#include <thread>

namespace kelmo::testing_support {

class KelmoProcess {
public:
    // Starts build/kelmo with the given folder as current directory; standard output is collected.
    explicit KelmoProcess(const std::string& folder);
    ~KelmoProcess();  // kills the process if it still runs
    KelmoProcess(const KelmoProcess&) = delete;
    KelmoProcess& operator=(const KelmoProcess&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int number) const;
    // True once the collected output contains text, false after timeoutSeconds.
    bool waitForOutput(const std::string& text, double timeoutSeconds);
    // The exit status (0..255), or -1 when the process has not ended within timeoutSeconds, or
    // 128 + signal number when a signal ended it.
    int waitForExit(double timeoutSeconds);
    std::string output();

private:
    pid_t pid_ = -1;
    int status_ = -1;
    int outputFd_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::string output_;
};

}  // namespace kelmo::testing_support
