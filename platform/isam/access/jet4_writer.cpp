// The Jet 4 writer: the empty database the save step writes first, and a table with its rows
// added to it, written page by page (jet4_pages.h) into a file that replaces the target.
#include "platform/isam/access/jet4_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "platform/isam/access/jet4_pages.h"
#include "platform/jet/text.h"
#include "platform/jet/types.h"
#include "platform/os/clock.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"

namespace qx::isam::access {

namespace fs = std::filesystem;
using namespace jet4;
using namespace layout;

namespace {

bool writeAll(std::ofstream& out, std::uint32_t pageNumber, const Page& p) {
    out.seekp(static_cast<std::streamoff>(pageNumber) * static_cast<std::streamoff>(kPageSize));
    return static_cast<bool>(out.write(reinterpret_cast<const char*>(p.data()), kPageSize));
}

// Why the last write of a page failed.
std::string accessWriteFailure() {
    return "写入 Access 文件时出错：" + os::writeErrorReason(errno ? errno : EIO);
}

double nowSerial() {
    std::time_t t = std::time(nullptr);
    std::tm local = os::localTime(t);
    jet::DateTime dt{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
    return jet::toSerial(dt);
}

// Writes pages into a file beside `target` and moves it over the target when all went well.
bool replaceWith(const fs::path& target,
                 const std::function<bool(std::ofstream&, std::string&)>& fill,
                 std::string& error) {
    fs::path temp = os::siblingTempPath(target);
    bool ok;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "无法写入文件“" + os::utf8(target) + "”";
            return false;
        }
        ok = fill(out, error);
        if (ok && !out.flush()) {
            error = os::writeFailure(target, errno ? errno : EIO);
            ok = false;
        }
    }
    if (ok && os::replaceFile(temp, target, error)) return true;
    os::removeIfExists(temp);
    if (error.empty()) error = "写入文件“" + os::utf8(target) + "”时出错";
    return false;
}

// The value of a cell as the column stores it, or an error.
bool encodeValue(const Column& c, const Value& v, Bytes& out, std::string& error) {
    out.clear();
    auto number = [&](double& d) {
        if (v.kind == Value::Kind::Integer) {
            d = static_cast<double>(v.integer);
            return true;
        }
        if (v.kind == Value::Kind::Real) {
            d = v.real;
            return true;
        }
        if (v.kind == Value::Kind::Text) {
            char* end = nullptr;
            d = std::strtod(v.text.c_str(), &end);
            if (end && *end == '\0' && !v.text.empty()) return true;
        }
        error = "列“" + c.name + "”中的值“" + jet::formatValue(v, jet::JetType::Text).value_or("") +
                "”不是数字";
        return false;
    };
    auto integer = [&](double lo, double hi, int bytes) {
        double d;
        if (!number(d)) return false;
        double r = std::nearbyint(d);
        if (!(r >= lo && r <= hi)) {
            error = "列“" + c.name + "”中的值 " + jet::formatDouble(d) + " 超出了这一类型的范围";
            return false;
        }
        auto i = static_cast<std::int64_t>(r);
        for (int k = 0; k < bytes; ++k) out.push_back(static_cast<std::uint8_t>(i >> (8 * k)));
        return true;
    };
    switch (c.type) {
        case kBool: {
            bool b = v.kind == Value::Kind::Integer ? v.integer != 0
                     : v.kind == Value::Kind::Real
                         ? v.real != 0
                         : jet::asciiUpper(v.text) == "TRUE" || v.text == "-1" || v.text == "1";
            out.push_back(b ? 1 : 0);
            return true;
        }
        case kByte:
            return integer(0, 255, 1);
        case kShort:
            return integer(-32768, 32767, 2);
        case kLong:
            return integer(-2147483648.0, 2147483647.0, 4);
        case kMoney: {
            double d;
            if (!number(d)) return false;
            double scaled = std::nearbyint(d * 10000.0);
            if (!(std::fabs(scaled) < 9.2233720368547748e18)) {
                error = "列“" + c.name + "”中的值超出了货币类型的范围";
                return false;
            }
            out.resize(8);
            put64(out.data(), static_cast<std::uint64_t>(static_cast<std::int64_t>(scaled)));
            return true;
        }
        case kFloat: {
            double d;
            if (!number(d)) return false;
            auto f = static_cast<float>(d);
            std::uint32_t u;
            std::memcpy(&u, &f, 4);
            out.resize(4);
            put32(out.data(), u);
            return true;
        }
        case kDouble: {
            double d;
            if (!number(d)) return false;
            appendDouble(out, d);
            return true;
        }
        case kDateTime: {
            double serial;
            if (v.kind == Value::Kind::Text) {
                auto dt = jet::parseIsoDateTime(v.text);
                if (!dt) dt = jet::parseDateText(v.text);
                if (!dt) {
                    error = "列“" + c.name + "”中的值“" + v.text + "”不是日期";
                    return false;
                }
                serial = jet::toSerial(*dt);
            } else if (!number(serial)) {
                return false;
            }
            appendDouble(out, serial);
            return true;
        }
        case kText: {
            std::u16string s = utf16(v.kind == Value::Kind::Text || v.kind == Value::Kind::Blob
                                         ? v.text
                                         : jet::formatValue(v, jet::JetType::Text).value_or(""));
            if (s.size() > static_cast<std::size_t>(c.maxChars)) {
                error = "列“" + c.name + "”中有 " + std::to_string(s.size()) +
                        " 个字符的文本，超过了它的长度 " + std::to_string(c.maxChars);
                return false;
            }
            out = jetText(s, true);
            return true;
        }
        case kMemo: {
            std::u16string s = utf16(v.kind == Value::Kind::Text || v.kind == Value::Kind::Blob
                                         ? v.text
                                         : jet::formatValue(v, jet::JetType::Text).value_or(""));
            out = jetText(s, s.size() <= 1024);
            return true;
        }
        default: {  // OLE and binary: the bytes
            const std::string& b = v.kind == Value::Kind::Blob || v.kind == Value::Kind::Text
                                       ? v.text
                                       : jet::formatValue(v, jet::JetType::Text).value_or("");
            out.assign(b.begin(), b.end());
            return true;
        }
    }
}

std::uint8_t columnTypeOf(const ColumnDef& c) {
    switch (c.type) {
        case jet::JetType::Text:
            return kText;
        case jet::JetType::Memo:
            return kMemo;
        case jet::JetType::Long:
            return kLong;
        case jet::JetType::Short:
            return kShort;
        case jet::JetType::Byte:
            return kByte;
        case jet::JetType::Single:
            return kFloat;
        case jet::JetType::Double:
            return kDouble;
        case jet::JetType::Currency:
            return kMoney;
        case jet::JetType::DateTime:
            return kDateTime;
        case jet::JetType::Bit:
            return kBool;
        case jet::JetType::Binary:
            return kOle;
    }
    return kText;
}

// The pages of the table being added, written as they fill.
class TableWriter {
  public:
    // `mapPage`: the page after the definition's pages; the table's own pages follow it.
    TableWriter(std::ofstream& out, TableLayout layout, std::uint32_t tdef, std::uint32_t mapPage)
        : out_(out),
          layout_(std::move(layout)),
          tdef_(tdef),
          mapPage_(mapPage),
          next_(mapPage + 1),
          data_(tdef) {
        lvPages_.resize(layout_.columns.size());
        for (std::size_t i = 0; i < layout_.columns.size(); ++i)
            if (layout_.columns[i].longValue) lvCurrent_.emplace(i, DataPage::longValues());
    }

