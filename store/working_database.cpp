// The working database's files.
#include "store/working_database.h"
#include "platform/os/paths.h"

#include "platform/jet/connection.h"
#include "platform/jet/recordset.h"
#include "platform/jet/text.h"
#include "platform/os/files.h"

namespace qx::store {

namespace fs = std::filesystem;

namespace {
constexpr const char* kJetFile = "结果表.mdb";
constexpr const char* kAceFile = "结果表.accdb";
constexpr const char* kJetLock = "结果表.ldb";
constexpr const char* kAceLock = "结果表.laccdb";
}  // namespace

std::string lowerExtension(std::string_view path) {
    std::size_t dot = path.rfind('.');
    return jet::asciiLower(dot == std::string_view::npos ? path : path.substr(dot + 1));
}

Flavour flavourForExtension(std::string_view extension) {
    return extension == "xlsx" ? Flavour::Ace : Flavour::Jet;
}

WorkingDatabase::WorkingDatabase(fs::path programDirectory) : dir_(std::move(programDirectory)) {}

fs::path WorkingDatabase::path(Flavour flavour) const {
    return dir_ / os::pathFromUtf8(flavour == Flavour::Ace ? kAceFile : kJetFile);
}

fs::path WorkingDatabase::lockPath(Flavour flavour) const {
    return dir_ / os::pathFromUtf8(flavour == Flavour::Ace ? kAceLock : kJetLock);
}

std::string WorkingDatabase::connectionString(Flavour flavour) const {
    std::string provider =
        flavour == Flavour::Ace ? "Microsoft.ACE.OLEDB.12.0" : "Microsoft.Jet.OLEDB.4.0";
    return "Provider=" + provider + ";Data Source=" + os::utf8(path(flavour)) +
           ";Persist Security Info=False";
}

namespace {
// A database file that was being built, with the journal the engine leaves beside it when a
// write failed (a full disk).
void removeUnfinished(const fs::path& file) {
    os::removeIfExists(file);
    os::removeIfExists(fs::path(file) += "-journal");
}
}  // namespace

bool WorkingDatabase::createIfAbsent(Flavour flavour, std::string* error) const {
    fs::path target = path(flavour);
    std::error_code ec;
    if (fs::exists(target, ec)) return true;
    // Built beside the target and moved into place, so no half-written database is ever seen.
    fs::path temp = os::siblingTempPath(target);
    jet::Outcome made = jet::createEmptyDatabase(temp);
    std::string why;
    if (made.ok && os::replaceFile(temp, target, why)) return true;
    removeUnfinished(temp);
    if (error) *error = made.ok ? why : made.message;
    return false;
}

std::vector<std::string> WorkingDatabase::listColumns(std::string_view table,
                                                      Flavour flavour) const {
    std::vector<std::string> names;
    jet::Connection connection;
    if (!connection.open(connectionString(flavour))) return names;
    jet::Recordset rs;
    if (!rs.open(connection, table)) return names;
    for (int i = 0; i < rs.fieldCount(); ++i) names.push_back(rs.field(i).name);
    return names;
}

std::vector<std::string> WorkingDatabase::listTables(Flavour flavour) const {
    jet::Connection connection;
    if (!connection.open(connectionString(flavour))) return {};
    return connection.tables();
}

int WorkingDatabase::compact(const fs::path& database, const std::string&, bool,
                             std::string* why) const {
    // A file without free pages (a read into a fresh database) is as compact as a copy of it
    // would be: the copy, as long as a copy of the whole table, is saved.
    if (jet::freePages(database) == std::optional<std::int64_t>(0)) return kCompactDone;
    fs::path temp = os::siblingTempPath(database);
    jet::Outcome copied = jet::compactDatabase(database, temp);
    if (!copied.ok) {
        removeUnfinished(temp);
        if (why) *why = copied.message;
        return kCompactEngineError;
    }
    std::string reason;
    if (!os::replaceFile(temp, database, reason)) {
        os::removeIfExists(temp);
        if (why) *why = reason;
        return kCompactNotReplaced;
    }
    return kCompactDone;
}

void WorkingDatabase::deleteFiles() const {
    for (Flavour f : {Flavour::Jet, Flavour::Ace}) {
        fs::path db = path(f);
        os::removeIfExists(db);
        os::removeIfExists(lockPath(f));
        for (const char* sidecar : {"-journal", "-wal", "-shm"})
            os::removeIfExists(fs::path(db) += sidecar);
    }
}

}  // namespace qx::store
