// Runs a program as a child process with its own working directory, for end-to-end tests.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace nimbrel::test {

class ChildProcess {
  public:
    // Starts `program` with `args` in `directory`, its standard output going to
    // `outputFile`, and `environment` (NAME=value) added to this process's own.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& directory, const std::string& outputFile,
                 const std::vector<std::string>& environment = {});
    // Kills the child if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // Waits at most `limit` for the child to exit: its exit code, or -1 if it did not
    // exit within the limit or ended by a signal.
    int WaitForExit(std::chrono::milliseconds limit);
    // Ends the child with SIGTERM, as an operator stopping it would, and reaps it.
    void Stop();

  private:
    pid_t pid_ = -1;
    int status_ = -1;
};

}  // namespace nimbrel::test
