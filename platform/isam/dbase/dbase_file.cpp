// Reading dBASE tables: dBASE III/IV, FoxPro and Visual FoxPro, with their memo files.
#include "platform/isam/dbase/dbase_file.h"

#include "platform/isam/dbase/dbase_bytes.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
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
using namespace bytes;

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
    if (head[0] == 0x04 || head[0] == 0x8C) {
        // dBASE 7 (level 7): other field descriptors, which the dBASE driver does not read.
        error = "不支持 dBASE 7 格式的表。请在原程序中另存为 dBASE III 或 dBASE IV 格式后再读入";
        return nullptr;
    }
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

    // FoxPro tables keep their memos in an .fpt file; Visual FoxPro (0x30–0x32) adds types.
    bool visualFoxPro = head[0] == 0x30 || head[0] == 0x31 || head[0] == 0x32;
    r->foxPro_ = visualFoxPro || head[0] == 0xF5;
    std::size_t offset = 1;
    bool hasMemo = false;
    int nullBits = 0;
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
        if (f.type == 'C' && !visualFoxPro) f.length += f.decimals * 256;  // Clipper's long texts
        f.offset = offset;
        offset += static_cast<std::size_t>(f.length);
        if (visualFoxPro) {
            unsigned flags = d[18];
            if (f.type == '0' || (flags & 0x01)) {  // a system field: _NullFlags
                if (f.type == '0') {
                    r->nullFlagsOffset_ = static_cast<int>(f.offset);
                    r->nullFlagsLength_ = f.length;
                }
                continue;
            }
            // A varchar's length bit comes first; one that may also be Null takes the next.
            if (f.type == 'V' || f.type == 'Q') f.lengthBit = nullBits++;
            if (flags & 0x02) f.nullBit = nullBits++;
        }
        const std::string types = visualFoxPro ? "CNFDLMIBYTGVQ" : "CNFDLM";
        if (types.find(f.type) == std::string::npos || f.length == 0) {
            error =
                "不支持的 dBASE 字段类型“" + std::string(1, f.type) + "”（字段 " + f.name + "）";
            return nullptr;
        }
        if (f.type == 'M' || f.type == 'G') hasMemo = true;
        r->fields_.push_back(std::move(f));
    }
    if (r->fields_.empty()) {
        error = "该 dBASE 表没有字段，没有可读入的数据";
        return nullptr;
    }
    if (offset > r->recordLength_) {
        error = kDamaged + std::string("字段说明与记录长度不符");
        return nullptr;
    }
    if (hasMemo) {
        fs::path dbt = file;
        const char* ext = r->foxPro_ ? ".fpt" : ".dbt";
        dbt.replace_extension(ext);
        if (!fs::exists(dbt, ec)) {
            // Names written in capitals on another system.
            dbt.replace_extension(r->foxPro_ ? ".FPT" : ".DBT");
        }
        r->memo_.open(dbt, std::ios::binary);
        if (!r->memo_) {
            error = "找不到 dBASE 备注文件“" + os::utf8(dbt) + "”";
            return nullptr;
        }
        r->memoSize_ = fs::file_size(dbt, ec);
        r->memoOpen_ = true;
        if (r->foxPro_) {
            // The .fpt header: the block size, big-endian, at byte 6.
            unsigned char fpt[8] = {};
            r->memo_.read(reinterpret_cast<char*>(fpt), 8);
            std::uint32_t block = static_cast<std::uint32_t>(fpt[6] << 8 | fpt[7]);
            r->memoBlock_ = block == 0 ? 512 : block;
        }
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
            case 'V':
                c.type = f.length > 255 ? JetType::Memo : JetType::Text;
                c.size = std::min(f.length, 255);
                break;
            case 'Q':
                c.type = JetType::Binary;
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
            case 'I':
                c.type = JetType::Long;
                break;
            case 'B':
                c.type = JetType::Double;
                break;
            case 'Y':
                c.type = JetType::Currency;
                break;
            case 'T':
                c.type = JetType::DateTime;
                break;
            case 'G':
                c.type = JetType::Binary;
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
    std::uintmax_t start = std::uintmax_t{block} * (foxPro_ ? memoBlock_ : 512);
    if (start >= memoSize_) {
        error_ = kDamaged + std::string("备注文件中找不到记录的内容");
        return false;
    }
    if (foxPro_) {
        // A FoxPro memo block: its type and its length, big-endian, then the bytes.
        unsigned char head[8];
        memo_.clear();
        memo_.seekg(static_cast<std::streamoff>(start));
        if (memoSize_ - start < 8 || !memo_.read(reinterpret_cast<char*>(head), 8)) {
            error_ = kDamaged + std::string("备注文件不完整");
            return false;
        }
        std::uint32_t length = be32(head + 4);
        if (length > memoSize_ - start - 8 || length > kMaxMemoBytes) {
            error_ = kDamaged + std::string("备注长度不正确");
            return false;
        }
        out.resize(length);
        memo_.read(out.data(), static_cast<std::streamsize>(length));
        return static_cast<bool>(memo_);
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
        case 'V':
        case 'Q': {
            // A value shorter than the field says its length in the last byte; a full one
            // fills the field.
            std::string_view t = raw;
            if (flagSet(f.lengthBit) && !raw.empty())
                t = raw.substr(0, std::min<std::size_t>(static_cast<unsigned char>(raw.back()),
                                                        raw.size() - 1));
            if (f.type == 'Q') return Value::ofBlob(std::string(t));
            t = trimRight(t);
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
        case 'M':
        case 'G': {
            std::uint32_t block = 0;
            if (raw.size() == 4) {  // Visual FoxPro: the block number as a binary integer
                block = le32(reinterpret_cast<const unsigned char*>(raw.data()));
            } else {
                std::string_view t = trimBoth(raw);
                if (t.empty() ||
                    std::from_chars(t.data(), t.data() + t.size(), block).ec != std::errc())
                    return Value::null();
            }
            if (block == 0) return Value::null();
            std::string memo;
            if (!readMemo(block, memo)) return Value::null();
            if (memo.empty()) return Value::null();
            return f.type == 'G' ? Value::ofBlob(memo) : Value::ofText(decode(memo));
        }
        case 'I':
            if (raw.size() != 4) return Value::null();
            return Value::ofInteger(static_cast<std::int32_t>(
                le32(reinterpret_cast<const unsigned char*>(raw.data()))));
        case 'B': {
            double d = 0;
            if (raw.size() != 8) return Value::null();
            std::memcpy(&d, raw.data(), 8);
            return std::isfinite(d) ? Value::ofReal(d) : Value::null();
        }
        case 'Y': {
            std::int64_t v = 0;
            if (raw.size() != 8) return Value::null();
            std::memcpy(&v, raw.data(), 8);
            return Value::ofReal(static_cast<double>(v) / 10000.0);
        }
        case 'T': {
            // The Julian day number and the milliseconds since midnight; all zero: no value.
            if (raw.size() != 8) return Value::null();
            const auto* p = reinterpret_cast<const unsigned char*>(raw.data());
            std::uint32_t day = le32(p), ms = le32(p + 4);
            if (day == 0 && ms == 0) return Value::null();
            constexpr double kJulianOfJetEpoch = 2415019;  // 1899-12-30
            auto dt = jet::fromSerial(static_cast<double>(day) - kJulianOfJetEpoch +
                                      static_cast<double>(ms) / 86400000.0);
            return dt ? Value::ofText(jet::formatDateTime(*dt)) : Value::null();
        }
    }
    return Value::null();
}

bool DbfReader::flagSet(int bit) const {
    if (bit < 0 || nullFlagsOffset_ < 0) return false;
    auto byte = static_cast<std::size_t>(bit / 8);
    if (byte >= static_cast<std::size_t>(nullFlagsLength_)) return false;
    auto bits =
        static_cast<unsigned char>(record_[static_cast<std::size_t>(nullFlagsOffset_) + byte]);
    return (bits >> (bit % 8)) & 1;
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
            if (flagSet(f.nullBit)) {
                row[k] = Value::null();
                continue;
            }
            row[k] = fieldValue(
                f, std::string_view(record_).substr(f.offset, static_cast<std::size_t>(f.length)));
        }
        return error_.empty();
    }
    return false;
}

}  // namespace qx::isam::dbase
