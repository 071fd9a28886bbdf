// The reader's pages: the header, checked pages, usage maps, definitions and table scans.
#include "platform/isam/access/mdb_pages.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "platform/jet/text.h"
#include "platform/os/encoding.h"
#include "platform/os/paths.h"

namespace qx::isam::access {

namespace fs = std::filesystem;
using namespace layout;

namespace {

// A definition spans a few pages at most (255 columns with their names and the indexes).
constexpr std::size_t kMaxDefinitionPages = 64;
constexpr std::uint32_t kMaxRealIndexes = 1000;
// Moved rows point at their new place; Jet moves a row once, a few hops are plenty.
constexpr int kMaxMoves = 8;

class FilePages : public PageSource {
  public:
    FilePages(std::ifstream in, std::uint64_t size) : in_(std::move(in)), size_(size) {}
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t at, std::uint8_t* out, std::size_t n) override {
        if (at > size_ || n > size_ - at) return false;
        in_.clear();
        in_.seekg(static_cast<std::streamoff>(at));
        return static_cast<bool>(
            in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(n)));
    }

  private:
    std::ifstream in_;
    std::uint64_t size_;
};

class MemoryPages : public PageSource {
  public:
    explicit MemoryPages(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t at, std::uint8_t* out, std::size_t n) override {
        if (at > bytes_.size() || n > bytes_.size() - at) return false;
        std::memcpy(out, bytes_.data() + at, n);
        return true;
    }

  private:
    std::string bytes_;
};

}  // namespace

std::unique_ptr<PageSource> pagesOfFile(const fs::path& file, std::string& error) {
    std::error_code ec;
    auto size = fs::file_size(file, ec);
    std::ifstream in(file, std::ios::binary);
    if (ec || !in) {
        error = "无法打开 Access 文件“" + os::utf8(file) + "”";
        return nullptr;
    }
    return std::make_unique<FilePages>(std::move(in), size);
}

std::unique_ptr<PageSource> pagesInMemory(std::string bytes) {
    return std::make_unique<MemoryPages>(std::move(bytes));
}

std::string ucs2ToUtf8(const std::uint8_t* p, std::size_t n) {
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i + 1 < n; i += 2) {
        char32_t u = get16(p + i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < n) {
            char32_t low = get16(p + i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                qx::jet::appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
        if (u < 0x80)
            out += static_cast<char>(u);
        else
            qx::jet::appendUtf8(out, u);
    }
    return out;
}

std::string damagedTable(const std::string& table) {
    return "无法读取 Access 文件中的表“" + table + "”：文件已损坏";
}

std::unique_ptr<PageFile> PageFile::open(std::unique_ptr<PageSource> source, std::string& error) {
    std::vector<std::uint8_t> header(jet4Format().pageSize, 0);
    std::size_t have =
        static_cast<std::size_t>(std::min<std::uint64_t>(source->size(), jet4Format().pageSize));
    if (have < jet3Format().pageSize || !source->read(0, header.data(), have) ||
        header[0] != kHeaderPage) {
        error = kNotAccess;
        return nullptr;
    }
    std::string_view signature(reinterpret_cast<const char*>(header.data()) + kSignatureAt,
                               kJetSignature.size());
    std::uint8_t version = header[kVersionAt];
    bool ace = signature == kAceSignature;
    if ((signature != kJetSignature && !ace) || version > 6) {
        error = kNotAccess;
        return nullptr;
    }
    auto file = std::unique_ptr<PageFile>(new PageFile);
    file->format_ = version == 0 ? &jet3Format() : &jet4Format();
    const Format& f = *file->format_;
    if (have < f.pageSize) {
        error = kNotAccess;
        return nullptr;
    }
    toggleHeaderMask(f, header.data());
    file->charset_ = os::charsetOfCodePage(get16(header.data() + kCodePageAt));
    file->key_ = get32(header.data() + kDatabaseKeyAt);
    file->pageCount_ =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(source->size() / f.pageSize, 0xFFFFFFu));
    file->source_ = std::move(source);
    // Later versions encrypt otherwise, with keys made from the password: their pages do not
    // open with the header's key.
    const char* encrypted =
        "数据库已加密，无法读取其中的表（只能读取未加密或用 Access 97-2003 "
        "的方式编码的数据库）";
    if (file->key_ && version >= 2) {
        error = encrypted;
        return nullptr;
    }
    std::vector<std::uint8_t> catalog;
    if (!file->read(kCatalogDefinition, catalog) || catalog[0] != kDefinitionPage) {
        error = file->key_ || version >= 2 ? encrypted : kNotAccess;
        return nullptr;
    }
    return file;
}

