// Workbooks with an open password: BIFF8 streams encrypted with RC4, in the standard form (MD5)
// and the CryptoAPI form (SHA-1), or XOR-obfuscated, and XOR-obfuscated BIFF5 streams. Spreadsheet
// programs open those whose password is the default one without asking; so does the reader.
#pragma once

#include <cstddef>
#include <string>

namespace qx::isam::excel8 {

// Decrypts `stream` in place: the records after its FILEPASS record at `filepassAt` (the offset
// of the record's header). False when the method is not one of these or the password is wrong.
bool decryptBiff8(std::string& stream, std::size_t filepassAt, const std::u16string& password);
// The same for a BIFF5 (Excel 5/95) stream, whose FILEPASS holds only the XOR obfuscation's key
// and verifier.
bool decryptBiff5(std::string& stream, std::size_t filepassAt, const std::u16string& password);

}  // namespace qx::isam::excel8
