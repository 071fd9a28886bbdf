// The messages a reading helper process (Access, .xls) sends its parent over a pipe: a kind
// byte, a 32-bit length and that many bytes. Shared by the helpers and the drivers.
#pragma once

#include <cstdint>
#include <cstdio>
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

enum Tag : char { kNull = 0, kInteger = 1, kReal = 2, kText = 3, kBlob = 4, kDate = 5, kBool = 6 };

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

// The helper's side: one message to standard output.
inline void send(char kind, const std::string& payload) {
    std::string head(1, kind);
    putU32(head, static_cast<std::uint32_t>(payload.size()));
    std::fwrite(head.data(), 1, head.size(), stdout);
    std::fwrite(payload.data(), 1, payload.size(), stdout);
}

// The helper's side: an error message, then the helper exits with status 1.
inline int fail(const std::string& message) {
    send(kError, message);
    std::fflush(stdout);
    return 1;
}

}  // namespace qx::isam::wire

#include <vector>

#include <filesystem>
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

// The parent's side of "list": runs the helper and collects the names it sends. `damaged` is
// the error when the helper fails without a message of its own.
bool listFromHelper(const std::filesystem::path& helper, const std::vector<std::string>& args,
                    std::vector<std::string>& names, const std::string& damaged,
                    std::string& error);

// Reading the helper's messages (the driver's side); false for a malformed payload.
bool parseColumn(const std::string& payload, jet::ColumnDef& column);
bool decodeRow(const std::string& payload, std::size_t columns, std::vector<jet::Value>& row);

}  // namespace qx::isam::wire
