// A table's rows cracked into values (fixed and variable columns, the null mask, Jet 3's jump
// table, long values), the catalogue read through the same rows, and the row source the
// driver hands the engine.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "platform/isam/access/mdb_pages.h"
#include "platform/isam/access/mdb_reader.h"
#include "platform/jet/text.h"
#include "platform/jet/types.h"

namespace qx::isam::access {

using namespace layout;
using jet::JetType;

namespace {

constexpr std::size_t kGuidSize = 16, kNumericSize = 17;
// Jet 3 stores variable offsets in a byte; each entry of its jump table adds 256.
constexpr std::size_t kJumpSize = 256;

JetType jetTypeOf(const ColumnInfo& c) {
    switch (c.type) {
        case kBool:
            return JetType::Bit;
        case kByte:
            return JetType::Byte;
        case kShort:
            return JetType::Short;
        case kLong:
            return JetType::Long;
        case kMoney:
            return JetType::Currency;
        case kFloat:
            return JetType::Single;
        case kDouble:
        case kNumeric:
            return JetType::Double;
        case kDateTime:
            return JetType::DateTime;
        case kText:
        case kGuid:
            return JetType::Text;
        case kMemo:
            return JetType::Memo;
        default:
            return JetType::Binary;  // OLE, binary, and the kinds of later versions
    }
}

std::size_t fixedSizeOf(const ColumnInfo& c) {
    static const std::size_t kSizes[] = {0, 0, 1, 2, 4, 8, 4, 8, 8};
    if (c.type < sizeof kSizes / sizeof kSizes[0]) return kSizes[c.type];
    if (c.type == kGuid) return kGuidSize;
    if (c.type == kNumeric) return kNumericSize;
    return c.length;
}

double exactDecimal(const std::string& digits) {
    double d = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), d);
    return d;
}

// Digits of an unsigned value with a decimal point `scale` places from the right.
std::string scaledText(unsigned __int128 v, int scale, bool negative) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
        v /= 10;
    } while (v);
    while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
    if (scale > 0) digits.insert(digits.end() - scale, '.');
    if (negative) digits.insert(digits.begin(), '-');
    return digits;
}

class Decoder {
  public:
    Decoder(PageFile& file, const TableInfo& table) : file_(file), table_(table) {}

    // The row's values, one per column; false when the row is not sound.
    bool decode(const RowBytes& row, std::vector<Value>& out) {
        const Format& f = file_.format();
        const std::uint8_t* b = row.data;
        const std::size_t size = row.size;
        if (size < f.rowCountSize) return false;
        const std::size_t columns = f.jet3 ? b[0] : get16(b);
        const std::size_t maskBytes = (columns + 7) / 8;
        if (size < f.rowCountSize + maskBytes) return false;
        const std::uint8_t* mask = b + size - maskBytes;
        std::size_t dataEnd = size - maskBytes;
        offsets_.clear();
        if (table_.varColumns) {
            if (!(f.jet3 ? jet3Offsets(b, size, maskBytes, dataEnd)
                         : jet4Offsets(b, size, maskBytes, dataEnd)))
                return false;
        }
        out.resize(table_.columns.size());
        for (std::size_t i = 0; i < table_.columns.size(); ++i) {
            const ColumnInfo& c = table_.columns[i];
            bool present = c.number < columns && (mask[c.number / 8] & (1u << (c.number % 8)));
            if (c.type == kBool) {
                out[i] = Value::ofInteger(present ? -1 : 0);
                continue;
            }
            if (!present) {
                out[i] = Value::null();
                continue;
            }
            const std::uint8_t* p;
            std::size_t n;
            if (c.fixed()) {
                n = fixedSizeOf(c);
                std::size_t at = f.rowCountSize + c.fixedOffset;
                if (at + n > dataEnd) return false;
                p = b + at;
            } else {
                if (std::size_t{c.varIndex} + 1 >= offsets_.size()) {
                    out[i] = Value::null();  // added after the row was written
                    continue;
                }
                std::size_t from = offsets_[c.varIndex], to = offsets_[c.varIndex + 1];
                if (from < f.rowCountSize || from > to || to > dataEnd) return false;
                p = b + from;
                n = to - from;
            }
            if (!value(c, p, n, out[i])) return false;
        }
        return true;
    }

