// The messages a reading helper process (Access, .xls) sends its parent over a pipe: a kind
// byte, a 32-bit length and that many bytes. Shared by the helpers and the drivers.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace qx::isam::wire {

enum Kind : char {
    kTable = 'T',   // a table name (listing)
    kColumn = 'C',  // type byte, size (uint16), name
    kRow = 'R',     // per column: tag byte, then int64 / double / uint32 length + bytes
    kError = 'E',   // a message
    kEnd = 'Z',     // all sent
};

enum Tag : char { kNull = 0, kInteger = 1, kReal = 2, kText = 3, kBlob = 4, kDate = 5 };

// Column types on the wire: the engine's JetType values.
inline constexpr std::uint32_t kMaxMessage = 256u << 20;

inline void putU32(std::string& out, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) out += static_cast<char>(v >> (8 * k));
}
inline std::uint32_t getU32(const char* p) {
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k)
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(p[k])) << (8 * k);
    return v;
}
inline void putRaw(std::string& out, const void* p, std::size_t n) {
    out.append(static_cast<const char*>(p), n);
}

}  // namespace qx::isam::wire

#include <vector>

#include "platform/jet/types.h"
#include "platform/os/process.h"

namespace qx::isam::wire {

struct Message {
    char kind = 0;
    std::string payload;
};

// Reads one message; false at the end of the output, on a malformed header, or when the helper
// stays silent for `idleSeconds`.
bool receive(os::ChildProcess& child, Message& m, int idleSeconds);

// Reading the helper's messages (the driver's side); false for a malformed payload.
bool parseColumn(const std::string& payload, jet::ColumnDef& column);
bool decodeRow(const std::string& payload, std::size_t columns, std::vector<jet::Value>& row);

}  // namespace qx::isam::wire
