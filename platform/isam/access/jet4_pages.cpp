// The Jet 4 writer's pages. Layout of a database it writes:
//   page 0      the database header
//   page 1      the global page maps
//   pages 2-10  the system tables MSysObjects, MSysACEs, MSysQueries, MSysRelationships: each a
//               table definition followed by the data page of its usage maps (MSysObjects also
//               has the data page of the catalogue, page 4)
//   page 11 …   an added table: its definition (one or more pages), its usage-map page, then
//               data and long-value pages as the rows fill them, then the pages of extended
//               usage maps when the table outgrows the 512 pages an inline map covers.
#include "platform/isam/access/jet4_pages.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/jet/text.h"

namespace qx::isam::access::jet4 {

using namespace layout;

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

std::u16string utf16(std::string_view s) {
    return qx::jet::toUtf16(s);
}

namespace {

Bytes ucs2(const std::u16string& s) {
    Bytes b;
    b.reserve(s.size() * 2);
    for (char16_t c : s) append16(b, c);
    return b;
}

}  // namespace

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

Page headerPage(double created) {
    Page p{};
    p[1] = 0x01;
    std::memcpy(p.data() + 4, "Standard Jet DB", 15);
    p[kVersionAt] = 0x01;                 // Jet 4
    put16(p.data() + kCodePageAt, 1252);  // code page of the header's own texts
    put32(p.data() + kDatabaseKeyAt, 0);  // no page encryption
    // The password area holds the mask derived from the creation date: an empty password.
    auto day = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::floor(created)));
    for (std::size_t k = 0; k < jet4Format().passwordSize; ++k)
        p[kPasswordAt + k] = static_cast<std::uint8_t>(day >> (8 * (k % 4)));
    put32(p.data() + kJet4SortOrderAt, kSortGeneral);
    std::uint64_t bits;
    std::memcpy(&bits, &created, 8);
    put64(p.data() + kJet4CreatedAt, bits);
    toggleHeaderMask(jet4Format(), p.data());
    put32(p.data() + 0x98, kDdlStamp);
    std::memcpy(p.data() + 0x9C, "4.0", 3);
    return p;
}

std::optional<double> headerCreated(const Page& p) {
    if (p[0] != kHeaderPage ||
        std::memcmp(p.data() + kSignatureAt, kJetSignature.data(), kJetSignature.size()) != 0 ||
        p[kVersionAt] != 0x01)
        return std::nullopt;
    Page plain = p;
    toggleHeaderMask(jet4Format(), plain.data());
    double created;
    std::memcpy(&created, plain.data() + kJet4CreatedAt, 8);
    return created;
}

