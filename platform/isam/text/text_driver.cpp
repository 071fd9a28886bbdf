// The Text driver: delimited and CSV files described by schema.ini, read as streams of records;
// results written as UTF-8 CSV.
#include "platform/isam/text/text_driver.h"

#include "platform/isam/folder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/jet/functions.h"
#include "platform/jet/text.h"
#include "platform/os/encoding.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"
#include "platform/work/progress.h"

namespace qx::isam::text {

namespace fs = std::filesystem;
using jet::JetType;

namespace {

constexpr std::size_t kMaxRecordBytes = 64u << 20;
constexpr std::size_t kMaxColumns = 4096;

std::string trim(std::string_view s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    return std::string(s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1));
}

}  // namespace

Layout readSchemaIni(const fs::path& dir, const std::string& file, bool& found) {
    Layout layout;
    found = false;
    fs::path ini = findFileNoCase(dir, "schema.ini");
    std::ifstream in(ini, std::ios::binary);
    if (!in) return layout;
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (raw.rfind("\xEF\xBB\xBF", 0) == 0) raw.erase(0, 3);
    if (!os::isValidUtf8(raw)) raw = os::toUtf8(raw, "GB18030");
    bool inSection = false;
    std::size_t start = 0;
    while (start < raw.size()) {
        std::size_t nl = raw.find('\n', start);
        std::string line = trim(std::string_view(raw).substr(
            start, nl == std::string::npos ? std::string::npos : nl - start));
        start = nl == std::string::npos ? raw.size() : nl + 1;
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            inSection = jet::compareNoCase(line.substr(1, line.size() - 2), file) == 0;
            if (inSection) found = true;
            continue;
        }
        if (!inSection) continue;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = jet::asciiLower(trim(line.substr(0, eq)));
        std::string value = trim(line.substr(eq + 1));
        std::string lower = jet::asciiLower(value);
        if (key == "colnameheader") {
            layout.header = lower == "true" || lower == "yes" || lower == "1";
        } else if (key == "format") {
            if (lower == "tabdelimited") {
                layout.delimiter = "\t";
            } else if (lower.rfind("delimited(", 0) == 0 && value.size() > 11 &&
                       value.back() == ')') {
                layout.delimiter = value.substr(10, value.size() - 11);
            } else if (lower == "csvdelimited") {
                layout.delimiter = ",";
            } else {
                layout.unsupported = value;
            }
        } else if (key.rfind("col", 0) == 0 && key.size() > 3 &&
                   key.find_first_not_of("0123456789", 3) == std::string::npos) {
            std::size_t index = static_cast<std::size_t>(std::stoul(key.substr(3).substr(0, 6)));
            if (index < 1 || index > kMaxColumns) continue;
            // Name [type] [Width n]; a name in quotes may hold blanks.
            std::string name, rest;
            if (!value.empty() && value[0] == '"') {
                std::size_t close = value.find('"', 1);
                name = value.substr(1, close == std::string::npos ? std::string::npos : close - 1);
                rest = close == std::string::npos ? "" : trim(value.substr(close + 1));
            } else {
                std::size_t blank = value.find(' ');
                name = value.substr(0, blank);
                rest = blank == std::string::npos ? "" : trim(value.substr(blank + 1));
            }
            std::string typeWord = jet::asciiLower(rest.substr(0, rest.find(' ')));
            ColumnDef c{name, JetType::Text, 255};
            if (typeWord == "memo" || typeWord == "longchar")
                c.type = JetType::Memo;
            else if (typeWord == "integer" || typeWord == "long" || typeWord == "short" ||
                     typeWord == "byte")
                c.type = JetType::Long;
            else if (typeWord == "double" || typeWord == "float" || typeWord == "single" ||
                     typeWord == "currency" || typeWord == "decimal")
                c.type = JetType::Double;
            else if (typeWord == "date" || typeWord == "datetime")
                c.type = JetType::DateTime;
            else if (typeWord == "bit")
                c.type = JetType::Bit;
            if (layout.columns.size() < index) layout.columns.resize(index);
            layout.columns[index - 1] = c;
        }
    }
    return layout;
}

