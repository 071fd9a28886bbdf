// The page format of Access databases, Jet 3 (Access 97) and Jet 4 (Access 2000-2003), as both
// the reader and the writer of .mdb files use it: page sizes, the header page and its masked
// area, data pages and their row slots, table definitions, usage maps, long values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qx::isam::access::layout {

// Little-endian integers in page bytes.
inline std::uint32_t get16(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t get24(const std::uint8_t* p) {
    return get16(p) | (static_cast<std::uint32_t>(p[2]) << 16);
}
inline std::uint32_t get32(const std::uint8_t* p) {
    return get16(p) | (get16(p + 2) << 16);
}
inline std::uint64_t get64(const std::uint8_t* p) {
    return get32(p) | (static_cast<std::uint64_t>(get32(p + 4)) << 32);
}
inline void put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}
inline void put64(std::uint8_t* p, std::uint64_t v) {
    put32(p, static_cast<std::uint32_t>(v));
    put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// RC4, which masks the header and, with a key the header holds, encrypts pages.
void rc4(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t n);

// Page kinds (the first byte of a page).
enum PageType : std::uint8_t {
    kHeaderPage = 0x00,
    kDataPage = 0x01,
    kDefinitionPage = 0x02,
    kUsageMapPage = 0x05,
};

// The header page (page 0).
inline constexpr std::string_view kJetSignature{"Standard Jet DB\0", 16};
inline constexpr std::string_view kAceSignature{"Standard ACE DB\0", 16};
inline constexpr std::size_t kSignatureAt = 4;
inline constexpr std::size_t kVersionAt = 0x14;  // 0 Jet 3, 1 Jet 4, 2 and later ACE
inline constexpr std::uint8_t kHeaderKey[] = {0xC7, 0xDA, 0x39, 0x6B};
inline constexpr std::size_t kHeaderMaskedAt = 0x18;
// Within the masked area, once unmasked.
inline constexpr std::size_t kCodePageAt = 0x3C;
inline constexpr std::size_t kDatabaseKeyAt = 0x3E;  // nonzero: pages are RC4-encrypted
inline constexpr std::size_t kPasswordAt = 0x42;
inline constexpr std::size_t kJet4SortOrderAt = 0x6E;
inline constexpr std::size_t kJet4CreatedAt = 0x72;

// Row slots of data pages: the row's start within the page, and two flags.
inline constexpr std::uint32_t kRowOffsetMask = 0x1FFF;
inline constexpr std::uint32_t kRowDeleted = 0x8000;
inline constexpr std::uint32_t kRowMoved = 0x4000;  // the row holds where it moved to
inline constexpr std::size_t kMaxRowsPerPage = 255;

// A row pointer: the page in the upper three bytes, the row in the lowest.
inline std::uint32_t rowPointer(std::uint32_t page, std::uint32_t row) {
    return (page << 8) | row;
}

// Long values (memo, OLE): a 12-byte field in the row; the length's upper bits tell where.
inline constexpr std::size_t kLongValueField = 12;
inline constexpr std::uint32_t kLongValueInline = 0x80000000u;      // the bytes follow the field
inline constexpr std::uint32_t kLongValueOneRow = 0x40000000u;      // one row of a long-value page
inline constexpr std::uint32_t kLongValueLengthMask = 0x3FFFFFFFu;  // else: a chain of rows
inline constexpr std::size_t kInlineLongValue = 64;
inline constexpr std::string_view kLongValueOwner{"LVAL", 4};  // in place of a data page's owner

// Column types as table definitions store them.
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
    kGuid = 0x0F,
    kNumeric = 0x10,
};
// Column flags.
inline constexpr std::uint8_t kColumnFixed = 0x01;
inline constexpr std::uint8_t kColumnNullable = 0x02;
inline constexpr std::uint8_t kColumnHyperlink = 0x80;
inline constexpr std::uint8_t kColumnCompressedText = 0x01;  // Jet 4's second flag byte

// Table kinds in a definition.
inline constexpr std::uint8_t kUserTable = 0x4E;
inline constexpr std::uint8_t kSystemTable = 0x53;

// The catalogue (MSysObjects, whose definition is page 2): object kinds and flags.
inline constexpr std::uint32_t kCatalogDefinition = 2;
inline constexpr int kObjectTable = 1;
inline constexpr std::uint32_t kSystemObject = 0x80000000u;
inline constexpr std::uint32_t kAltSystemObject = 0x00000002u;
inline constexpr std::uint32_t kHiddenObject = 0x00000008u;

// Jet 4's text storage when compressed: this mark, then one byte per character, a zero byte
// switching between one and two bytes per character.
inline constexpr std::uint8_t kCompressedText[] = {0xFF, 0xFE};

// What differs between the two versions.
struct Format {
    bool jet3;
    std::size_t pageSize;
    std::size_t headerMaskedSize;
    std::size_t passwordSize;
    // Data pages.
    std::size_t dataRowCountAt;  // the rows' count; their slots follow
    std::size_t dataRowSlotsAt() const { return dataRowCountAt + 2; }
    // Rows: column count and variable offsets are one byte in Jet 3 (with a jump table for
    // rows past 255 bytes), two in Jet 4.
    std::size_t rowCountSize;
    // Table definitions, from the start of the definition's first page.
    std::size_t defRowsAt, defTypeAt, defMaxColumnsAt, defVarColumnsAt, defColumnsAt,
        defLogicalIndexesAt, defRealIndexesAt, defUsedPagesAt, defFreePagesAt, defBlockEnd;
    std::size_t defRealIndexSize;
    // A column's entry in the definition.
    std::size_t columnSize, columnTypeAt, columnNumberAt, columnVarIndexAt, columnIndexAt,
        columnSortOrderAt, columnPrecisionAt, columnScaleAt, columnFlagsAt, columnFixedAt,
        columnLengthAt;
    std::size_t nameLengthSize;  // a name's length: one byte (Jet 3) or two (Jet 4)
    // Usage maps: an inline map's bytes (after its kind and first page); map pages.
    std::size_t usageMapPointers() const { return (pageSize == 2048 ? 128 : 64) / 4 + 1; }
    std::uint32_t pagesPerMapPage() const { return static_cast<std::uint32_t>(pageSize - 4) * 8; }
};

const Format& jet3Format();
const Format& jet4Format();

// The header page's masked area, masked or unmasked in place (the same operation).
void toggleHeaderMask(const Format& f, std::uint8_t* page);

// The page key of an encrypted database: its key from the header, combined with the page.
void decryptPage(std::uint32_t databaseKey, std::uint32_t page, std::uint8_t* data, std::size_t n);

}  // namespace qx::isam::access::layout
