// Office Open XML files saved with an open password: a compound file whose EncryptionInfo stream
// says how its EncryptedPackage stream (the zip package) was encrypted. Two methods are in use:
// the standard one of Office 2007 (AES in ECB mode, a SHA-1 key) and the agile one of Office 2010
// and later (AES in CBC mode per 4096-byte segment, an XML description, SHA-1 to SHA-512).
#pragma once

#include <string>

namespace qx::isam::excel12 {

enum class Decryption { Done, WrongPassword, Unsupported, Damaged };

// Decrypts `package`, the EncryptedPackage stream, in place into the package's own bytes, as
// `info` (the EncryptionInfo stream) describes, with `password`. Unsupported: an encryption of
// another kind (another cipher, a certificate instead of a password, an outside provider).
Decryption decryptPackage(const std::string& info, std::string& package,
                          const std::u16string& password);

}  // namespace qx::isam::excel12
