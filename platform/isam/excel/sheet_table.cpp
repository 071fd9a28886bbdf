// Columns and types of a sheet, and its rows as a table.
#include "platform/isam/excel/sheet_table.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/jet/text.h"

namespace qx::isam::excel {

using jet::JetType;

bool sheetOfTable(const std::string& table, std::string& sheet, std::string& error) {
    if (table.empty() || table.back() != '$') {
        error = "找不到工作表“" + table + "”（工作表名应以 $ 结尾）";
        return false;
    }
    sheet = table.substr(0, table.size() - 1);
    return true;
}

bool headerRow(const ExternalClause& db) {
    return jet::asciiUpper(db.property("HDR")) != "NO";
}

std::string cellText(const Cell& c) {
    switch (c.kind) {
        case Cell::Kind::Number:
            return jet::formatDouble(c.number);
        case Cell::Kind::Date: {
            auto dt = jet::fromSerial(c.number);
            return dt ? jet::formatDateTime(*dt) : jet::formatDouble(c.number);
        }
        case Cell::Kind::Bool:
            return c.number != 0 ? "TRUE" : "FALSE";
        case Cell::Kind::Text:
            return c.text;
        default:
            return {};
    }
}

namespace {

constexpr std::size_t kMaxTableColumns = 255;
constexpr const char* kTooManyColumns =
    "工作表中有超过 255 列的数据，超出了数据表最多 255 列的限制，无法读入。请先删去多余的列";

// The columns up to the last cell with a value.
std::size_t dataWidth(const std::vector<Cell>& cells) {
    std::size_t w = cells.size();
    while (w > 0 && (cells[w - 1].kind == Cell::Kind::Empty ||
                     (cells[w - 1].kind == Cell::Kind::Text && cells[w - 1].text.empty())))
        --w;
    return w;
}

// Rows are parsed on a second thread while the engine stores the rows before them; they cross
// over in batches.
constexpr std::size_t kBatchRows = 512;
constexpr std::size_t kMaxBatchesWaiting = 16;

class SheetStream : public RowSource {
  public:
    SheetStream(std::unique_ptr<SheetCells> cells, bool header)
        : cells_(std::move(cells)), header_(header) {}

    ~SheetStream() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        if (worker_.joinable()) worker_.join();
    }

    // Reads the header row (or peeks at the first row for its width) and starts the parser.
    bool start(std::string& error) {
        if (!cells_->rewind(error)) return false;
        std::vector<Cell> first;
        bool any = cells_->nextRow(first, error);
        if (!error.empty()) return false;
        std::size_t width = 1;
        std::vector<std::string> names;
        if (header_ && any) {
            for (const Cell& c : first) names.push_back(cellText(c));
            // Trailing empty header cells name no column unless data stands below them.
            width = names.size();
            while (width > 1 && names[width - 1].empty()) --width;
            width = std::max<std::size_t>(width, 1);
        } else if (any) {
            width = std::max<std::size_t>(first.size(), 1);
            pendingFirst_ = std::move(first);
            hasPendingFirst_ = true;
        }
        if (width > kMaxTableColumns || dataWidth(pendingFirst_) > kMaxTableColumns) {
            error = kTooManyColumns;
            return false;
        }
        for (std::size_t k = 0; k < width; ++k) addColumn(k < names.size() ? names[k] : "");
        worker_ = std::thread([this] { parse(); });
        return true;
    }

    const std::vector<ColumnDef>& columns() const override { return columns_; }
    std::string error() const override { return error_; }
    bool typesKnownAtEnd() const override { return true; }
    std::vector<bool> mixedColumns() const override { return mixed_; }

    bool next(std::vector<Value>& row) override {
        for (;;) {
            std::vector<Cell>* cells = nextCells();
            if (!cells) {
                finish();
                return false;
            }
            bool any = false;
            for (Cell& c : *cells) {
                if (c.kind == Cell::Kind::Text && c.text.empty()) c.kind = Cell::Kind::Empty;
                any = any || (c.kind != Cell::Kind::Empty && c.kind != Cell::Kind::Error);
            }
            if (!any) {
                ++emptyRows_;  // only written once a row with data follows
                continue;
            }
            if (emptyRows_ > 0) {
                --emptyRows_;
                row.assign(columns_.size(), Value::null());
                held_ = std::move(*cells);
                holding_ = true;
                return true;
            }
            // Empty cells past the last value add no column; a value past Jet's 255 columns
            // refuses the sheet.
            std::size_t width = dataWidth(*cells);
            if (width > kMaxTableColumns) {
                error_ = kTooManyColumns;
                finish();
                return false;
            }
            cells->resize(std::max(width, std::min(cells->size(), columns_.size())));
            while (columns_.size() < cells->size()) addColumn("");
            row.assign(columns_.size(), Value::null());
            for (std::size_t k = 0; k < cells->size(); ++k) {
                Cell& c = (*cells)[k];
                Kinds& kd = kinds_[k];
                switch (c.kind) {
                    case Cell::Kind::Number:
                        kd.number = true;
                        row[k] = Value::ofReal(c.number);
                        break;
                    case Cell::Kind::Date: {
                        kd.date = true;
                        auto dt = jet::fromSerial(c.number);
                        if (dt) row[k] = Value::ofText(jet::formatDateTime(*dt));
                        break;
                    }
                    case Cell::Kind::Bool:
                        kd.boolean = true;
                        row[k] = Value::ofInteger(c.number != 0 ? -1 : 0);
                        break;
                    case Cell::Kind::Text:
                        kd.text = true;
                        if (kd.longest <= 255)
                            kd.longest = std::max(kd.longest, jet::codePointCount(c.text));
                        row[k] = Value::ofText(std::move(c.text));
                        break;
                    default:
                        break;
                }
            }
            return true;
        }
    }

