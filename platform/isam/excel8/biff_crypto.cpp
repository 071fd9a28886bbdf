// RC4 for BIFF8 decryption (MS-OFFCRYPTO's RC4 and CryptoAPI RC4 methods, as
// MS-XLS applies them: a new key for every 1024 bytes of the stream).
#include "platform/isam/excel8/biff_crypto.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/isam/office/crypto.h"

namespace qx::isam::excel8 {

namespace {

using office::Bytes;
using office::md5;
using office::sha1;

class Rc4 {
  public:
    explicit Rc4(const Bytes& key) {
        for (int i = 0; i < 256; ++i)
            s_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        std::uint8_t j = 0;
        for (std::size_t i = 0; i < 256; ++i) {
            j = static_cast<std::uint8_t>(j + s_[i] + key[i % key.size()]);
            std::swap(s_[i], s_[j]);
        }
    }
    std::uint8_t next() {
        i_ = static_cast<std::uint8_t>(i_ + 1);
        j_ = static_cast<std::uint8_t>(j_ + s_[i_]);
        std::swap(s_[i_], s_[j_]);
        return s_[static_cast<std::uint8_t>(s_[i_] + s_[j_])];
    }

  private:
    std::array<std::uint8_t, 256> s_{};
    std::uint8_t i_ = 0, j_ = 0;
};

void appendU32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint16_t u16(const std::string& s, std::size_t at) {
    return at + 2 <= s.size()
               ? static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                            static_cast<unsigned char>(s[at + 1]) << 8)
               : 0;
}
std::uint32_t u32(const std::string& s, std::size_t at) {
    return static_cast<std::uint32_t>(u16(s, at)) | static_cast<std::uint32_t>(u16(s, at + 2))
                                                        << 16;
}
Bytes bytesAt(const std::string& s, std::size_t at, std::size_t n) {
    Bytes out;
    for (std::size_t i = 0; i < n && at + i < s.size(); ++i)
        out.push_back(static_cast<std::uint8_t>(s[at + i]));
    return out;
}

// The key of one 1024-byte block of the stream.
struct KeyMaker {
    bool cryptoApi = false;
    Bytes base;  // standard: the 5 bytes of H1; CryptoAPI: H0
    std::size_t keyBytes = 16;
    Bytes key(std::uint32_t block) const {
        Bytes b = base;
        appendU32(b, block);
        if (!cryptoApi) return md5(b);
        Bytes h = sha1(b);
        if (keyBytes == 5) {
            h.resize(5);
            h.resize(16, 0);  // a 40-bit key is used as 128 bits with zeros
            return h;
        }
        h.resize(keyBytes);
        return h;
    }
};

// XOR obfuscation (MS-OFFCRYPTO's method 1): the password's 16-bit verifier and key, and the
// 16 bytes the data is XORed with.
struct XorObfuscation {
    std::uint16_t verifier = 0, key = 0;
    std::array<std::uint8_t, 16> bytes{};

    explicit XorObfuscation(const std::u16string& password) {
        static const std::uint16_t kInitial[15] = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C,
                                                   0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139,
                                                   0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
        static const std::uint16_t kMatrix[15][7] = {
            {0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09},
            {0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7, 0x9DCF, 0x2BBF},
            {0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0},
            {0x0375, 0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40},
            {0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5},
            {0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A},
            {0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9},
            {0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0},
            {0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC},
            {0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10},
            {0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168},
            {0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C},
            {0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD},
            {0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC},
            {0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4}};
        static const std::uint8_t kPad[15] = {0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80,
                                              0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};
        // One byte a character: its low byte, or its high byte when the low one is 0.
        std::vector<std::uint8_t> ansi;
        for (char16_t c : password.substr(0, 15))
            ansi.push_back(static_cast<std::uint8_t>((c & 0xFF) ? (c & 0xFF) : (c >> 8)));
        if (ansi.empty()) return;
        auto rotl15 = [](std::uint16_t v) {
            return static_cast<std::uint16_t>(((v & 0x4000) ? 1 : 0) | ((v << 1) & 0x7FFF));
        };
        for (std::size_t i = ansi.size(); i-- > 0;) verifier = rotl15(verifier) ^ ansi[i];
        verifier = static_cast<std::uint16_t>((rotl15(verifier) ^ ansi.size()) ^ 0xCE4B);
        key = kInitial[ansi.size() - 1];
        std::size_t line = 15 - ansi.size();
        for (std::uint8_t ch : ansi) {
            for (std::uint16_t x : kMatrix[line++]) {
                if (ch & 1) key ^= x;
                ch = static_cast<std::uint8_t>(ch >> 1);
            }
        }
        std::copy(ansi.begin(), ansi.end(), bytes.begin());
        std::copy(kPad, kPad + (16 - ansi.size()), bytes.begin() + static_cast<long>(ansi.size()));
        for (std::size_t i = 0; i < 16; ++i) {
            std::uint8_t b = static_cast<std::uint8_t>(bytes[i] ^ (i & 1 ? key >> 8 : key & 0xFF));
            bytes[i] = static_cast<std::uint8_t>(b << 2 | b >> 6);
        }
    }
};

// The encrypted bytes of each record after FILEPASS. Never encrypted: record headers, the data
// of BOF, FILEPASS, INTERFACEHDR, USREXCL, FILELOCK, RRDINFO and RRDHEAD, and the sheet's stream
// position at the start of a BOUNDSHEET.
struct Span {
    std::size_t record, from, end;  // the record's data, the first encrypted byte, the end
};

std::vector<Span> encryptedSpans(const std::string& stream, std::size_t at) {
    std::vector<Span> spans;
    while (at + 4 <= stream.size()) {
        std::uint16_t id = u16(stream, at);
        std::size_t data = at + 4;
        std::size_t end = std::min(data + u16(stream, at + 2), stream.size());
        bool clear = id == 0x0809 || id == 0x002F || id == 0x00E1 || id == 0x0194 || id == 0x0195 ||
                     id == 0x0196 || id == 0x0138;
        std::size_t from = id == 0x0085 ? data + 4 : data;
        if (!clear && from < end) spans.push_back({data, from, end});
        at = end;
    }
    return spans;
}

// `key` is where FILEPASS holds the obfuscation's key and verifier; `end` where it ends.
bool deobfuscate(std::string& stream, std::size_t key, std::size_t end,
                 const std::u16string& password) {
    if (key + 4 > end) return false;
    XorObfuscation x(password);
    if (x.key != u16(stream, key) || x.verifier != u16(stream, key + 2)) return false;
    // Each byte: rotated left by three, then XORed with the array's byte at (the end of its
    // record's data + its place in the record) modulo 16.
    for (const Span& span : encryptedSpans(stream, end))
        for (std::size_t p = span.from; p < span.end; ++p) {
            auto b = static_cast<std::uint8_t>(stream[p]);
            b = static_cast<std::uint8_t>(b << 3 | b >> 5);
            stream[p] = static_cast<char>(b ^ x.bytes[(span.end + (p - span.record)) & 15]);
        }
    return true;
}

}  // namespace