    bool addRow(const std::vector<Value>& values, std::string& error) {
        std::vector<Cell> cells(layout_.columns.size());
        Bytes bytes;
        for (std::size_t i = 0; i < layout_.columns.size(); ++i) {
            const Column& c = layout_.columns[i];
            const Value& v = i < values.size() ? values[i] : Value{};
            if (v.isNull()) continue;
            if (!encodeValue(c, v, bytes, error)) return false;
            if (c.longValue) {
                std::string failed;
                cells[i] = longValue(i, bytes, failed);
                if (!failed.empty()) {
                    error = failed;
                    return false;
                }
            } else {
                cells[i] = Cell{false, bytes};
            }
        }
        Bytes row = encodeRow(layout_, cells);
        if (row.size() > kMaxRowSize) {
            error = "第 " + std::to_string(rows_ + 1) + " 行的数据有 " +
                    std::to_string(row.size()) + " 字节，超过了 Access 一行所能容纳的 " +
                    std::to_string(kMaxRowSize) + " 字节";
            return false;
        }
        if (!data_.fits(row.size()) && !flushData(error)) return false;
        data_.add(row);
        ++rows_;
        return true;
    }

    // Writes what is still open, the extended maps, the map page and the definition.
    bool finish(std::string& error) {
        if (data_.rows() && !flushData(error)) return false;
        for (auto& [i, page] : lvCurrent_)
            if (page.rows() && !flushLongValues(i, error)) return false;
        const std::uint32_t mapPage = mapPage_;
        // Extended map pages, one per 32,736 pages of each map that needs them.
        std::vector<std::pair<std::uint32_t, Page>> extended;
        auto mapRow = [&](const std::vector<std::uint32_t>& pages) {
            std::vector<std::uint32_t> made(kMapPointers, 0);
            return usageMapRow(pages, [&](std::size_t k) {
                if (!made[k]) {
                    Page p{};
                    p[0] = 0x05;
                    p[1] = 0x01;
                    for (std::uint32_t pg : pages)
                        if (pg / kMapBits == k) {
                            std::uint32_t bit = pg % kMapBits;
                            p[4 + bit / 8] =
                                static_cast<std::uint8_t>(p[4 + bit / 8] | (1u << (bit % 8)));
                        }
                    made[k] = next_++;
                    extended.emplace_back(made[k], p);
                }
                return made[k];
            });
        };
        DataPage maps(0);
        maps.add(mapRow(dataPages_));
        maps.add(mapRow({}));
        for (std::size_t i = 0; i < layout_.columns.size(); ++i) {
            if (!layout_.columns[i].longValue) continue;
            maps.add(mapRow(lvPages_[i]));
            maps.add(mapRow({}));
        }
        if (next_ > kMaxPages) {
            error = "数据太多：Access 数据库文件不能超过 2 GB";
            return false;
        }
        for (const auto& [n, p] : extended)
            if (!writeAll(out_, n, p)) return writeFailed(error);
        if (!writeAll(out_, mapPage, maps.page())) return writeFailed(error);
        auto def = definitionPages(layout_, rows_, tdef_, mapPage);
        for (std::size_t k = 0; k < def.size(); ++k)
            if (!writeAll(out_, tdef_ + static_cast<std::uint32_t>(k), def[k]))
                return writeFailed(error);
        return true;
    }

