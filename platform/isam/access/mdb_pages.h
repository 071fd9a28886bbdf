// The reader's view of a database's pages: the header (version, code page, page encryption),
// pages fetched and checked, usage maps walked page by page, table definitions, and the rows
// of a table's data pages in stored order, moved rows followed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/isam/access/jet_format.h"
#include "platform/isam/access/mdb_reader.h"

namespace qx::isam::access {

inline constexpr const char* kNotAccess = "无法读取 Access 文件：文件已损坏或不是 Access 文件";

// UCS-2 (little-endian UTF-16) bytes as UTF-8; a lone surrogate becomes U+FFFD.
std::string ucs2ToUtf8(const std::uint8_t* p, std::size_t n);

// Why a table cannot be read: the program's words for a damaged file, naming the table.
std::string damagedTable(const std::string& table);

class PageFile {
  public:
    // The header checked; `error` says why a file is refused.
    static std::unique_ptr<PageFile> open(std::unique_ptr<PageSource> source, std::string& error);

    const layout::Format& format() const { return *format_; }
    bool jet3() const { return format_->jet3; }
    std::uint32_t pageCount() const { return pageCount_; }
    // Jet 3's text (in the database's code page) as UTF-8.
    std::string codePageText(const std::uint8_t* p, std::size_t n) const;
    // Reads a page (decrypted); false when it lies beyond the file or cannot be read.
    bool read(std::uint32_t page, std::vector<std::uint8_t>& out);

  private:
    std::unique_ptr<PageSource> source_;
    const layout::Format* format_ = nullptr;
    std::uint32_t pageCount_ = 0;
    std::uint32_t key_ = 0;
    std::string charset_;
};

// A row of a data page: its bytes, within a page buffer.
struct RowBytes {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

// Finds row `row` of a data page already read; false when the slot is not sound. `flags` gets
// the slot's deleted and moved bits.
bool findRow(const layout::Format& f, const std::vector<std::uint8_t>& page, std::uint32_t row,
             RowBytes& out, std::uint32_t& flags);

// The pages a usage map marks, in ascending order, read one map page at a time.
class UsageMap {
  public:
    // `pointer`: the map's row (page << 8 | row), as a table definition names it.
    bool load(PageFile& file, std::uint32_t pointer);
    // The next marked page; false at the end or on damage (`damaged()` then says so).
    bool next(std::uint32_t& page);
    bool damaged() const { return damaged_; }

  private:
    bool loadMapPage(std::size_t index);

    PageFile* file_ = nullptr;
    bool inline_ = true;
    std::vector<std::uint8_t> bits_;       // the current bitmap
    std::uint32_t base_ = 0;               // the page its first bit stands for
    std::size_t bit_ = 0;                  // the next bit to look at
    std::vector<std::uint32_t> mapPages_;  // type 1: the map pages, by index
    std::size_t mapIndex_ = 0;             // type 1: the map page being walked
    bool damaged_ = false;
};

struct ColumnInfo {
    std::string name;
    std::uint8_t type = 0;
    std::uint16_t number = 0;  // its bit in the null mask
    std::uint16_t varIndex = 0;
    std::uint16_t fixedOffset = 0;
    std::uint16_t length = 0;
    std::uint8_t flags = 0;
    std::uint8_t precision = 0, scale = 0;
    bool fixed() const { return flags & layout::kColumnFixed; }
};

struct TableInfo {
    std::string name;
    std::uint32_t page = 0;  // its definition's first page
    std::uint16_t varColumns = 0;
    std::uint32_t usedPages = 0;      // the usage map of its data pages
    std::vector<ColumnInfo> columns;  // in column order
};

// Reads the definition that starts at `page`; false when it is not a sound definition.
bool readDefinition(PageFile& file, std::uint32_t page, TableInfo& out);

// The rows of a table in stored order: data pages by its usage map, rows by slot, deleted rows
// skipped, moved rows read where they went.
class TableScan {
  public:
    TableScan(PageFile& file, const TableInfo& table) : file_(file), table_(table) {}
    bool start();
    // The next row; false at the end, or on damage (`damaged()` then says so).
    bool next(RowBytes& row);
    bool damaged() const { return damaged_; }
    // Where the last row's bytes lie (page << 8 | row): for a moved row, where it went.
    std::uint32_t location() const { return location_; }

  private:
    bool fail() {
        damaged_ = true;
        return false;
    }
    bool followMoved(RowBytes& row);

    PageFile& file_;
    const TableInfo& table_;
    UsageMap pages_;
    std::vector<std::uint8_t> page_, moved_;
    std::uint32_t rows_ = 0, slot_ = 0, pageNumber_ = 0, location_ = 0;
    bool havePage_ = false;
    bool damaged_ = false;
};

}  // namespace qx::isam::access
