// The two page formats' numbers, and the RC4 both the header mask and page encryption use.
#include "platform/isam/access/jet_format.h"

#include <utility>

namespace qx::isam::access::layout {

void rc4(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t n) {
    std::uint8_t s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[static_cast<std::size_t>(i) % keyLength]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (std::size_t k = 0, i = 0, j = 0; k < n; ++k) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[k] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

const Format& jet3Format() {
    static const Format f{
        .jet3 = true,
        .pageSize = 2048,
        .headerMaskedSize = 126,
        .passwordSize = 20,
        .dataRowCountAt = 8,
        .rowCountSize = 1,
        .defRowsAt = 12,
        .defTypeAt = 20,
        .defMaxColumnsAt = 21,
        .defVarColumnsAt = 23,
        .defColumnsAt = 25,
        .defLogicalIndexesAt = 27,
        .defRealIndexesAt = 31,
        .defUsedPagesAt = 35,
        .defFreePagesAt = 39,
        .defBlockEnd = 43,
        .defRealIndexSize = 8,
        .columnSize = 18,
        .columnTypeAt = 0,
        .columnNumberAt = 1,
        .columnVarIndexAt = 3,
        .columnIndexAt = 5,
        .columnSortOrderAt = 9,
        .columnPrecisionAt = 11,
        .columnScaleAt = 12,
        .columnFlagsAt = 13,
        .columnFixedAt = 14,
        .columnLengthAt = 16,
        .nameLengthSize = 1,
    };
    return f;
}

const Format& jet4Format() {
    static const Format f{
        .jet3 = false,
        .pageSize = 4096,
        .headerMaskedSize = 128,
        .passwordSize = 40,
        .dataRowCountAt = 12,
        .rowCountSize = 2,
        .defRowsAt = 16,
        .defTypeAt = 40,
        .defMaxColumnsAt = 41,
        .defVarColumnsAt = 43,
        .defColumnsAt = 45,
        .defLogicalIndexesAt = 47,
        .defRealIndexesAt = 51,
        .defUsedPagesAt = 55,
        .defFreePagesAt = 59,
        .defBlockEnd = 63,
        .defRealIndexSize = 12,
        .columnSize = 25,
        .columnTypeAt = 0,
        .columnNumberAt = 5,
        .columnVarIndexAt = 7,
        .columnIndexAt = 9,
        .columnSortOrderAt = 11,
        .columnPrecisionAt = 11,
        .columnScaleAt = 12,
        .columnFlagsAt = 15,
        .columnFixedAt = 21,
        .columnLengthAt = 23,
        .nameLengthSize = 2,
    };
    return f;
}

void toggleHeaderMask(const Format& f, std::uint8_t* page) {
    rc4(kHeaderKey, sizeof kHeaderKey, page + kHeaderMaskedAt, f.headerMaskedSize);
}

void decryptPage(std::uint32_t databaseKey, std::uint32_t page, std::uint8_t* data, std::size_t n) {
    std::uint8_t key[4];
    put32(key, databaseKey ^ page);
    rc4(key, sizeof key, data, n);
}

}  // namespace qx::isam::access::layout
