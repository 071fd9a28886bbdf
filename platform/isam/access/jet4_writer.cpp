// The Jet 4 writer. Layout of a database it writes:
//   page 0      the database header
//   page 1      the global page maps
//   pages 2-10  the system tables MSysObjects, MSysACEs, MSysQueries, MSysRelationships: each a
//               table definition followed by the data page of its usage maps (MSysObjects also
//               has the data page of the catalogue, page 4)
//   page 11 …   an added table: its definition (one or more pages), its usage-map page, then
//               data and long-value pages as the rows fill them, then the pages of extended
//               usage maps when the table outgrows the 512 pages an inline map covers.
#include "platform/isam/access/jet4_writer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "platform/jet/text.h"
#include "platform/jet/types.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"

namespace qx::isam::access {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kPageSize = 4096;
constexpr std::uint32_t kDdlStamp = 0x0659;  // the definition counter Jet keeps in each table
constexpr std::uint16_t kSortGeneral = 0x0409;
constexpr std::size_t kDataHeader = 14;
constexpr std::size_t kMaxRowsPerPage = 255;
constexpr std::size_t kMaxRowSize = 4000;
constexpr std::size_t kInlineLongValue = 64;
constexpr std::uint32_t kMapBits = (kPageSize - 4) * 8;  // pages one extended map page covers
constexpr std::size_t kMapPointers = 17;                 // extended map pages one map row names
constexpr std::uint32_t kMaxPages = 0x7FFFFFFFu / kPageSize;

// Pages of the empty database.
// MSysObjects: its definition, its usage maps on the page after, its rows.
constexpr std::uint32_t kObjectsTdef = 2, kObjectsData = 4;
constexpr std::uint32_t kAcesTdef = 5, kQueriesTdef = 7, kRelationshipsTdef = 9;
constexpr std::uint32_t kSystemPages = 11;

// Column types as the table definitions store them.
enum ColumnType : std::uint8_t {
    kBool = 0x01,
    kByte = 0x02,
    kShort = 0x03,
    kLong = 0x04,
    kMoney = 0x05,
    kFloat = 0x06,
    kDouble = 0x07,
    kDateTime = 0x08,
    kBinary = 0x09,
    kText = 0x0A,
    kOle = 0x0B,
    kMemo = 0x0C,
};

using Bytes = std::vector<std::uint8_t>;
using Page = std::array<std::uint8_t, kPageSize>;

void put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}
void put64(std::uint8_t* p, std::uint64_t v) {
    put32(p, static_cast<std::uint32_t>(v));
    put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
void append16(Bytes& b, std::uint32_t v) {
    b.resize(b.size() + 2);
    put16(b.data() + b.size() - 2, v);
}
void append32(Bytes& b, std::uint32_t v) {
    b.resize(b.size() + 4);
    put32(b.data() + b.size() - 4, v);
}
void appendDouble(Bytes& b, double v) {
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    b.resize(b.size() + 8);
    put64(b.data() + b.size() - 8, u);
}

// UTF-8 to UTF-16 code units (what Jet counts and stores as UCS-2).
std::u16string utf16(std::string_view s) {
    return jet::toUtf16(s);
}

Bytes ucs2(const std::u16string& s) {
    Bytes b;
    b.reserve(s.size() * 2);
    for (char16_t c : s) append16(b, c);
    return b;
}

// Jet 4's text storage: the compressed form (0xFF 0xFE, then one byte per character) when every
// character fits a byte, none is 0, and it is shorter; UCS-2 otherwise.
Bytes jetText(const std::u16string& s, bool mayCompress) {
    bool narrow = mayCompress && s.size() > 2;
    for (char16_t c : s) narrow = narrow && c > 0 && c < 0x100;
    if (!narrow) return ucs2(s);
    Bytes b{0xFF, 0xFE};
    for (char16_t c : s) b.push_back(static_cast<std::uint8_t>(c));
    return b;
}

void rc4(const std::uint8_t* key, std::size_t keyLen, std::uint8_t* data, std::size_t n) {
    std::uint8_t s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[static_cast<std::size_t>(i) % keyLen]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (std::size_t k = 0, i = 0, j = 0; k < n; ++k) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[k] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

constexpr std::uint8_t kHeaderKey[] = {0xC7, 0xDA, 0x39, 0x6B};
constexpr std::size_t kHeaderMasked = 0x18, kHeaderMaskedSize = 128, kCreatedAt = 0x72;

Page headerPage(double created) {
    Page p{};
    p[1] = 0x01;
    std::memcpy(p.data() + 4, "Standard Jet DB", 15);
    p[0x14] = 0x01;                // Jet 4
    put16(p.data() + 0x3C, 1252);  // code page of the header's own texts
    put32(p.data() + 0x3E, 0);     // no page encoding
    // The password area holds the mask derived from the creation date: an empty password.
    auto day = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::floor(created)));
    for (std::size_t k = 0; k < 40; ++k)
        p[0x42 + k] = static_cast<std::uint8_t>(day >> (8 * (k % 4)));
    put32(p.data() + 0x6E, kSortGeneral);
    std::uint64_t bits;
    std::memcpy(&bits, &created, 8);
    put64(p.data() + kCreatedAt, bits);
    rc4(kHeaderKey, 4, p.data() + kHeaderMasked, kHeaderMaskedSize);
    put32(p.data() + 0x98, kDdlStamp);
    std::memcpy(p.data() + 0x9C, "4.0", 3);
    return p;
}

