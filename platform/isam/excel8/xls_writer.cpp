// BIFF8 workbooks: a compound file holding one Workbook stream, with the globals (fonts, cell
// formats, the sheet's entry, the shared string table) followed by the one sheet.
#include "platform/isam/excel8/xls_writer.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <unordered_map>

#include "platform/jet/functions.h"
#include "platform/jet/text.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"

namespace qx::isam::excel8 {

namespace fs = std::filesystem;
using jet::JetType;

namespace {

constexpr std::size_t kMaxDataRows = 65535;
constexpr std::size_t kMaxColumns = 256;
constexpr std::size_t kMaxStringChars = 32767;
constexpr std::size_t kMaxRecordData = 8224;

// Little-endian record building.
struct Bytes {
    std::string s;
    void u8(unsigned v) { s += static_cast<char>(v & 0xFF); }
    void u16(unsigned v) {
        u8(v);
        u8(v >> 8);
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void f64(double d) {
        char b[8];
        std::memcpy(b, &d, 8);
        s.append(b, 8);
    }
};

void record(std::string& out, unsigned type, const std::string& data) {
    Bytes h;
    h.u16(type);
    h.u16(static_cast<unsigned>(data.size()));
    out += h.s + data;
}

std::u16string utf16(std::string_view utf8, std::size_t maxChars) {
    return jet::toUtf16(utf8, maxChars);
}

void appendChars(std::string& out, const std::u16string& s, std::size_t from, std::size_t count) {
    for (std::size_t k = from; k < from + count; ++k) {
        out += static_cast<char>(s[k] & 0xFF);
        out += static_cast<char>(s[k] >> 8);
    }
}

// ShortXLUnicodeString: 8-bit length, flags, UTF-16 characters.
std::string shortString(const std::u16string& s) {
    std::string out;
    out += static_cast<char>(s.size());
    out += '\x01';
    appendChars(out, s, 0, s.size());
    return out;
}

// The shared string table, split into SST and CONTINUE records. A string whose characters do
// not fit goes on in the next record after a repeated flags byte.
std::string sstRecords(const std::vector<std::u16string>& strings, std::uint32_t total) {
    std::string out;
    std::string current;
    Bytes head;
    head.u32(total);
    head.u32(static_cast<std::uint32_t>(strings.size()));
    current = head.s;
    unsigned type = 0x00FC;
    auto flush = [&] {
        record(out, type, current);
        current.clear();
        type = 0x003C;
    };
    for (const auto& s : strings) {
        if (current.size() + 3 + 2 > kMaxRecordData) flush();  // header and one character together
        Bytes h;
        h.u16(static_cast<unsigned>(s.size()));
        h.u8(0x01);
        current += h.s;
        std::size_t done = 0;
        while (done < s.size()) {
            std::size_t room = (kMaxRecordData - current.size()) / 2;
            if (room == 0) {
                flush();
                current += '\x01';
                continue;
            }
            std::size_t n = std::min(room, s.size() - done);
            appendChars(current, s, done, n);
            done += n;
        }
    }
    flush();
    return out;
}

struct CellOut {
    enum Kind : unsigned char { Empty, Number, String, Bool } kind = Empty;
    unsigned char style = 0;  // 0 general, 1 date
    double number = 0;
    std::uint32_t sst = 0;
};

// Compound file: the Workbook stream in regular sectors, one directory sector, the FAT and,
// for large files, DIFAT sectors.
bool writeCompoundFile(const fs::path& file, std::string stream, std::string& error) {
    constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSect = 0xFFFFFFFD,
                            kDifSect = 0xFFFFFFFC;
    if (stream.size() < 4096) stream.resize(4096, '\0');  // stays out of the mini stream
    std::size_t streamSectors = (stream.size() + 511) / 512;
    stream.resize(streamSectors * 512, '\0');
    std::size_t fatSectors = 1, difatSectors = 0;
    for (;;) {
        difatSectors = fatSectors > 109 ? (fatSectors - 109 + 126) / 127 : 0;
        std::size_t total = streamSectors + 1 + fatSectors + difatSectors;
        std::size_t needed = (total + 127) / 128;
        if (needed <= fatSectors) break;
        fatSectors = needed;
    }
    std::size_t dirSector = streamSectors;
    std::size_t firstFat = dirSector + 1;
    std::size_t firstDifat = firstFat + fatSectors;
    std::size_t totalSectors = firstDifat + difatSectors;

    std::vector<std::uint32_t> fat(fatSectors * 128, kFree);
    for (std::size_t i = 0; i < streamSectors; ++i)
        fat[i] = i + 1 < streamSectors ? static_cast<std::uint32_t>(i + 1) : kEnd;
    fat[dirSector] = kEnd;
    for (std::size_t i = 0; i < fatSectors; ++i) fat[firstFat + i] = kFatSect;
    for (std::size_t i = 0; i < difatSectors; ++i) fat[firstDifat + i] = kDifSect;

    Bytes header;
    header.s = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(16, '\0');
    header.u16(0x003E);
    header.u16(0x0003);
    header.u16(0xFFFE);
    header.u16(9);
    header.u16(6);
    header.s += std::string(6, '\0');
    header.u32(0);
    header.u32(static_cast<std::uint32_t>(fatSectors));
    header.u32(static_cast<std::uint32_t>(dirSector));
    header.u32(0);
    header.u32(4096);
    header.u32(kEnd);
    header.u32(0);
    header.u32(difatSectors ? static_cast<std::uint32_t>(firstDifat) : kEnd);
    header.u32(static_cast<std::uint32_t>(difatSectors));
    for (std::size_t i = 0; i < 109; ++i)
        header.u32(i < fatSectors ? static_cast<std::uint32_t>(firstFat + i) : kFree);

    auto dirEntry = [](const std::u16string& name, unsigned type, std::uint32_t child,
                       std::uint32_t start, std::uint32_t size) {
        Bytes e;
        std::string n;
        appendChars(n, name, 0, name.size());
        n.resize(64, '\0');
        e.s = n;
        e.u16(name.empty() ? 0 : static_cast<unsigned>((name.size() + 1) * 2));
        e.u8(type);
        e.u8(type ? 1 : 0);
        e.u32(0xFFFFFFFF);
        e.u32(0xFFFFFFFF);
        e.u32(child);
        e.s += std::string(16 + 4 + 16, '\0');
        e.u32(start);
        e.u32(size);
        e.u32(0);
        return e.s;
    };
    std::string directory =
        dirEntry(u"Root Entry", 5, 1, kEnd, 0) +
        dirEntry(u"Workbook", 2, 0xFFFFFFFF, 0, static_cast<std::uint32_t>(stream.size())) +
        dirEntry(u"", 0, 0xFFFFFFFF, 0, 0) + dirEntry(u"", 0, 0xFFFFFFFF, 0, 0);

    fs::path temp = os::siblingTempPath(file);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(header.s.data(), static_cast<std::streamsize>(header.s.size()));
        out.write(stream.data(), static_cast<std::streamsize>(stream.size()));
        out.write(directory.data(), static_cast<std::streamsize>(directory.size()));
        Bytes fatBytes;
        for (std::uint32_t v : fat) fatBytes.u32(v);
        out.write(fatBytes.s.data(), static_cast<std::streamsize>(fatBytes.s.size()));
        for (std::size_t d = 0; d < difatSectors; ++d) {
            Bytes sector;
            for (std::size_t k = 0; k < 127; ++k) {
                std::size_t fatIndex = 109 + d * 127 + k;
                sector.u32(fatIndex < fatSectors ? static_cast<std::uint32_t>(firstFat + fatIndex)
                                                 : kFree);
            }
            sector.u32(d + 1 < difatSectors ? static_cast<std::uint32_t>(firstDifat + d + 1)
                                            : kEnd);
            out.write(sector.s.data(), 512);
        }
        out.close();
        // Nothing but the writes runs between the failure and here: errno is still its own.
        if (!out || totalSectors == 0) {
            error = os::writeFailure(file, !out && errno ? errno : EIO);
            os::removeIfExists(temp);
            return false;
        }
    }
    if (!os::replaceFile(temp, file, error)) {
        os::removeIfExists(temp);
        return false;
    }
    return true;
}

}  // namespace

bool writeWorkbook(const fs::path& file, const std::string& sheetName, RowSource& rows,
                   std::string& error) {
    std::error_code ec;
    if (fs::exists(file, ec)) {
        error = "文件“" + os::utf8(file) + "”已存在，不能向已有的 Excel 97-2003 工作簿添加工作表";
        return false;
    }
    std::u16string sheet = utf16(sheetName, 31);
    if (sheet.empty() || sheetName.find_first_of("[]:*?/\\") != std::string::npos) {
        error = "“" + sheetName + "”不能用作工作表名";
        return false;
    }
    const auto& columns = rows.columns();
    if (columns.size() > kMaxColumns) {
        error = "结果超过 256 列，Excel 97-2003 工作表装不下";
        return false;
    }

    // The cells, with text gathered into the shared string table.
    std::vector<std::u16string> strings;
    std::unordered_map<std::u16string, std::uint32_t> index;
    std::uint32_t references = 0;
    auto intern = [&](std::string_view text) {
        std::u16string s = utf16(text, kMaxStringChars);
        ++references;
        auto [it, added] = index.emplace(s, static_cast<std::uint32_t>(strings.size()));
        if (added) strings.push_back(std::move(s));
        return it->second;
    };
    std::vector<std::vector<CellOut>> grid;
    grid.emplace_back(columns.size());
    for (std::size_t k = 0; k < columns.size(); ++k)
        grid[0][k] = {CellOut::String, 0, 0, intern(columns[k].name)};
    std::vector<Value> row;
    while (rows.next(row)) {
        if (grid.size() > kMaxDataRows) {
            error = "结果超过 65,535 行，Excel 97-2003 工作表装不下";
            return false;
        }
        std::vector<CellOut> out(columns.size());
        for (std::size_t k = 0; k < columns.size() && k < row.size(); ++k) {
            const Value& v = row[k];
            if (v.isNull()) continue;
            JetType type = columns[k].type;
            std::optional<double> n;
            if (v.kind == Value::Kind::Integer) n = static_cast<double>(v.integer);
            if (v.kind == Value::Kind::Real) n = v.real;
            if (type == JetType::Bit) {
                if (!n && v.kind == Value::Kind::Text) n = jet::parseNumber(v.text);
                out[k] = {CellOut::Bool, 0, n && *n != 0 ? 1.0 : 0.0, 0};
            } else if (type == JetType::DateTime && v.kind == Value::Kind::Text &&
                       jet::parseIsoDateTime(v.text)) {
                out[k] = {CellOut::Number, 1, jet::toSerial(*jet::parseIsoDateTime(v.text)), 0};
            } else if (n && std::isfinite(*n)) {
                out[k] = {CellOut::Number, 0, *n, 0};
            } else {
                out[k] = {CellOut::String, 0, 0, intern(*jet::valueText(v))};
            }
        }
        grid.push_back(std::move(out));
    }
    if (!rows.error().empty()) {
        error = rows.error();
        return false;
    }

    // Globals.
    auto bof = [](unsigned type) {
        Bytes b;
        b.u16(0x0600);
        b.u16(type);
        b.u16(0x0DBB);
        b.u16(0x07CC);
        b.u32(0);
        b.u32(6);
        return b.s;
    };
    std::string globals;
    record(globals, 0x0809, bof(0x0005));
    {
        Bytes b;
        b.u16(1200);  // UTF-16 text
        record(globals, 0x0042, b.s);
    }
    {
        Bytes b;
        b.u16(0);
        b.u16(0);
        b.u16(0x4000);
        b.u16(0x2000);
        b.u16(0x0038);
        b.u16(0);
        b.u16(0);
        b.u16(1);
        b.u16(600);
        record(globals, 0x003D, b.s);
    }
    {
        Bytes b;
        b.u16(0);  // 1900 date system
        record(globals, 0x0022, b.s);
    }
    for (int f = 0; f < 4; ++f) {  // font 4 does not exist in BIFF; four fonts make 0..3 and 5
        Bytes b;
        b.u16(220);
        b.u16(0);
        b.u16(0x7FFF);
        b.u16(400);
        b.u16(0);
        b.u8(0);
        b.u8(0);
        b.u8(134);
        b.u8(0);
        b.s += shortString(u"宋体");
        record(globals, 0x0031, b.s);
    }
    auto xf = [](unsigned format, bool style) {
        Bytes b;
        b.u16(0);
        b.u16(format);
        b.u16(style ? 0xFFF5 : 0x0001);
        b.u8(0x20);
        b.u8(0);
        b.u8(0);
        b.u8(style ? 0x00 : (format ? 0x04 : 0x00));
        b.u32(0);
        b.u32(0);
        b.u16(0x20C0);
        return b.s;
    };
    for (int i = 0; i < 15; ++i) record(globals, 0x00E0, xf(0, true));
    record(globals, 0x00E0, xf(0, false));   // 15: general cells
    record(globals, 0x00E0, xf(22, false));  // 16: dates (m/d/yy h:mm)
    {
        Bytes b;
        b.u16(0x8000);
        b.u8(0);
        b.u8(0xFF);
        record(globals, 0x0293, b.s);
    }
    std::size_t boundsheetAt = globals.size() + 4;
    {
        Bytes b;
        b.u32(0);  // the sheet's offset, filled in below
        b.u8(0);
        b.u8(0);
        b.s += shortString(sheet);
        record(globals, 0x0085, b.s);
    }
    globals += sstRecords(strings, references);
    record(globals, 0x000A, "");

    // The sheet.
    std::string sheetStream;
    record(sheetStream, 0x0809, bof(0x0010));
    {
        Bytes b;
        b.u32(0);
        b.u32(static_cast<std::uint32_t>(grid.size()));
        b.u16(0);
        b.u16(static_cast<unsigned>(columns.size()));
        b.u16(0);
        record(sheetStream, 0x0200, b.s);
    }
    {
        Bytes b;
        b.u16(0x06B6);
        b.u16(0);
        b.u16(0);
        b.u32(64);
        b.u16(0);
        b.u16(0);
        b.u32(0);
        record(sheetStream, 0x023E, b.s);
    }
    for (std::size_t r = 0; r < grid.size(); ++r) {
        for (std::size_t c = 0; c < grid[r].size(); ++c) {
            const CellOut& cell = grid[r][c];
            Bytes b;
            b.u16(static_cast<unsigned>(r));
            b.u16(static_cast<unsigned>(c));
            b.u16(cell.style ? 16 : 15);
            switch (cell.kind) {
                case CellOut::Empty:
                    continue;
                case CellOut::Number:
                    b.f64(cell.number);
                    record(sheetStream, 0x0203, b.s);
                    break;
                case CellOut::String:
                    b.u32(cell.sst);
                    record(sheetStream, 0x00FD, b.s);
                    break;
                case CellOut::Bool:
                    b.u8(cell.number != 0 ? 1 : 0);
                    b.u8(0);
                    record(sheetStream, 0x0205, b.s);
                    break;
            }
        }
    }
    record(sheetStream, 0x000A, "");

    std::uint32_t sheetOffset = static_cast<std::uint32_t>(globals.size());
    for (int k = 0; k < 4; ++k)
        globals[boundsheetAt + static_cast<std::size_t>(k)] =
            static_cast<char>(sheetOffset >> (8 * k));
    return writeCompoundFile(file, globals + sheetStream, error);
}

}  // namespace qx::isam::excel8