  private:
    // Jet 4: two-byte offsets before the count of variable columns, the end of the data last.
    bool jet4Offsets(const std::uint8_t* b, std::size_t size, std::size_t maskBytes,
                     std::size_t& dataEnd) {
        if (size < 2 + maskBytes + 2) return false;
        std::size_t count = get16(b + size - maskBytes - 2);
        std::size_t table = 2 * (count + 1) + 2;
        if (table + maskBytes + 2 > size) return false;
        for (std::size_t k = 0; k <= count; ++k)
            offsets_.push_back(get16(b + size - maskBytes - 4 - 2 * k));
        dataEnd = size - maskBytes - table;
        return true;
    }

    // Jet 3: one-byte offsets, each raised by 256 for every entry of the jump table that names
    // a column at or before it.
    bool jet3Offsets(const std::uint8_t* b, std::size_t size, std::size_t maskBytes,
                     std::size_t& dataEnd) {
        if (size < 1 + maskBytes + 1) return false;
        const std::size_t last = size - 1;
        std::size_t count = b[last - maskBytes];
        std::size_t jumps = (size - 1) / kJumpSize;
        if (maskBytes + jumps + 2 + count > size) return false;
        std::size_t colOffset = last - maskBytes - jumps - 1;
        // The last entry of the jump table may be unused.
        if (jumps && (colOffset - count) / kJumpSize < jumps) --jumps;
        std::size_t used = 0;
        for (std::size_t i = 0; i <= count; ++i) {
            while (used < jumps && i == b[last - maskBytes - used - 1]) ++used;
            if (colOffset < i) return false;
            offsets_.push_back(b[colOffset - i] + used * kJumpSize);
        }
        dataEnd = colOffset - count;
        return true;
    }

    bool value(const ColumnInfo& c, const std::uint8_t* p, std::size_t n, Value& out) {
        // A number's bytes, wherever the definition put them, must all be there.
        bool sized = c.type <= kDateTime || c.type == kGuid || c.type == kNumeric;
        if (sized && n < fixedSizeOf(c)) return false;
        switch (c.type) {
            case kByte:
                out = Value::ofInteger(p[0]);
                return true;
            case kShort:
                out = Value::ofInteger(static_cast<std::int16_t>(get16(p)));
                return true;
            case kLong:
                out = Value::ofInteger(static_cast<std::int32_t>(get32(p)));
                return true;
            case kMoney: {
                auto v = static_cast<std::int64_t>(get64(p));
                // Exact to the ten-thousandth: the digits, then the nearest double.
                unsigned __int128 m = v < 0 ? static_cast<unsigned __int128>(-(v + 1)) + 1
                                            : static_cast<unsigned __int128>(v);
                out = Value::ofReal(exactDecimal(scaledText(m, 4, v < 0)));
                return true;
            }
            case kFloat: {
                std::uint32_t u = get32(p);
                float x;
                std::memcpy(&x, &u, 4);
                out = Value::ofReal(x);
                return true;
            }
            case kDouble: {
                std::uint64_t u = get64(p);
                double x;
                std::memcpy(&x, &u, 8);
                out = Value::ofReal(x);
                return true;
            }
            case kDateTime: {
                std::uint64_t u = get64(p);
                double x;
                std::memcpy(&x, &u, 8);
                auto dt = jet::fromSerial(x);
                out = dt ? Value::ofText(jet::formatDateTime(*dt)) : Value::null();
                return true;
            }
            case kNumeric: {
                // A sign byte, then 16 bytes: four little-endian words, the highest first.
                unsigned __int128 m = 0;
                for (int w = 0; w < 4; ++w) m = (m << 32) | get32(p + 1 + 4 * w);
                int scale = std::min<int>(c.scale, 38);
                out = Value::ofReal(exactDecimal(scaledText(m, scale, p[0] != 0 && m != 0)));
                return true;
            }
            case kGuid: {
                char s[39];
                std::snprintf(s, sizeof s, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                              get32(p), get16(p + 4), get16(p + 6), p[8], p[9], p[10], p[11], p[12],
                              p[13], p[14], p[15]);
                out = Value::ofText(s);
                return true;
            }
            case kText:
                out = Value::ofText(text(p, n));
                return true;
            case kMemo:
            case kOle: {
                std::string bytes;
                if (!longValue(p, n, bytes)) return false;
                out = c.type == kMemo
                          ? Value::ofText(text(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                               bytes.size()))
                          : Value::ofBlob(std::move(bytes));
                return true;
            }
            default:
                out = Value::ofBlob(std::string(reinterpret_cast<const char*>(p), n));
                return true;
        }
    }

