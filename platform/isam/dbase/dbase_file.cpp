// dBASE III files: reading with every length checked against the file, writing in GBK.
#include "platform/isam/dbase/dbase_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

#include "platform/jet/functions.h"
#include "platform/jet/text.h"
#include "platform/os/encoding.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"

namespace qx::isam::dbase {

namespace fs = std::filesystem;
using jet::JetType;

namespace {

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
void put32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k)
        s[at + static_cast<std::size_t>(k)] = static_cast<char>(v >> (8 * k));
}
void put16(std::string& s, std::size_t at, std::uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return s;
}
std::string_view trimBoth(std::string_view s) {
    s = trimRight(s);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return s;
}

constexpr const char* kDamaged = "dBASE 文件已损坏或不是 dBASE 文件：";

}  // namespace

std::string charsetOfLanguageDriver(unsigned char ldid) {
    static const std::map<unsigned char, const char*> kMap{
        {0x01, "CP437"},   {0x02, "CP850"},   {0x03, "CP1252"}, {0x57, "CP1252"}, {0x58, "CP1252"},
        {0x59, "CP1252"},  {0x64, "CP852"},   {0x65, "CP866"},  {0x66, "CP865"},  {0x26, "CP866"},
        {0x4D, "GB18030"}, {0x7A, "GB18030"}, {0x4E, "CP949"},  {0x79, "CP949"},  {0x4F, "BIG5"},
        {0x78, "BIG5"},    {0x13, "CP932"},   {0x7B, "CP932"},  {0x7C, "CP874"},  {0x7D, "CP1255"},
        {0x7E, "CP1256"},  {0xC8, "CP1250"},  {0xC9, "CP1251"}, {0xCA, "CP1254"}, {0xCB, "CP1253"},
    };
    auto it = kMap.find(ldid);
    return it == kMap.end() ? "" : it->second;
}

