// .xlsx reading: relationships lead from the package to the workbook and its sheets; styles say
// which cells hold dates; the sheet XML is parsed as it is decompressed.
#include "platform/isam/excel12/xlsx_reader.h"

#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <set>

#include "platform/isam/excel/excel_dates.h"
#include "platform/isam/excel12/workbook_package.h"
#include "platform/isam/excel12/xml_reader.h"
#include "platform/isam/excel12/zip_archive.h"
#include "platform/jet/functions.h"
#include "platform/jet/text.h"

namespace qx::isam::excel12 {

using excel::Cell;

int columnIndex(std::string_view ref) {
    int col = 0;
    std::size_t i = 0;
    while (i < ref.size() &&
           ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
        col = col * 26 + ((ref[i] & ~0x20) - 'A' + 1);
        if (col > 16384) return -1;
        ++i;
    }
    return i == 0 ? -1 : col - 1;
}

namespace {

constexpr int kMaxColumns = 16384;
// The text a sheet's shared-string cells may expand to.
constexpr std::size_t kMaxSheetText = std::size_t{512} << 20;
constexpr std::size_t kMaxRows = 1048576;
// Rows given back by the reader kept for the rows still to be parsed: enough for the rows one
// inflated chunk holds.
constexpr std::size_t kSpareRows = 4096;

// The cells of one sheet, parsed as its XML is decompressed.
class XlsxSheetCells : public excel::SheetCells {
  public:
    XlsxSheetCells(Workbook wb, std::string part, std::vector<std::string> strings,
                   std::vector<bool> dates)
        : wb_(std::move(wb)),
          part_(std::move(part)),
          strings_(std::move(strings)),
          dates_(std::move(dates)) {}

    bool rewind(std::string& error) override {
        partStream_.reset();  // its thread reads the archive: stopped before another part opens
        partStream_ = PartStream::open(*wb_.zip, part_, error);
        if (!partStream_) return false;
        reader_ = std::make_unique<XmlReader>();
        ready_.clear();
        nextRow_ = 1;
        lastRow_ = 0;
        done_ = false;
        rowsSeen_ = 0;
        expanded_ = 0;
        width_ = 0;
        failure_.clear();
        current_.clear();
        reader_->onStart = [this](std::string_view name, XmlReader::Attributes a) {
            start(name, a);
        };
        reader_->onEnd = [this](std::string_view name) { end(name); };
        reader_->onText = [this](std::string_view text) {
            if (inValue_ && value_.size() < (32u << 20)) value_.append(text);
        };
        return true;
    }

    bool nextRow(std::vector<Cell>& row, std::string& error) override {
        while (ready_.empty()) {
            if (!failure_.empty()) {
                error = failure_;
                return false;
            }
            if (done_) return false;
            std::string_view chunk;
            if (!partStream_->next(chunk, error)) return false;
            if (!reader_->feed(chunk.data(), chunk.size(), chunk.empty(), error)) return false;
            if (chunk.empty()) done_ = true;
        }
        if (ready_.front().first > nextRow_) {  // a row the file leaves out is an empty row
            row.clear();
            ++nextRow_;
            return true;
        }
        // The caller's row (read before, its room kept) becomes a row to fill.
        row.swap(ready_.front().second);
        if (spare_.size() < kSpareRows) spare_.push_back(std::move(ready_.front().second));
        ready_.pop_front();
        ++nextRow_;
        return true;
    }

  private:
    // A cell's t attribute; any other than these holds a number.
    enum class Type { Number, Shared, Inline, Bool, Error, Date };
    static Type typeOf(const char* t) {
        bool one = t[0] != '\0' && t[1] == '\0';
        switch (t[0]) {
            case 's':
                return one                          ? Type::Shared
                       : std::strcmp(t, "str") == 0 ? Type::Inline
                                                    : Type::Number;
            case 'i':
                return std::strcmp(t, "inlineStr") == 0 ? Type::Inline : Type::Number;
            case 'b':
                return one ? Type::Bool : Type::Number;
            case 'e':
                return one ? Type::Error : Type::Number;
            case 'd':
                return one ? Type::Date : Type::Number;
            default:
                return Type::Number;
        }
    }