void TableLayout::add(std::string name, std::uint8_t type, int chars) {
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

std::size_t TableLayout::longColumns() const {
    std::size_t n = 0;
    for (const auto& c : columns) n += c.longValue;
    return n;
}

// The table definition, split over pages: `first` is the first page's number; later pages follow
// it. Map rows: 0 and 1 the table's, then two per long-value column, on page `mapPage`.
std::vector<Page> definitionPages(const TableLayout& t, std::uint32_t rows, std::uint32_t first,
                                  std::uint32_t mapPage) {
    const Format& f = jet4Format();
    Bytes d(f.defBlockEnd, 0);  // from the page start; the 8 header bytes are set per page
    put32(d.data() + 12, kDdlStamp);
    put32(d.data() + f.defRowsAt, rows);
    d[24] = 0x01;  // autonumbers in use
    d[f.defTypeAt] = t.system ? kSystemTable : kUserTable;
    put16(d.data() + f.defMaxColumnsAt, static_cast<std::uint32_t>(t.columns.size()));
    put16(d.data() + f.defVarColumnsAt, t.varCount);
    put16(d.data() + f.defColumnsAt, static_cast<std::uint32_t>(t.columns.size()));
    put32(d.data() + f.defUsedPagesAt, rowPointer(mapPage, 0));
    put32(d.data() + f.defFreePagesAt, rowPointer(mapPage, 1));
    for (const auto& c : t.columns) {
        std::size_t at = d.size();
        d.resize(at + f.columnSize, 0);
        std::uint8_t* e = d.data() + at;
        e[f.columnTypeAt] = c.type;
        put32(e + 1, kDdlStamp);
        put16(e + f.columnNumberAt, c.number);
        put16(e + f.columnVarIndexAt, c.varIndex);
        put16(e + f.columnIndexAt, c.number);
        put16(e + f.columnSortOrderAt, kSortGeneral);
        e[f.columnFlagsAt] = kColumnNullable | (c.fixed ? kColumnFixed : 0);
        e[f.columnFlagsAt + 1] = c.type == kText ? kColumnCompressedText : 0;
        put16(e + f.columnFixedAt, c.fixedOffset);
        put16(e + f.columnLengthAt, c.length);
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
        append32(d, rowPointer(mapPage, row));
        append32(d, rowPointer(mapPage, row + 1));
        row += 2;
    }
    append16(d, 0xFFFF);
    d.resize(d.size() + 8, 0);
    put32(d.data() + 8, static_cast<std::uint32_t>(d.size() - 8));

    std::vector<Page> pages;
    std::size_t pos = 8;
    while (pos < d.size() || pages.empty()) {
        Page p{};
        p[0] = kDefinitionPage;
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

DataPage::DataPage(std::uint32_t owner) {
    page_.fill(0);
    page_[0] = kDataPage;
    page_[1] = 0x01;
    put32(page_.data() + 4, owner);
}

DataPage DataPage::longValues() {
    DataPage p(0);
    std::memcpy(p.page_.data() + 4, kLongValueOwner.data(), kLongValueOwner.size());
    return p;
}

std::size_t DataPage::room() const {
    std::size_t used = kDataHeader + 2 * (rows_ + 1);
    return rows_ >= kMaxRowsPerPage || end_ < used ? 0 : end_ - used;
}

std::uint32_t DataPage::add(const std::uint8_t* data, std::size_t n) {
    end_ -= n;
    std::memcpy(page_.data() + end_, data, n);
    put16(page_.data() + kDataHeader + 2 * rows_, static_cast<std::uint32_t>(end_));
    ++rows_;
    put16(page_.data() + jet4Format().dataRowCountAt, static_cast<std::uint32_t>(rows_));
    put16(page_.data() + 2, static_cast<std::uint32_t>(end_ - kDataHeader - 2 * rows_));
    return static_cast<std::uint32_t>(rows_ - 1);
}

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

namespace {

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
}  // namespace

// A short long value stored in the row itself.
Cell inlineLongValue(const Bytes& data) {
    Cell c{false, Bytes(kLongValueField + data.size(), 0)};
    put32(c.bytes.data(), static_cast<std::uint32_t>(data.size()) | kLongValueInline);
    std::copy(data.begin(), data.end(), c.bytes.begin() + kLongValueField);
    return c;
}

namespace {

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

}  // namespace

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
    catalog.add(catalogRow(objects, kTables, 0x0F000000, "Tables", 3, kSystemObject, created));
    catalog.add(
        catalogRow(objects, kDatabases, 0x0F000000, "Databases", 3, kSystemObject, created));
    catalog.add(
        catalogRow(objects, 0x0F000003, 0x0F000000, "Relationships", 3, kSystemObject, created));
    catalog.add(catalogRow(objects, 0x10000000, kDatabases, "MSysDb", 2, kSystemObject, created));
    const std::pair<std::uint32_t, const char*> system[] = {
        {kObjectsTdef, "MSysObjects"},
        {kAcesTdef, "MSysACEs"},
        {kQueriesTdef, "MSysQueries"},
        {kRelationshipsTdef, "MSysRelationships"}};
    for (auto [page, name] : system)
        catalog.add(catalogRow(objects, page, kTables, name, 1, kSystemObject, created));
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

}  // namespace qx::isam::access::jet4