std::optional<double> headerCreated(const Page& p) {
    if (p[0] != 0 || std::memcmp(p.data() + 4, "Standard Jet DB", 15) != 0 || p[0x14] != 0x01)
        return std::nullopt;
    Page plain = p;
    rc4(kHeaderKey, 4, plain.data() + kHeaderMasked, kHeaderMaskedSize);
    double created;
    std::memcpy(&created, plain.data() + kCreatedAt, 8);
    return created;
}

// A column of a table being written.
struct Column {
    std::string name;
    std::uint8_t type = kText;
    std::uint16_t length = 0;  // bytes (text: two per character)
    bool fixed = false;
    bool longValue = false;
    std::uint16_t number = 0;
    std::uint16_t fixedOffset = 0;
    std::uint16_t varIndex = 0;
    int maxChars = 0;  // text
};

struct TableLayout {
    std::vector<Column> columns;
    bool system = false;
    std::uint16_t varCount = 0;
    std::uint16_t fixedSize = 0;

    void add(std::string name, std::uint8_t type, int chars = 255) {
        Column c;
        c.name = std::move(name);
        c.type = type;
        c.number = static_cast<std::uint16_t>(columns.size());
        c.fixed = type <= kDateTime;
        c.longValue = type == kOle || type == kMemo;
        static const std::uint16_t kFixedLengths[] = {0, 1, 1, 2, 4, 8, 4, 8, 8};
        if (c.fixed) {
            c.length = kFixedLengths[type];
            c.fixedOffset = fixedSize;
            if (type != kBool) fixedSize = static_cast<std::uint16_t>(fixedSize + c.length);
        } else {
            c.varIndex = varCount++;
            c.maxChars = chars;
            c.length = type == kText || type == kBinary ? static_cast<std::uint16_t>(2 * chars) : 0;
        }
        columns.push_back(std::move(c));
    }
    std::size_t longColumns() const {
        std::size_t n = 0;
        for (const auto& c : columns) n += c.longValue;
        return n;
    }
};

