// qx_mdb_reader: reads an Access file with libmdb and streams what it finds to standard output.
// It runs as a helper process so that a fault inside the library on a damaged file ends only
// the helper; the driver then reports the file as unreadable.
//
//   qx_mdb_reader list FILE          user tables, in catalogue order
//   qx_mdb_reader read FILE TABLE    the table's columns, then its rows
// glib first: mdbtools.h would include it inside its extern "C" block.
#include <glib.h>
#include <mdbtools.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/isam/helper_wire.h"
#include "platform/jet/types.h"

namespace wire = qx::isam::wire;
using qx::jet::JetType;
using wire::fail;
using wire::send;

namespace {

bool sameName(const char* a, const char* b) {
    // Jet finds tables without regard to case (ASCII letters here).
    for (; *a && *b; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z') x += 32;
        if (y >= 'A' && y <= 'Z') y += 32;
        if (x != y) return false;
    }
    return *a == *b;
}

constexpr const char* kDamaged = "无法读取 Access 文件：文件已损坏或不是 Access 文件";

// The user tables; false when the catalogue cannot be read (every sound file lists at least
// its own system tables there).
bool userTables(MdbHandle* mdb, std::vector<MdbCatalogEntry*>& out) {
    if (!mdb_read_catalog(mdb, MDB_ANY) || mdb->num_catalog == 0) return false;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || mdb_is_system_table(entry)) continue;
        out.push_back(entry);
    }
    return true;
}

struct ColumnPlan {
    MdbColumn* col;
    JetType type;
    int size;
    std::vector<char> buffer;
    int length = 0;
};

JetType jetType(int mdbType, int& size) {
    size = 255;
    switch (mdbType) {
        case MDB_BOOL:
            return JetType::Bit;
        case MDB_BYTE:
            return JetType::Byte;
        case MDB_INT:
            return JetType::Short;
        case MDB_LONGINT:
            return JetType::Long;
        case MDB_MONEY:
            return JetType::Currency;
        case MDB_FLOAT:
            return JetType::Single;
        case MDB_DOUBLE:
            return JetType::Double;
        case MDB_NUMERIC:
            return JetType::Double;
        case MDB_DATETIME:
            return JetType::DateTime;
        case MDB_TEXT:
            return JetType::Text;
        case MDB_MEMO:
            return JetType::Memo;
        default:
            return JetType::Binary;  // OLE, binary, replication ID, complex
    }
}

template <typename T>
T rawAt(const MdbHandle* mdb, const MdbColumn* col) {
    T v{};
    if (col->cur_value_start >= 0 &&
        static_cast<std::size_t>(col->cur_value_start) + sizeof(T) <= sizeof(mdb->pg_buf))
        std::memcpy(&v, mdb->pg_buf + col->cur_value_start, sizeof(T));
    return v;
}

void putValue(std::string& row, MdbHandle* mdb, ColumnPlan& c, int known) {
    MdbColumn* col = c.col;
    const char* text = c.buffer.data();
    // `known`: 1 Null, 0 not Null (from the row's null mask), -1 unknown. An empty text is not
    // Null; without the mask, an empty value has to be taken for one.
    bool null = col->col_type != MDB_BOOL && (known == 1 || (known < 0 && c.length == 0));
    if (null) {
        row += wire::kNull;
        return;
    }
    auto putInt = [&](std::int64_t v) {
        row += wire::kInteger;
        wire::putRaw(row, &v, sizeof v);
    };
    auto putReal = [&](double v) {
        row += wire::kReal;
        wire::putRaw(row, &v, sizeof v);
    };
    auto putBytes = [&](char tag, const char* p, std::size_t n) {
        row += tag;
        wire::putU32(row, static_cast<std::uint32_t>(n));
        row.append(p, n);
    };
    switch (col->col_type) {
        case MDB_BOOL:
            putInt(std::strcmp(text, "0") == 0 || text[0] == '\0' ? 0 : -1);
            return;
        case MDB_BYTE:
            putInt(rawAt<std::uint8_t>(mdb, col));
            return;
        case MDB_INT:
            putInt(rawAt<std::int16_t>(mdb, col));
            return;
        case MDB_LONGINT:
            putInt(rawAt<std::int32_t>(mdb, col));
            return;
        case MDB_MONEY:
            putReal(static_cast<double>(rawAt<std::int64_t>(mdb, col)) / 10000.0);
            return;
        case MDB_FLOAT:
            putReal(rawAt<float>(mdb, col));
            return;
        case MDB_DOUBLE:
            putReal(rawAt<double>(mdb, col));
            return;
        case MDB_DATETIME: {
            // The stored double, decoded here: the library's own formatting fails outside
            // the years it handles.
            auto dt = qx::jet::fromSerial(rawAt<double>(mdb, col));
            if (!dt) {
                row += wire::kNull;
                return;
            }
            std::string s = qx::jet::formatDateTime(*dt);
            putBytes(wire::kText, s.data(), s.size());
            return;
        }
        case MDB_NUMERIC:
            putReal(std::strtod(text, nullptr));
            return;
        case MDB_TEXT:
        case MDB_MEMO:
            putBytes(wire::kText, text, std::strlen(text));
            return;
        case MDB_OLE: {
            std::size_t size = 0;
            void* data = mdb_ole_read_full(mdb, col, &size);
            if (!data) {
                row += wire::kNull;
                return;
            }
            putBytes(wire::kBlob, static_cast<const char*>(data), size);
            free(data);
            return;
        }
        default:
            putBytes(wire::kBlob, text, std::strlen(text));
            return;
    }
}