std::string PageFile::codePageText(const std::uint8_t* p, std::size_t n) const {
    std::string_view bytes(reinterpret_cast<const char*>(p), n);
    // Every code page Jet 3 uses keeps ASCII as it is.
    if (std::all_of(p, p + n, [](std::uint8_t b) { return b < 0x80; })) return std::string(bytes);
    return os::toUtf8(bytes, charset_.c_str());
}

bool PageFile::read(std::uint32_t page, std::vector<std::uint8_t>& out) {
    const std::size_t size = format_->pageSize;
    if (page >= pageCount_) return false;
    out.resize(size);
    if (!source_->read(static_cast<std::uint64_t>(page) * size, out.data(), size)) return false;
    if (key_ && page != 0) decryptPage(key_, page, out.data(), size);
    return true;
}

bool findRow(const Format& f, const std::vector<std::uint8_t>& page, std::uint32_t row,
             RowBytes& out, std::uint32_t& flags) {
    const std::size_t count = get16(page.data() + f.dataRowCountAt);
    const std::size_t slots = f.dataRowSlotsAt();
    if (row >= count || count > kMaxRowsPerPage || slots + 2 * count > page.size()) return false;
    std::uint32_t slot = get16(page.data() + slots + 2 * row);
    flags = slot & (kRowDeleted | kRowMoved);
    std::size_t start = slot & kRowOffsetMask;
    std::size_t end =
        row == 0 ? page.size() : get16(page.data() + slots + 2 * (row - 1)) & kRowOffsetMask;
    if (start < slots + 2 * count || start >= end || end > page.size()) return false;
    out.data = page.data() + start;
    out.size = end - start;
    return true;
}

bool UsageMap::load(PageFile& file, std::uint32_t pointer) {
    file_ = &file;
    std::vector<std::uint8_t> page;
    RowBytes row;
    std::uint32_t flags = 0;
    if (!file.read(pointer >> 8, page) || page[0] != kDataPage ||
        !findRow(file.format(), page, pointer & 0xFF, row, flags) || row.size < 5)
        return false;
    bits_.clear();
    mapPages_.clear();
    bit_ = 0;
    mapIndex_ = 0;
    if (row.data[0] == 0) {
        inline_ = true;
        base_ = get32(row.data + 1);
        bits_.assign(row.data + 5, row.data + row.size);
        return true;
    }
    if (row.data[0] != 1) return false;
    inline_ = false;
    for (std::size_t at = 1; at + 4 <= row.size; at += 4) mapPages_.push_back(get32(row.data + at));
    return loadMapPage(0);
}

bool UsageMap::loadMapPage(std::size_t index) {
    bits_.clear();
    bit_ = 0;
    for (mapIndex_ = index; mapIndex_ < mapPages_.size(); ++mapIndex_) {
        std::uint32_t n = mapPages_[mapIndex_];
        if (n == 0) continue;
        std::vector<std::uint8_t> page;
        if (!file_->read(n, page) || page[0] != kUsageMapPage) return false;
        bits_.assign(page.begin() + 4, page.end());
        base_ = static_cast<std::uint32_t>(mapIndex_) * file_->format().pagesPerMapPage();
        return true;
    }
    return true;
}

bool UsageMap::next(std::uint32_t& page) {
    for (;;) {
        while (bit_ < bits_.size() * 8) {
            std::size_t b = bit_++;
            if (!(bits_[b / 8] & (1u << (b % 8)))) continue;
            std::uint64_t n = static_cast<std::uint64_t>(base_) + b;
            if (n >= file_->pageCount()) {
                damaged_ = true;
                return false;
            }
            page = static_cast<std::uint32_t>(n);
            return true;
        }
        if (inline_ || mapIndex_ + 1 >= mapPages_.size()) return false;
        if (!loadMapPage(mapIndex_ + 1)) {
            damaged_ = true;
            return false;
        }
    }
}