namespace {

// Splits a decoded file into records: fields separated by the delimiter, "…" quoting with ""
// inside, delimiters and line breaks allowed inside quotes, CRLF or LF ending a record.
class RecordReader {
  public:
    RecordReader(const fs::path& file, std::string delimiter, std::string charset)
        : in_(file, std::ios::binary),
          delimiter_(std::move(delimiter)),
          charset_(std::move(charset)) {
        if (delimiter_.empty()) delimiter_ = ",";
        std::error_code ec;
        size_ = fs::file_size(file, ec);
        char bom[3] = {0, 0, 0};
        in_.read(bom, 3);
        if (!(static_cast<unsigned char>(bom[0]) == 0xEF &&
              static_cast<unsigned char>(bom[1]) == 0xBB &&
              static_cast<unsigned char>(bom[2]) == 0xBF)) {
            in_.clear();
            in_.seekg(0);
        }
    }
    bool ok() const { return static_cast<bool>(in_); }
    // How much of the file has been read, 0..1.
    double fraction() const {
        return size_ ? static_cast<double>(consumed_ - (buffer_.size() - at_)) / size_ : 1.0;
    }

    // The next record; false at the end. Fields are UTF-8; an empty field is nullopt.
    bool next(std::vector<std::optional<std::string>>& fields, std::string& error) {
        fields.clear();
        return this->fields(error, [&](std::string_view field) {
            if (field.empty())
                fields.emplace_back(std::nullopt);
            else
                fields.emplace_back(std::string(field));
        });
    }

    // The next record's length in characters of each field, as next() would give them, without
    // making the fields; false at the end.
    bool measure(std::vector<std::size_t>& lengths, std::string& error) {
        lengths.clear();
        return fields(error, [&](std::string_view field) { lengths.push_back(textLength(field)); });
    }

    // A field's length in characters where it may pass 255 (a text of 255 bytes has no more).
    static std::size_t textLength(std::string_view field) {
        return field.size() > 255 ? jet::codePointCount(field) : field.size();
    }

    // Reads the next record and gives each of its fields (UTF-8; empty for an empty one) to
    // `take`; false at the end.
    template <typename Take>
    bool fields(std::string& error, Take take) {
        if (!readRecord(raw_, error)) return false;
        if (charset_ != "UTF-8") converted_ = os::toUtf8(raw_, charset_.c_str());
        std::string_view text = charset_ == "UTF-8" ? std::string_view(raw_) : converted_;
        const std::size_t n = text.size();
        std::size_t i = 0;
        for (;;) {
            bool more = false;
            if (i < n && text[i] == '"') {
                // Quoted: doubled quotes are one; what follows the closing quote up to the
                // delimiter belongs to the field too, a quote there included.
                quotedField_.clear();
                bool quoted = true;
                for (++i; i < n;) {
                    char c = text[i];
                    if (quoted) {
                        if (c == '"') {
                            if (i + 1 < n && text[i + 1] == '"') {
                                quotedField_ += '"';
                                i += 2;
                            } else {
                                quoted = false;
                                ++i;
                            }
                            continue;
                        }
                    } else if (text.compare(i, delimiter_.size(), delimiter_) == 0) {
                        more = true;
                        break;
                    }
                    quotedField_ += c;
                    ++i;
                }
                take(std::string_view(quotedField_));
            } else {
                // Plain: up to the next delimiter, quotes inside taken as they are.
                std::size_t j = text.find(delimiter_, i);
                more = j != std::string_view::npos;
                if (!more) j = n;
                take(text.substr(i, j - i));
                i = j;
            }
            if (!more) break;
            i += delimiter_.size();
        }
        return true;
    }

