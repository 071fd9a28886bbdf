// Decoding what the reading helpers send.
#include "platform/isam/helper_wire.h"

namespace qx::isam::wire {

using jet::ColumnDef;
using jet::Value;

bool receive(os::ChildProcess& child, Message& m, int idleSeconds) {
    char head[5];
    if (!child.read(head, 5, idleSeconds)) return false;
    std::uint32_t n = getU32(head + 1);
    if (n > kMaxMessage) return false;
    m.kind = head[0];
    m.payload.resize(n);
    return n == 0 || child.read(m.payload.data(), n, idleSeconds);
}

bool listFromHelper(const std::filesystem::path& helper, const std::vector<std::string>& args,
                    std::vector<std::string>& names, const std::string& damaged,
                    std::string& error) {
    // The helper has the file's catalogue already; its answers come quickly or not at all.
    constexpr int kIdleSeconds = 60, kExitGraceMs = 10000;
    auto child = os::ChildProcess::start(helper, args, error);
    if (!child) return false;
    Message m;
    while (receive(*child, m, kIdleSeconds)) {
        if (m.kind == kTable) names.push_back(m.payload);
        if (m.kind == kError) {
            error = m.payload;
            child->finish();
            return false;
        }
        if (m.kind == kEnd) {
            if (child->finish(kExitGraceMs)) return true;
            break;
        }
    }
    child->finish();
    error = damaged;
    return false;
}

bool parseColumn(const std::string& payload, ColumnDef& c) {
    if (payload.size() < 3) return false;
    auto type = static_cast<unsigned char>(payload[0]);
    if (type > static_cast<unsigned char>(jet::JetType::Binary)) return false;
    c.type = static_cast<jet::JetType>(type);
    std::uint16_t size;
    std::memcpy(&size, payload.data() + 1, 2);
    c.size = size;
    c.name = payload.substr(3);
    return true;
}

bool decodeRow(const std::string& p, std::size_t columns, std::vector<Value>& row) {
    row.assign(columns, Value::null());
    std::size_t at = 0;
    for (auto& v : row) {
        if (at >= p.size()) return false;
        char tag = p[at++];
        if (tag == kNull) continue;
        if (tag == kInteger || tag == kReal) {
            if (at + 8 > p.size()) return false;
            if (tag == kInteger) {
                std::int64_t i;
                std::memcpy(&i, p.data() + at, 8);
                v = Value::ofInteger(i);
            } else {
                double d;
                std::memcpy(&d, p.data() + at, 8);
                v = Value::ofReal(d);
            }
            at += 8;
        } else if (tag == kText || tag == kBlob) {
            if (at + 4 > p.size()) return false;
            std::uint32_t n = getU32(p.data() + at);
            at += 4;
            if (n > p.size() - at) return false;
            std::string bytes = p.substr(at, n);
            at += n;
            v = tag == kText ? Value::ofText(std::move(bytes)) : Value::ofBlob(std::move(bytes));
        } else {
            return false;
        }
    }
    return at == p.size();
}

}  // namespace qx::isam::wire
