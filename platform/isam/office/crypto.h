// The hashes and the cipher Office files are encrypted with: MD5, SHA-1, SHA-256, SHA-384,
// SHA-512 and AES decryption (128, 192 and 256-bit keys). Plain C++, no system library: the
// same code runs wherever the readers run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qx::isam::office {

using Bytes = std::vector<std::uint8_t>;

Bytes md5(const Bytes& message);
Bytes sha1(const Bytes& message);
Bytes sha256(const Bytes& message);
Bytes sha384(const Bytes& message);
Bytes sha512(const Bytes& message);

// AES with one key, decrypting 16-byte blocks.
class AesDecryptor {
  public:
    // False when the key is not 16, 24 or 32 bytes long.
    bool setKey(const std::uint8_t* key, std::size_t size);
    void decryptBlock(const std::uint8_t* in, std::uint8_t* out) const;
    // Electronic codebook: each block on its own, in place; `size` a multiple of 16.
    void decryptEcb(std::uint8_t* data, std::size_t size) const;
    // Cipher block chaining from `iv` (16 bytes), in place; `size` a multiple of 16.
    void decryptCbc(std::uint8_t* data, std::size_t size, const std::uint8_t* iv) const;

  private:
    std::array<std::uint32_t, 60> roundKeys_{};
    int rounds_ = 0;
};

// The password spreadsheet programs use when a workbook is protected without one of its own;
// they open such files without asking.
inline const std::u16string kDefaultPassword = u"VelvetSweatshop";

// A password as the hashes take it: UTF-16, little-endian.
Bytes passwordBytes(const std::u16string& password);

}  // namespace qx::isam::office
