// BIFF records, read.
#include "platform/isam/excel8/biff_reader.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string_view>

#include "platform/isam/excel/excel_dates.h"
#include "platform/isam/excel8/biff_crypto.h"
#include "platform/isam/excel8/compound_file.h"
#include "platform/jet/text.h"
#include "platform/os/encoding.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"

namespace qx::isam::excel8 {

namespace {

using excel::Cell;

constexpr const char* kDamaged = "文件已损坏或不是 Excel 97-2003 工作簿";
constexpr std::size_t kMaxRows = 1048576, kMaxColumns = 16384;

enum : std::uint16_t {
    kBof8 = 0x0809,
    kBof4 = 0x0409,
    kBof3 = 0x0209,
    kBof2 = 0x0009,
    kEof = 0x000A,
    kContinue = 0x003C,
    kCodepage = 0x0042,
    kDatemode = 0x0022,
    kFilepass = 0x002F,
    kFormat = 0x041E,
    kFormat2 = 0x001E,
    kXf = 0x00E0,
    kXf4 = 0x0443,
    kXf3 = 0x0243,
    kXf2 = 0x0043,
    kSst = 0x00FC,
    kBoundsheet = 0x0085,
    kNumber = 0x0203,
    kNumber2 = 0x0003,
    kInteger2 = 0x0002,
    kRk = 0x027E,
    kMulrk = 0x00BD,
    kLabelSst = 0x00FD,
    kLabel = 0x0204,
    kLabel2 = 0x0004,
    kRstring = 0x00D6,
    kBoolerr = 0x0205,
    kBoolerr2 = 0x0005,
    kFormula = 0x0006,
    kFormula3 = 0x0206,
    kFormula4 = 0x0406,
    kString = 0x0207,
    kString2 = 0x0007
};

std::uint16_t u16(std::string_view b, std::size_t at) {
    if (at + 2 > b.size()) return 0;
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}
std::uint32_t u32(std::string_view b, std::size_t at) {
    if (at + 4 > b.size()) return 0;
    return static_cast<std::uint32_t>(u16(b, at)) | static_cast<std::uint32_t>(u16(b, at + 2))
                                                        << 16;
}
double f64(std::string_view b, std::size_t at) {
    double d = 0;
    if (at + 8 <= b.size()) std::memcpy(&d, b.data() + at, 8);
    return d;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The iconv name of a workbook's code page (its CODEPAGE record).
std::string charsetOf(std::uint16_t codepage) {
    switch (codepage) {
        case 367:
            return "ASCII";
        case 936:
            return "GB18030";
        case 950:
            return "BIG5";
        case 932:
            return "CP932";
        case 949:
            return "CP949";
        case 10000:
            return "MACINTOSH";
        case 65001:
            return "UTF-8";
        case 32768:
            return "MACINTOSH";
        case 32769:
            return "CP1252";
        default:
            if (codepage >= 1250 && codepage <= 1258) return "CP" + std::to_string(codepage);
            if (codepage == 437 || codepage == 850 || codepage == 852 || codepage == 866 ||
                codepage == 874)
                return "CP" + std::to_string(codepage);
            return "CP1252";
    }
}

struct Record {
    std::uint16_t id;
    std::string_view data;
};

// The stream's records from `at` on; a record cut short by the stream's end ends the list.
std::vector<Record> records(std::string_view s, std::size_t at) {
    std::vector<Record> out;
    while (at + 4 <= s.size()) {
        std::uint16_t id = u16(s, at), len = u16(s, at + 2);
        if (at + 4 + len > s.size()) break;
        out.push_back({id, s.substr(at + 4, len)});
        at += 4 + static_cast<std::size_t>(len);
    }
    return out;
}

// A record and the CONTINUE records after it, read as one, the way BIFF8 strings cross them:
// where characters go on in the next record, a new option byte says their width.
class Pieces {
  public:
    Pieces(const std::vector<Record>& recs, std::size_t first) {
        parts_.push_back(recs[first].data);
        for (std::size_t k = first + 1; k < recs.size() && recs[k].id == kContinue; ++k)
            parts_.push_back(recs[k].data);
    }
    bool u8(unsigned& v) {
        if (!ready()) return false;
        v = static_cast<unsigned char>(parts_[part_][at_++]);
        return true;
    }
    bool u16(std::uint32_t& v) {
        unsigned a, b;
        if (!u8(a) || !u8(b)) return false;
        v = a | b << 8;
        return true;
    }
    bool u32(std::uint32_t& v) {
        std::uint32_t a, b;
        if (!u16(a) || !u16(b)) return false;
        v = a | b << 16;
        return true;
    }
    bool skip(std::size_t n) {
        while (n > 0) {
            if (!ready()) return false;
            std::size_t take = std::min(n, parts_[part_].size() - at_);
            at_ += take;
            n -= take;
        }
        return true;
    }
    // `count` characters of a BIFF8 string, 8 or 16 bits wide, into UTF-8.
    bool chars(std::size_t count, bool wide, std::string& out) {
        std::uint32_t high = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (at_ >= parts_[part_].size()) {
                if (part_ + 1 >= parts_.size()) return false;
                ++part_;
                at_ = 0;
                unsigned flags;
                if (!u8(flags)) return false;
                wide = flags & 1;
            }
            std::uint32_t c;
            if (wide) {
                if (!u16(c)) return false;
            } else {
                unsigned b;
                if (!u8(b)) return false;
                c = b;
            }
            if (c >= 0xD800 && c < 0xDC00) {
                high = c;
                continue;
            }
            if (c >= 0xDC00 && c < 0xE000 && high) {
                appendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (c - 0xDC00));
            } else if (c >= 0xD800 && c < 0xE000) {
                appendUtf8(out, 0xFFFD);
            } else {
                appendUtf8(out, c);
            }
            high = 0;
        }
        return true;
    }
    // An XLUnicodeRichExtendedString (the SST's and LABEL's form): count, options, runs and
    // phonetic data, skipped.
    bool string(bool shortCount, std::string& out) {
        std::uint32_t count;
        unsigned flags;
        if (shortCount) {
            unsigned c;
            if (!u8(c)) return false;
            count = c;
        } else if (!u16(count)) {
            return false;
        }
        if (!u8(flags)) return false;
        std::uint32_t runs = 0, ext = 0;
        if ((flags & 8) && !u16(runs)) return false;
        if ((flags & 4) && !u32(ext)) return false;
        out.clear();
        return chars(count, flags & 1, out) && skip(4u * runs) && skip(ext);
    }

  private:
    bool ready() {
        while (part_ < parts_.size() && at_ >= parts_[part_].size()) {
            if (part_ + 1 >= parts_.size()) return false;
            ++part_;
            at_ = 0;
        }
        return part_ < parts_.size();
    }
    std::vector<std::string_view> parts_;
    std::size_t part_ = 0, at_ = 0;
};

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
    if (CompoundFile::isCompoundFile(bytes)) {
        CompoundFile cf;
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