// Which values of the row just fetched are Null (1) or not (0), read from the row's own null
// mask, as the library's row cracking reads it: the library's bound values tell an empty text
// from a Null no more than from each other. -1 where the row does not say.
void rowNulls(MdbHandle* mdb, MdbTableDef* table, std::vector<int>& nulls) {
    std::fill(nulls.begin(), nulls.end(), -1);
    int start = 0;
    std::size_t length = 0;
    if (table->cur_row == 0 ||
        mdb_find_row(mdb, static_cast<int>(table->cur_row) - 1, &start, &length) != 0)
        return;
    // The slot's flags (deleted, moved) are no part of the offset, as the library masks them.
    constexpr int kOffsetMask = 0x1fff;  // the row offset within its slot, below the flags
    auto offset = static_cast<std::size_t>(start & kOffsetMask);
    const auto page = static_cast<std::size_t>(mdb->fmt->pg_size);
    if (length < 2 || offset + length > page || offset + length > sizeof(mdb->pg_buf)) return;
    const auto* buf = reinterpret_cast<const unsigned char*>(mdb->pg_buf);
    std::size_t columns = IS_JET3(mdb) ? buf[offset] : buf[offset] | (buf[offset + 1] << 8);
    std::size_t maskBytes = (columns + 7) / 8;
    if (maskBytes + (IS_JET3(mdb) ? 1 : 2) >= length) return;
    const unsigned char* mask = buf + offset + length - maskBytes;
    for (unsigned k = 0; k < table->num_cols; ++k) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, k));
        auto n = static_cast<std::size_t>(col->col_num);
        // A column added after the row was written is Null in it.
        nulls[k] = n >= columns || n / 8 >= maskBytes ? 1 : (mask[n / 8] & (1u << (n % 8))) ? 0 : 1;
    }
}

int readTable(MdbHandle* mdb, const char* name) {
    MdbCatalogEntry* found = nullptr;
    std::vector<MdbCatalogEntry*> tables;
    if (!userTables(mdb, tables)) return fail(kDamaged);
    for (MdbCatalogEntry* e : tables)
        if (sameName(e->object_name, name)) found = e;
    if (!found) return fail(std::string("找不到表“") + name + "”");
    MdbTableDef* table = mdb_read_table(found);
    if (!table || !mdb_read_columns(table))
        return fail(std::string("无法读取表“") + name + "”的结构");
    constexpr std::size_t kBind = 1u << 20;
    mdb_set_bind_size(mdb, kBind);
    std::vector<ColumnPlan> plans;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        ColumnPlan c{col, JetType::Binary, 255, std::vector<char>(kBind + 1, '\0')};
        c.type = jetType(col->col_type, c.size);
        if (col->col_type == MDB_TEXT) {
            c.size = col->col_size / (IS_JET3(mdb) ? 1 : 2);
            if (c.size < 1 || c.size > 255) c.size = 255;
        }
        plans.push_back(std::move(c));
    }
    for (unsigned i = 0; i < plans.size(); ++i) {
        mdb_bind_column(table, static_cast<int>(i + 1), plans[i].buffer.data(), &plans[i].length);
        std::string payload(1, static_cast<char>(plans[i].type));
        std::uint16_t size = static_cast<std::uint16_t>(plans[i].size);
        wire::putRaw(payload, &size, sizeof size);
        payload += plans[i].col->name;
        send(wire::kColumn, payload);
    }
    mdb_rewind_table(table);
    std::string row;
    std::vector<int> nulls(table->num_cols);
    while (mdb_fetch_row(table)) {
        row.clear();
        rowNulls(mdb, table, nulls);
        for (std::size_t k = 0; k < plans.size(); ++k) {
            auto& c = plans[k];
            putValue(row, mdb, c, k < nulls.size() ? nulls[k] : -1);
            c.buffer[0] = '\0';
            c.length = 0;
        }
        send(wire::kRow, row);
    }
    mdb_free_tabledef(table);
    send(wire::kEnd, {});
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return fail("用法：qx_mdb_reader list|read FILE [TABLE]");
    std::string command = argv[1];
    MdbHandle* mdb = mdb_open(argv[2], MDB_NOFLAGS);
    if (!mdb) return fail(kDamaged);
    int rc = 0;
    if (command == "list") {
        std::vector<MdbCatalogEntry*> tables;
        if (!userTables(mdb, tables)) {
            rc = fail(kDamaged);
        } else {
            for (MdbCatalogEntry* e : tables) send(wire::kTable, e->object_name);
            send(wire::kEnd, {});
            std::fflush(stdout);
        }
    } else if (command == "read" && argc == 4) {
        rc = readTable(mdb, argv[3]);
    } else {
        rc = fail("未知的命令");
    }
    mdb_close(mdb);
    return rc;
}
