// qx_dbf_dump FILE: the dBASE reader's side of the corpus comparison (dbf_compare.py). Prints the
// columns (and the charset the reader took from the file, if any) and then each row as a line of
// JSON: null, {"n": number}, {"t": text}, {"b": hex}; a table that cannot be read prints {"error":
// why} and exits with 1.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/isam/dbase/dbase_file.h"
#include "platform/jet/types.h"

namespace {

std::string json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string cell(const qx::jet::Value& v) {
    using Kind = qx::jet::Value::Kind;
    switch (v.kind) {
        case Kind::Null:
            return "null";
        case Kind::Integer:
            return "{\"n\": " + std::to_string(v.integer) + "}";
        case Kind::Real:
            return v.real == v.real ? "{\"n\": " + qx::jet::formatDouble(v.real) + "}" : "null";
        case Kind::Text:
            return "{\"t\": " + json(v.text) + "}";
        case Kind::Blob: {
            std::string hex;
            static const char* digits = "0123456789abcdef";
            for (unsigned char c : v.text) {
                hex += digits[c >> 4];
                hex += digits[c & 15];
            }
            return "{\"b\": \"" + hex + "\"}";
        }
    }
    return "null";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qx_dbf_dump FILE\n");
        return 2;
    }
    std::string error;
    auto reader = qx::isam::dbase::DbfReader::open(argv[1], error);
    if (!reader) {
        std::printf("{\"error\": %s}\n", json(error).c_str());
        return 1;
    }
    std::string header = "{\"columns\": [";
    for (std::size_t k = 0; k < reader->columns().size(); ++k)
        header += (k ? ", " : "") + json(reader->columns()[k].name);
    std::printf("%s], \"charset\": %s}\n", header.c_str(), json(reader->charset()).c_str());
    std::vector<qx::jet::Value> row;
    while (reader->next(row)) {
        std::string line = "[";
        for (std::size_t k = 0; k < row.size(); ++k) line += (k ? ", " : "") + cell(row[k]);
        std::printf("%s]\n", line.c_str());
    }
    if (!reader->error().empty()) {
        std::printf("{\"error\": %s}\n", json(reader->error()).c_str());
        return 1;
    }
    return 0;
}
