// The hashes and AES against the published examples: FIPS 180 (SHA), RFC 1321 (MD5), FIPS 197
// appendix C (AES) and SP 800-38A F.2 (CBC).
#include <gtest/gtest.h>

#include <string>

#include "platform/isam/office/crypto.h"

namespace qx::isam::office {
namespace {

Bytes hex(const std::string& h) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(h.substr(i, 2), nullptr, 16)));
    return out;
}
Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

const std::string k448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const std::string k896 =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopq"
    "rsmnopqrstnopqrstu";

TEST(OfficeCrypto, HashesGiveThePublishedDigests) {
    struct Case {
        Bytes (*hash)(const Bytes&);
        std::string message, digest;
    } cases[] = {
        {md5, "", "d41d8cd98f00b204e9800998ecf8427e"},
        {md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {sha1, k448, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {sha1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {sha256, k448, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {sha384, "abc",
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca1"
         "34c825a7"},
        {sha384, k896,
         "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa"
         "91746039"},
        {sha512, "abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23"
         "a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
        {sha512, k896,
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99de"
         "c4b5433ac7d329eeb6dd26545e96e55b874be909"},
        {sha512, "",
         "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2"
         "877eec2f63b931bd47417a81a538327af927da3e"},
        // Lengths at the padding's edges: the length field just fits, or needs a block more.
        {sha1, std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
        {sha1, std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
        {sha512, std::string(111, 'a'),
         "fa9121c7b32b9e01733d034cfc78cbf67f926c7ed83e82200ef86818196921760b4beff48404df811b953828"
         "274461673c68d04e297b0eb7b2b4d60fc6b566a2"},
        {sha512, std::string(112, 'a'),
         "c01d080efd492776a1c43bd23dd99d0a2e626d481e16782e75d54c2503b5dc32bd05f0f1ba33e568b88fd2d97"
         "0929b719ecbb152f58f130a407c8830604b70ca"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.hash(text(c.message)), hex(c.digest)) << c.message.size() << " " << c.digest;
    EXPECT_EQ(sha1(Bytes(1000000, 'a')), hex("34aa973cd4c4daa4f61eeb2bdbad27316534016f"));
}

TEST(OfficeCrypto, AesDecryptsTheExamplesOfEachKeySize) {
    struct Case {
        std::string key, cipher;
    } cases[] = {
        {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "8ea2b7ca516745bfeafc49904b496089"},
    };
    for (const auto& c : cases) {
        AesDecryptor aes;
        Bytes key = hex(c.key), block = hex(c.cipher);
        ASSERT_TRUE(aes.setKey(key.data(), key.size()));
        aes.decryptEcb(block.data(), block.size());
        EXPECT_EQ(block, hex("00112233445566778899aabbccddeeff")) << c.key;
    }
    AesDecryptor aes;
    Bytes wrong(20, 1);
    EXPECT_FALSE(aes.setKey(wrong.data(), wrong.size()));
}

TEST(OfficeCrypto, CbcChainsEachBlockFromTheOneBefore) {
    const Bytes iv = hex("000102030405060708090a0b0c0d0e0f");
    const Bytes plain = hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
    struct Case {
        std::string key, cipher;
    } cases[] = {
        {"2b7e151628aed2a6abf7158809cf4f3c",
         "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"},
        {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
         "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"},
    };
    for (const auto& c : cases) {
        AesDecryptor aes;
        Bytes key = hex(c.key), data = hex(c.cipher);
        ASSERT_TRUE(aes.setKey(key.data(), key.size()));
        aes.decryptCbc(data.data(), data.size(), iv.data());
        EXPECT_EQ(data, plain) << c.key;
    }
}

TEST(OfficeCrypto, PasswordsAreHashedAsLittleEndianUtf16) {
    EXPECT_EQ(passwordBytes(u"A密"), (Bytes{0x41, 0x00, 0xC6, 0x5B}));
}

}  // namespace
}  // namespace qx::isam::office