  private:
    // The next chunk of the file into the buffer; false at its end.
    bool fill() {
        buffer_.resize(kChunk);
        in_.read(buffer_.data(), static_cast<std::streamsize>(kChunk));
        buffer_.resize(static_cast<std::size_t>(in_.gcount()));
        consumed_ += buffer_.size();
        at_ = 0;
        return !buffer_.empty();
    }

    // Bytes up to the line break that ends a record (not one inside quotes).
    bool readRecord(std::string& raw, std::string& error) {
        raw.clear();
        bool quoted = false, any = false, broken = false;
        while (!broken && (at_ < buffer_.size() || fill())) {
            any = true;
            const char* p = buffer_.data() + at_;
            std::size_t left = buffer_.size() - at_;
            // Outside quotes the record runs to a line break or a quote, inside to the quote
            // that ends them.
            const void* nl = quoted ? nullptr : std::memchr(p, '\n', left);
            std::size_t span =
                nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - p) : left;
            const void* q = std::memchr(p, '"', span);
            if (q) {
                span = static_cast<std::size_t>(static_cast<const char*>(q) - p) + 1;
                quoted = !quoted;
                nl = nullptr;
            }
            raw.append(p, span);
            at_ += span + (nl ? 1 : 0);
            broken = nl != nullptr;
            if (raw.size() > kMaxRecordBytes) {
                error = "文本文件中的一条记录过长（可能缺少配对的引号）";
                return false;
            }
        }
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        return broken || (any && !raw.empty());
    }

    static constexpr std::size_t kChunk = 1 << 20;
    std::ifstream in_;
    std::string delimiter_;
    std::string charset_;
    std::string buffer_;
    std::size_t at_ = 0;
    std::uintmax_t size_ = 0, consumed_ = 0;
    std::string raw_, converted_, quotedField_;
};

class TextRows : public RowSource {
  public:
    // `walked`: the columns were learnt from a walk over the records before.
    TextRows(std::unique_ptr<RecordReader> reader, std::vector<ColumnDef> columns, bool skipHeader,
             bool walked)
        : reader_(std::move(reader)),
          columns_(std::move(columns)),
          final_(columns_),
          skipHeader_(skipHeader),
          walked_(walked) {}
    const std::vector<ColumnDef>& columns() const override { return columns_; }
    // Text columns that met a text longer than 255 characters are Memo.
    std::vector<ColumnDef> columnsAtEnd() const override { return final_; }
    std::string error() const override { return error_; }
    // A walk that learnt the columns was the first half of the read.
    double fractionRead() const override {
        return walked_ ? 0.5 + reader_->fraction() / 2 : reader_->fraction();
    }

    bool next(std::vector<Value>& row) override {
        if (skipHeader_) {
            skipHeader_ = false;
            if (!reader_->fields(error_, [](std::string_view) {})) return false;
        }
        const std::size_t n = columns_.size();
        if (row.size() != n) row.resize(n);
        std::size_t k = 0;
        bool read = reader_->fields(error_, [&](std::string_view field) {
            if (k >= n) return;
            const std::size_t at = k++;
            Value& v = row[at];
            const ColumnDef& c = columns_[at];
            if (field.empty()) {
                v.kind = Value::Kind::Null;
                v.text.clear();
                return;
            }
            if (c.type == JetType::Text || c.type == JetType::Memo) {
                v.kind = Value::Kind::Text;
                v.text.assign(field);  // into the room the row's value already has
                if (c.type == JetType::Text && RecordReader::textLength(field) > 255)
                    final_[at].type = JetType::Memo;
            } else if (auto converted = jet::convertValue(Value::ofText(std::string(field)), c)) {
                v = std::move(*converted);
            } else {
                v = Value::null();  // what does not convert stays Null, as Jet reads it
            }
        });
        if (!read) return false;
        for (; k < n; ++k) {
            row[k].kind = Value::Kind::Null;
            row[k].text.clear();
        }
        return true;
    }

  private:
    std::unique_ptr<RecordReader> reader_;
    std::vector<ColumnDef> columns_, final_;
    bool skipHeader_, walked_;
    std::string error_;
};

