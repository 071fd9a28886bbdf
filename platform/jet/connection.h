// A connection to a working database in the Jet dialect: opened with an OLE DB style connection
// string, it runs one Jet statement per call and lists the user tables. Nothing here throws.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/jet/translator.h"
#include "platform/jet/types.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qx::isam {
class DriverRegistry;
class RowSource;
}  // namespace qx::isam

namespace qx::jet {

struct KeyProbes;

inline constexpr std::size_t kMaxStatementLength = 1 << 20;

// "Provider=...;Data Source=...;..." with its two keys that matter.
struct ConnectionString {
    std::string provider;
    std::filesystem::path dataSource;

    static std::optional<ConnectionString> parse(std::string_view text);
};

// A field of a record set or of a statement's result.
struct Field {
    std::string name;
    JetType type = JetType::Text;
    int size = 255;

    int typeCode() const { return adoTypeCode(type); }
    int definedSize() const { return adoDefinedSize(type, size); }
};

struct Outcome {
    bool ok = false;
    std::string message;  // the engine's message when not ok
    explicit operator bool() const { return ok; }
};

class Connection {
  public:
    explicit Connection(const isam::DriverRegistry* drivers = nullptr);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens an existing working database; a missing or foreign file fails.
    Outcome open(std::string_view connectionString);
    Outcome openFile(const std::filesystem::path& file);
    bool isOpen() const { return db_ != nullptr; }
    void close();

    // Runs exactly one Jet statement. A refused statement changes nothing. It runs through the
    // caller's long-work runner (work::runLong) and stops when the step is cancelled, with the
    // message work::kCancelled.
    Outcome execute(std::string_view jetSql);

    // Takes back what a cancelled step made: every table not in `keep` is dropped.
    void dropTablesBut(const std::vector<std::string>& keep);

    // A new table `name` (seq, r) holding the row numbers `rows` in order: statements join it on
    // a table's _rowid_ to take that table's rows in an order of the caller's choosing.
    Outcome createRowOrder(std::string_view name, std::span<const std::int64_t> rows);

    // The user tables, in the order they were created.
    std::vector<std::string> tables();
    // The fields of a table, or nothing when it does not exist.
    std::optional<std::vector<Field>> tableFields(std::string_view table);

    // For record sets: a prepared query with its fields. `rows` is filled when working out the
    // types needed the values already.
    struct Query {
        sqlite3_stmt* stmt = nullptr;
        std::vector<Field> fields;
        std::vector<std::vector<Value>> rows;
        bool materialized = false;
    };
    Outcome prepareQuery(std::string_view jetSelectOrTable, Query& out);

    sqlite3* handle() const { return db_; }

  private:
    struct InternalScope;
    static constexpr int kProgressSteps = 4096;
    static int onProgress(void*);
    Outcome executeHere(std::string_view jetSql);
    Outcome run(const Plan& plan);
    Outcome runSql(const std::string& sql);
    Outcome loadSources(const std::vector<ExternalSource>& sources);
    Outcome loadTable(const ExternalSource& source, const std::string& schema,
                      const std::string& name);
    Outcome declareColumns(const std::string& schema, const std::string& name,
                           const isam::RowSource& rows);
    Outcome redeclare(const std::string& schema, const std::string& name,
                      const std::vector<Field>& fields);
    Outcome inferTypes(sqlite3_stmt* stmt, const std::vector<int>& unknown,
                       const std::vector<TypeHint>& hints, std::vector<Field>& fields,
                       std::vector<std::vector<Value>>* rows, bool& materialized);
    Outcome copyExternal(const Plan& plan);
    void dropSources(const std::vector<ExternalSource>& sources);
    Outcome selectInto(const Plan& plan);
    Outcome selectIntoTable(const Plan& plan);
    Outcome alterColumn(const Plan& plan);
    // The fields of a statement's result. Fields whose type only the values tell are listed in
    // `unknown` when it is given; otherwise the statement is run once to learn them.
    Outcome describe(sqlite3_stmt* stmt, const std::vector<SelectItem>& items,
                     std::vector<Field>& fields, std::vector<std::vector<Value>>* rows,
                     bool& materialized, std::vector<int>* unknownOut = nullptr,
                     std::vector<TypeHint>* hintsOut = nullptr);
    Outcome engineError(const std::string& context = {}) const;
    // The engine's own ways to the same results (deferred_work.cpp). With QX_PLAIN_ENGINE set
    // every statement runs as SQLite plans it: the reference those ways are tested against.
    static bool plainEngine();
    bool textKeyColumn(const std::string& column, const std::string& from);
    Outcome applyProbes(Plan& plan, bool& all);
    // Fills `target` with the result of `sql` when it is a merge of identical rows the engine
    // groups in a hash (hash_group.cpp); `done` false leaves the statement to SQLite.
    Outcome insertGrouped(const std::string& sql, const std::string& target, bool& done);
    static bool mayUseIndexes(const Plan& plan, bool allProbed);
    // Whether SQLite's plan for the statement may search tables or indexes row by row (rather
    // than read each table once): the memory map serves such plans.
    static bool searchesTables(const Plan& plan, bool allProbed);
    // Reads the database through a memory map, or with reads of the file.
    void useMemoryMap(bool on);
    std::string deferredIndexSql(const std::string& sql) const;
    Outcome makeDeferredIndexes();

    static int authorize(void* self, int action, const char* a, const char* b, const char* db,
                         const char* trigger);

    sqlite3* db_ = nullptr;
    const isam::DriverRegistry* drivers_;
    int internal_ = 0;
    bool plain_;
    bool mapped_ = true;  // as opened
    std::unique_ptr<KeyProbes> probes_;
};

// Copies a working database into a new, compacted file (which must not exist yet).
Outcome compactDatabase(const std::filesystem::path& source, const std::filesystem::path& target);
// The pages of a database file that hold nothing (its free list); nullopt when it cannot be read.
std::optional<std::int64_t> freePages(const std::filesystem::path& file);

// Creates an empty working database at `file` (which must not exist yet).
Outcome createEmptyDatabase(const std::filesystem::path& file);

}  // namespace qx::jet
