// A built program run by a test as a user would run it: on a terminal of its own
// (a pseudo-terminal whose master side is the test's keyboard and screen), or with
// its output captured through a pipe, as a script runs it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace norvane::test {

class TerminalProgram {
  public:
    struct Setup {
        bool terminal = true;  // false: standard output and error into a pipe
        int columns = 160;
        int pipeBytes = 0;  // the pipe's capacity (0: the system's), for a reader that lags
    };

    // Starts `argv` with standard input, output and error on a new terminal (or,
    // as `screen` says, its output into a pipe and its input from /dev/null).
    explicit TerminalProgram(const std::vector<std::string>& argv, Setup screen);
    explicit TerminalProgram(const std::vector<std::string>& argv)
        : TerminalProgram(argv, Setup{}) {}
    // A program still running is killed, and every process it started.
    ~TerminalProgram();
    TerminalProgram(const TerminalProgram&) = delete;
    TerminalProgram& operator=(const TerminalProgram&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // Reads the screen until `text` appears or `ms` pass; true when it appeared.
    bool WaitFor(const std::string& text, int ms);
    // Seconds on the monotonic clock at which `text` first appeared; negative if never.
    double SeenAt(const std::string& text) const;

    void Type(const std::string& keys);
    void Signal(int signal);
    // Closes the test's end: the terminal hangs up, or the pipe loses its reader.
    void Close();

    // Waits for the program's exit: its status, or -1 when it did not end within
    // `ms` (it is then killed) or ended by a signal.
    int WaitExit(int ms);
    bool Running();

    const std::string& Screen() const { return screen_; }

  private:
    void ReadFor(int ms);

    pid_t pid_ = -1;
    int master_ = -1;
    int status_ = -2;  // -2: not collected yet
    std::string screen_;
    std::vector<std::pair<std::size_t, double>> arrivals_;  // screen size after each read, and when
};

struct CapturedRun {
    int exitStatus = -1;  // -1: killed after the time limit, or ended by a signal
    std::string output;   // standard output and standard error, interleaved
};

// Runs `argv` with standard input from /dev/null and its output in a pipe.
CapturedRun RunCaptured(const std::vector<std::string>& argv, int ms);

double MonotonicSeconds();

// Kills `root` and every process below it (a several-PLC run's burns are in
// process groups of their own, and would outlive their parent).
void KillProcessTree(pid_t root);

}  // namespace norvane::test