    // The number a value starts with, as the C library's strtoll reads it (blanks, a sign,
    // digits), held within ±2^62, far past any row, style or string number; `end` is where its
    // digits end (0 when there are none).
    static long long leadingInteger(std::string_view s, std::size_t& end) {
        std::size_t i = 0;
        while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
        bool negative = i < s.size() && s[i] == '-';
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        constexpr long long kHeld = 1LL << 62;
        long long v = 0;
        std::size_t digits = i;
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
            v = v < kHeld / 10 ? v * 10 + (s[i] - '0') : kHeld;
        end = i > digits ? i : 0;
        return negative ? -v : v;
    }
    static long long leadingInteger(const char* s) {
        std::size_t end;
        return leadingInteger(s, end);
    }
    // A shared string's index: the whole value a number strtoull reads (a minus sign before
    // other digits than zeros is past any table of strings).
    static bool sharedIndex(std::string_view v, std::size_t& idx) {
        std::size_t end;
        long long n = leadingInteger(v, end);
        if (end != v.size() || n < 0) return false;
        idx = static_cast<std::size_t>(n);
        return true;
    }

    // Element names compared by their size first: a sheet is millions of them.
    template <std::size_t N>
    static bool is(std::string_view name, const char (&want)[N]) {
        return name.size() == N - 1 && std::memcmp(name.data(), want, N - 1) == 0;
    }

    void start(std::string_view name, XmlReader::Attributes a) {
        if (is(name, "c")) {
            // One pass over the cell's attributes (by local name) for r, t and s.
            const char *r = nullptr, *t = nullptr, *s = nullptr;
            for (int i = 0; a[i]; i += 2) {
                char one = a[i][0];
                if (a[i][1] != '\0') {  // a prefixed name, or a longer one
                    std::string_view local = XmlReader::localName(a[i]);
                    if (local.size() != 1) continue;
                    one = local[0];
                }
                if (one == 'r' && !r)
                    r = a[i + 1];
                else if (one == 't' && !t)
                    t = a[i + 1];
                else if (one == 's' && !s)
                    s = a[i + 1];
            }
            int col = r ? columnIndex(r) : nextCol_;
            if (col < 0 || col >= kMaxColumns) col = nextCol_;
            col_ = col;
            nextCol_ = col + 1;
            type_ = t ? typeOf(t) : Type::Number;
            long long style = s ? leadingInteger(s) : 0;
            style_ =
                style < 0 || style > std::numeric_limits<int>::max() ? -1 : static_cast<int>(style);
            value_.clear();
            haveValue_ = false;
        } else if (is(name, "v") || is(name, "t")) {
            inValue_ = true;
            if (name[0] == 'v') value_.clear();
        } else if (is(name, "row")) {
            const char* r = XmlReader::attribute(a, "r");
            long long given = r ? leadingInteger(r) : 0;
            std::size_t number = given <= static_cast<long long>(lastRow_) ||
                                         given > static_cast<long long>(kMaxRows)
                                     ? lastRow_ + 1
                                     : static_cast<std::size_t>(given);
            lastRow_ = number;
            current_.clear();
            current_.reserve(std::min<std::size_t>(width_, 64));
            nextCol_ = 0;
            if (++rowsSeen_ > kMaxRows) failure_ = "工作表的行数超出 Excel 的上限";
        }
    }