std::string charsetOfCpg(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    std::string t = jet::asciiUpper(trimBoth(text));
    if (t.rfind("\xEF\xBB\xBF", 0) == 0) t.erase(0, 3);
    if (t.empty()) return "";
    if (t == "UTF-8" || t == "UTF8" || t == "65001") return "UTF-8";
    if (t == "936" || t == "GBK" || t == "GB2312" || t == "CP936" || t == "GB18030" || t == "54936")
        return "GB18030";
    if (t == "950" || t == "BIG5") return "BIG5";
    if (std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return "CP" + t;
    return t;
}

std::unique_ptr<DbfReader> DbfReader::open(const fs::path& file, std::string& error) {
    std::unique_ptr<DbfReader> r(new DbfReader());
    std::error_code ec;
    std::uintmax_t size = fs::file_size(file, ec);
    if (ec) {
        error = "找不到 dBASE 文件“" + os::utf8(file) + "”";
        return nullptr;
    }
    r->in_.open(file, std::ios::binary);
    if (!r->in_) {
        error = "无法打开 dBASE 文件“" + os::utf8(file) + "”";
        return nullptr;
    }
    unsigned char head[32];
    if (size < 33 || !r->in_.read(reinterpret_cast<char*>(head), 32)) {
        error = kDamaged + std::string("文件太短");
        return nullptr;
    }
    static constexpr unsigned char kVersions[] = {0x02, 0x03, 0x30, 0x31, 0x32, 0x43, 0x83,
                                                  0x8B, 0x8E, 0xB3, 0xCB, 0xF5, 0xE5};
    if (std::find(std::begin(kVersions), std::end(kVersions), head[0]) == std::end(kVersions)) {
        error = kDamaged + std::string("文件头无法识别");
        return nullptr;
    }
    r->records_ = le32(head + 4);
    std::size_t headerLength = le16(head + 8);
    r->recordLength_ = le16(head + 10);
    if (headerLength < 33 || headerLength > size || r->recordLength_ < 1) {
        error = kDamaged + std::string("文件头中的长度不正确");
        return nullptr;
    }
    std::uintmax_t needed = headerLength + std::uintmax_t{r->records_} * r->recordLength_;
    if (needed > size) {
        error = kDamaged + std::string("记录不完整（文件被截断）");
        return nullptr;
    }

    std::string descriptors(headerLength - 32, '\0');
    if (!r->in_.read(descriptors.data(), static_cast<std::streamsize>(descriptors.size()))) {
        error = kDamaged + std::string("字段说明不完整");
        return nullptr;
    }
    // The code page: a .cpg file beside the table, else the language-driver byte.
    fs::path cpg = file;
    cpg.replace_extension(".cpg");
    if (std::ifstream c(cpg, std::ios::binary); c) {
        std::string text((std::istreambuf_iterator<char>(c)), std::istreambuf_iterator<char>());
        r->charset_ = charsetOfCpg(text.substr(0, 64));
    }
    if (r->charset_.empty()) r->charset_ = charsetOfLanguageDriver(head[29]);

    std::size_t offset = 1;
    bool hasMemo = false;
    for (std::size_t at = 0; at + 32 <= descriptors.size() && descriptors[at] != '\x0D'; at += 32) {
        if (r->fields_.size() >= kMaxFields) {
            error = kDamaged + std::string("字段过多");
            return nullptr;
        }
        const auto* d = reinterpret_cast<const unsigned char*>(descriptors.data() + at);
        FieldDescriptor f;
        std::string_view rawName(reinterpret_cast<const char*>(d), 11);
        rawName = rawName.substr(0, std::min<std::size_t>(rawName.find('\0'), 11));
        f.name = std::string(trimBoth(r->decode(rawName)));
        f.type = static_cast<char>(std::toupper(d[11]));
        f.length = d[16];
        f.decimals = d[17];
        if (f.type == 'C') f.length += f.decimals * 256;  // Clipper's long character fields
        f.offset = offset;
        offset += static_cast<std::size_t>(f.length);
        if (std::string("CNFDLM").find(f.type) == std::string::npos || f.length == 0) {
            error =
                "不支持的 dBASE 字段类型“" + std::string(1, f.type) + "”（字段 " + f.name + "）";
            return nullptr;
        }
        if (f.type == 'M') hasMemo = true;
        r->fields_.push_back(std::move(f));
    }
    if (r->fields_.empty() || offset > r->recordLength_) {
        error = kDamaged + std::string("字段说明与记录长度不符");
        return nullptr;
    }
    if (hasMemo) {
        fs::path dbt = file;
        dbt.replace_extension(".dbt");
        if (!fs::exists(dbt, ec)) {
            // Names written in capitals on another system.
            dbt.replace_extension(".DBT");
        }
        r->memo_.open(dbt, std::ios::binary);
        if (!r->memo_) {
            error = "找不到 dBASE 备注文件“" + os::utf8(dbt) + "”";
            return nullptr;
        }
        r->memoSize_ = fs::file_size(dbt, ec);
        r->memoOpen_ = true;
    }

    // Columns, with unique names.
    for (std::size_t k = 0; k < r->fields_.size(); ++k) {
        const FieldDescriptor& f = r->fields_[k];
        ColumnDef c;
        c.name = f.name.empty() ? "F" + std::to_string(k + 1) : f.name;
        for (int n = 1;; ++n) {
            bool clash = false;
            for (const auto& other : r->columns_)
                clash = clash || jet::compareNoCase(other.name, c.name) == 0;
            if (!clash) break;
            c.name = (f.name.empty() ? "F" : f.name) + std::to_string(n);
        }
        switch (f.type) {
            case 'C':
                c.type = f.length > 255 ? JetType::Memo : JetType::Text;
                c.size = std::min(f.length, 255);
                break;
            case 'N':
            case 'F':
                c.type = f.decimals == 0 && f.length <= 9 ? JetType::Long : JetType::Double;
                break;
            case 'D':
                c.type = JetType::DateTime;
                break;
            case 'L':
                c.type = JetType::Bit;
                break;
            case 'M':
                c.type = JetType::Memo;
                break;
        }
        r->columns_.push_back(c);
    }
    r->in_.seekg(static_cast<std::streamoff>(headerLength));
    r->record_.resize(r->recordLength_);
    return r;
}

std::string DbfReader::decode(std::string_view raw) const {
    if (charset_ == "UTF-8") return std::string(raw);
    if (!charset_.empty()) return os::toUtf8(raw, charset_.c_str());
    bool ascii = std::all_of(raw.begin(), raw.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii || os::isValidUtf8(raw)) return std::string(raw);
    return os::toUtf8(raw, "GB18030");
}

bool DbfReader::readMemo(std::uint32_t block, std::string& out) {
    std::uintmax_t start = std::uintmax_t{block} * 512;
    if (start >= memoSize_) {
        error_ = kDamaged + std::string("备注文件中找不到记录的内容");
        return false;
    }
    memo_.clear();
    memo_.seekg(static_cast<std::streamoff>(start));
    char mark[8];
    std::size_t avail =
        static_cast<std::size_t>(std::min<std::uintmax_t>(memoSize_ - start, kMaxMemoBytes));
    if (avail >= 8 && memo_.read(mark, 8) && static_cast<unsigned char>(mark[0]) == 0xFF &&
        static_cast<unsigned char>(mark[1]) == 0xFF && mark[2] == 0x08 && mark[3] == 0x00) {
        // dBASE IV block: a length follows the signature.
        std::uint32_t length = le32(reinterpret_cast<unsigned char*>(mark) + 4);
        if (length < 8 || length - 8 > avail - 8) {
            error_ = kDamaged + std::string("备注长度不正确");
            return false;
        }
        out.resize(length - 8);
        memo_.read(out.data(), static_cast<std::streamsize>(out.size()));
        return static_cast<bool>(memo_);
    }
    memo_.clear();
    memo_.seekg(static_cast<std::streamoff>(start));
    out.clear();
    char buf[512];
    while (out.size() < avail) {
        std::size_t want = std::min<std::size_t>(sizeof buf, avail - out.size());
        memo_.read(buf, static_cast<std::streamsize>(want));
        std::size_t got = static_cast<std::size_t>(memo_.gcount());
        if (got == 0) break;
        std::string_view chunk(buf, got);
        std::size_t end = chunk.find('\x1A');
        if (end != std::string_view::npos) {
            out.append(chunk.substr(0, end));
            return true;
        }
        out.append(chunk);
    }
    return true;  // a memo running to the end of the file
}

Value DbfReader::fieldValue(const FieldDescriptor& f, std::string_view raw) {
    switch (f.type) {
        case 'C': {
            std::string_view t = trimRight(raw);
            if (t.empty()) return Value::null();
            return Value::ofText(decode(t));
        }
        case 'N':
        case 'F': {
            std::string_view t = trimBoth(raw);
            if (t.empty() || t.find_first_not_of("*.") == std::string_view::npos)
                return Value::null();
            std::string text(t);
            std::replace(text.begin(), text.end(), ',', '.');
            auto d = jet::parseNumber(text);
            if (!d) return Value::null();
            if (f.decimals == 0 && f.length <= 9)
                return Value::ofInteger(static_cast<std::int64_t>(*d));
            return Value::ofReal(*d);
        }
        case 'D': {
            std::string_view t = trimBoth(raw);
            if (t.size() != 8) return Value::null();
            int y = 0, m = 0, d = 0;
            std::from_chars(t.data(), t.data() + 4, y);
            std::from_chars(t.data() + 4, t.data() + 6, m);
            std::from_chars(t.data() + 6, t.data() + 8, d);
            if (!jet::isValidDate(y, m, d)) return Value::null();
            return Value::ofText(jet::formatDateTime({y, m, d, 0, 0, 0}));
        }
        case 'L': {
            char c = raw.empty() ? ' ' : raw[0];
            if (std::string("TtYy").find(c) != std::string::npos) return Value::ofInteger(-1);
            if (std::string("FfNn").find(c) != std::string::npos) return Value::ofInteger(0);
            return Value::null();
        }
        case 'M': {
            std::string_view t = trimBoth(raw);
            std::uint32_t block = 0;
            if (t.empty() ||
                std::from_chars(t.data(), t.data() + t.size(), block).ec != std::errc() ||
                block == 0)
                return Value::null();
            std::string memo;
            if (!readMemo(block, memo)) return Value::null();
            if (memo.empty()) return Value::null();
            return Value::ofText(decode(memo));
        }
    }
    return Value::null();
}

bool DbfReader::next(std::vector<Value>& row) {
    while (error_.empty() && read_ < records_) {
        if (!in_.read(record_.data(), static_cast<std::streamsize>(record_.size()))) {
            error_ = kDamaged + std::string("记录不完整");
            return false;
        }
        ++read_;
        if (record_[0] == '*') continue;  // deleted
        if (record_[0] == '\x1A') break;  // end-of-file mark before the counted records
        row.resize(fields_.size());
        for (std::size_t k = 0; k < fields_.size(); ++k) {
            const FieldDescriptor& f = fields_[k];
            row[k] = fieldValue(
                f, std::string_view(record_).substr(f.offset, static_cast<std::size_t>(f.length)));
        }
        return error_.empty();
    }
    return false;
}

// ---- writing --------------------------------------------------------------------------------

namespace {

constexpr int kMaxCharWidth = 254;
constexpr int kMaxNumberWidth = 20;
constexpr const char* kCharset = "GBK";

// Cuts GBK bytes to at most `limit` bytes without splitting a character.
std::string cutGbk(const std::string& s, std::size_t limit) {
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t len = static_cast<unsigned char>(s[i]) >= 0x81 ? 2 : 1;
        if (i + len > limit) break;
        i += len;
    }
    return s.substr(0, i);
}

struct Plan {
    ColumnDef column;
    std::string name;  // GBK, at most 10 bytes
    char type = 'C';
    int width = 1;
    int decimals = 0;
    // What the data needs, found while spooling.
    std::size_t widest = 0;
    int intDigits = 1;
    int fraction = 0;
    bool negative = false;
};

// The digits of a number before and after the point in its shortest form.
void measure(double d, int& intDigits, int& fraction) {
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, std::fabs(d), std::chars_format::fixed);
    std::string_view s(buf, static_cast<std::size_t>(p - buf));
    std::size_t dot = s.find('.');
    intDigits = static_cast<int>(dot == std::string_view::npos ? s.size() : dot);
    fraction = dot == std::string_view::npos ? 0 : static_cast<int>(s.size() - dot - 1);
}

