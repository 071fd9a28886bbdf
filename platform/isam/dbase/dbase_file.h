// dBASE III tables: a .dbf file (header, field descriptors, fixed-width records) with its .dbt
// memo file. The reader streams records; the writer produces GBK-encoded files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/isam/driver.h"

namespace qx::isam::dbase {

// Limits a reader holds every file to before trusting a number read from it.
inline constexpr std::size_t kMaxFields = 2046;
inline constexpr std::size_t kMaxMemoBytes = 64u << 20;

struct FieldDescriptor {
    std::string name;  // UTF-8
    char type = 'C';   // C N F D L M; Visual FoxPro's I B Y T G V Q too
    int length = 0;
    int decimals = 0;
    std::size_t offset = 0;  // within the record, after the deletion flag
    int nullBit = -1;        // Visual FoxPro: the field's bit in _NullFlags, when it may be Null
    int lengthBit = -1;      // Visual FoxPro's varchar/varbinary: the bit set when the value is
                             // shorter than the field, its length then in the field's last byte
};

// Opens a .dbf for reading; rows come out through RowSource.
class DbfReader : public RowSource {
  public:
    // Returns nullptr and sets `error` when the file cannot be read as a dBASE table.
    static std::unique_ptr<DbfReader> open(const std::filesystem::path& file, std::string& error);

    const std::vector<ColumnDef>& columns() const override { return columns_; }
    bool next(std::vector<Value>& row) override;
    std::string error() const override { return error_; }
    const std::vector<FieldDescriptor>& fields() const { return fields_; }
    const std::string& charset() const { return charset_; }  // empty: detect per value

  private:
    DbfReader() = default;
    std::string decode(std::string_view raw) const;
    Value fieldValue(const FieldDescriptor& f, std::string_view raw);
    bool readMemo(std::uint32_t block, std::string& out);
    bool flagSet(int bit) const;

    std::ifstream in_;
    std::ifstream memo_;
    std::uintmax_t memoSize_ = 0;
    bool memoOpen_ = false;
    bool foxPro_ = false;            // a FoxPro table: .fpt memos, Visual FoxPro's field types
    std::uint32_t memoBlock_ = 512;  // the memo file's block size
    int nullFlagsOffset_ = -1;       // Visual FoxPro's _NullFlags within the record
    int nullFlagsLength_ = 0;
    std::vector<FieldDescriptor> fields_;
    std::vector<ColumnDef> columns_;
    std::string charset_;
    std::uint32_t records_ = 0;
    std::uint32_t read_ = 0;
    std::size_t recordLength_ = 0;
    std::string record_;
    std::string error_;
};

// Writes `rows` as a dBASE III table at `file` (and `file` with .dbt when a memo is needed).
// The files appear complete or not at all; what stood at the path before is replaced.
bool writeDbf(const std::filesystem::path& file, RowSource& rows, std::string& error);

// The charset of a language-driver byte ("" when the byte names none).
std::string charsetOfLanguageDriver(unsigned char ldid);
// The charset named by the text of a .cpg file.
std::string charsetOfCpg(std::string text);

}  // namespace qx::isam::dbase
