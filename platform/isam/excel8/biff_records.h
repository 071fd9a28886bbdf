// The record level of BIFF streams: record ids, little-endian numbers, the records of a
// substream, the code pages of CODEPAGE, and strings that go on across CONTINUE records.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/text.h"
#include "platform/os/encoding.h"

namespace qx::isam::excel8::biff {

enum : std::uint16_t {
    kBof8 = 0x0809,
    kBof4 = 0x0409,
    kBof3 = 0x0209,
    kBof2 = 0x0009,
    kEof = 0x000A,
    kContinue = 0x003C,
    kCodepage = 0x0042,
    kDatemode = 0x0022,
    kFilepass = 0x002F,
    kFormat = 0x041E,
    kFormat2 = 0x001E,
    kXf = 0x00E0,
    kXf4 = 0x0443,
    kXf3 = 0x0243,
    kXf2 = 0x0043,
    kSst = 0x00FC,
    kBoundsheet = 0x0085,
    kNumber = 0x0203,
    kNumber2 = 0x0003,
    kInteger2 = 0x0002,
    kRk = 0x027E,
    kMulrk = 0x00BD,
    kLabelSst = 0x00FD,
    kLabel = 0x0204,
    kLabel2 = 0x0004,
    kRstring = 0x00D6,
    kBoolerr = 0x0205,
    kBoolerr2 = 0x0005,
    kFormula = 0x0006,
    kFormula3 = 0x0206,
    kFormula4 = 0x0406,
    kString = 0x0207,
    kString2 = 0x0007
};

inline std::uint16_t u16(std::string_view b, std::size_t at) {
    if (at + 2 > b.size()) return 0;
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}
inline std::uint32_t u32(std::string_view b, std::size_t at) {
    if (at + 4 > b.size()) return 0;
    return static_cast<std::uint32_t>(u16(b, at)) | static_cast<std::uint32_t>(u16(b, at + 2))
                                                        << 16;
}
inline double f64(std::string_view b, std::size_t at) {
    double d = 0;
    if (at + 8 <= b.size()) std::memcpy(&d, b.data() + at, 8);
    return d;
}

// The iconv name of a workbook's code page (its CODEPAGE record).
inline std::string charsetOf(std::uint16_t codepage) {
    return os::charsetOfCodePage(codepage);
}

struct Record {
    std::uint16_t id;
    std::string_view data;
};

// The stream's records from `at` on; a record cut short by the stream's end ends the list.
inline std::vector<Record> records(std::string_view s, std::size_t at) {
    std::vector<Record> out;
    while (at + 4 <= s.size()) {
        std::uint16_t id = u16(s, at), len = u16(s, at + 2);
        if (at + 4 + len > s.size()) break;
        out.push_back({id, s.substr(at + 4, len)});
        at += 4 + static_cast<std::size_t>(len);
    }
    return out;
}

// A record and the CONTINUE records after it, read as one, the way BIFF8 strings cross them:
// where characters go on in the next record, a new option byte says their width.
class Pieces {
  public:
    Pieces(const std::vector<Record>& recs, std::size_t first) {
        parts_.push_back(recs[first].data);
        for (std::size_t k = first + 1; k < recs.size() && recs[k].id == kContinue; ++k)
            parts_.push_back(recs[k].data);
    }
    bool u8(unsigned& v) {
        if (!ready()) return false;
        v = static_cast<unsigned char>(parts_[part_][at_++]);
        return true;
    }
    bool u16(std::uint32_t& v) {
        unsigned a, b;
        if (!u8(a) || !u8(b)) return false;
        v = a | b << 8;
        return true;
    }
    bool u32(std::uint32_t& v) {
        std::uint32_t a, b;
        if (!u16(a) || !u16(b)) return false;
        v = a | b << 16;
        return true;
    }
    bool skip(std::size_t n) {
        while (n > 0) {
            if (!ready()) return false;
            std::size_t take = std::min(n, parts_[part_].size() - at_);
            at_ += take;
            n -= take;
        }
        return true;
    }
    // `count` characters of a BIFF8 string, 8 or 16 bits wide, into UTF-8.
    bool chars(std::size_t count, bool wide, std::string& out) {
        std::uint32_t high = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (at_ >= parts_[part_].size()) {
                if (part_ + 1 >= parts_.size()) return false;
                ++part_;
                at_ = 0;
                unsigned flags;
                if (!u8(flags)) return false;
                wide = flags & 1;
            }
            std::uint32_t c;
            if (wide) {
                if (!u16(c)) return false;
            } else {
                unsigned b;
                if (!u8(b)) return false;
                c = b;
            }
            if (c >= 0xD800 && c < 0xDC00) {
                high = c;
                continue;
            }
            if (c >= 0xDC00 && c < 0xE000 && high) {
                jet::appendUtf8(
                    out, static_cast<char32_t>(0x10000 + ((high - 0xD800) << 10) + (c - 0xDC00)));
            } else if (c >= 0xD800 && c < 0xE000) {
                jet::appendUtf8(out, 0xFFFD);
            } else {
                jet::appendUtf8(out, static_cast<char32_t>(c));
            }
            high = 0;
        }
        return true;
    }
    // An XLUnicodeRichExtendedString (the SST's and LABEL's form): count, options, runs and
    // phonetic data, skipped.
    bool string(bool shortCount, std::string& out) {
        std::uint32_t count;
        unsigned flags;
        if (shortCount) {
            unsigned c;
            if (!u8(c)) return false;
            count = c;
        } else if (!u16(count)) {
            return false;
        }
        if (!u8(flags)) return false;
        std::uint32_t runs = 0, ext = 0;
        if ((flags & 8) && !u16(runs)) return false;
        if ((flags & 4) && !u32(ext)) return false;
        out.clear();
        return chars(count, flags & 1, out) && skip(4u * runs) && skip(ext);
    }

  private:
    bool ready() {
        while (part_ < parts_.size() && at_ >= parts_[part_].size()) {
            if (part_ + 1 >= parts_.size()) return false;
            ++part_;
            at_ = 0;
        }
        return part_ < parts_.size();
    }
    std::vector<std::string_view> parts_;
    std::size_t part_ = 0, at_ = 0;
};

}  // namespace qx::isam::excel8::biff