bool readDefinition(PageFile& file, std::uint32_t page, TableInfo& out) {
    const Format& f = file.format();
    std::vector<std::uint8_t> def, next;
    if (!file.read(page, def) || def[0] != kDefinitionPage) return false;
    std::vector<std::uint32_t> seen{page};
    for (std::uint32_t more = get32(def.data() + 4); more; more = get32(next.data() + 4)) {
        if (seen.size() >= kMaxDefinitionPages ||
            std::find(seen.begin(), seen.end(), more) != seen.end() || !file.read(more, next) ||
            next[0] != kDefinitionPage)
            return false;
        seen.push_back(more);
        def.insert(def.end(), next.begin() + 8, next.end());
    }
    if (def.size() < f.defBlockEnd) return false;
    const std::uint8_t* d = def.data();
    out.page = page;
    out.varColumns = static_cast<std::uint16_t>(get16(d + f.defVarColumnsAt));
    out.usedPages = get32(d + f.defUsedPagesAt);
    std::size_t columns = get16(d + f.defColumnsAt);
    std::uint32_t realIndexes = get32(d + f.defRealIndexesAt);
    if (realIndexes > kMaxRealIndexes) return false;
    std::size_t at = f.defBlockEnd + realIndexes * f.defRealIndexSize;
    out.columns.clear();
    for (std::size_t k = 0; k < columns; ++k, at += f.columnSize) {
        if (at + f.columnSize > def.size()) return false;
        const std::uint8_t* e = d + at;
        ColumnInfo c;
        c.type = e[f.columnTypeAt];
        c.number =
            static_cast<std::uint16_t>(f.jet3 ? e[f.columnNumberAt] : get16(e + f.columnNumberAt));
        c.varIndex = static_cast<std::uint16_t>(get16(e + f.columnVarIndexAt));
        c.fixedOffset = static_cast<std::uint16_t>(get16(e + f.columnFixedAt));
        c.length = static_cast<std::uint16_t>(get16(e + f.columnLengthAt));
        c.flags = e[f.columnFlagsAt];
        c.precision = e[f.columnPrecisionAt];
        c.scale = e[f.columnScaleAt];
        out.columns.push_back(std::move(c));
    }
    for (auto& c : out.columns) {
        if (at + f.nameLengthSize > def.size()) return false;
        std::size_t n = f.jet3 ? d[at] : get16(d + at);
        at += f.nameLengthSize;
        if (at + n > def.size()) return false;
        c.name = f.jet3 ? file.codePageText(d + at, n) : ucs2ToUtf8(d + at, n);
        at += n;
    }
    std::stable_sort(out.columns.begin(), out.columns.end(),
                     [](const ColumnInfo& a, const ColumnInfo& b) { return a.number < b.number; });
    return true;
}

bool TableScan::start() {
    havePage_ = false;
    if (!pages_.load(file_, table_.usedPages)) return fail();
    return true;
}

bool TableScan::next(RowBytes& row) {
    const Format& f = file_.format();
    for (;;) {
        if (!havePage_) {
            std::uint32_t n = 0;
            if (!pages_.next(n)) return pages_.damaged() ? fail() : false;
            if (!file_.read(n, page_)) return fail();
            pageNumber_ = n;
            // A map may still mark pages the table gave up; only its own data pages count.
            if (page_[0] != kDataPage || get32(page_.data() + 4) != table_.page) continue;
            rows_ = get16(page_.data() + f.dataRowCountAt);
            if (rows_ > kMaxRowsPerPage) return fail();
            slot_ = 0;
            havePage_ = true;
        }
        if (slot_ >= rows_) {
            havePage_ = false;
            continue;
        }
        std::uint32_t flags = 0;
        std::uint32_t slot = get16(page_.data() + f.dataRowSlotsAt() + 2 * slot_);
        if (slot & kRowDeleted) {
            ++slot_;
            continue;
        }
        location_ = rowPointer(pageNumber_, slot_);
        if (!findRow(f, page_, slot_++, row, flags)) return fail();
        if (flags & kRowMoved) return followMoved(row);
        return true;
    }
}

// The row holds where it went: its row number in a byte, then its page in three.
bool TableScan::followMoved(RowBytes& row) {
    for (int hop = 0; hop < kMaxMoves; ++hop) {
        if (row.size < 4) return fail();
        std::uint32_t to = row.data[0], page = get24(row.data + 1);
        std::uint32_t flags = 0;
        if (!file_.read(page, moved_) || moved_[0] != kDataPage ||
            !findRow(file_.format(), moved_, to, row, flags))
            return fail();
        location_ = rowPointer(page, to);
        // Where a row went is marked deleted, so that scans pass it; only its moved bit counts.
        if (!(flags & kRowMoved)) return true;
    }
    return fail();
}

}  // namespace qx::isam::access