bool decryptBiff8(std::string& stream, std::size_t filepassAt, const std::u16string& password) {
    const std::size_t d = filepassAt + 4;
    std::size_t len = u16(stream, filepassAt + 2);
    if (d + len > stream.size()) return false;
    if (u16(stream, d) == 0) return deobfuscate(stream, d + 2, d + len, password);
    if (u16(stream, d) != 1) return false;  // neither XOR nor RC4
    std::uint16_t major = u16(stream, d + 2), minor = u16(stream, d + 4);
    KeyMaker maker;
    Bytes verifier, verifierHash;
    if (major == 1 && minor == 1) {
        Bytes salt = bytesAt(stream, d + 6, 16);
        verifier = bytesAt(stream, d + 22, 16);
        verifierHash = bytesAt(stream, d + 38, 16);
        if (salt.size() != 16 || verifierHash.size() != 16) return false;
        Bytes h0 = md5(office::passwordBytes(password));
        Bytes buffer;
        for (int i = 0; i < 16; ++i) {
            buffer.insert(buffer.end(), h0.begin(), h0.begin() + 5);
            buffer.insert(buffer.end(), salt.begin(), salt.end());
        }
        maker.base = md5(buffer);
        maker.base.resize(5);
    } else if ((major == 2 || major == 3 || major == 4) && minor == 2) {
        std::size_t headerSize = u32(stream, d + 10);
        std::size_t header = d + 14;
        if (headerSize < 32 || header + headerSize > d + len) return false;
        std::uint32_t algId = u32(stream, header + 8), keyBits = u32(stream, header + 16);
        if (algId != 0x6801 && algId != 0) return false;  // RC4 only
        if (keyBits == 0) keyBits = 40;
        if (keyBits % 8 || keyBits < 40 || keyBits > 128) return false;
        std::size_t v = header + headerSize;
        std::size_t saltSize = u32(stream, v);
        if (saltSize != 16 || v + 4 + 16 + 16 + 4 + 20 > d + len) return false;
        Bytes salt = bytesAt(stream, v + 4, 16);
        verifier = bytesAt(stream, v + 20, 16);
        verifierHash = bytesAt(stream, v + 40, 20);
        maker.cryptoApi = true;
        maker.keyBytes = keyBits / 8;
        Bytes seed = salt;
        Bytes pw = office::passwordBytes(password);
        seed.insert(seed.end(), pw.begin(), pw.end());
        maker.base = sha1(seed);
    } else {
        return false;
    }
    // The password holds when the verifier decrypts to the hash of itself.
    Rc4 check(maker.key(0));
    for (auto& b : verifier) b ^= check.next();
    for (auto& b : verifierHash) b ^= check.next();
    Bytes expected = maker.cryptoApi ? sha1(verifier) : md5(verifier);
    if (!std::equal(verifierHash.begin(), verifierHash.end(), expected.begin())) return false;

    // Every byte of record data after FILEPASS is encrypted with the key stream at its own
    // offset in the stream; record headers, and the data of a few records, are not.
    auto spans = encryptedSpans(stream, d + len);
    std::uint32_t block = UINT32_MAX;
    std::array<std::uint8_t, 1024> keystream{};
    for (const Span& span : spans)
        for (std::size_t p = span.from; p < span.end; ++p) {
            auto b = static_cast<std::uint32_t>(p / 1024);
            if (b != block) {
                block = b;
                Rc4 rc4(maker.key(block));
                for (auto& k : keystream) k = rc4.next();
            }
            stream[p] =
                static_cast<char>(static_cast<std::uint8_t>(stream[p]) ^ keystream[p % 1024]);
        }
    return true;
}

bool decryptBiff5(std::string& stream, std::size_t filepassAt, const std::u16string& password) {
    const std::size_t d = filepassAt + 4;
    std::size_t len = u16(stream, filepassAt + 2);
    if (len != 4 || d + len > stream.size()) return false;
    return deobfuscate(stream, d, d + len, password);
}

}  // namespace qx::isam::excel8
