// A row source read ahead on a second thread.
#include "platform/isam/read_ahead.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace qx::isam {

namespace {

constexpr std::size_t kBatchRows = 256;
constexpr std::size_t kMaxBatchesWaiting = 8;

using Batch = std::vector<std::vector<Value>>;

class ReadAhead : public RowSource {
  public:
    explicit ReadAhead(std::unique_ptr<RowSource> rows)
        : rows_(std::move(rows)), columns_(rows_->columns()) {
        worker_ = std::thread([this] { read(); });
    }
    ~ReadAhead() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }

    const std::vector<ColumnDef>& columns() const override { return columns_; }
    std::vector<ColumnDef> columnsAtEnd() const override {
        std::lock_guard<std::mutex> lock(mutex_);  // the reading thread has finished with them
        return rows_->columnsAtEnd();
    }
    double fractionRead() const override { return fraction_; }
    std::string error() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return error_;
    }

    bool next(std::vector<Value>& row) override {
        if (at_ >= filled_) {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!batch_.empty()) spare_.push_back(std::move(batch_));
            changed_.wait(lock, [this] { return !ready_.empty() || done_; });
            if (ready_.empty()) return false;
            batch_ = std::move(ready_.front().first);
            filled_ = ready_.front().second;
            ready_.pop_front();
            at_ = 0;
            lock.unlock();
            changed_.notify_all();
        }
        // The caller's row goes into the batch, so that its room serves a later row.
        std::swap(row, batch_[at_++]);
        return true;
    }

  private:
    void read() {
        for (;;) {
            Batch batch;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [this] { return ready_.size() < kMaxBatchesWaiting || stop_; });
                if (stop_) return;
                if (!spare_.empty()) {
                    batch = std::move(spare_.back());
                    spare_.pop_back();
                }
            }
            batch.resize(kBatchRows);
            std::size_t n = 0;
            while (n < kBatchRows && rows_->next(batch[n])) ++n;
            bool end = n < kBatchRows;
            fraction_ = rows_->fractionRead();
            std::string why = end ? rows_->error() : std::string();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (n > 0) ready_.emplace_back(std::move(batch), n);
                if (end) {
                    error_ = why;
                    done_ = true;
                }
            }
            changed_.notify_all();
            if (end) return;
        }
    }

    std::unique_ptr<RowSource> rows_;
    std::vector<ColumnDef> columns_;
    Batch batch_;  // the batch being handed out, rows [at_, filled_) still to come
    std::size_t at_ = 0, filled_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<Batch, std::size_t>> ready_;
    std::vector<Batch> spare_;
    std::string error_;
    bool done_ = false, stop_ = false;
    std::atomic<double> fraction_{-1};
    std::thread worker_;
};

}  // namespace

std::unique_ptr<RowSource> readAhead(std::unique_ptr<RowSource> rows) {
    return std::make_unique<ReadAhead>(std::move(rows));
}

}  // namespace qx::isam