// The table definition, split over pages: `first` is the first page's number; later pages follow
// it. Map rows: 0 and 1 the table's, then two per long-value column, on page `mapPage`.
std::vector<Page> definitionPages(const TableLayout& t, std::uint32_t rows, std::uint32_t first,
                                  std::uint32_t mapPage) {
    Bytes d(63, 0);  // from the page start; the 8 header bytes are set per page
    put32(d.data() + 12, kDdlStamp);
    put32(d.data() + 16, rows);
    d[24] = 0x01;
    d[40] = t.system ? 0x53 : 0x4E;
    put16(d.data() + 41, static_cast<std::uint32_t>(t.columns.size()));
    put16(d.data() + 43, t.varCount);
    put16(d.data() + 45, static_cast<std::uint32_t>(t.columns.size()));
    put32(d.data() + 55, mapPage << 8);
    put32(d.data() + 59, (mapPage << 8) | 1);
    for (const auto& c : t.columns) {
        std::size_t at = d.size();
        d.resize(at + 25, 0);
        std::uint8_t* e = d.data() + at;
        e[0] = c.type;
        put32(e + 1, kDdlStamp);
        put16(e + 5, c.number);
        put16(e + 7, c.varIndex);
        put16(e + 9, c.number);
        put16(e + 11, kSortGeneral);
        e[15] = c.fixed ? 0x03 : 0x02;
        e[16] = c.type == kText ? 0x01 : 0x00;  // compressed Unicode
        put16(e + 21, c.fixedOffset);
        put16(e + 23, c.length);
    }
    for (const auto& c : t.columns) {
        Bytes name = ucs2(utf16(c.name));
        append16(d, static_cast<std::uint32_t>(name.size()));
        d.insert(d.end(), name.begin(), name.end());
    }
    std::uint32_t row = 2;
    for (const auto& c : t.columns) {
        if (!c.longValue) continue;
        append16(d, c.number);
        append32(d, (mapPage << 8) | row);
        append32(d, (mapPage << 8) | (row + 1));
        row += 2;
    }
    append16(d, 0xFFFF);
    d.resize(d.size() + 8, 0);
    put32(d.data() + 8, static_cast<std::uint32_t>(d.size() - 8));

    std::vector<Page> pages;
    std::size_t pos = 8;
    while (pos < d.size() || pages.empty()) {
        Page p{};
        p[0] = 0x02;
        p[1] = 0x01;
        std::size_t n = std::min(kPageSize - 8, d.size() - pos);
        std::memcpy(p.data() + 8, d.data() + pos, n);
        put16(p.data() + 2, static_cast<std::uint32_t>(kPageSize - 8 - n));
        pos += n;
        if (!pages.empty())
            put32(pages.back().data() + 4, first + static_cast<std::uint32_t>(pages.size()));
        pages.push_back(p);
    }
    return pages;
}

// A data page filling from its end, as Jet stores rows.
class DataPage {
  public:
    explicit DataPage(std::uint32_t owner) {
        page_.fill(0);
        page_[0] = 0x01;
        page_[1] = 0x01;
        put32(page_.data() + 4, owner);
        end_ = kPageSize;
    }
    static DataPage longValues() {
        DataPage p(0);
        std::memcpy(p.page_.data() + 4, "LVAL", 4);
        return p;
    }
    std::size_t rows() const { return rows_; }
    std::size_t room() const {
        std::size_t used = kDataHeader + 2 * (rows_ + 1);
        return rows_ >= kMaxRowsPerPage || end_ < used ? 0 : end_ - used;
    }
    bool fits(std::size_t n) const { return n <= room(); }
    // Adds a row; its number on the page.
    std::uint32_t add(const std::uint8_t* data, std::size_t n) {
        end_ -= n;
        std::memcpy(page_.data() + end_, data, n);
        put16(page_.data() + kDataHeader + 2 * rows_, static_cast<std::uint32_t>(end_));
        ++rows_;
        put16(page_.data() + 12, static_cast<std::uint32_t>(rows_));
        put16(page_.data() + 2, static_cast<std::uint32_t>(end_ - kDataHeader - 2 * rows_));
        return static_cast<std::uint32_t>(rows_ - 1);
    }
    std::uint32_t add(const Bytes& b) { return add(b.data(), b.size()); }
    const Page& page() const { return page_; }

  private:
    Page page_;
    std::size_t end_ = kPageSize;
    std::size_t rows_ = 0;
};

// A row's cells, encoded: fixed bytes or variable bytes, or Null; a Yes/No in its bit.
struct Cell {
    bool null = true;
    Bytes bytes;
};