// A spooled value: Null (tag 0), bytes (tag 1: text in GBK, a date as YYYYMMDD, T or F) or a
// number (tag 2).
struct Spooled {
    unsigned char tag = 0;
    double number = 0;
    std::string bytes;
};

bool isNumeric(JetType t) {
    return t == JetType::Long || t == JetType::Short || t == JetType::Byte ||
           t == JetType::Single || t == JetType::Double || t == JetType::Currency;
}

void spool(std::FILE* f, const Spooled& s) {
    std::fwrite(&s.tag, 1, 1, f);
    if (s.tag == 2) std::fwrite(&s.number, sizeof s.number, 1, f);
    if (s.tag == 1) {
        auto n = static_cast<std::uint32_t>(s.bytes.size());
        std::fwrite(&n, sizeof n, 1, f);
        std::fwrite(s.bytes.data(), 1, s.bytes.size(), f);
    }
}

bool unspool(std::FILE* f, Spooled& s) {
    if (std::fread(&s.tag, 1, 1, f) != 1) return false;
    if (s.tag == 2) return std::fread(&s.number, sizeof s.number, 1, f) == 1;
    if (s.tag == 1) {
        std::uint32_t n = 0;
        if (std::fread(&n, sizeof n, 1, f) != 1) return false;
        s.bytes.resize(n);
        return n == 0 || std::fread(s.bytes.data(), 1, n, f) == n;
    }
    return true;
}