  private:
    // Called right after the failed write, while errno is still its own.
    static bool writeFailed(std::string& error) {
        error = accessWriteFailure();
        return false;
    }
    std::uint32_t allocate(std::string& error) {
        if (next_ >= kMaxPages) {
            error = "数据太多：Access 数据库文件不能超过 2 GB";
            return 0;
        }
        return next_++;
    }
    bool flushData(std::string& error) {
        std::uint32_t n = allocate(error);
        if (!n) return false;
        if (!writeAll(out_, n, data_.page())) return writeFailed(error);
        dataPages_.push_back(n);
        data_ = DataPage(tdef_);
        return true;
    }
    bool flushLongValues(std::size_t column, std::string& error) {
        DataPage& page = lvCurrent_.at(column);
        std::uint32_t n = lvPageNumber_.count(column) ? lvPageNumber_[column] : allocate(error);
        if (!n) return false;
        if (!writeAll(out_, n, page.page())) return writeFailed(error);
        lvPages_[column].push_back(n);
        lvPageNumber_.erase(column);
        page = DataPage::longValues();
        return true;
    }
    // The page number the column's open long-value page will have.
    std::uint32_t openLongValuePage(std::size_t column, std::string& error) {
        auto it = lvPageNumber_.find(column);
        if (it != lvPageNumber_.end()) return it->second;
        std::uint32_t n = allocate(error);
        if (n) lvPageNumber_[column] = n;
        return n;
    }
    Cell longValue(std::size_t column, const Bytes& data, std::string& error) {
        if (data.size() <= kInlineLongValue) return inlineLongValue(data);
        Cell c{false, Bytes(12, 0)};
        constexpr std::size_t kWhole = kPageSize - kDataHeader - 2;
        if (data.size() <= kWhole) {
            // One row of a long-value page.
            if (!lvCurrent_.at(column).fits(data.size()) && !flushLongValues(column, error))
                return {};
            std::uint32_t page = openLongValuePage(column, error);
            if (!page) return {};
            std::uint32_t row = lvCurrent_.at(column).add(data);
            put32(c.bytes.data(), static_cast<std::uint32_t>(data.size()) | kLongValueOneRow);
            put32(c.bytes.data() + 4, rowPointer(page, row));
            return c;
        }
        // A chain of rows, each naming the next; written from the last, so that each knows its
        // successor's place. Full pieces take a page each; the last one shares a page.
        constexpr std::size_t kChunk = kWhole - 4;
        std::size_t chunks = (data.size() + kChunk - 1) / kChunk;
        std::uint32_t nextPointer = 0;
        for (std::size_t k = chunks; k-- > 0;) {
            std::size_t from = k * kChunk, n = std::min(kChunk, data.size() - from);
            Bytes row(4, 0);
            put32(row.data(), nextPointer);
            row.insert(row.end(), data.begin() + static_cast<std::ptrdiff_t>(from),
                       data.begin() + static_cast<std::ptrdiff_t>(from + n));
            if (!lvCurrent_.at(column).fits(row.size()) && !flushLongValues(column, error))
                return {};
            std::uint32_t page = openLongValuePage(column, error);
            if (!page) return {};
            nextPointer = rowPointer(page, lvCurrent_.at(column).add(row));
        }
        put32(c.bytes.data(), static_cast<std::uint32_t>(data.size()));
        put32(c.bytes.data() + 4, nextPointer);
        return c;
    }

