// Grouping, de-duplication and filters on the current table.
#include "single/single_table.h"

#include "compare/comparisons.h"
#include "exchange/columns.h"
#include "exchange/import.h"
#include "exchange/save_frame.h"
#include "exchange/source_kinds.h"
#include "platform/jet/text.h"
#include "store/type_vocabulary.h"

namespace qx::single {

namespace {

std::string currentTable(const SingleTablePage& page) {
    return page.tables.selectedText();
}

// The special-character check of the dialogs, with its message.
bool refusesSpecial(const store::Session& session, const std::string& names) {
    if (!store::hasSpecialCharacter(names)) return false;
    session.messages.show(kSpecialSetting);
    return true;
}

// A number as the filters compare with: optional sign, digits, at most one point.
bool isNumber(const std::string& text) {
    std::size_t i = text.find_first_not_of(' ');
    std::size_t end = text.find_last_not_of(' ');
    if (i == std::string::npos) return false;
    if (text[i] == '-' || text[i] == '+') ++i;
    bool digits = false, point = false;
    for (; i <= end; ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            digits = true;
        else if (text[i] == '.' && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

// Drop of the old result, the save dialog, the statement, the export and the closing message.
void runToFile(const store::Session& session, const SingleTablePage& page,
               const std::string& result, const std::string& statement, const char* closing) {
    compare::dropResultTable(session, result, page.files);
    auto target = exchange::chooseSaveTarget(session);
    if (!target) return;
    exchange::SaveRun run(session, *target);
    run.build(statement);
    run.finish(result, exchange::kSingleStyle, closing);
}

bool confirmFilter(const store::Session& session, const SingleTablePage& page,
                   const ui::ListBox& column, const ui::ComboBox& op, const ui::EditBox& number,
                   bool length) {
    if (column.selectedIndex() < 0) {
        session.messages.show(length ? "还没有选择要指定条件的列" : "还没有选择要指定重复条件的列");
        return false;
    }
    if (op.currentIndex() < 0) {
        session.messages.show(length ? "还没有选择需要的条件" : "还没有选择重复的条件");
        return false;
    }
    if (number.text().empty()) {
        session.messages.show(length ? "还没有输入长度数值" : "还没有输入相同内容的条数");
        return false;
    }
    std::string c = column.selectedText();
    if (refusesSpecial(session, c)) return false;
    std::string n = number.text();
    if (!isNumber(n)) {
        // Written into the statement as it stands, anything but a number would select by
        // something else than the user asked for.
        session.messages.show(std::string(exchange::kOperationFailed) + "“" + n + "”不是数字");
        return true;
    }
    std::string t = currentTable(page);
    if (length)
        runToFile(session, page, "指定长度条件数据",
                  "SELECT * INTO 指定长度条件数据 FROM " + t + " WHERE LEN(" + c + ") " +
                      op.text() + " " + n,
                  kSaved);
    else
        runToFile(session, page, "重复指定条件次数数据",
                  "SELECT * INTO 重复指定条件次数数据 FROM " + t + " WHERE ((" + c +
                      ") IN ( SELECT " + c + " FROM " + t + " GROUP BY " + c + " HAVING Count(*) " +
                      op.text() + " " + n + "))",
                  kSaved);
    return true;
}

}  // namespace

void fillDialogColumns(const store::Session& session, const SingleTablePage& page,
                       ui::ListBox& out) {
    int i = page.statusFiles.selectedIndex();
    std::string table = i >= 0 && i < page.tables.count() ? page.tables.item(i) : std::string();
    exchange::listTableColumns(session, table, out);
}

bool confirmMergeCount(const store::Session& session, const SingleTablePage& page,
                       const ui::ListBox& column) {
    if (column.selectedIndex() < 0) {
        session.messages.show(kNoMergeColumn);
        return false;
    }
    std::string c = column.selectedText();
    if (refusesSpecial(session, c)) return false;
    runToFile(session, page, "合并相同行统计笔数",
              "SELECT " + c + ", Count(*) AS 笔数 INTO 合并相同行统计笔数 FROM " +
                  currentTable(page) + " GROUP BY " + c,
              kSaved);
    return true;
}

bool confirmMergeSum(const store::Session& session, const SingleTablePage& page,
                     const ui::ListBox& group, const ui::ListBox& summed) {
    if (group.selectedIndex() < 0) {
        session.messages.show(kNoMergeColumn);
        return false;
    }
    if (summed.selectedIndex() < 0) {
        session.messages.show(kNoSumColumn);
        return false;
    }
    std::string m = group.selectedText(), v = summed.selectedText();
    if (refusesSpecial(session, m + v)) return false;
    int row = summed.selectedIndex() + 1;
    std::string type = row < page.structure.rows() ? page.structure.text(row, 1) : std::string();
    if (type == "文本" || type == "备注" || type == "是/否" || type == "OLE 对象") {
        session.messages.show(kSumTypeMessage);
        return false;
    }
    runToFile(session, page, "合并相同行值相加",
              "SELECT " + m + ", Sum(" + v +
                  ") AS 合计 , Count(*) AS 笔数 INTO 合并相同行值相加 FROM " + currentTable(page) +
                  " GROUP BY " + m,
              kSaved);
    return true;
}

std::string numberingColumn(const std::vector<std::string>& columns) {
    for (int k = 0;; ++k) {
        std::string name = k == 0 ? "id" : "id" + std::to_string(k);
        bool taken = false;
        for (const auto& c : columns) taken = taken || jet::compareNoCase(c, name) == 0;
        if (!taken) return name;
    }
}

bool confirmDedupByColumn(const store::Session& session, const SingleTablePage& page,
                          const ui::ListBox& column) {
    if (column.selectedIndex() < 0) {
        session.messages.show(kNoChosenColumn);
        return false;
    }
    std::string c = column.selectedText();
    if (refusesSpecial(session, c)) return false;
    compare::dropResultTable(session, "临时1", page.files);
    compare::dropResultTable(session, "去所选重复结果", page.files);
    auto target = exchange::chooseSaveTarget(session);
    if (!target) return true;
    exchange::SaveRun run(session, *target);
    std::string t = currentTable(page);
    // The rows are numbered in a column of their own: "id" unless the table has one already.
    std::string id = numberingColumn(session.database.listColumns(
        t, target->xlsxMode ? store::Flavour::Ace : store::Flavour::Jet));
    std::string idRef = id == "id" ? "ID" : id;
    bool numbered = run.build("alter table " + t + " add " + id + " int identity(1,1)");
    run.build("select min(" + idRef + ") as ID into 临时1 from " + t + " group by " + c);
    run.build("select * into 去所选重复结果 from " + t + " where " + idRef +
              " in(select ID from 临时1)");
    run.build("alter table 去所选重复结果 drop column " + id);
    // The numbering leaves the table whatever happened after it was added.
    if (numbered) run.connection().execute("alter table " + t + " drop column " + id);
    run.finish("去所选重复结果", exchange::kSingleStyle, kDeleted);
    return true;
}

bool confirmLengthFilter(const store::Session& session, const SingleTablePage& page,
                         const ui::ListBox& column, const ui::ComboBox& op,
                         const ui::EditBox& number) {
    return confirmFilter(session, page, column, op, number, true);
}

bool confirmRepeatFilter(const store::Session& session, const SingleTablePage& page,
                         const ui::ListBox& column, const ui::ComboBox& op,
                         const ui::EditBox& number) {
    return confirmFilter(session, page, column, op, number, false);
}

void removeFullDuplicates(const store::Session& session, const SingleTablePage& page) {
    if (!exchange::pageGuard(session, page.read, page.tables)) return;
    auto target = exchange::chooseSaveTarget(session);
    if (!target) return;
    exchange::SaveRun run(session, *target);
    std::string t = currentTable(page);
    run.finish(
        [&](const std::string& kind, const std::string& path) -> std::string {
            if (kind == "xlsx" || kind == "xls")
                return std::string("select distinct * into [Excel ") +
                       (kind == "xls" ? "8.0" : "12.0") + ";DATABASE=" + path +
                       "].[去完全重复] from " + t;
            if (kind == "mdb")
                return "SELECT distinct * INTO   [;DATABASE=" + path + "].去完全重复 FROM " + t;
            if (kind == "csv" || kind == "txt")
                return "SELECT distinct * INTO [Text;DATABASE=" + exchange::directoryOf(path) +
                       "]." + exchange::fileNameOf(path) + " FROM " + t;
            return "SELECT distinct * INTO [Dbase III;DATABASE=" +
                   exchange::directoryWithoutSeparator(path) + "]." + exchange::fileNameOf(path) +
                   " FROM " + t;
        },
        kDeleted);
}

}  // namespace qx::single
