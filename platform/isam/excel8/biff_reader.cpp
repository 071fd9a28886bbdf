// BIFF records, read.
#include "platform/isam/excel8/biff_reader.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string_view>

#include "platform/isam/excel/excel_dates.h"
#include "platform/isam/excel8/biff_crypto.h"
#include "platform/isam/excel8/biff_records.h"
#include "platform/isam/office/compound_file.h"
#include "platform/jet/text.h"
#include "platform/os/encoding.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"

namespace qx::isam::excel8 {

namespace {

using excel::Cell;
using namespace biff;

constexpr const char* kDamaged = "文件已损坏或不是 Excel 97-2003 工作簿";
constexpr std::size_t kMaxRows = 1048576, kMaxColumns = 16384;

double rkValue(std::uint32_t rk) {
    double v;
    if (rk & 2) {
        v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, 8);
    }
    return rk & 1 ? v / 100 : v;
}

}  // namespace

bool BiffWorkbook::open(const std::string& path, std::string& error) {
    std::string bytes;
    if (!os::readFile(os::pathFromUtf8(path), bytes)) {
        error = "找不到或无法打开文件“" + path + "”";
        return false;
    }
    return load(std::move(bytes), os::utf8(os::pathFromUtf8(path).stem()), error);
}

bool BiffWorkbook::load(std::string bytes, const std::string& name, std::string& error,
                        const std::u16string& password) {
    if (office::CompoundFile::isCompoundFile(bytes)) {
        office::CompoundFile cf;
        if (!cf.open(std::move(bytes), error)) return false;
        // Writers spell the stream's name in any case; "Book" is Excel 5/95's.
        if (!cf.stream({"workbook", "book"}, stream_, error)) {
            if (error.empty())
                error = cf.stream({"encryptedpackage"}, stream_, error)
                            ? "工作簿已加密（设有打开密码），无法读取。请在 Excel "
                              "中去掉密码另存后再读入"
                            : "文件中没有工作簿数据：它不是 Excel 97-2003 工作簿";
            return false;
        }
    } else {
        stream_ = std::move(bytes);  // a BIFF2–4 worksheet is a file of records
    }
    std::vector<Record> recs = records(stream_, 0);
    if (recs.empty()) {
        error = kDamaged;
        return false;
    }
    switch (recs[0].id) {
        case kBof8:
            biff_ = u16(recs[0].data, 0) >= 0x0600 ? 8 : 5;
            break;
        case kBof4:
            biff_ = 4;
            break;
        case kBof3:
            biff_ = 3;
            break;
        case kBof2:
            biff_ = 2;
            break;
        default:
            error = kDamaged;
            return false;
    }
    if (biff_ <= 4) sheets_.push_back({name, 0});

    std::map<int, std::string> formats;
    std::vector<int> xfFormat;
    int implicitFormat = 0;
    int unnamed = 0;
    bool decrypted = false;
    auto text8 = [&](std::string_view bytes) { return os::toUtf8(bytes, charset_.c_str()); };
    for (std::size_t i = 0; i < recs.size(); ++i) {
        const Record& r = recs[i];
        std::string_view d = r.data;
        if (i > 0 && (r.id == kBof8 || r.id == kBof4 || r.id == kBof3 || r.id == kBof2)) break;
        if (biff_ >= 5 && r.id == kEof) break;
        switch (r.id) {
            case kFilepass: {
                if (decrypted) break;
                // Protected without a password of its own: the default one opens it, as in
                // spreadsheet programs. Then the globals are read again, in clear.
                std::size_t at = static_cast<std::size_t>(d.data() - stream_.data()) - 4;
                bool opened = biff_ == 8   ? decryptBiff8(stream_, at, password)
                              : biff_ == 5 ? decryptBiff5(stream_, at, password)
                                           : false;
                if (!opened) {
                    error =
                        "工作簿已加密（设有打开密码），无法读取。请在 Excel 中去掉密码另存后再读入";
                    return false;
                }
                decrypted = true;
                recs = records(stream_, 0);
                formats.clear();
                xfFormat.clear();
                sst_.clear();
                sheets_.clear();
                implicitFormat = 0;
                i = 0;  // the loop goes on after the BOF
                continue;
            }
            case kCodepage:
                charset_ = u16(d, 0) == 1200 ? "UTF-16LE" : charsetOf(u16(d, 0));
                break;
            case kDatemode:
                date1904_ = u16(d, 0) == 1;
                break;
            case kFormat:
            case kFormat2: {
                std::string code;
                int id = implicitFormat++;
                if (biff_ == 8) {
                    Pieces p(recs, i);
                    std::uint32_t ifmt;
                    if (!p.u16(ifmt) || !p.string(false, code)) break;
                    id = static_cast<int>(ifmt);
                } else if (biff_ == 5) {
                    id = u16(d, 0);
                    std::size_t n = d.size() > 2 ? static_cast<unsigned char>(d[2]) : 0;
                    code = text8(d.substr(std::min<std::size_t>(3, d.size()), n));
                } else {
                    std::size_t skip = r.id == kFormat ? 2 : 0;  // BIFF4: two unused bytes
                    std::size_t n = d.size() > skip ? static_cast<unsigned char>(d[skip]) : 0;
                    code = text8(d.substr(std::min(skip + 1, d.size()), n));
                }
                formats[id] = code;
                break;
            }
            case kXf:
                xfFormat.push_back(u16(d, 2));
                break;
            case kXf4:
            case kXf3:
                xfFormat.push_back(d.size() > 1 ? static_cast<unsigned char>(d[1]) : 0);
                break;
            case kXf2:
                xfFormat.push_back(d.size() > 2 ? static_cast<unsigned char>(d[2]) & 0x3F : 0);
                break;
            case kSst: {
                Pieces p(recs, i);
                std::uint32_t total, unique;
                if (!p.u32(total) || !p.u32(unique)) break;
                sst_.reserve(std::min<std::uint32_t>(unique, 1u << 20));
                for (std::uint32_t k = 0; k < unique; ++k) {
                    std::string s;
                    if (!p.string(false, s)) break;  // a table cut short keeps what it has
                    sst_.push_back(std::move(s));
                }
                break;
            }
            case kBoundsheet: {
                if (d.size() < 6) break;
                std::size_t pos = u32(d, 0);
                unsigned type = static_cast<unsigned char>(d[5]);
                std::string name;
                if (biff_ == 8) {
                    Pieces p(recs, i);
                    if (!p.skip(6) || !p.string(true, name)) break;
                } else {
                    std::size_t n = d.size() > 6 ? static_cast<unsigned char>(d[6]) : 0;
                    name = text8(d.substr(std::min<std::size_t>(7, d.size()), n));
                }
                // Worksheets, and charts that carry a data sheet of their own; no macros.
                if (name.empty()) name = "Sheet" + std::to_string(++unnamed);
                if (type == 0) sheets_.push_back({name, pos});
                if (type == 2 && hasDataSheet(pos)) sheets_.push_back({name, pos, true});
                break;
            }
            default:
                break;
        }
    }
    for (int f : xfFormat)
        dateXf_.push_back(excel::isDateFormat(f, formats.count(f) ? formats[f] : ""));
    return true;
}