    std::ofstream& out_;
    TableLayout layout_;
    std::uint32_t tdef_, mapPage_, next_;
    DataPage data_;
    std::uint32_t rows_ = 0;
    std::vector<std::uint32_t> dataPages_;
    std::vector<std::vector<std::uint32_t>> lvPages_;
    std::map<std::size_t, DataPage> lvCurrent_;
    std::map<std::size_t, std::uint32_t> lvPageNumber_;
};

}  // namespace

bool writeEmptyDatabase(const fs::path& file, std::string& error) {
    double created = nowSerial();
    return replaceWith(
        file,
        [&](std::ofstream& out, std::string& err) {
            auto pages = systemPages(created, std::nullopt);
            for (std::uint32_t k = 0; k < pages.size(); ++k)
                if (!writeAll(out, k, pages[k])) {
                    err = accessWriteFailure();
                    return false;
                }
            return true;
        },
        error);
}

bool addTable(const fs::path& file, const std::string& name, RowSource& rows, std::string& error) {
    // Only the empty database this writer makes takes a table: it is rebuilt around the table.
    std::ifstream in(file, std::ios::binary);
    Page header{};
    std::error_code ec;
    if (!in || !in.read(reinterpret_cast<char*>(header.data()), kPageSize) ||
        fs::file_size(file, ec) != kSystemPages * kPageSize) {
        error = "“" + os::utf8(file) + "”不是新建的空 Access 数据库，不能向其中写入表";
        return false;
    }
    in.close();
    auto created = headerCreated(header);
    if (!created || headerPage(*created) != header) {
        error = "“" + os::utf8(file) + "”不是新建的空 Access 数据库，不能向其中写入表";
        return false;
    }
    std::u16string wide = utf16(name);
    if (wide.empty() || wide.size() > 64) {
        error = "“" + name + "”不能用作 Access 表名";
        return false;
    }
    const auto& columns = rows.columns();
    if (columns.empty() || columns.size() > 255) {
        error = "Access 表的列数须在 1 到 255 之间";
        return false;
    }
    TableLayout layout;
    for (const auto& c : columns) {
        if (utf16(c.name).size() > 64) {
            error = "列名“" + c.name + "”太长，Access 的列名最多 64 个字符";
            return false;
        }
        layout.add(c.name, columnTypeOf(c),
                   c.type == jet::JetType::Text ? std::clamp(c.size, 1, 255) : 255);
    }
    const std::uint32_t tdef = kSystemPages;
    const auto defPages =
        static_cast<std::uint32_t>(definitionPages(layout, 0, tdef, tdef + 1).size());
    return replaceWith(
        file,
        [&](std::ofstream& out, std::string& err) {
            TableWriter writer(out, layout, tdef, tdef + defPages);
            std::vector<Value> row;
            while (rows.next(row))
                if (!writer.addRow(row, err)) return false;
            if (!rows.error().empty()) {
                err = rows.error();
                return false;
            }
            if (!writer.finish(err)) return false;
            auto pages = systemPages(*created, std::make_pair(tdef, name));
            for (std::uint32_t k = 0; k < pages.size(); ++k)
                if (!writeAll(out, k, pages[k])) {
                    err = accessWriteFailure();
                    return false;
                }
            return true;
        },
        error);
}

}  // namespace qx::isam::access