    // Jet 3: the database's code page. Jet 4: UCS-2, or compressed (one byte per character,
    // a zero byte switching to two bytes per character and back).
    std::string text(const std::uint8_t* p, std::size_t n) {
        if (file_.jet3()) return file_.codePageText(p, n);
        if (n < 2 || p[0] != kCompressedText[0] || p[1] != kCompressedText[1])
            return ucs2ToUtf8(p, n);
        std::string out;
        out.reserve(n);
        bool narrow = true;
        std::size_t from = 2;
        for (std::size_t i = 2; i <= n; ++i) {
            if (i < n && p[i] != 0) continue;
            if (narrow) {
                for (std::size_t k = from; k < i; ++k) {
                    if (p[k] < 0x80)
                        out += static_cast<char>(p[k]);
                    else
                        jet::appendUtf8(out, p[k]);
                }
            } else {
                out += ucs2ToUtf8(p + from, i - from);
            }
            narrow = !narrow;
            from = i + 1;
        }
        return out;
    }

    // A memo's or OLE object's bytes: after its 12-byte field, in one row of a long-value page,
    // or in a chain of such rows each naming the next.
    bool longValue(const std::uint8_t* p, std::size_t n, std::string& out) {
        if (n < kLongValueField) return false;
        std::uint32_t head = get32(p);
        std::size_t length = head & kLongValueLengthMask;
        std::uint32_t pointer = get32(p + 4);
        out.clear();
        if (head & kLongValueInline) {
            if (kLongValueField + length > n) return false;
            out.assign(reinterpret_cast<const char*>(p) + kLongValueField, length);
            return true;
        }
        // A value longer than the file cannot be in it.
        if (length > static_cast<std::uint64_t>(file_.pageCount()) * file_.format().pageSize)
            return false;
        out.reserve(length);
        bool oneRow = head & kLongValueOneRow;
        visited_.clear();
        while (out.size() < length) {
            RowBytes row;
            std::uint32_t flags = 0;
            // A chain that comes back to a row it passed is damaged, not a longer value.
            if (!visited_.insert(pointer).second) return false;
            if (!pointer || !file_.read(pointer >> 8, lval_) || lval_[0] != kDataPage ||
                !findRow(file_.format(), lval_, pointer & 0xFF, row, flags))
                return false;
            const std::uint8_t* data = row.data;
            std::size_t size = row.size;
            if (!oneRow) {
                if (size <= 4) return false;
                pointer = get32(data);
                data += 4;
                size -= 4;
            }
            std::size_t take = std::min(size, length - out.size());
            if (oneRow && take < length) return false;
            out.append(reinterpret_cast<const char*>(data), take);
        }
        return true;
    }

    PageFile& file_;
    const TableInfo& table_;
    std::vector<std::size_t> offsets_;
    std::vector<std::uint8_t> lval_;
    std::unordered_set<std::uint32_t> visited_;
};

struct CatalogEntry {
    std::string name;
    std::int64_t type = 0;
    std::uint32_t flags = 0;
    std::uint32_t page = 0;
    std::uint32_t location = 0;  // where its row lies
};

