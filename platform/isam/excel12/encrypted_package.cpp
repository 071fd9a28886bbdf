// Decrypting an encrypted package ([MS-OFFCRYPTO] standard and agile encryption). Every size and
// count the file gives is checked before it is used: the file may be damaged or made to mislead.
#include "platform/isam/excel12/encrypted_package.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/isam/excel12/xml_reader.h"
#include "platform/isam/office/crypto.h"

namespace qx::isam::excel12 {

namespace {

using office::Bytes;

std::uint32_t u32(const std::string& s, std::size_t at) {
    if (at + 4 > s.size()) return 0;
    std::uint32_t v = 0;
    for (std::size_t k = 4; k-- > 0;) v = v << 8 | static_cast<unsigned char>(s[at + k]);
    return v;
}
std::uint64_t u64(const std::string& s, std::size_t at) {
    return u32(s, at) | static_cast<std::uint64_t>(u32(s, at + 4)) << 32;
}
Bytes bytesAt(const std::string& s, std::size_t at, std::size_t n) {
    if (at > s.size() || n > s.size() - at) return {};
    return Bytes(s.begin() + static_cast<long>(at), s.begin() + static_cast<long>(at + n));
}
Bytes le32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// `b` cut or padded (with `pad`) to `size` bytes.
Bytes sized(Bytes b, std::size_t size, std::uint8_t pad) {
    b.resize(size, pad);
    return b;
}

// The package's bytes after its 8-byte size, decrypted in place by `decrypt` and cut to that size.
template <typename Decrypt>
Decryption unpack(std::string& package, Decrypt decrypt) {
    if (package.size() < 8) return Decryption::Damaged;
    std::uint64_t size = u64(package, 0);
    std::size_t encrypted = (package.size() - 8) / 16 * 16;
    if (size > encrypted) return Decryption::Damaged;
    package.erase(0, 8);
    decrypt(reinterpret_cast<std::uint8_t*>(package.data()), encrypted);
    package.resize(static_cast<std::size_t>(size));
    return Decryption::Done;
}

// Office 2007's method: AES-ECB with a key from 50,000 rounds of SHA-1.
Decryption standard(const std::string& info, std::string& package, const std::u16string& password) {
    constexpr std::uint32_t kCryptoApi = 0x04, kExternal = 0x10, kAes = 0x20;
    std::uint32_t flags = u32(info, 4);
    std::size_t headerSize = u32(info, 8);
    const std::size_t header = 12;
    if (info.size() < header || headerSize < 32 || headerSize > info.size() - header)
        return Decryption::Damaged;
    if ((flags & kExternal) || !(flags & kCryptoApi) || !(flags & kAes))
        return Decryption::Unsupported;
    std::uint32_t algId = u32(info, header + 8), hashId = u32(info, header + 12);
    std::uint32_t keyBits = u32(info, header + 16);
    if (algId == 0) algId = 0x660E;
    std::uint32_t wanted = algId == 0x660E   ? 128
                           : algId == 0x660F ? 192
                           : algId == 0x6610 ? 256
                                             : 0;
    if (wanted == 0 || keyBits != wanted || (hashId != 0 && hashId != 0x8004))
        return Decryption::Unsupported;
    const std::size_t v = header + headerSize;
    if (u32(info, v) != 16 || v + 4 + 16 + 16 + 4 + 32 > info.size()) return Decryption::Damaged;
    Bytes salt = bytesAt(info, v + 4, 16);
    Bytes verifier = bytesAt(info, v + 20, 16);
    Bytes verifierHash = bytesAt(info, v + 40, 32);

    Bytes h = office::sha1(salt + office::passwordBytes(password));
    for (std::uint32_t i = 0; i < 50000; ++i) h = office::sha1(le32(i) + h);
    h = office::sha1(h + le32(0));
    Bytes inner(64, 0x36), outer(64, 0x5C);
    for (std::size_t i = 0; i < h.size(); ++i) {
        inner[i] ^= h[i];
        outer[i] ^= h[i];
    }
    Bytes key = sized(office::sha1(inner) + office::sha1(outer), keyBits / 8, 0);
    office::AesDecryptor aes;
    if (!aes.setKey(key.data(), key.size())) return Decryption::Unsupported;
    aes.decryptEcb(verifier.data(), verifier.size());
    aes.decryptEcb(verifierHash.data(), verifierHash.size());
    Bytes expected = office::sha1(verifier);
    if (!std::equal(expected.begin(), expected.end(), verifierHash.begin()))
        return Decryption::WrongPassword;
    return unpack(package, [&](std::uint8_t* data, std::size_t n) { aes.decryptEcb(data, n); });
}

// One key's description in the agile method's XML.
struct KeyParameters {
    std::size_t saltSize = 0, blockSize = 0, keyBits = 0, hashSize = 0;
    std::string cipher, chaining, hash;
    Bytes salt;
};

std::optional<Bytes> base64(const char* text) {
    Bytes out;
    std::uint32_t bits = 0;
    int held = 0;
    bool ended = false;
    for (const char* p = text; *p; ++p) {
        char c = *p;
        int v = c >= 'A' && c <= 'Z'   ? c - 'A'
                : c >= 'a' && c <= 'z' ? c - 'a' + 26
                : c >= '0' && c <= '9' ? c - '0' + 52
                : c == '+'             ? 62
                : c == '/'             ? 63
                                       : -1;
        if (c == '=') {
            ended = true;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (v < 0 || ended) return std::nullopt;
        bits = (bits << 6 | static_cast<std::uint32_t>(v)) & 0xFFFFFF;
        held += 6;
        if (held >= 8) {
            held -= 8;
            out.push_back(static_cast<std::uint8_t>(bits >> held));
        }
    }
    return out;
}

std::size_t number(const char* text) {
    std::size_t v = 0;
    if (!text || !*text) return 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9' || v > 100000000) return 0;
        v = v * 10 + static_cast<std::size_t>(*p - '0');
    }
    return v;
}

bool readKey(XmlReader::Attributes a, KeyParameters& k) {
    k.saltSize = number(XmlReader::attribute(a, "saltSize"));
    k.blockSize = number(XmlReader::attribute(a, "blockSize"));
    k.keyBits = number(XmlReader::attribute(a, "keyBits"));
    k.hashSize = number(XmlReader::attribute(a, "hashSize"));
    const char* cipher = XmlReader::attribute(a, "cipherAlgorithm");
    const char* chaining = XmlReader::attribute(a, "cipherChaining");
    const char* hash = XmlReader::attribute(a, "hashAlgorithm");
    const char* salt = XmlReader::attribute(a, "saltValue");
    k.cipher = cipher ? cipher : "";
    k.chaining = chaining ? chaining : "";
    k.hash = hash ? hash : "";
    auto s = salt ? base64(salt) : std::nullopt;
    if (!s) return false;
    k.salt = *s;
    return true;
}

using Hash = Bytes (*)(const Bytes&);
Hash hashNamed(const std::string& name, std::size_t& size) {
    struct Known {
        const char* name;
        Hash hash;
        std::size_t size;
    };
    static const Known known[] = {{"SHA1", office::sha1, 20},     {"SHA-1", office::sha1, 20},
                                  {"SHA256", office::sha256, 32}, {"SHA-256", office::sha256, 32},
                                  {"SHA384", office::sha384, 48}, {"SHA-384", office::sha384, 48},
                                  {"SHA512", office::sha512, 64}, {"SHA-512", office::sha512, 64}};
    for (const Known& k : known)
        if (name == k.name) {
            size = k.size;
            return k.hash;
        }
    return nullptr;
}

// Whether this key is one the reader can use: AES in CBC mode, a known hash, sizes that agree.
Decryption usable(const KeyParameters& k, Hash& hash) {
    std::size_t size = 0;
    hash = hashNamed(k.hash, size);
    if (k.cipher != "AES" || k.chaining != "ChainingModeCBC" || !hash)
        return Decryption::Unsupported;
    if (k.blockSize != 16 || k.hashSize != size ||
        (k.keyBits != 128 && k.keyBits != 192 && k.keyBits != 256) || k.saltSize != k.salt.size() ||
        k.salt.empty() || k.salt.size() > 64)
        return Decryption::Damaged;
    return Decryption::Done;
}

// Office 2010's method.
Decryption agile(const std::string& info, std::string& package, const std::u16string& password) {
    constexpr std::size_t kMaxSpinCount = 10000000;
    const std::string passwordUri =
        "http://schemas.microsoft.com/office/2006/keyEncryptor/password";
    KeyParameters data, key;
    bool haveData = false, haveKey = false, inPasswordEncryptor = false, bad = false;
    std::size_t spinCount = 0;
    Bytes verifierInput, verifierValue, keyValue;
    XmlReader r;
    r.onStart = [&](std::string_view name, XmlReader::Attributes a) {
        if (name == "keyData" && !haveData) {
            haveData = true;
            if (!readKey(a, data)) bad = true;
        } else if (name == "keyEncryptor") {
            const char* uri = XmlReader::attribute(a, "uri");
            inPasswordEncryptor = uri && uri == passwordUri;
        } else if (name == "encryptedKey" && inPasswordEncryptor && !haveKey) {
            haveKey = true;
            if (!readKey(a, key)) bad = true;
            spinCount = number(XmlReader::attribute(a, "spinCount"));
            const char* fields[] = {"encryptedVerifierHashInput", "encryptedVerifierHashValue",
                                    "encryptedKeyValue"};
            Bytes* into[] = {&verifierInput, &verifierValue, &keyValue};
            for (int i = 0; i < 3; ++i) {
                const char* text = XmlReader::attribute(a, fields[i]);
                auto b = text ? base64(text) : std::nullopt;
                if (b)
                    *into[i] = std::move(*b);
                else
                    bad = true;
            }
        }
    };
    r.onEnd = [&](std::string_view name) {
        if (name == "keyEncryptor") inPasswordEncryptor = false;
    };
    // Writers pad the description with NULs or blanks.
    std::size_t end = info.size();
    while (end > 8 && (info[end - 1] == '\0' || info[end - 1] == ' ')) --end;
    std::string error;
    if (!r.feed(info.data() + 8, end - 8, true, error) || bad || !haveData)
        return Decryption::Damaged;
    if (!haveKey) return Decryption::Unsupported;  // a certificate's key only
    Hash keyHash = nullptr, dataHash = nullptr;
    for (Decryption d : {usable(key, keyHash), usable(data, dataHash)})
        if (d != Decryption::Done) return d;
    if (spinCount > kMaxSpinCount) return Decryption::Damaged;

    Bytes h = keyHash(key.salt + office::passwordBytes(password));
    Bytes counted;
    for (std::uint32_t i = 0; i < spinCount; ++i) {
        counted = le32(i);
        counted.insert(counted.end(), h.begin(), h.end());
        h = keyHash(counted);
    }
    // Each of the three values has a key of its own, from a fixed block of bytes.
    auto decrypt = [&](Bytes value, const Bytes& block) -> std::optional<Bytes> {
        Bytes k = sized(keyHash(h + block), key.keyBits / 8, 0x36);
        office::AesDecryptor aes;
        if (value.empty() || value.size() % 16 || !aes.setKey(k.data(), k.size()))
            return std::nullopt;
        Bytes iv = sized(key.salt, 16, 0x36);
        aes.decryptCbc(value.data(), value.size(), iv.data());
        return value;
    };
    auto input = decrypt(verifierInput, {0xfe, 0xa7, 0xd2, 0x76, 0x3b, 0x4b, 0x9e, 0x79});
    auto value = decrypt(verifierValue, {0xd7, 0xaa, 0x0f, 0x6d, 0x30, 0x61, 0x34, 0x4e});
    auto secret = decrypt(keyValue, {0x14, 0x6e, 0x0b, 0xe7, 0xab, 0xac, 0xd0, 0xd6});
    if (!input || !value || !secret || input->size() < key.saltSize ||
        value->size() < key.hashSize || secret->size() < data.keyBits / 8)
        return Decryption::Damaged;
    Bytes expected = keyHash(sized(*input, key.saltSize, 0));
    if (!std::equal(expected.begin(), expected.end(), value->begin()))
        return Decryption::WrongPassword;

    office::AesDecryptor aes;
    if (!aes.setKey(secret->data(), data.keyBits / 8)) return Decryption::Damaged;
    // Segments of 4096 bytes, each chained from an IV of its own: the hash of the salt and the
    // segment's number.
    return unpack(package, [&](std::uint8_t* bytes, std::size_t n) {
        constexpr std::size_t kSegment = 4096;
        for (std::size_t at = 0, segment = 0; at < n; at += kSegment, ++segment) {
            Bytes iv =
                sized(dataHash(data.salt + le32(static_cast<std::uint32_t>(segment))), 16, 0x36);
            aes.decryptCbc(bytes + at, std::min(kSegment, n - at), iv.data());
        }
    });
}

}  // namespace

Decryption decryptPackage(const std::string& info, std::string& package,
                          const std::u16string& password) {
    if (info.size() < 8) return Decryption::Damaged;
    std::uint32_t major = u32(info, 0) & 0xFFFF, minor = u32(info, 0) >> 16;
    if (major == 4 && minor == 4) return agile(info, package, password);
    if ((major == 2 || major == 3 || major == 4) && minor == 2)
        return standard(info, package, password);
    return Decryption::Unsupported;  // the extensible method, or one not yet made
}

}  // namespace qx::isam::excel12