Bytes encodeRow(const TableLayout& t, const std::vector<Cell>& cells) {
    std::size_t n = t.columns.size();
    Bytes row(2 + t.fixedSize, 0);
    put16(row.data(), static_cast<std::uint32_t>(n));
    Bytes mask((n + 7) / 8, 0);
    std::vector<std::uint16_t> offsets(t.varCount, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const Column& c = t.columns[i];
        const Cell& cell = cells[i];
        bool set = !cell.null;
        if (c.type == kBool) set = !cell.null && !cell.bytes.empty() && cell.bytes[0];
        if (set) mask[i / 8] = static_cast<std::uint8_t>(mask[i / 8] | (1u << (i % 8)));
        if (c.fixed && !cell.null && c.type != kBool)
            std::memcpy(row.data() + 2 + c.fixedOffset, cell.bytes.data(), c.length);
    }
    for (std::size_t i = 0; i < n; ++i) {
        const Column& c = t.columns[i];
        if (c.fixed) continue;
        offsets[c.varIndex] = static_cast<std::uint16_t>(row.size());
        if (!cells[i].null) row.insert(row.end(), cells[i].bytes.begin(), cells[i].bytes.end());
    }
    if (t.varCount) {
        append16(row, static_cast<std::uint32_t>(row.size()));  // the end of the data
        for (std::size_t k = t.varCount; k-- > 0;) append16(row, offsets[k]);
        append16(row, t.varCount);
    }
    row.insert(row.end(), mask.begin(), mask.end());
    return row;
}

Cell longCell(std::uint32_t v) {
    Cell c{false, {}};
    append32(c.bytes, v);
    return c;
}
Cell textCell(std::string_view s) {
    return {false, jetText(utf16(s), true)};
}
Cell dateCell(double serial) {
    Cell c{false, {}};
    appendDouble(c.bytes, serial);
    return c;
}
// A short long value stored in the row itself.
Cell inlineLongValue(const Bytes& data) {
    Cell c{false, Bytes(12, 0)};
    put32(c.bytes.data(), static_cast<std::uint32_t>(data.size()) | 0x80000000u);
    c.bytes.insert(c.bytes.end(), data.begin(), data.end());
    return c;
}

TableLayout systemLayout(std::initializer_list<std::pair<const char*, std::uint8_t>> columns) {
    TableLayout t;
    t.system = true;
    for (auto [name, type] : columns) t.add(name, type);
    return t;
}

TableLayout objectsLayout() {
    return systemLayout({{"Id", kLong},
                         {"ParentId", kLong},
                         {"Name", kText},
                         {"Type", kShort},
                         {"DateCreate", kDateTime},
                         {"DateUpdate", kDateTime},
                         {"Owner", kBinary},
                         {"Flags", kLong},
                         {"Database", kMemo},
                         {"Connect", kMemo},
                         {"ForeignName", kText},
                         {"RmtInfoShort", kBinary},
                         {"RmtInfoLong", kOle},
                         {"Lv", kOle},
                         {"LvProp", kOle},
                         {"LvModule", kOle},
                         {"LvExtra", kOle}});
}

TableLayout acesLayout() {
    return systemLayout(
        {{"ObjectId", kLong}, {"SID", kBinary}, {"ACM", kLong}, {"FInheritable", kBool}});
}

TableLayout queriesLayout() {
    return systemLayout({{"ObjectId", kLong},
                         {"Attribute", kByte},
                         {"Order", kBinary},
                         {"Name1", kText},
                         {"Name2", kText},
                         {"Expression", kMemo},
                         {"Flag", kShort},
                         {"LvExtra", kLong}});
}

TableLayout relationshipsLayout() {
    return systemLayout({{"szRelationship", kText},
                         {"grbit", kLong},
                         {"ccolumn", kLong},
                         {"icolumn", kLong},
                         {"szObject", kText},
                         {"szColumn", kText},
                         {"szReferencedObject", kText},
                         {"szReferencedColumn", kText}});
}

// A catalogue row of MSysObjects.
Bytes catalogRow(const TableLayout& objects, std::uint32_t id, std::uint32_t parent,
                 std::string_view name, std::uint16_t type, std::uint32_t flags, double created) {
    std::vector<Cell> cells(objects.columns.size());
    cells[0] = longCell(id);
    cells[1] = longCell(parent);
    cells[2] = textCell(name);
    cells[3] = Cell{false, {static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(type >> 8)}};
    cells[4] = dateCell(created);
    cells[5] = dateCell(created);
    cells[7] = longCell(flags);
    return encodeRow(objects, cells);
}