// The bytes a value takes in the file, before padding.
std::string fieldBytes(const Value& v, JetType type) {
    switch (type) {
        case JetType::DateTime: {
            auto dt = v.kind == Value::Kind::Text ? jet::parseDateText(v.text) : std::nullopt;
            if (!dt && v.kind != Value::Kind::Text)
                dt = jet::fromSerial(v.kind == Value::Kind::Integer ? static_cast<double>(v.integer)
                                                                    : v.real);
            if (!dt) return {};
            char buf[16];
            std::snprintf(buf, sizeof buf, "%04d%02d%02d", dt->year, dt->month, dt->day);
            return buf;
        }
        case JetType::Bit: {
            auto n = v.kind == Value::Kind::Text ? jet::parseNumber(v.text)
                     : v.kind == Value::Kind::Integer
                         ? std::optional<double>(static_cast<double>(v.integer))
                         : std::optional<double>(v.real);
            return n && *n != 0 ? "T" : "F";
        }
        default:
            return os::fromUtf8(*jet::valueText(v), kCharset);
    }
}

}  // namespace

bool writeDbf(const fs::path& file, RowSource& rows, std::string& error) {
    const auto& columns = rows.columns();
    if (columns.empty()) {
        error = "没有可以写入 dBASE 文件的列";
        return false;
    }
    if (columns.size() > 255) {
        error = "dBASE 文件最多只能有 255 个字段";
        return false;
    }
    std::vector<Plan> plans(columns.size());
    for (std::size_t k = 0; k < columns.size(); ++k) {
        Plan& p = plans[k];
        p.column = columns[k];
        // Field names: at most 10 GBK bytes, unique without regard to case.
        std::string base = cutGbk(os::fromUtf8(columns[k].name, kCharset), 10);
        if (base.empty()) base = "F" + std::to_string(k + 1);
        std::string name = base;
        for (int n = 1;; ++n) {
            bool clash = false;
            for (std::size_t j = 0; j < k; ++j)
                clash = clash || jet::asciiUpper(plans[j].name) == jet::asciiUpper(name);
            if (!clash) break;
            std::string suffix = std::to_string(n);
            name = cutGbk(base, 10 - suffix.size()) + suffix;
        }
        p.name = name;
    }

    // First pass: spool the rows and measure what every field needs.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> spoolFile(std::tmpfile(), &std::fclose);
    if (!spoolFile) {
        error = "无法创建临时文件";
        return false;
    }
    std::uint32_t count = 0;
    std::vector<Value> row;
    while (rows.next(row)) {
        for (std::size_t k = 0; k < plans.size(); ++k) {
            Plan& p = plans[k];
            const Value v = k < row.size() ? row[k] : Value::null();
            Spooled sp;
            if (v.isNull()) {
            } else if (isNumeric(p.column.type)) {
                auto n = v.kind == Value::Kind::Integer
                             ? std::optional<double>(static_cast<double>(v.integer))
                         : v.kind == Value::Kind::Real ? std::optional<double>(v.real)
                                                       : jet::parseNumber(v.text);
                if (n && std::isfinite(*n)) {
                    sp.tag = 2;
                    sp.number = *n;
                    int intDigits = 1, fraction = 0;
                    measure(*n, intDigits, fraction);
                    p.intDigits = std::max(p.intDigits, intDigits);
                    p.fraction = std::max(p.fraction, fraction);
                    p.negative = p.negative || *n < 0;
                }
            } else {
                sp.bytes = fieldBytes(v, p.column.type);
                if (!sp.bytes.empty() || p.column.type == JetType::Text ||
                    p.column.type == JetType::Memo)
                    sp.tag = 1;
                p.widest = std::max(p.widest, sp.bytes.size());
            }
            spool(spoolFile.get(), sp);
        }
        if (++count == 0xFFFFFFFF) {
            error = "记录太多，dBASE 文件装不下";
            return false;
        }
    }
    if (!rows.error().empty()) {
        error = rows.error();
        return false;
    }

    bool anyMemo = false;
    for (Plan& p : plans) {
        switch (p.column.type) {
            case JetType::Long:
            case JetType::Short:
            case JetType::Byte:
            case JetType::Single:
            case JetType::Double:
            case JetType::Currency: {
                int maxFraction =
                    p.column.type == JetType::Currency ? 4
                    : (p.column.type == JetType::Long || p.column.type == JetType::Short ||
                       p.column.type == JetType::Byte)
                        ? 0
                        : 15;
                p.type = 'N';
                p.decimals = std::min(p.fraction, maxFraction);
                int whole = p.intDigits + (p.negative ? 1 : 0);
                if (whole > kMaxNumberWidth) {
                    error = "字段“" + p.column.name + "”中的数值太大，dBASE 文件装不下";
                    return false;
                }
                p.decimals = std::min(p.decimals, kMaxNumberWidth - whole - 1);
                if (p.decimals < 0) p.decimals = 0;
                p.width = whole + (p.decimals > 0 ? p.decimals + 1 : 0);
                break;
            }
            case JetType::DateTime:
                p.type = 'D';
                p.width = 8;
                break;
            case JetType::Bit:
                p.type = 'L';
                p.width = 1;
                break;
            case JetType::Binary:
                p.type = 'M';
                p.width = 10;
                break;
            default:
                if (p.widest > static_cast<std::size_t>(kMaxCharWidth)) {
                    p.type = 'M';
                    p.width = 10;
                } else {
                    p.type = 'C';
                    p.width = std::max<int>(1, static_cast<int>(p.widest));
                }
        }
        anyMemo = anyMemo || p.type == 'M';
    }

    // Header and field descriptors.
    std::size_t recordLength = 1;
    for (const Plan& p : plans) recordLength += static_cast<std::size_t>(p.width);
    if (recordLength > 65535) {
        error = "记录太长，dBASE 文件装不下";
        return false;
    }
    std::size_t headerLength = 32 + 32 * plans.size() + 1;
    std::string header(headerLength, '\0');
    header[0] = static_cast<char>(anyMemo ? 0x83 : 0x03);
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    header[1] = static_cast<char>(tm.tm_year % 100);
    header[2] = static_cast<char>(tm.tm_mon + 1);
    header[3] = static_cast<char>(tm.tm_mday);
    put32(header, 4, count);
    put16(header, 8, static_cast<std::uint16_t>(headerLength));
    put16(header, 10, static_cast<std::uint16_t>(recordLength));
    header[29] = 0x4D;  // code page 936
    for (std::size_t k = 0; k < plans.size(); ++k) {
        std::size_t at = 32 + 32 * k;
        std::copy(plans[k].name.begin(), plans[k].name.end(),
                  header.begin() + static_cast<std::ptrdiff_t>(at));
        header[at + 11] = plans[k].type;
        header[at + 16] = static_cast<char>(plans[k].width);
        header[at + 17] = static_cast<char>(plans[k].decimals);
    }
    header[headerLength - 1] = '\x0D';

    fs::path dbfTemp = os::siblingTempPath(file);
    fs::path dbtTarget = file;
    dbtTarget.replace_extension(".dbt");
    fs::path dbtTemp = os::siblingTempPath(dbtTarget);
    auto cleanup = [&] {
        os::removeIfExists(dbfTemp);
        os::removeIfExists(dbtTemp);
    };
    std::ofstream out(dbfTemp, std::ios::binary | std::ios::trunc);
    std::ofstream memo;
    std::uint32_t nextBlock = 1;
    if (anyMemo) {
        memo.open(dbtTemp, std::ios::binary | std::ios::trunc);
        memo << std::string(512, '\0');
    }
    if (!out || (anyMemo && !memo)) {
        cleanup();
        error = "无法写入文件“" + os::utf8(file) + "”";
        return false;
    }
    out.write(header.data(), static_cast<std::streamsize>(header.size()));

    // Second pass: the records.
    std::rewind(spoolFile.get());
    std::string record(recordLength, ' ');
    Spooled s;
    for (std::uint32_t r = 0; r < count; ++r) {
        std::fill(record.begin(), record.end(), ' ');
        std::size_t at = 1;
        for (const Plan& p : plans) {
            if (!unspool(spoolFile.get(), s)) {
                cleanup();
                error = "无法读回临时文件";
                return false;
            }
            std::string field;
            if (s.tag == 2) {
                double d = s.number;
                char buf[64];
                auto [end, ec] =
                    std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed, p.decimals);
                field.assign(buf, end);
                if (field.size() > static_cast<std::size_t>(p.width))
                    field = std::string(static_cast<std::size_t>(p.width), '*');
                field = std::string(static_cast<std::size_t>(p.width) - field.size(), ' ') + field;
            } else if (s.tag == 1 && p.type == 'M') {
                if (!s.bytes.empty()) {
                    std::string block = s.bytes + "\x1A\x1A";
                    block.resize((block.size() + 511) / 512 * 512, '\0');
                    memo.write(block.data(), static_cast<std::streamsize>(block.size()));
                    std::string number = std::to_string(nextBlock);
                    field = std::string(10 - number.size(), ' ') + number;
                    nextBlock += static_cast<std::uint32_t>(block.size() / 512);
                }
            } else if (s.tag == 1 && p.type == 'L') {
                field = s.bytes.substr(0, 1);
            } else if (s.tag == 1) {
                field = s.bytes.substr(0, static_cast<std::size_t>(p.width));
            } else if (p.type == 'L') {
                field = "?";
            }
            std::copy(field.begin(), field.end(), record.begin() + static_cast<std::ptrdiff_t>(at));
            at += static_cast<std::size_t>(p.width);
        }
        out.write(record.data(), static_cast<std::streamsize>(record.size()));
    }
    out.put('\x1A');
    out.close();
    if (anyMemo) {
        memo.seekp(0);
        std::string first(4, '\0');
        put32(first, 0, nextBlock);
        memo.write(first.data(), 4);
        memo.close();
    }
    if (!out || (anyMemo && !memo)) {
        cleanup();
        error = "写入文件“" + os::utf8(file) + "”时出错（磁盘可能已满）";
        return false;
    }
    std::string why;
    if (anyMemo) {
        if (!os::replaceFile(dbtTemp, dbtTarget, why)) {
            cleanup();
            error = why;
            return false;
        }
    } else {
        os::removeIfExists(dbtTarget);  // a memo file left from the table replaced
    }
    if (!os::replaceFile(dbfTemp, file, why)) {
        cleanup();
        error = why;
        return false;
    }
    fs::path cpg = file;
    cpg.replace_extension(".cpg");
    os::removeIfExists(cpg);  // it would describe the replaced table's code page
    return true;
}

}  // namespace qx::isam::dbase