  private:
    struct Kinds {
        bool number = false, date = false, boolean = false, text = false;
        std::size_t longest = 0;
    };

    void addColumn(std::string name) {
        std::size_t k = columns_.size();
        if (name.empty()) name = "F" + std::to_string(k + 1);
        std::string unique = name;
        for (int n = 1;; ++n) {
            bool clash = false;
            for (const auto& c : columns_) clash = clash || jet::compareNoCase(c.name, unique) == 0;
            if (!clash) break;
            unique = name + std::to_string(n);
        }
        columns_.push_back({unique, JetType::Text, 255});
        kinds_.emplace_back();
    }

    // The next parsed row (a held-back one first), or nullptr at the end.
    std::vector<Cell>* nextCells() {
        if (holding_) {
            holding_ = false;
            current_ = std::move(held_);
            return &current_;
        }
        if (hasPendingFirst_) {
            hasPendingFirst_ = false;
            current_ = std::move(pendingFirst_);
            return &current_;
        }
        if (batchAt_ >= batch_.size()) {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty() || done_; });
            if (queue_.empty()) {
                if (!parseError_.empty() && error_.empty()) error_ = parseError_;
                return nullptr;
            }
            // The rows read go back to the parser, which fills them again: their room is
            // kept, and no row is freed on another thread than the one that made it.
            if (spent_.size() < kMaxBatchesWaiting) spent_.push_back(std::move(batch_));
            batch_ = std::move(queue_.front());
            queue_.pop_front();
            batchAt_ = 0;
            changed_.notify_all();
        }
        return &batch_[batchAt_++];
    }

    void parse() {
        std::vector<std::vector<Cell>> batch, reused;
        std::string error;
        std::vector<Cell> row;
        auto deliver = [&] {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return queue_.size() < kMaxBatchesWaiting || stop_; });
            if (stop_) return false;
            queue_.push_back(std::move(batch));
            batch.clear();
            batch.reserve(kBatchRows);
            if (reused.empty() && !spent_.empty()) {
                reused = std::move(spent_.back());
                spent_.pop_back();
            }
            changed_.notify_all();
            return true;
        };
        batch.reserve(kBatchRows);
        while (cells_->nextRow(row, error)) {
            batch.push_back(std::move(row));
            row = {};
            if (!reused.empty()) {
                row = std::move(reused.back());
                reused.pop_back();
                row.clear();
            }
            if (batch.size() >= kBatchRows && !deliver()) return;
        }
        if (!batch.empty() && !deliver()) return;
        std::lock_guard<std::mutex> lock(mutex_);
        parseError_ = error;
        done_ = true;
        changed_.notify_all();
    }

    // With every row seen: the columns' types by the kinds they hold.
    void finish() {
        if (finished_) return;
        finished_ = true;
        mixed_.assign(columns_.size(), false);
        for (std::size_t k = 0; k < columns_.size(); ++k) {
            ColumnDef& c = columns_[k];
            const Kinds& kd = kinds_[k];
            int count = kd.number + kd.date + kd.boolean + kd.text;
            c.size = 255;
            if (count == 1 && kd.number) {
                c.type = JetType::Double;
            } else if (count == 1 && kd.date) {
                c.type = JetType::DateTime;
            } else if (count == 1 && kd.boolean) {
                c.type = JetType::Bit;
            } else {
                // Text, or a column mixing kinds: every value as text.
                std::size_t longest =
                    count > 1 ? std::max<std::size_t>(kd.longest, 19) : kd.longest;
                c.type = longest > 255 ? JetType::Memo : JetType::Text;
                mixed_[k] = count > 1;
            }
        }
    }

    std::unique_ptr<SheetCells> cells_;
    bool header_;
    std::vector<ColumnDef> columns_;
    std::vector<Kinds> kinds_;
    std::vector<bool> mixed_;
    std::vector<Cell> pendingFirst_, held_, current_;
    bool hasPendingFirst_ = false, holding_ = false, finished_ = false;
    std::size_t emptyRows_ = 0;
    std::vector<std::vector<Cell>> batch_;
    std::size_t batchAt_ = 0;
    std::string error_;

    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<std::vector<Cell>>> queue_;
    std::vector<std::vector<std::vector<Cell>>> spent_;  // batches read, for the parser to reuse
    bool done_ = false, stop_ = false;
    std::string parseError_;
};

}  // namespace

std::unique_ptr<RowSource> sheetTable(std::unique_ptr<SheetCells> cells, bool header,
                                      std::string& error) {
    auto stream = std::make_unique<SheetStream>(std::move(cells), header);
    if (!stream->start(error)) return nullptr;
    return stream;
}

}  // namespace qx::isam::excel
