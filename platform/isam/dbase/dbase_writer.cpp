// Writing dBASE III tables: GBK text, memo files, replaced in one step.
#include "platform/isam/dbase/dbase_file.h"

#include "platform/isam/dbase/dbase_bytes.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

#include "platform/jet/functions.h"
#include "platform/jet/text.h"
#include "platform/os/clock.h"
#include "platform/os/encoding.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"

namespace qx::isam::dbase {

namespace fs = std::filesystem;
using jet::JetType;
using namespace bytes;

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
    std::tm tm = os::localTime(now);
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
    // The errno of the first failed write, taken before anything else can change it.
    int err = 0;
    for (std::uint32_t r = 0; r < count && !err; ++r) {
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
        if (!out || (anyMemo && !memo)) err = errno ? errno : EIO;
    }
    out.put('\x1A');
    out.close();
    if (!out && !err) err = errno ? errno : EIO;
    if (anyMemo) {
        memo.seekp(0);
        std::string first(4, '\0');
        put32(first, 0, nextBlock);
        memo.write(first.data(), 4);
        memo.close();
        if (!memo && !err) err = errno ? errno : EIO;
    }
    if (err) {
        cleanup();
        error = os::writeFailure(file, err);
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
