// MD5 and SHA-1 (RFC 1321, FIPS 180-4), SHA-256/384/512 (FIPS 180-4) and AES decryption
// (FIPS 197). The tables AES needs are worked out once from the field's arithmetic.
#include "platform/isam/office/crypto.h"

#include <algorithm>

namespace qx::isam::office {

namespace {

std::uint32_t rotl(std::uint32_t x, int n) {
    return x << n | x >> (32 - n);
}

std::uint32_t rotr32(std::uint32_t x, int n) {
    return x >> n | x << (32 - n);
}
std::uint64_t rotr64(std::uint64_t x, int n) {
    return x >> n | x << (64 - n);
}

// The first 64 bits of the fractional parts of the cube roots of the first 80 primes; SHA-256
// takes the first 32 bits of the first 64 of them.
constexpr std::uint64_t kSha512K[80] = {
    0x428a2f98d728ae22ULL, 0x7137449123ef65cdULL, 0xb5c0fbcfec4d3b2fULL, 0xe9b5dba58189dbbcULL,
    0x3956c25bf348b538ULL, 0x59f111f1b605d019ULL, 0x923f82a4af194f9bULL, 0xab1c5ed5da6d8118ULL,
    0xd807aa98a3030242ULL, 0x12835b0145706fbeULL, 0x243185be4ee4b28cULL, 0x550c7dc3d5ffb4e2ULL,
    0x72be5d74f27b896fULL, 0x80deb1fe3b1696b1ULL, 0x9bdc06a725c71235ULL, 0xc19bf174cf692694ULL,
    0xe49b69c19ef14ad2ULL, 0xefbe4786384f25e3ULL, 0x0fc19dc68b8cd5b5ULL, 0x240ca1cc77ac9c65ULL,
    0x2de92c6f592b0275ULL, 0x4a7484aa6ea6e483ULL, 0x5cb0a9dcbd41fbd4ULL, 0x76f988da831153b5ULL,
    0x983e5152ee66dfabULL, 0xa831c66d2db43210ULL, 0xb00327c898fb213fULL, 0xbf597fc7beef0ee4ULL,
    0xc6e00bf33da88fc2ULL, 0xd5a79147930aa725ULL, 0x06ca6351e003826fULL, 0x142929670a0e6e70ULL,
    0x27b70a8546d22ffcULL, 0x2e1b21385c26c926ULL, 0x4d2c6dfc5ac42aedULL, 0x53380d139d95b3dfULL,
    0x650a73548baf63deULL, 0x766a0abb3c77b2a8ULL, 0x81c2c92e47edaee6ULL, 0x92722c851482353bULL,
    0xa2bfe8a14cf10364ULL, 0xa81a664bbc423001ULL, 0xc24b8b70d0f89791ULL, 0xc76c51a30654be30ULL,
    0xd192e819d6ef5218ULL, 0xd69906245565a910ULL, 0xf40e35855771202aULL, 0x106aa07032bbd1b8ULL,
    0x19a4c116b8d2d0c8ULL, 0x1e376c085141ab53ULL, 0x2748774cdf8eeb99ULL, 0x34b0bcb5e19b48a8ULL,
    0x391c0cb3c5c95a63ULL, 0x4ed8aa4ae3418acbULL, 0x5b9cca4f7763e373ULL, 0x682e6ff3d6b2b8a3ULL,
    0x748f82ee5defb2fcULL, 0x78a5636f43172f60ULL, 0x84c87814a1f0ab72ULL, 0x8cc702081a6439ecULL,
    0x90befffa23631e28ULL, 0xa4506cebde82bde9ULL, 0xbef9a3f7b2c67915ULL, 0xc67178f2e372532bULL,
    0xca273eceea26619cULL, 0xd186b8c721c0c207ULL, 0xeada7dd6cde0eb1eULL, 0xf57d4f7fee6ed178ULL,
    0x06f067aa72176fbaULL, 0x0a637dc5a2c898a6ULL, 0x113f9804bef90daeULL, 0x1b710b35131c471bULL,
    0x28db77f523047d84ULL, 0x32caab7b40c72493ULL, 0x3c9ebe0a15c9bebcULL, 0x431d67c49c100d4cULL,
    0x4cc5d4becb3e42b6ULL, 0x597f299cfc657e2aULL, 0x5fcb6fab3ad6faecULL, 0x6c44198c4a475817ULL};
// The first 64 bits of the fractional parts of the square roots of the first eight primes
// (SHA-512; SHA-256 takes their first 32 bits) and of the next eight (SHA-384).
constexpr std::uint64_t kSha512H[8] = {
    0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL, 0xa54ff53a5f1d36f1ULL,
    0x510e527fade682d1ULL, 0x9b05688c2b3e6c1fULL, 0x1f83d9abfb41bd6bULL, 0x5be0cd19137e2179ULL};
constexpr std::uint64_t kSha384H[8] = {
    0xcbbb9d5dc1059ed8ULL, 0x629a292a367cd507ULL, 0x9159015a3070dd17ULL, 0x152fecd8f70e5939ULL,
    0x67332667ffc00b31ULL, 0x8eb44a8768581511ULL, 0xdb0c2e0d64f98fa7ULL, 0x47b5481dbefa4fa4ULL};

// Hands `message` to `compress` block by block, padded as the hashes pad it: a one bit, zeros,
// and the length in bits in the last `lengthBytes` bytes (big-endian, or little-endian for MD5).
// The whole blocks are read where they are; only the last one or two are copied.
template <std::size_t Block, typename Compress>
void blocks(const Bytes& message, std::size_t lengthBytes, bool littleEndian, Compress compress) {
    const std::size_t n = message.size(), whole = n / Block * Block;
    for (std::size_t at = 0; at < whole; at += Block) compress(message.data() + at);
    std::uint8_t tail[2 * Block] = {};
    std::copy(message.begin() + static_cast<long>(whole), message.end(), tail);
    const std::size_t rest = n - whole;
    tail[rest] = 0x80;
    const std::size_t total = rest + 1 + lengthBytes <= Block ? Block : 2 * Block;
    const std::uint64_t bits = static_cast<std::uint64_t>(n) * 8;
    for (std::size_t i = 0; i < 8; ++i)
        tail[littleEndian ? total - lengthBytes + i : total - 1 - i] =
            static_cast<std::uint8_t>(bits >> (8 * i));
    for (std::size_t at = 0; at < total; at += Block) compress(tail + at);
}

Bytes sha256Words(const Bytes& message) {
    std::uint32_t h[8];
    for (int i = 0; i < 8; ++i) h[i] = static_cast<std::uint32_t>(kSha512H[i] >> 32);
    blocks<64>(message, 8, false, [&](const std::uint8_t* in) {
        std::uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = static_cast<std::uint32_t>(in[4 * i]) << 24 | in[4 * i + 1] << 16 |
                   in[4 * i + 2] << 8 | in[4 * i + 3];
        for (int i = 16; i < 64; ++i) {
            std::uint32_t s0 = rotr32(w[i - 15], 7) ^ rotr32(w[i - 15], 18) ^ w[i - 15] >> 3;
            std::uint32_t s1 = rotr32(w[i - 2], 17) ^ rotr32(w[i - 2], 19) ^ w[i - 2] >> 10;
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6],
                      k = h[7];
        for (int i = 0; i < 64; ++i) {
            std::uint32_t t1 = k + (rotr32(e, 6) ^ rotr32(e, 11) ^ rotr32(e, 25)) +
                               ((e & f) ^ (~e & g)) +
                               static_cast<std::uint32_t>(kSha512K[i] >> 32) + w[i];
            std::uint32_t t2 =
                (rotr32(a, 2) ^ rotr32(a, 13) ^ rotr32(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            k = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
        h[5] += f;
        h[6] += g;
        h[7] += k;
    });
    Bytes out;
    for (std::uint32_t v : h)
        for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
}

Bytes sha512Words(const Bytes& message, const std::uint64_t (&initial)[8], std::size_t size) {
    std::uint64_t h[8];
    for (int i = 0; i < 8; ++i) h[i] = initial[i];
    blocks<128>(message, 16, false, [&](const std::uint8_t* in) {
        std::uint64_t w[80];
        for (int i = 0; i < 16; ++i) {
            w[i] = 0;
            for (int j = 0; j < 8; ++j) w[i] = w[i] << 8 | in[8 * i + j];
        }
        for (int i = 16; i < 80; ++i) {
            std::uint64_t s0 = rotr64(w[i - 15], 1) ^ rotr64(w[i - 15], 8) ^ w[i - 15] >> 7;
            std::uint64_t s1 = rotr64(w[i - 2], 19) ^ rotr64(w[i - 2], 61) ^ w[i - 2] >> 6;
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint64_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6],
                      k = h[7];
        for (int i = 0; i < 80; ++i) {
            std::uint64_t t1 = k + (rotr64(e, 14) ^ rotr64(e, 18) ^ rotr64(e, 41)) +
                               ((e & f) ^ (~e & g)) + kSha512K[i] + w[i];
            std::uint64_t t2 =
                (rotr64(a, 28) ^ rotr64(a, 34) ^ rotr64(a, 39)) + ((a & b) ^ (a & c) ^ (b & c));
            k = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
        h[5] += f;
        h[6] += g;
        h[7] += k;
    });
    Bytes out;
    for (std::uint64_t v : h)
        for (int i = 7; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    out.resize(size);
    return out;
}

// AES's S-box and its inverse, and the decryption tables: for each byte, its inverse S-box value
// times the inverse column mix's factors (14, 9, 13, 11), as one word, rotated for each row.
struct AesTables {
    std::uint8_t sbox[256], inverse[256];
    std::uint32_t td[4][256];

    static std::uint8_t times(std::uint8_t a, std::uint8_t b) {
        std::uint8_t p = 0;
        for (; b; b = static_cast<std::uint8_t>(b >> 1)) {
            if (b & 1) p ^= a;
            a = static_cast<std::uint8_t>(a << 1 ^ (a & 0x80 ? 0x1B : 0));
        }
        return p;
    }
    static std::uint8_t rotl8(std::uint8_t x, int n) {
        return static_cast<std::uint8_t>(x << n | x >> (8 - n));
    }

    AesTables() {
        // Walk the field by powers of 3 (p) and of its inverse (q): q is p's inverse, and the
        // S-box is the affine map of the inverse.
        std::uint8_t p = 1, q = 1;
        do {
            p = static_cast<std::uint8_t>(p ^ p << 1 ^ (p & 0x80 ? 0x1B : 0));
            q = static_cast<std::uint8_t>(q ^ q << 1);
            q = static_cast<std::uint8_t>(q ^ q << 2);
            q = static_cast<std::uint8_t>(q ^ q << 4);
            if (q & 0x80) q ^= 0x09;
            sbox[p] = static_cast<std::uint8_t>(q ^ rotl8(q, 1) ^ rotl8(q, 2) ^ rotl8(q, 3) ^
                                                rotl8(q, 4) ^ 0x63);
        } while (p != 1);
        sbox[0] = 0x63;
        for (int i = 0; i < 256; ++i) {
            auto b = static_cast<std::uint8_t>(i);
            inverse[sbox[i]] = b;
        }
        for (int i = 0; i < 256; ++i) {
            std::uint8_t v = inverse[i];
            std::uint32_t w = static_cast<std::uint32_t>(times(v, 14)) << 24 |
                              static_cast<std::uint32_t>(times(v, 9)) << 16 |
                              static_cast<std::uint32_t>(times(v, 13)) << 8 | times(v, 11);
            for (int r = 0; r < 4; ++r) td[r][i] = r == 0 ? w : w >> (8 * r) | w << (32 - 8 * r);
        }
    }
};

const AesTables& aes() {
    static const AesTables tables;
    return tables;
}

}  // namespace

Bytes md5(const Bytes& message) {
    static const std::uint32_t k[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
        0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
        0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
        0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
        0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
        0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
        0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
        0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
        0xeb86d391};
    static const int r[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                              5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                              4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                              6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    std::uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    blocks<64>(message, 8, true, [&](const std::uint8_t* in) {
        std::uint32_t w[16];
        for (int i = 0; i < 16; ++i)
            w[i] = in[4 * i] | in[4 * i + 1] << 8 | in[4 * i + 2] << 16 |
                   static_cast<std::uint32_t>(in[4 * i + 3]) << 24;
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
        for (int i = 0; i < 64; ++i) {
            std::uint32_t f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            std::uint32_t t = d;
            d = c;
            c = b;
            b = b + rotl(a + f + k[i] + w[g], r[i]);
            a = t;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
    });
    Bytes out;
    for (std::uint32_t v : h)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
}

Bytes sha1(const Bytes& message) {
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    blocks<64>(message, 8, false, [&](const std::uint8_t* in) {
        std::uint32_t w[80];
        for (int i = 0; i < 16; ++i)
            w[i] = static_cast<std::uint32_t>(in[4 * i]) << 24 | in[4 * i + 1] << 16 |
                   in[4 * i + 2] << 8 | in[4 * i + 3];
        for (int i = 16; i < 80; ++i) w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            std::uint32_t f, k;
            if (i < 20) {
                f = (b & c) | (~b & d);
                k = 0x5A827999;
            } else if (i < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1;
            } else if (i < 60) {
                f = (b & c) | (b & d) | (c & d);
                k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6;
            }
            std::uint32_t t = rotl(a, 5) + f + e + k + w[i];
            e = d;
            d = c;
            c = rotl(b, 30);
            b = a;
            a = t;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    });
    Bytes out;
    for (std::uint32_t v : h)
        for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
}

Bytes sha256(const Bytes& message) {
    return sha256Words(message);
}
Bytes sha384(const Bytes& message) {
    return sha512Words(message, kSha384H, 48);
}
Bytes sha512(const Bytes& message) {
    return sha512Words(message, kSha512H, 64);
}

Bytes passwordBytes(const std::u16string& password) {
    Bytes out;
    for (char16_t c : password) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

bool AesDecryptor::setKey(const std::uint8_t* key, std::size_t size) {
    if (size != 16 && size != 24 && size != 32) return false;
    const AesTables& t = aes();
    const std::size_t nk = size / 4;
    rounds_ = static_cast<int>(nk) + 6;
    const std::size_t words = 4 * static_cast<std::size_t>(rounds_ + 1);
    std::uint8_t rcon = 1;
    for (std::size_t i = 0; i < words; ++i) {
        if (i < nk) {
            roundKeys_[i] = static_cast<std::uint32_t>(key[4 * i]) << 24 | key[4 * i + 1] << 16 |
                            key[4 * i + 2] << 8 | key[4 * i + 3];
            continue;
        }
        std::uint32_t w = roundKeys_[i - 1];
        auto sub = [&](std::uint32_t v) {
            return static_cast<std::uint32_t>(t.sbox[v >> 24]) << 24 |
                   t.sbox[v >> 16 & 0xFF] << 16 | t.sbox[v >> 8 & 0xFF] << 8 | t.sbox[v & 0xFF];
        };
        if (i % nk == 0) {
            w = sub(w << 8 | w >> 24) ^ static_cast<std::uint32_t>(rcon) << 24;
            rcon = static_cast<std::uint8_t>(rcon << 1 ^ (rcon & 0x80 ? 0x1B : 0));
        } else if (nk > 6 && i % nk == 4) {
            w = sub(w);
        }
        roundKeys_[i] = roundKeys_[i - nk] ^ w;
    }
    // The equivalent inverse cipher: the round keys in reverse order, those between the first
    // and the last through the inverse column mix (the tables hold the inverse S-box, so each
    // byte goes through the S-box first).
    std::array<std::uint32_t, 60> forward = roundKeys_;
    for (int r = 0; r <= rounds_; ++r)
        for (int c = 0; c < 4; ++c) {
            std::uint32_t w = forward[static_cast<std::size_t>(4 * (rounds_ - r) + c)];
            if (r > 0 && r < rounds_)
                w = t.td[0][t.sbox[w >> 24]] ^ t.td[1][t.sbox[w >> 16 & 0xFF]] ^
                    t.td[2][t.sbox[w >> 8 & 0xFF]] ^ t.td[3][t.sbox[w & 0xFF]];
            roundKeys_[static_cast<std::size_t>(4 * r + c)] = w;
        }
    return true;
}

void AesDecryptor::decryptBlock(const std::uint8_t* in, std::uint8_t* out) const {
    const AesTables& t = aes();
    const std::uint32_t* k = roundKeys_.data();
    auto word = [&](int i) {
        return static_cast<std::uint32_t>(in[4 * i]) << 24 | in[4 * i + 1] << 16 |
               in[4 * i + 2] << 8 | in[4 * i + 3];
    };
    std::uint32_t s0 = word(0) ^ k[0], s1 = word(1) ^ k[1], s2 = word(2) ^ k[2],
                  s3 = word(3) ^ k[3];
    // Column c of a round takes row r from column c - r: the inverse row shift.
    auto column = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                      std::uint32_t key) {
        return t.td[0][a >> 24] ^ t.td[1][b >> 16 & 0xFF] ^ t.td[2][c >> 8 & 0xFF] ^
               t.td[3][d & 0xFF] ^ key;
    };
    for (int r = 1; r < rounds_; ++r) {
        k += 4;
        std::uint32_t t0 = column(s0, s3, s2, s1, k[0]), t1 = column(s1, s0, s3, s2, k[1]),
                      t2 = column(s2, s1, s0, s3, k[2]), t3 = column(s3, s2, s1, s0, k[3]);
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    k += 4;
    // The last round has no column mix.
    auto last = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                    std::uint32_t key) {
        return (static_cast<std::uint32_t>(t.inverse[a >> 24]) << 24 |
                static_cast<std::uint32_t>(t.inverse[b >> 16 & 0xFF]) << 16 |
                static_cast<std::uint32_t>(t.inverse[c >> 8 & 0xFF]) << 8 | t.inverse[d & 0xFF]) ^
               key;
    };
    std::uint32_t o[4] = {last(s0, s3, s2, s1, k[0]), last(s1, s0, s3, s2, k[1]),
                          last(s2, s1, s0, s3, k[2]), last(s3, s2, s1, s0, k[3])};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[4 * i + j] = static_cast<std::uint8_t>(o[i] >> (24 - 8 * j));
}

void AesDecryptor::decryptEcb(std::uint8_t* data, std::size_t size) const {
    for (std::size_t at = 0; at + 16 <= size; at += 16) decryptBlock(data + at, data + at);
}

void AesDecryptor::decryptCbc(std::uint8_t* data, std::size_t size, const std::uint8_t* iv) const {
    std::uint8_t previous[16], cipher[16];
    std::copy(iv, iv + 16, previous);
    for (std::size_t at = 0; at + 16 <= size; at += 16) {
        std::copy(data + at, data + at + 16, cipher);
        decryptBlock(cipher, data + at);
        for (int i = 0; i < 16; ++i) data[at + static_cast<std::size_t>(i)] ^= previous[i];
        std::copy(cipher, cipher + 16, previous);
    }
}

}  // namespace qx::isam::office