// The catalogue's objects, in the order their rows lie in the file: a row that grew and moved
// is listed where it went, as the catalogue has always been listed here.
bool readCatalog(PageFile& file, std::vector<CatalogEntry>& out) {
    TableInfo objects;
    objects.name = "MSysObjects";
    if (!readDefinition(file, kCatalogDefinition, objects)) return false;
    int id = -1, name = -1, type = -1, flags = -1;
    for (std::size_t i = 0; i < objects.columns.size(); ++i) {
        const std::string& n = objects.columns[i].name;
        int k = static_cast<int>(i);
        if (n == "Id") id = k;
        if (n == "Name") name = k;
        if (n == "Type") type = k;
        if (n == "Flags") flags = k;
    }
    if (id < 0 || name < 0 || type < 0 || flags < 0) return false;
    TableScan scan(file, objects);
    Decoder decoder(file, objects);
    if (!scan.start()) return false;
    RowBytes row;
    std::vector<Value> values;
    while (scan.next(row)) {
        if (!decoder.decode(row, values)) return false;
        const Value& v = values[static_cast<std::size_t>(id)];
        if (v.kind != Value::Kind::Integer ||
            values[static_cast<std::size_t>(name)].kind != Value::Kind::Text)
            continue;
        CatalogEntry e;
        e.name = values[static_cast<std::size_t>(name)].text;
        e.location = scan.location();
        e.page = static_cast<std::uint32_t>(v.integer) & 0x00FFFFFFu;
        const Value& t = values[static_cast<std::size_t>(type)];
        e.type = t.kind == Value::Kind::Integer ? t.integer : -1;
        const Value& fl = values[static_cast<std::size_t>(flags)];
        e.flags = fl.kind == Value::Kind::Integer ? static_cast<std::uint32_t>(fl.integer) : 0;
        out.push_back(std::move(e));
    }
    std::stable_sort(out.begin(), out.end(), [](const CatalogEntry& a, const CatalogEntry& b) {
        return a.location < b.location;
    });
    return !scan.damaged();
}

class MdbRows : public RowSource {
  public:
    MdbRows(std::unique_ptr<PageFile> file, TableInfo table)
        : file_(std::move(file)),
          table_(std::move(table)),
          scan_(*file_, table_),
          decoder_(*file_, table_) {
        for (const auto& c : table_.columns) {
            ColumnDef d{c.name, jetTypeOf(c), 255};
            if (c.type == kText) {
                int chars = file_->jet3() ? c.length : c.length / 2;
                d.size = chars < 1 || chars > 255 ? 255 : chars;
            } else if (c.type == kGuid) {
                d.size = 38;
            }
            columns_.push_back(std::move(d));
        }
    }
    bool start() { return scan_.start(); }
    const std::vector<ColumnDef>& columns() const override { return columns_; }
    std::string error() const override { return error_; }
    bool next(std::vector<Value>& row) override {
        if (!error_.empty()) return false;
        RowBytes bytes;
        if (scan_.next(bytes) && decoder_.decode(bytes, row)) return true;
        if (scan_.damaged() || bytes.data) error_ = damagedTable(table_.name);
        return false;
    }

  private:
    std::unique_ptr<PageFile> file_;
    TableInfo table_;
    TableScan scan_;
    Decoder decoder_;
    std::vector<ColumnDef> columns_;
    std::string error_;
};

bool isUserTable(const CatalogEntry& e) {
    return e.type == kObjectTable &&
           !(e.flags & (kSystemObject | kAltSystemObject | kHiddenObject));
}

}  // namespace

bool listMdbTables(std::unique_ptr<PageSource> pages, std::vector<std::string>& names,
                   std::string& error) {
    auto file = PageFile::open(std::move(pages), error);
    if (!file) return false;
    std::vector<CatalogEntry> catalog;
    if (!readCatalog(*file, catalog)) {
        error = kNotAccess;
        return false;
    }
    for (auto& e : catalog)
        if (isUserTable(e)) names.push_back(std::move(e.name));
    return true;
}

std::unique_ptr<RowSource> readMdbTable(std::unique_ptr<PageSource> pages, const std::string& table,
                                        std::string& error) {
    auto file = PageFile::open(std::move(pages), error);
    if (!file) return nullptr;
    std::vector<CatalogEntry> catalog;
    if (!readCatalog(*file, catalog)) {
        error = kNotAccess;
        return nullptr;
    }
    const CatalogEntry* found = nullptr;
    for (const auto& e : catalog)
        if (e.type == kObjectTable && jet::compareNoCase(e.name, table) == 0) {
            found = &e;
            if (isUserTable(e)) break;
        }
    if (!found) {
        error = "找不到表“" + table + "”";
        return nullptr;
    }
    TableInfo info;
    if (!readDefinition(*file, found->page, info)) {
        error = damagedTable(found->name);
        return nullptr;
    }
    info.name = found->name;
    auto rows = std::make_unique<MdbRows>(std::move(file), std::move(info));
    if (!rows->start()) {
        error = damagedTable(table);
        return nullptr;
    }
    return rows;
}

}  // namespace qx::isam::access