// A chart made in a chart program keeps the numbers it draws in its own substream, as the
// cells of BIFF2 (row and column, three attribute bytes, the value). Spreadsheet programs
// show those as the sheet's cells.
bool BiffWorkbook::hasDataSheet(std::size_t offset) const {
    for (std::size_t at = offset; at + 4 <= stream_.size(); at += 4 + u16(stream_, at + 2)) {
        unsigned id = u16(stream_, at);
        if (at > offset && (id == kEof || id == kBof8 || id == kBof4 || id == kBof3 || id == kBof2))
            break;
        if (id == kNumber2 || id == kLabel2 || id == kInteger2 || id == kBoolerr2) return true;
    }
    return false;
}

std::vector<std::string> BiffWorkbook::sheets() const {
    std::vector<std::string> names;
    for (const auto& s : sheets_) names.push_back(s.name);
    return names;
}

bool BiffWorkbook::readSheet(const std::string& name, std::vector<std::vector<Cell>>& rows,
                             std::string& error) const {
    const Sheet* sheet = nullptr;
    for (const auto& s : sheets_)
        if (jet::compareNoCase(s.name, name) == 0) sheet = &s;
    if (!sheet) {
        error = "找不到工作表“" + name + "”";
        return false;
    }
    if (sheet->offset >= stream_.size()) {
        error = kDamaged;
        return false;
    }
    std::vector<Record> recs = records(stream_, sheet->offset);
    if (recs.empty() || (recs[0].id != kBof8 && recs[0].id != kBof4 && recs[0].id != kBof3 &&
                         recs[0].id != kBof2)) {
        error = kDamaged;
        return false;
    }
    rows.clear();
    auto put = [&](std::size_t row, std::size_t col, Cell cell) {
        if (row >= kMaxRows || col >= kMaxColumns) return;
        if (rows.size() <= row) rows.resize(row + 1);
        auto& r = rows[row];
        if (r.size() <= col) r.resize(col + 1);
        r[col] = std::move(cell);
    };
    auto number = [&](std::size_t row, std::size_t col, std::size_t xf, double v) {
        Cell c;
        bool date = xf < dateXf_.size() && dateXf_[xf];
        double serial = date ? excel::jetSerial(v, date1904_) : v;
        // A date format on a number no calendar holds shows the number.
        if (date && (serial < -657434.0 || serial >= 2958466.0)) date = false;
        c.kind = date ? Cell::Kind::Date : Cell::Kind::Number;
        c.number = date ? serial : v;
        if (std::isfinite(c.number)) put(row, col, std::move(c));
    };
    auto text = [&](std::size_t row, std::size_t col, std::string s) {
        Cell c;
        c.kind = Cell::Kind::Text;
        c.text = std::move(s);
        put(row, col, std::move(c));
    };
    auto boolean = [&](std::size_t row, std::size_t col, bool v) {
        Cell c;
        c.kind = Cell::Kind::Bool;
        c.number = v ? 1 : 0;
        put(row, col, std::move(c));
    };
    auto text8 = [&](std::string_view bytes) { return os::toUtf8(bytes, charset_.c_str()); };
    // A formula whose cached result is text: the STRING record after it holds the text.
    bool pendingString = false;
    std::size_t pendingRow = 0, pendingCol = 0;
    int depth = 0;
    for (std::size_t i = 0; i < recs.size(); ++i) {
        const Record& r = recs[i];
        std::string_view d = r.data;
        if (r.id == kBof8 || r.id == kBof4 || r.id == kBof3 || r.id == kBof2) {
            ++depth;  // a chart's substream inside the sheet
            continue;
        }
        if (r.id == kEof) {
            if (--depth <= 0) break;
            continue;
        }
        if (depth > 1) continue;
        std::size_t row = u16(d, 0), col = u16(d, 2);
        if (biff_ == 2 || sheet->chart) {
            // Cells of BIFF2: three attribute bytes after the position, the XF in the first.
            std::size_t xf = d.size() > 4 ? static_cast<unsigned char>(d[4]) & 0x3F : 0;
            switch (r.id) {
                case kInteger2:
                    if (d.size() >= 9) number(row, col, xf, u16(d, 7));
                    continue;
                case kNumber2:
                    if (d.size() >= 15) number(row, col, xf, f64(d, 7));
                    continue;
                case kLabel2:
                    if (d.size() >= 8)
                        text(row, col, text8(d.substr(8, static_cast<unsigned char>(d[7]))));
                    continue;
                case kBoolerr2:
                    if (d.size() >= 9 && d[8] == 0) boolean(row, col, d[7] != 0);
                    continue;
                case kFormula:
                    if (d.size() >= 15) {
                        if (u16(d, 13) == 0xFFFF) {
                            unsigned type = static_cast<unsigned char>(d[7]);
                            if (type == 0) {
                                pendingString = true;
                                pendingRow = row;
                                pendingCol = col;
                            } else if (type == 1) {
                                boolean(row, col, d[9] != 0);
                            }
                        } else {
                            number(row, col, xf, f64(d, 7));
                        }
                    }
                    continue;
                case kString2:
                    if (pendingString && !d.empty())
                        text(pendingRow, pendingCol,
                             text8(d.substr(1, static_cast<unsigned char>(d[0]))));
                    pendingString = false;
                    continue;
                default:
                    continue;
            }
        }
        std::size_t xf = u16(d, 4);
        switch (r.id) {
            case kNumber:
                if (d.size() >= 14) number(row, col, xf, f64(d, 6));
                break;
            case kRk:
                if (d.size() >= 10) number(row, col, xf, rkValue(u32(d, 6)));
                break;
            case kMulrk: {
                if (d.size() < 6) break;
                std::size_t n = (d.size() - 6) / 6;
                for (std::size_t k = 0; k < n; ++k)
                    number(row, col + k, u16(d, 4 + 6 * k), rkValue(u32(d, 6 + 6 * k)));
                break;
            }
            case kLabelSst: {
                std::uint32_t idx = u32(d, 6);
                if (d.size() >= 10 && idx < sst_.size()) text(row, col, sst_[idx]);
                break;
            }
            case kLabel:
            case kRstring: {
                if (biff_ == 8) {
                    Pieces p(recs, i);
                    std::string s;
                    if (p.skip(6) && p.string(false, s)) text(row, col, std::move(s));
                } else if (d.size() >= 8) {
                    text(row, col, text8(d.substr(8, u16(d, 6))));
                }
                break;
            }
            case kBoolerr:
                // An error value (#N/A, #DIV/0! …) is no value: Null.
                if (d.size() >= 8 && d[7] == 0) boolean(row, col, d[6] != 0);
                break;
            case kFormula:
            case kFormula3:
            case kFormula4:
                if (d.size() < 14) break;
                pendingString = false;
                if (u16(d, 12) == 0xFFFF) {
                    unsigned type = static_cast<unsigned char>(d[6]);
                    if (type == 0) {
                        pendingString = true;
                        pendingRow = row;
                        pendingCol = col;
                    } else if (type == 1) {
                        boolean(row, col, d[8] != 0);
                    }  // 2: an error, 3: an empty text: no value
                } else {
                    number(row, col, xf, f64(d, 6));
                }
                break;
            case kString: {
                if (!pendingString) break;
                pendingString = false;
                if (biff_ == 8) {
                    Pieces p(recs, i);
                    std::string s;
                    if (p.string(false, s)) text(pendingRow, pendingCol, std::move(s));
                } else if (d.size() >= 2) {
                    text(pendingRow, pendingCol, text8(d.substr(2, u16(d, 0))));
                }
                break;
            }
            default:
                break;
        }
    }
    return true;
}

}  // namespace qx::isam::excel8