// UTF-8 (with or without BOM) when the whole file is valid UTF-8, GB18030 otherwise.
std::string detectCharset(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string carry;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        std::string chunk = carry + std::string(buf, static_cast<std::size_t>(in.gcount()));
        // Keep an incomplete character at the end for the next chunk.
        std::size_t cut = chunk.size();
        for (std::size_t back = 1; back <= 3 && back <= chunk.size(); ++back) {
            auto b = static_cast<unsigned char>(chunk[chunk.size() - back]);
            if ((b & 0xC0) == 0xC0) {
                std::size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
                if (need > back) cut = chunk.size() - back;
                break;
            }
            if ((b & 0xC0) != 0x80) break;
        }
        if (!os::isValidUtf8(std::string_view(chunk).substr(0, cut))) return "GB18030";
        carry = chunk.substr(cut);
    }
    return carry.empty() ? "UTF-8" : "GB18030";
}

// The columns of a text file without a schema.ini entry that names them, learnt from one walk
// over its records.
bool learnColumns(RecordReader& reader, const Layout& layout, std::vector<ColumnDef>& columns,
                  std::string& error) {
    std::vector<std::string> headerNames;
    std::vector<std::size_t> longest, lengths;
    std::size_t widest = 0;
    std::size_t records = 0;
    if (layout.header) {
        std::vector<std::optional<std::string>> fields;
        if (reader.next(fields, error)) {
            ++records;
            for (auto& f : fields) headerNames.push_back(f.value_or(""));
        }
    }
    while (error.empty() && reader.measure(lengths, error)) {
        if (++records % 4096 == 0) {
            if (work::cancelRequested()) {
                error = work::kCancelled;
                return false;
            }
            work::reportFraction(reader.fraction() / 2);
        }
        widest = std::max(widest, lengths.size());
        if (longest.size() < lengths.size()) longest.resize(lengths.size());
        for (std::size_t k = 0; k < lengths.size(); ++k)
            longest[k] = std::max(longest[k], lengths[k]);
    }
    if (!error.empty()) return false;
    std::size_t n = std::max({widest, headerNames.size(), std::size_t{1}});
    for (std::size_t k = 0; k < n && k < kMaxColumns; ++k)
        columns.push_back(
            {k < headerNames.size() && !headerNames[k].empty() ? headerNames[k]
                                                               : "F" + std::to_string(k + 1),
             k < longest.size() && longest[k] > 255 ? JetType::Memo : JetType::Text, 255});
    return true;
}

}  // namespace

std::vector<std::string> TextDriver::names() const {
    return {"text"};
}

bool TextDriver::listTables(const ExternalClause& db, std::vector<TableName>& out,
                            std::string& error) {
    return listFolder(db, {".txt", ".csv"}, out, error);
}

std::unique_ptr<RowSource> TextDriver::readTable(const ExternalClause& db, const std::string& table,
                                                 std::string& error) {
    fs::path dir = clauseFolder(db);
    fs::path file = findFileNoCase(dir, table);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        error = "找不到文本文件“" + os::utf8(file) + "”";
        return nullptr;
    }
    bool described = false;
    Layout layout = readSchemaIni(dir, table, described);
    if (!layout.unsupported.empty()) {
        error = "schema.ini 中的格式“" + layout.unsupported + "”不受支持";
        return nullptr;
    }
    std::string charset = detectCharset(file);

    // Columns that schema.ini names are known; which of their texts are Memo the rows tell as
    // they are read. Otherwise one walk over the records first: the widest record, the longest
    // text of each column, and the header's names.
    auto open = [&] {
        auto reader = std::make_unique<RecordReader>(file, layout.delimiter, charset);
        if (!reader->ok()) {
            error = "无法打开文本文件“" + os::utf8(file) + "”";
            reader.reset();
        }
        return reader;
    };
    std::vector<ColumnDef> columns = layout.columns;
    const bool walk = columns.empty();
    if (walk) {
        auto walker = open();
        if (!walker || !learnColumns(*walker, layout, columns, error)) return nullptr;
    }
    for (std::size_t k = 0; k < columns.size(); ++k)
        if (columns[k].name.empty()) columns[k].name = "F" + std::to_string(k + 1);
    auto rows = open();
    if (!rows) return nullptr;
    return std::make_unique<TextRows>(std::move(rows), std::move(columns), layout.header, walk);
}

