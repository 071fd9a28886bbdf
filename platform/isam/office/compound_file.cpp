// Compound files, read.
#include "platform/isam/office/compound_file.h"

#include <cstring>

namespace qx::isam::office {

namespace {

constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD, kDifatSector = 0xFFFFFFFC;

std::uint16_t u16(const std::string& b, std::size_t at) {
    if (at + 2 > b.size()) return 0;
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}
std::uint32_t u32(const std::string& b, std::size_t at) {
    if (at + 4 > b.size()) return 0;
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(k)]);
    return v;
}

}  // namespace

bool CompoundFile::isCompoundFile(const std::string& bytes) {
    return bytes.size() >= 512 &&
           std::memcmp(bytes.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) == 0;
}

bool CompoundFile::chain(const std::vector<std::uint32_t>& table, std::uint32_t start,
                         std::size_t limit, std::vector<std::uint32_t>& out) const {
    out.clear();
    for (std::uint32_t s = start; s != kEnd; s = table[s]) {
        if (s >= table.size()) return !out.empty();  // a broken link ends the chain there
        if (out.size() >= limit) return false;       // a loop
        out.push_back(s);
    }
    return true;
}

bool CompoundFile::open(std::string bytes, std::string& error) {
    const char* damaged = "文件已损坏：工作簿的容器结构不完整";
    if (!isCompoundFile(bytes)) {
        error = "文件已损坏或不是 Excel 97-2003 工作簿";
        return false;
    }
    bytes_ = std::move(bytes);
    unsigned shift = u16(bytes_, 0x1E), miniShift = u16(bytes_, 0x20);
    if ((shift != 9 && shift != 12) || miniShift != 6) {
        error = damaged;
        return false;
    }
    sectorSize_ = std::size_t{1} << shift;
    miniSectorSize_ = std::size_t{1} << miniShift;
    miniCutoff_ = u32(bytes_, 0x38);
    // Sectors count from the end of the header, which takes one sector of the file's size.
    sectors_ = bytes_.size() > sectorSize_
                   ? (bytes_.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_
                   : 0;
    // A last sector the writer cut short still counts: pad it.
    bytes_.resize(sectorSize_ * (sectors_ + 1), '\0');

    std::vector<std::uint32_t> fatSectors;
    for (std::size_t k = 0; k < 109; ++k) {
        std::uint32_t s = u32(bytes_, 0x4C + 4 * k);
        if (s == kFree || s == kEnd) continue;
        fatSectors.push_back(s);
    }
    std::uint32_t difat = u32(bytes_, 0x44);
    std::size_t difatSeen = 0, perDifat = sectorSize_ / 4 - 1;
    while (difat != kEnd && difat != kFree) {
        if (difat >= sectors_ || ++difatSeen > sectors_) {
            error = damaged;
            return false;
        }
        std::size_t at = sectorSize_ * (difat + 1);
        for (std::size_t k = 0; k < perDifat; ++k) {
            std::uint32_t s = u32(bytes_, at + 4 * k);
            if (s != kFree && s != kEnd) fatSectors.push_back(s);
        }
        difat = u32(bytes_, at + 4 * perDifat);
    }
    std::size_t perSector = sectorSize_ / 4;
    for (std::uint32_t s : fatSectors) {
        if (s >= sectors_) {
            error = damaged;
            return false;
        }
        std::size_t at = sectorSize_ * (s + 1);
        for (std::size_t k = 0; k < perSector; ++k) fat_.push_back(u32(bytes_, at + 4 * k));
    }
    if (fat_.size() > sectors_) fat_.resize(sectors_);
    for (auto& f : fat_)
        if (f != kEnd && f != kFree && f != kFatSector && f != kDifatSector && f >= fat_.size())
            f = kEnd;  // a link past the file ends its chain

    std::vector<std::uint32_t> dir;
    if (!chain(fat_, u32(bytes_, 0x30), sectors_, dir) || dir.empty()) {
        error = damaged;
        return false;
    }
    for (std::uint32_t s : dir) {
        std::size_t base = sectorSize_ * (s + 1);
        for (std::size_t e = 0; e + 128 <= sectorSize_; e += 128) {
            std::size_t at = base + e;
            Entry entry;
            entry.type = static_cast<unsigned char>(bytes_[at + 0x42]);
            std::size_t nameBytes = u16(bytes_, at + 0x40);
            if (nameBytes > 64) nameBytes = 64;
            for (std::size_t k = 0; k + 1 < nameBytes; k += 2) {
                std::uint16_t c = u16(bytes_, at + k);
                if (c == 0) break;
                if (c >= 'A' && c <= 'Z') c = static_cast<std::uint16_t>(c + 32);
                if (c < 0x80) {
                    entry.name += static_cast<char>(c);
                } else {
                    entry.name += '?';  // no stream we look for has such a name
                }
            }
            entry.start = u32(bytes_, at + 0x74);
            entry.size = u32(bytes_, at + 0x78);
            if (sectorSize_ == 4096)
                entry.size |= static_cast<std::uint64_t>(u32(bytes_, at + 0x7C)) << 32;
            entries_.push_back(std::move(entry));
        }
    }
    if (entries_.empty() || entries_[0].type != 5) {
        error = damaged;
        return false;
    }
    // The mini stream, in the root entry's chain, and its allocation table.
    std::vector<std::uint32_t> miniFatSectors;
    if (u32(bytes_, 0x3C) != kEnd && chain(fat_, u32(bytes_, 0x3C), sectors_, miniFatSectors)) {
        for (std::uint32_t s : miniFatSectors)
            for (std::size_t k = 0; k < perSector; ++k)
                miniFat_.push_back(u32(bytes_, sectorSize_ * (s + 1) + 4 * k));
    }
    Entry root = entries_[0];
    std::vector<std::uint32_t> rootChain;
    if (root.start != kEnd && chain(fat_, root.start, sectors_, rootChain)) {
        miniStream_.reserve(rootChain.size() * sectorSize_);
        for (std::uint32_t s : rootChain)
            miniStream_.append(bytes_, sectorSize_ * (s + 1), sectorSize_);
    }
    return true;
}

bool CompoundFile::read(const Entry& e, std::string& out, std::string& error) const {
    const char* damaged = "文件已损坏：工作簿的数据流不完整";
    out.clear();
    std::vector<std::uint32_t> sectors;
    bool mini = e.size < miniCutoff_;
    std::size_t unit = mini ? miniSectorSize_ : sectorSize_;
    const std::vector<std::uint32_t>& table = mini ? miniFat_ : fat_;
    std::size_t limit = mini ? miniStream_.size() / miniSectorSize_ : sectors_;
    if (e.size > static_cast<std::uint64_t>(limit) * unit ||
        !chain(table, e.start, limit, sectors)) {
        error = damaged;
        return false;
    }
    out.reserve(static_cast<std::size_t>(e.size));
    for (std::uint32_t s : sectors) {
        if (out.size() >= e.size) break;
        std::size_t n = std::min<std::size_t>(unit, static_cast<std::size_t>(e.size) - out.size());
        if (mini) {
            if ((s + 1) * unit > miniStream_.size()) {
                error = damaged;
                return false;
            }
            out.append(miniStream_, s * unit, n);
        } else {
            out.append(bytes_, sectorSize_ * (s + 1), n);
        }
    }
    // A stream whose chain ends early keeps what it has: the reader then finds its end.
    return true;
}

bool CompoundFile::stream(const std::vector<std::string>& names, std::string& out,
                          std::string& error) const {
    error.clear();
    for (const std::string& wanted : names)
        for (const Entry& e : entries_)
            if (e.type == 2 && e.name == wanted) return read(e, out, error);
    return false;
}

}  // namespace qx::isam::office
