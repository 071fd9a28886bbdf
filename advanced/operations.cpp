// The advanced operations.
#include "advanced/operations.h"

#include "advanced/condition_builder.h"
#include "compare/comparisons.h"
#include "exchange/source_kinds.h"
#include "platform/work/progress.h"

namespace qx::advanced {

namespace {

std::vector<std::string> tableNames(const AdvancedPage& page) {
    std::vector<std::string> out;
    for (int i = 0; i < page.import.tables.count(); ++i) out.push_back(page.import.tables.item(i));
    return out;
}

// Each table gets its row numbers and their index; both may be there from an earlier run.
void addRowNumbers(exchange::SaveRun& run, const std::vector<std::string>& tables) {
    for (const auto& t : tables)
        run.quietly("alter table " + t + " add access_临时id int identity(1,1)");
    for (std::size_t k = 0; k < tables.size(); ++k)
        run.quietly("create index idx" + std::to_string(k + 1) + " on " + tables[k] +
                    "(access_临时id)");
}

void removeRowNumbers(exchange::SaveRun& run, const std::vector<std::string>& tables) {
    for (std::size_t k = 0; k < tables.size(); ++k) {
        run.connection().execute("DROP INDEX idx" + std::to_string(k + 1) + " ON " + tables[k]);
        run.connection().execute("alter table " + tables[k] + " drop column access_临时id");
    }
}

// The copies "复制T" that bring every table back after an update or a delete. Only tables
// whose copy was made are restored from it, so a failed copy never costs a table.
class Backup {
  public:
    Backup(exchange::SaveRun& run, const std::vector<std::string>& tables) : run_(run) {
        for (const auto& t : tables) {
            // A copy left by an interrupted run is the data as read: it serves as it is.
            bool copied = run.connection().execute("SELECT * INTO 复制" + t + " FROM " + t).ok;
            auto fields = run.connection().tableFields("复制" + t);
            if (copied || fields)
                saved_.push_back(t);
            else
                run.fail("不能备份表“" + t + "”");
        }
    }
    void restore() {
        // Also, and above all, after a cancel: the tables go back to what they were.
        work::Cleanup cleanup;
        jet::Connection& c = run_.connection();
        for (const auto& t : saved_) {
            c.execute("DROP TABLE " + t);
            if (c.execute("SELECT * INTO " + t + " FROM 复制" + t).ok)
                c.execute("DROP TABLE 复制" + t);
            else
                run_.fail("不能从“复制" + t + "”恢复表“" + t + "”，它的数据仍在“复制" + t + "”中");
        }
    }

  private:
    exchange::SaveRun& run_;
    std::vector<std::string> saved_;
};

}  // namespace

std::string queryFromPart(const std::vector<std::string>& tables) {
    if (tables.size() == 1) return tables[0];
    std::string out(tables.size() - 1, '(');
    out += tables[0] + " ";
    for (std::size_t k = 0; k + 1 < tables.size(); ++k)
        out += " left join " + tables[k + 1] + " on [" + tables[k] + "].access_临时id = [" +
               tables[k + 1] + "].access_临时id)";
    return out;
}

std::string setPart(const ui::Grid& update) {
    std::string out = " set ";
    for (int r = 1; r < update.rows(); ++r) {
        if (r > 1) out += update.text(r, 0);
        out += update.text(r, 1) + update.text(r, 2) + update.text(r, 3);
    }
    return out;
}

bool conditionsSpanTables(const ui::Grid& condition, const std::vector<std::string>& tables) {
    for (const auto& t : tables)
        for (int r = 1; r < condition.rows(); ++r)
            if (condition.text(r, 1) != t && condition.text(r, 4).find(t) != std::string::npos)
                return true;
    return false;
}

void exportLastResult(const store::Session& session, AdvancedKind kind, AdvancedPage& page) {
    if (page.import.tables.count() == 0) {
        session.messages.show(kNothingRead);
        return;
    }
    bool xlsx = session.flavour() == store::Flavour::Ace;
    session.saveDialog.setFilter(xlsx ? exchange::kXlsxFilter : exchange::kClassicFilter);
    if (!session.saveDialog.showSave()) return;
    std::string path = session.saveDialog.fileName();
    exchange::SaveTarget target{path, exchange::extensionOf(path) == "xlsx"};
    switch (kind) {
        case AdvancedKind::Query:
            return runAdvancedQuery(session, page, target);
        case AdvancedKind::Update:
            return runAdvancedUpdate(session, page, target);
        case AdvancedKind::Delete:
            return runAdvancedDelete(session, page, target);
    }
}

void runAdvancedQuery(const store::Session& session, AdvancedPage& page,
                      const exchange::SaveTarget& target) {
    compare::dropResultTable(session, "高级查询", page.import.files);
    std::string select = page.results ? compare::buildSelectList(*page.results) : std::string();
    auto tables = tableNames(page);
    std::string where = wherePart(page.condition, page.skip);
    exchange::SaveRun run(session, target);
    addRowNumbers(run, tables);
    run.build("select " + select + " into 高级查询 from " + queryFromPart(tables) + where);
    run.quietly("alter table 高级查询 drop column access_临时id");
    run.finish("高级查询", exchange::kQueryStyle, kSavedDone);
}

void runAdvancedUpdate(const store::Session& session, AdvancedPage& page,
                       const exchange::SaveTarget& target) {
    auto tables = tableNames(page);
    std::string head = "update ";
    for (std::size_t k = 0; k < tables.size(); ++k) head += (k ? "," : "") + tables[k];
    std::string set = page.update ? setPart(*page.update) : std::string(" set ");
    std::string where = wherePart(page.condition, page.skip);
    std::string saved = page.update ? page.update->text(1, 0) : std::string();
    exchange::SaveRun run(session, target);
    if (!run.failed()) {
        Backup backup(run, tables);
        addRowNumbers(run, tables);
        run.build(head + set + where);
        removeRowNumbers(run, tables);
        run.exportResult(saved, exchange::kChangeStyle);
        backup.restore();
    }
    run.conclude(kUpdateDone);
}

void runAdvancedDelete(const store::Session& session, AdvancedPage& page,
                       const exchange::SaveTarget& target) {
    auto tables = tableNames(page);
    std::string d = page.target ? page.target->text(1, 0) : std::string();
    std::string from = d;
    if (conditionsSpanTables(page.condition, tables)) {
        from.clear();
        for (std::size_t k = 0; k < tables.size(); ++k) from += (k ? "," : "") + tables[k];
    }
    std::string where = wherePart(page.condition, page.skip);
    exchange::SaveRun run(session, target);
    if (!run.failed()) {
        Backup backup(run, tables);
        addRowNumbers(run, tables);
        run.build("delete " + d + ".* from " + from + where);
        removeRowNumbers(run, tables);
        run.exportResult(d, exchange::kChangeStyle);
        backup.restore();
    }
    run.conclude(kSavedDone);
}

void beforeEditAssignment(ui::Grid& update, const ui::ListBox& tables, int row, int col,
                          bool& cancel) {
    if (col == 0 && row == 1) {
        update.setColComboList(0, editableList(tables));
        update.setText(1, 2, "=");
    } else if (col == 0 || col == 2) {
        cancel = true;
    }
}

void addAssignmentRow(ui::Grid& update) {
    update.setRows(update.rows() + 1);
    update.setText(update.rows() - 1, 0, ",");
    update.setText(update.rows() - 1, 2, "=");
}

void beforeEditTarget(ui::Grid& target, const ui::ListBox& tables, int row, int col) {
    if (row == 1 && col == 0) target.setColComboList(0, editableList(tables));
}

}  // namespace qx::advanced