namespace {

// `s` as a csv field: quoted, its quotes doubled, when it holds a comma, a quote or a line break.
void appendCsvField(std::string& out, std::string_view s) {
    if (s.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += s;
        return;
    }
    out += '"';
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string csvField(const std::string& s) {
    std::string out;
    appendCsvField(out, s);
    return out;
}

std::string fieldText(const Value& v, JetType type) {
    if (v.isNull()) return {};
    switch (type) {
        case JetType::DateTime: {
            auto dt = v.kind == Value::Kind::Text ? jet::parseIsoDateTime(v.text) : std::nullopt;
            if (!dt) return *jet::valueText(v);
            std::string s = jet::formatDateTime(*dt);
            return dt->hour || dt->minute || dt->second ? s : s.substr(0, 10);
        }
        case JetType::Bit: {
            auto n = v.kind == Value::Kind::Text
                         ? jet::parseNumber(v.text)
                         : std::optional<double>(v.kind == Value::Kind::Integer
                                                     ? static_cast<double>(v.integer)
                                                     : v.real);
            return n && *n != 0 ? "True" : "False";
        }
        default:
            return *jet::formatValue(v, type);
    }
}

// A value as a csv field of a column of `type` shows it, after `out`; nothing for Null.
void appendField(std::string& out, const Value& v, JetType type) {
    if (v.isNull()) return;
    bool stored = v.kind == Value::Kind::Text || v.kind == Value::Kind::Blob;
    if (stored && type != JetType::DateTime && type != JetType::Bit)
        appendCsvField(out, v.text);  // its own bytes, without a copy
    else
        appendCsvField(out, fieldText(v, type));
}

}  // namespace

bool writeCsv(const fs::path& file, RowSource& rows, std::string& error) {
    fs::path temp = os::siblingTempPath(file);
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "无法写入文件“" + os::utf8(file) + "”";
        return false;
    }
    const auto& columns = rows.columns();
    out << "\xEF\xBB\xBF";
    for (std::size_t k = 0; k < columns.size(); ++k)
        out << (k ? "," : "") << csvField(columns[k].name);
    out << "\r\n";
    std::vector<Value> row;
    // Lines are gathered and written some hundred kilobytes at a time.
    std::string lines;
    constexpr std::size_t kFlushAt = std::size_t{256} << 10;
    // The errno of the first failed write, taken before anything else can change it.
    int err = 0;
    while (!err && rows.next(row)) {
        for (std::size_t k = 0; k < columns.size(); ++k) {
            if (k) lines += ',';
            if (k < row.size()) appendField(lines, row[k], columns[k].type);
        }
        lines += "\r\n";
        if (lines.size() >= kFlushAt) {
            out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
            lines.clear();
            if (!out) err = errno ? errno : EIO;
        }
    }
    if (!err && !lines.empty()) {
        out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
        if (!out) err = errno ? errno : EIO;
    }
    out.close();
    if (!out && !err) err = errno ? errno : EIO;
    if (!rows.error().empty() || err) {
        os::removeIfExists(temp);
        error = rows.error().empty() ? os::writeFailure(file, err) : rows.error();
        return false;
    }
    if (!os::replaceFile(temp, file, error)) {
        os::removeIfExists(temp);
        return false;
    }
    return true;
}

bool TextDriver::writeTable(const ExternalClause& db, const std::string& table, RowSource& rows,
                            std::string& error) {
    fs::path file = tableFileToWrite(db, table, error);
    return !file.empty() && writeCsv(file, rows, error);
}

}  // namespace qx::isam::text
