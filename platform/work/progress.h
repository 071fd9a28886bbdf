// Long work: how far a step has come and whether the user asked it to stop. The step runs on
// whatever thread its caller chose; the thread that shows the progress reads it from there.
// The engine, the drivers and the line operations report through `current()`, so that no
// routine between the window and the loop over rows needs to pass anything along.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace qx::work {

inline constexpr const char* kCancelled = "操作已取消";

// What a step is doing, in the order a read or an operation goes through them.
enum class Stage { Working, Reading, Statement, Exporting, Compacting, Lines };

struct Snapshot {
    Stage stage = Stage::Working;
    std::int64_t rows = 0;  // rows read or written so far
    int permille = -1;      // how far, when the whole is known; -1 when not
};

class Progress {
  public:
    // The working side. A new stage starts from nothing; within a stage the figures only grow.
    void begin(Stage stage);
    void setRows(std::int64_t rows);
    void setFraction(double done);  // 0..1

    // Any thread. Cancelling also stops an engine call under way through the interrupter.
    void cancel();
    bool cancelled() const;
    Snapshot snapshot() const;
    // Set by the engine around a statement; called by cancel() on the cancelling thread.
    void setInterrupter(std::function<void()> interrupter);
    // Called on the working thread after each report (tests cancel at a chosen point with it).
    std::function<void(Progress&)> onReport;

  private:
    std::atomic<int> stage_{0};
    std::atomic<std::int64_t> rows_{0};
    std::atomic<int> permille_{-1};
    std::atomic<bool> cancelled_{false};
    mutable std::mutex mutex_;
    std::function<void()> interrupter_;
};

// The progress of the step this thread works on, or nullptr.
Progress* current();

// Makes `progress` the current one of this thread; returns the one before.
Progress* setCurrent(Progress* progress);

// Makes `progress` the current one of this thread for the scope's lifetime.
class Scope {
  public:
    explicit Scope(Progress* progress);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

  private:
    Progress* previous_;
};

// Undoing a cancelled step: while one lives, this thread's work is not stopped, so that the
// statements that take the step back can run.
class Cleanup {
  public:
    Cleanup();
    ~Cleanup();
    Cleanup(const Cleanup&) = delete;
    Cleanup& operator=(const Cleanup&) = delete;
};

// Whether long work runs through a runner at this moment (on the runner's thread).
bool longWorkRunning();

// Whether the work of this thread is to stop: its progress was cancelled, or the process was
// asked to stop (Ctrl-C in the command-line programs).
bool cancelRequested();
// Reports to the current progress, if any.
void report(Stage stage);
void reportRows(std::int64_t rows);
void reportFraction(double done);

// The process-wide request to stop, made from a signal handler: async-signal-safe.
void requestStopFromSignal() noexcept;
bool stopRequested();

// What the busy notice says under its two labels: "已读入 123,456 行", "已写出 45%", ...
std::string describe(const Snapshot& snapshot, long long elapsedSeconds);
// 1234567 as "1,234,567".
std::string groupedNumber(std::int64_t n);

// Runs long work. A window installs a runner for its thread that runs the work on another
// thread and keeps answering meanwhile; without one (the command line, tests, a worker thread
// itself) the work runs where it is called.
using Runner = std::function<void(const std::function<void()>& work)>;
void setRunner(Runner runner);  // for the calling thread; an empty one removes it
void runLong(const std::function<void()>& work);

}  // namespace qx::work