    void end(std::string_view name) {
        if (is(name, "v") || is(name, "t")) {
            inValue_ = false;
            haveValue_ = true;
        } else if (is(name, "c")) {
            if (!haveValue_ || !failure_.empty()) return;
            // An empty <v/> holds nothing, whatever the cell's type says.
            bool inline_ = type_ == Type::Inline;
            if (value_.empty() && !inline_) return;
            Cell cell;
            if (type_ == Type::Shared) {
                std::size_t idx = 0;
                if (sharedIndex(value_, idx) && idx < strings_.size()) {
                    // Each use of a shared string is a copy in the table: a few strings used
                    // by many cells may not grow into gigabytes.
                    expanded_ += strings_[idx].size();
                    if (expanded_ <= kMaxSheetText) {
                        cell.kind = Cell::Kind::Text;
                        cell.text = strings_[idx];
                    } else {
                        failure_ = "工作表中的文字展开后超过 " +
                                   std::to_string(kMaxSheetText >> 20) +
                                   " MB（同一段很长的文字被大量单元格引用），拒绝读入";
                        return;
                    }
                }
            } else if (inline_) {
                cell.kind = Cell::Kind::Text;
                cell.text = value_;
            } else if (type_ == Type::Bool) {
                cell.kind = Cell::Kind::Bool;
                cell.number = value_ == "1" || value_ == "true" ? 1 : 0;
            } else if (type_ == Type::Error) {
                cell.kind = Cell::Kind::Error;
            } else if (type_ == Type::Date) {
                if (auto serial = excel::isoDateSerial(value_)) {
                    cell.kind = Cell::Kind::Date;
                    cell.number = *serial;
                }
            } else if (auto n = jet::parseNumber(value_)) {
                bool date = style_ >= 0 && static_cast<std::size_t>(style_) < dates_.size() &&
                            dates_[static_cast<std::size_t>(style_)];
                cell.kind = date ? Cell::Kind::Date : Cell::Kind::Number;
                cell.number = date ? excel::jetSerial(*n, wb_.date1904) : *n;
            }
            if (cell.kind == Cell::Kind::Empty) return;
            if (current_.size() <= static_cast<std::size_t>(col_))
                current_.resize(static_cast<std::size_t>(col_) + 1);
            current_[static_cast<std::size_t>(col_)] = std::move(cell);
        } else if (is(name, "row")) {
            width_ = std::max(width_, current_.size());
            ready_.emplace_back(lastRow_, std::move(current_));
            current_.clear();
            if (!spare_.empty()) {
                current_ = std::move(spare_.back());
                spare_.pop_back();
                current_.clear();
            }
        }
    }

    Workbook wb_;
    std::string part_;
    std::vector<std::string> strings_;
    std::vector<bool> dates_;
    std::unique_ptr<PartStream> partStream_;
    std::unique_ptr<XmlReader> reader_;
    std::deque<std::pair<std::size_t, std::vector<Cell>>> ready_;
    std::vector<Cell> current_;
    std::vector<std::vector<Cell>> spare_;  // rows given back by the caller, to fill again
    std::size_t nextRow_ = 1, lastRow_ = 0, rowsSeen_ = 0, expanded_ = 0;
    std::size_t width_ = 0;  // the widest row so far: room made for the next at once (up to 64)
    int col_ = 0, nextCol_ = 0, style_ = 0;
    Type type_ = Type::Number;
    std::string value_, failure_;
    bool inValue_ = false, haveValue_ = false, done_ = false;
};

}  // namespace

bool listWorkbook(const std::string& path, WorkbookListing& out, std::string& error) {
    Workbook wb;
    if (!openWorkbook(path, wb, error)) return false;
    for (const auto& s : wb.sheets) out.sheets.push_back(s.name);
    out.definedNames = wb.definedNames;
    return true;
}

std::unique_ptr<excel::SheetCells> openSheet(const std::string& path, const std::string& sheet,
                                             std::string& error) {
    Workbook wb;
    if (!openWorkbook(path, wb, error)) return nullptr;
    std::string part;
    for (const auto& s : wb.sheets)
        if (jet::compareNoCase(s.name, sheet) == 0) part = s.part;
    if (part.empty()) {
        error = "找不到工作表“" + sheet + "”";
        return nullptr;
    }
    std::vector<bool> dates = readDateStyles(wb, error);
    std::vector<std::string> strings;
    if (!readSharedStrings(wb, strings, error)) return nullptr;
    error.clear();
    return std::make_unique<XlsxSheetCells>(std::move(wb), part, std::move(strings),
                                            std::move(dates));
}

}  // namespace qx::isam::excel12
