// A program, or a function of this one, run in a child process by a test or a
// benchmark as its users run it: on a terminal of its own (a pseudo-terminal
// whose master side is the caller's keyboard and screen), with its output in a
// pipe the caller reads, or with its streams wired where a benchmark wants them.
// Every child is started, read, waited for and ended here, and ending one ends
// every process it started too.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace norvane::test {

// How a child ran: its exit status (-1: it did not exit normally), its wall time,
// and the CPU time and context switches it used.
struct ChildRun {
    int exitStatus = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    long contextSwitches = 0;  // voluntary and involuntary
};

class ChildProcess {
  public:
    struct Setup {
        enum class Output { Terminal, Pipe, Wired };
        // Terminal: standard input, output and error on a new terminal. Pipe:
        // standard output and error into a pipe read here, input from /dev/null.
        // Wired: the descriptors below, or /dev/null for input and the log file.
        Output output = Output::Terminal;
        int columns = 160;  // the terminal's
        int pipeBytes = 0;  // the pipe's capacity (0: the system's), for a reader that lags
        int stdinFd = -1;   // Wired
        int stdoutFd = -1;
        int stderrFd = -1;
        std::string logPath;                   // Wired: where output goes that is not wired
        std::string workDir;                   // empty: unchanged
        std::vector<std::string> environment;  // NAME=value, added to this process's
    };

    // Starts `argv` (argv[0] looked up on PATH when it has no '/').
    ChildProcess(const std::vector<std::string>& argv, Setup setup);
    explicit ChildProcess(const std::vector<std::string>& argv) : ChildProcess(argv, Setup{}) {}
    // Runs `body` in a copy of this process, its standard output into the pipe
    // read here; the child exits with what `body` returns.
    explicit ChildProcess(const std::function<int()>& body);
    // A child still running is killed, with every process it started.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // Reads the output until `text` appears or `ms` pass; true when it appeared.
    bool WaitFor(const std::string& text, int ms);
    // Reads what comes within `ms`.
    void Read(int ms) { ReadFor(ms); }
    // Seconds on the monotonic clock at which `text` first appeared; negative if never.
    double SeenAt(const std::string& text) const;

    void Type(const std::string& keys);
    void Signal(int signal);
    // Closes this end: the terminal hangs up, or the pipe loses its reader.
    void Close();

    // Waits for the exit, reading the output meanwhile: the exit status, or -1
    // when it did not end within `ms` (it is then killed) or ended by a signal.
    int WaitExit(int ms);
    bool Running();
    // How it ran, once it has ended.
    const ChildRun& Result() const { return result_; }
    // The signal that ended it; 0 when it exited.
    int EndingSignal() const { return signal_; }
    // It was ended by WaitExit because its time was up.
    bool TimedOut() const { return timedOut_; }

    const std::string& Screen() const { return screen_; }

  private:
    void ReadFor(int ms);
    void Collect(int status, const ::rusage& usage);

    pid_t pid_ = -1;
    int master_ = -1;
    bool ended_ = false;
    bool timedOut_ = false;
    int signal_ = 0;
    double startedAt_ = 0;
    ChildRun result_;
    std::string screen_;
    std::vector<std::pair<std::size_t, double>> arrivals_;  // screen size after each read, and when
};

struct CapturedRun {
    int exitStatus = -1;  // -1: killed after the time limit, or ended by a signal
    std::string output;   // standard output and standard error, interleaved
};

// Runs `argv` with standard input from /dev/null and its output in a pipe, with
// `environment` (NAME=value) added.
CapturedRun RunCaptured(const std::vector<std::string>& argv, int ms,
                        const std::vector<std::string>& environment = {});

double MonotonicSeconds();

// Kills `root` and every process below it (a several-PLC run's burns are in
// process groups of their own, and would outlive their parent).
void KillProcessTree(pid_t root);

}  // namespace norvane::test
