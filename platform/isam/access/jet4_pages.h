// The pages the Jet 4 writer builds: the header, table definitions, data and long-value pages
// filling from their end, rows, usage maps and the eleven pages of the empty database with its
// system tables. Laid out by the shared page format (jet_format.h).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/isam/access/jet_format.h"

namespace qx::isam::access::jet4 {

inline constexpr std::size_t kPageSize = 4096;
inline constexpr std::uint32_t kDdlStamp = 0x0659;  // the definition counter Jet keeps per table
inline constexpr std::uint16_t kSortGeneral = 0x0409;
inline constexpr std::size_t kDataHeader = 14;
inline constexpr std::size_t kMaxRowSize = 4000;
inline constexpr std::uint32_t kMapBits = (kPageSize - 4) * 8;  // pages one map page covers
inline constexpr std::size_t kMapPointers = 17;  // extended map pages one map row names
inline constexpr std::uint32_t kMaxPages = 0x7FFFFFFFu / kPageSize;

// Pages of the empty database. MSysObjects: its definition, its usage maps on the page after,
// its rows.
inline constexpr std::uint32_t kObjectsTdef = 2, kObjectsData = 4;
inline constexpr std::uint32_t kAcesTdef = 5, kQueriesTdef = 7, kRelationshipsTdef = 9;
inline constexpr std::uint32_t kSystemPages = 11;

using Bytes = std::vector<std::uint8_t>;
using Page = std::array<std::uint8_t, kPageSize>;

void append16(Bytes& b, std::uint32_t v);
void append32(Bytes& b, std::uint32_t v);
void appendDouble(Bytes& b, double v);

// UTF-8 to UTF-16 code units (what Jet counts and stores as UCS-2).
std::u16string utf16(std::string_view s);
// Jet 4's text storage: compressed when every character fits a byte, none is 0, and it is
// shorter; UCS-2 otherwise.
Bytes jetText(const std::u16string& s, bool mayCompress);

Page headerPage(double created);
// The creation date of a header this writer made, or nullopt for any other page.
std::optional<double> headerCreated(const Page& p);

// A column of a table being written.
struct Column {
    std::string name;
    std::uint8_t type = layout::kText;
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

    void add(std::string name, std::uint8_t type, int chars = 255);
    std::size_t longColumns() const;
};

// The table definition, split over pages: `first` is the first page's number; later pages follow
// it. Map rows: 0 and 1 the table's, then two per long-value column, on page `mapPage`.
std::vector<Page> definitionPages(const TableLayout& t, std::uint32_t rows, std::uint32_t first,
                                  std::uint32_t mapPage);

// A data page filling from its end, as Jet stores rows.
class DataPage {
  public:
    explicit DataPage(std::uint32_t owner);
    static DataPage longValues();
    std::size_t rows() const { return rows_; }
    std::size_t room() const;
    bool fits(std::size_t n) const { return n <= room(); }
    // Adds a row; its number on the page.
    std::uint32_t add(const std::uint8_t* data, std::size_t n);
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
Bytes encodeRow(const TableLayout& t, const std::vector<Cell>& cells);
// A short long value stored in the row itself.
Cell inlineLongValue(const Bytes& data);

// A usage map row (69 bytes): inline (type 0) for pages below 512, else a list of extended map
// pages (type 1), whose numbers `extended` gives (allocating them when needed).
Bytes usageMapRow(const std::vector<std::uint32_t>& pages,
                  const std::function<std::uint32_t(std::size_t index)>& extended);

// The eleven pages of the empty database, with the catalogue row of an added table when given.
std::vector<Page> systemPages(double created,
                              std::optional<std::pair<std::uint32_t, std::string>> added);

}  // namespace qx::isam::access::jet4