// A usage map row (69 bytes): inline (type 0) for pages below 512, else a list of extended map
// pages (type 1), whose numbers `extended` gives (allocating them when needed).
Bytes usageMapRow(const std::vector<std::uint32_t>& pages,
                  const std::function<std::uint32_t(std::size_t index)>& extended) {
    Bytes row(69, 0);
    bool inlineMap = true;
    for (std::uint32_t p : pages) inlineMap = inlineMap && p < 64 * 8;
    if (inlineMap) {
        for (std::uint32_t p : pages)
            row[5 + p / 8] = static_cast<std::uint8_t>(row[5 + p / 8] | (1u << (p % 8)));
        return row;
    }
    row[0] = 0x01;
    std::vector<bool> used(kMapPointers, false);
    for (std::uint32_t p : pages) used[p / kMapBits] = true;
    for (std::size_t k = 0; k < kMapPointers; ++k)
        if (used[k]) put32(row.data() + 1 + 4 * k, extended(k));
    return row;
}

// The eleven pages of the empty database, with the catalogue row of an added table when given.
std::vector<Page> systemPages(double created,
                              std::optional<std::pair<std::uint32_t, std::string>> added) {
    std::vector<Page> pages(kSystemPages);
    pages[0] = headerPage(created);
    DataPage global(1);
    global.add(Bytes(69, 0));
    global.add(Bytes(69, 0));
    pages[1] = global.page();

    TableLayout objects = objectsLayout();
    const std::uint32_t kTables = 0x0F000001, kDatabases = 0x0F000002;
    DataPage catalog(kObjectsTdef);
    catalog.add(catalogRow(objects, kTables, 0x0F000000, "Tables", 3, 0x80000000u, created));
    catalog.add(catalogRow(objects, kDatabases, 0x0F000000, "Databases", 3, 0x80000000u, created));
    catalog.add(
        catalogRow(objects, 0x0F000003, 0x0F000000, "Relationships", 3, 0x80000000u, created));
    catalog.add(catalogRow(objects, 0x10000000, kDatabases, "MSysDb", 2, 0x80000000u, created));
    const std::pair<std::uint32_t, const char*> system[] = {
        {kObjectsTdef, "MSysObjects"},
        {kAcesTdef, "MSysACEs"},
        {kQueriesTdef, "MSysQueries"},
        {kRelationshipsTdef, "MSysRelationships"}};
    for (auto [page, name] : system)
        catalog.add(catalogRow(objects, page, kTables, name, 1, 0x80000000u, created));
    if (added)
        catalog.add(catalogRow(objects, added->first, kTables, added->second, 1, 0, created));
    pages[kObjectsData] = catalog.page();

    // Each system table: its definition, then its maps (MSysObjects: its data page in them).
    const std::pair<std::uint32_t, TableLayout> tables[] = {
        {kObjectsTdef, objects},
        {kAcesTdef, acesLayout()},
        {kQueriesTdef, queriesLayout()},
        {kRelationshipsTdef, relationshipsLayout()}};
    for (const auto& [tdef, layout] : tables) {
        std::uint32_t mapPage = tdef + 1;
        bool isObjects = tdef == kObjectsTdef;
        pages[tdef] = definitionPages(
            layout, isObjects ? static_cast<std::uint32_t>(catalog.rows()) : 0, tdef, mapPage)[0];
        DataPage maps(0);
        auto none = [](std::size_t) -> std::uint32_t { return 0; };
        maps.add(usageMapRow(
            isObjects ? std::vector<std::uint32_t>{kObjectsData} : std::vector<std::uint32_t>{},
            none));
        maps.add(usageMapRow(
            isObjects ? std::vector<std::uint32_t>{kObjectsData} : std::vector<std::uint32_t>{},
            none));
        for (std::size_t k = 0; k < 2 * layout.longColumns(); ++k) maps.add(usageMapRow({}, none));
        pages[mapPage] = maps.page();
    }
    return pages;
}

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
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
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
            put32(c.bytes.data(), static_cast<std::uint32_t>(data.size()) | 0x40000000u);
            put32(c.bytes.data() + 4, (page << 8) | row);
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
            nextPointer = (page << 8) | lvCurrent_.at(column).add(row);
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
