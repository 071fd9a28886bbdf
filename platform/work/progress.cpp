// Progress and cancellation of long work.
#include "platform/work/progress.h"

#include <algorithm>
#include <csignal>

namespace qx::work {

namespace {

thread_local Progress* tCurrent = nullptr;
thread_local Runner* tRunner = nullptr;
thread_local int tCleanups = 0;
thread_local int tRunning = 0;
volatile std::sig_atomic_t gStop = 0;

}  // namespace

void Progress::begin(Stage stage) {
    if (stage_.exchange(static_cast<int>(stage)) == static_cast<int>(stage)) return;
    rows_ = 0;
    permille_ = -1;
    if (onReport) onReport(*this);
}

void Progress::setRows(std::int64_t rows) {
    std::int64_t seen = rows_.load();
    while (rows > seen && !rows_.compare_exchange_weak(seen, rows)) {
    }
    if (onReport) onReport(*this);
}

void Progress::setFraction(double done) {
    int p = static_cast<int>(std::clamp(done, 0.0, 1.0) * 1000);
    int seen = permille_.load();
    while (p > seen && !permille_.compare_exchange_weak(seen, p)) {
    }
    if (onReport) onReport(*this);
}

void Progress::cancel() {
    cancelled_ = true;
    std::lock_guard lock(mutex_);
    if (interrupter_) interrupter_();
}

bool Progress::cancelled() const {
    return cancelled_;
}

Snapshot Progress::snapshot() const {
    return {static_cast<Stage>(stage_.load()), rows_.load(), permille_.load()};
}

void Progress::setInterrupter(std::function<void()> interrupter) {
    std::lock_guard lock(mutex_);
    interrupter_ = std::move(interrupter);
}

Progress* current() {
    return tCurrent;
}

Progress* setCurrent(Progress* progress) {
    Progress* previous = tCurrent;
    tCurrent = progress;
    return previous;
}

Scope::Scope(Progress* progress) : previous_(tCurrent) {
    tCurrent = progress;
}

Scope::~Scope() {
    tCurrent = previous_;
}

Cleanup::Cleanup() {
    ++tCleanups;
}

Cleanup::~Cleanup() {
    --tCleanups;
}

bool longWorkRunning() {
    return tRunning > 0;
}

bool cancelRequested() {
    return tCleanups == 0 && (gStop != 0 || (tCurrent && tCurrent->cancelled()));
}

void report(Stage stage) {
    if (tCurrent) tCurrent->begin(stage);
}

void reportRows(std::int64_t rows) {
    if (tCurrent) tCurrent->setRows(rows);
}

void reportFraction(double done) {
    if (tCurrent) tCurrent->setFraction(done);
}

void requestStopFromSignal() noexcept {
    gStop = 1;
}

bool stopRequested() {
    return gStop != 0;
}

std::string groupedNumber(std::int64_t n) {
    std::string digits = std::to_string(n < 0 ? -n : n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return n < 0 ? "-" + out : out;
}

std::string describe(const Snapshot& s, long long elapsedSeconds) {
    std::string percent = s.permille >= 0 ? std::to_string(s.permille / 10) + "%" : std::string();
    std::string elapsed = "（已用 " + std::to_string(elapsedSeconds) + " 秒）";
    switch (s.stage) {
        case Stage::Reading:
            return "已读入 " + groupedNumber(s.rows) + " 行" +
                   (percent.empty() ? std::string() : "，" + percent);
        case Stage::Exporting:
            return percent.empty() ? "已写出 " + groupedNumber(s.rows) + " 行"
                                   : "已写出 " + percent;
        case Stage::Compacting:
            return "正在压缩数据库" + (percent.empty() ? elapsed : " " + percent);
        case Stage::Statement:
            return "正在生成结果" + elapsed;
        case Stage::Lines:
            return "正在处理文本行" + (percent.empty() ? elapsed : " " + percent);
        case Stage::Working:
            break;
    }
    return "正在处理" + elapsed;
}

void setRunner(Runner runner) {
    static thread_local Runner held;
    held = std::move(runner);
    tRunner = held ? &held : nullptr;
}

void runLong(const std::function<void()>& work) {
    if (tRunner && *tRunner) {
        // The runner's thread is busy with its own events until the work is done; a runner
        // called again from inside (a nested step) runs the work where it is.
        Runner* runner = tRunner;
        tRunner = nullptr;
        ++tRunning;
        struct Restore {
            Runner* r;
            ~Restore() {
                tRunner = r;
                --tRunning;
            }
        } restore{runner};
        // Taking back a cancelled step goes on on the runner's thread too.
        const int cleanups = tCleanups;
        (*runner)([&] {
            tCleanups += cleanups;
            work();
            tCleanups -= cleanups;
        });
    } else {
        work();
    }
}

}  // namespace qx::work
