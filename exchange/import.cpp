// Opening and reading source tables.
#include "exchange/import.h"

#include "exchange/source_kinds.h"
#include "platform/isam/access/access_driver.h"
#include "platform/isam/driver.h"
#include "platform/jet/connection.h"
#include "platform/jet/text.h"
#include "platform/os/encoding.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"
#include "platform/work/progress.h"
#include "store/structure.h"

namespace qx::exchange {

namespace fs = std::filesystem;

namespace {

// The column count as a number: leading blanks, then digits; anything else counts as 0. The
// count is kept to the 255 fields a table can have.
int columnCount(const std::string& text) {
    std::size_t i = text.find_first_not_of(' ');
    long n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        n = n * 10 + (text[i] - '0');
        if (n > 255) return 255;
    }
    return static_cast<int>(n);
}

// dir's schema.ini, whatever the case of its name.
fs::path schemaIniPath(const fs::path& dir) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (jet::asciiLower(os::utf8(entry.path().filename())) == "schema.ini") return entry.path();
    return dir / "schema.ini";
}

// A cancelled read leaves the working database as it was: no table, and no database when the
// read made it.
void undoRead(const store::Session& session, store::Flavour flavour, const std::string& table,
              bool created) {
    if (created) {
        os::removeIfExists(session.database.path(flavour));
        return;
    }
    work::Cleanup cleanup;
    jet::Connection connection;
    if (connection.open(session.database.connectionString(flavour)))
        connection.execute("DROP TABLE " + table);
}

// Runs one import statement into `table` on the working database of `flavour`; on success the
// database is compacted once the connection is closed.
bool runImport(const store::Session& session, store::Flavour flavour, const std::string& table,
               const std::string& sql) {
    std::string why;
    std::error_code ec;
    bool created = !fs::exists(session.database.path(flavour), ec);
    bool ok = session.database.createIfAbsent(flavour, &why);
    // The busy notice stays up through the compaction, which takes as long as a copy.
    store::BusyScope busy(session.busy);
    if (ok) {
        jet::Connection connection;
        jet::Outcome o = connection.open(session.database.connectionString(flavour));
        if (o) o = connection.execute(sql);
        ok = o.ok;
        why = o.message;
    }
    // A cancelled step is taken back while the notice is up: the notice's next piece of work
    // would start it afresh, and forget that this one was cancelled.
    auto takeBack = [&](bool undo) {
        if (undo) undoRead(session, flavour, table, created);
        busy.close();
        session.messages.show(work::kCancelled);
        return false;
    };
    if (session.busy.cancelled()) return takeBack(ok || created);
    if (!ok) {
        busy.close();
        // The design's message, and under it why: a damaged file, a sheet too wide, ...
        session.messages.show(why.empty() ? std::string(kReadFailed)
                                          : std::string(kReadFailed) + "\r\n\r\n" + why);
        return false;
    }
    // The table is read whatever becomes of the compaction, which leaves the file as it was
    // when it fails; a user short of disk space is told, since the next read will fail too.
    std::string compactWhy;
    if (session.database.compact(session.database.path(flavour), {}, false, &compactWhy) !=
        store::kCompactDone) {
        if (session.busy.cancelled()) return takeBack(true);
        busy.close();
        session.messages.show(std::string(kCompactFailed) + compactWhy);
    }
    return true;
}

}  // namespace

void describeSourceKind(const std::string& kind, ImportPage& page) {
    page.tableLabel.setVisible(false);
    page.table.setVisible(false);
    page.countLabel.setVisible(false);
    page.count.setVisible(false);
    page.delimiterLabel.setVisible(false);
    page.delimiter.setVisible(false);
    page.header.setVisible(false);
    if (hasTableChooser(kind)) {
        page.tableLabel.setVisible(true);
        page.table.setVisible(true);
        if (kind != "mdb") page.header.setVisible(true);
    } else if (kind == "csv" || kind == "txt") {
        page.countLabel.setVisible(true);
        page.count.setVisible(true);
        if (kind == "txt") {
            page.delimiterLabel.setVisible(true);
            page.delimiter.setVisible(true);
        }
    }
}

void openSourceFile(const store::Session& session, ImportPage& page) {
    ui::FileDialog& dialog = session.openDialog;
    std::string before = dialog.fileName();
    if (!dialog.showOpen()) return;
    std::string path = dialog.fileName();
    std::string kind = extensionOf(path);
    // A name typed into the dialog, a file given on the command line or dropped: no table can
    // be read from anything but the six kinds, so nothing changes, the flavour neither.
    if (!isSourceKind(kind)) {
        dialog.setFileName(before);
        session.messages.show(kNotASourceKind);
        return;
    }
    page.read.setEnabled(true);
    dialog.setFilter(kind == "xlsx" ? kXlsxFilter : kClassicFilter);
    auto addFile = [&] {
        std::string name = fileNameOf(path);
        page.files.addItem(name);
        page.files.setSelectedIndex(page.files.count() - 1);
        page.mirror.addItem(name);
        page.mirror.setSelectedIndex(page.mirror.count() - 1);
    };
    if (hasTableChooser(kind)) {
        describeSourceKind(kind, page);
        addFile();
        page.table.clear();
        // A file that cannot be listed, or lists nothing, says so now: the chooser would stay
        // empty without a word.
        std::string why;
        if (kind == "mdb") {
            for (const auto& name : isam::access::listAccessTables(os::pathFromUtf8(path), why))
                page.table.addItem(name);
        } else {
            listExcelSheets(session, path, page.table, &why);
        }
        page.table.setCurrentIndex(-1);
        if (!why.empty())
            session.messages.show(why);
        else if (page.table.count() == 0)
            session.messages.show(kNoTables);
    } else if (kind == "csv" || kind == "txt" || kind == "dbf") {
        describeSourceKind(kind, page);
        addFile();
    }
}

void listExcelSheets(const store::Session& session, const std::string& path, ui::ComboBox& out,
                     std::string* why) {
    store::BusyScope busy(session.busy);
    std::string driverName = extensionOf(path) == "xlsx" ? "Excel 12.0" : "Excel 8.0";
    isam::Driver* driver = isam::builtinDrivers().find(jet::asciiLower(driverName));
    if (!driver) return;
    std::vector<isam::TableName> names;
    std::string error;
    jet::ExternalClause clause = jet::ExternalClause::parse(driverName + ";DATABASE=" + path);
    if (!driver->listTables(clause, names, error)) {
        if (why) *why = error.empty() ? "无法读取工作簿“" + fileNameOf(path) + "”" : error;
        return;
    }
    for (const auto& t : names) {
        if (t.name == "sheet1$_" || t.name == "sheet1$Print_Titles" || t.name.empty()) continue;
        // The last character goes: the "$" that ends a sheet's name.
        std::size_t cut = t.name.size() - 1;
        while (cut > 0 && (static_cast<unsigned char>(t.name[cut]) & 0xC0) == 0x80) --cut;
        std::string shown = t.name.substr(0, cut);
        out.addItem(shown);
    }
}

std::vector<std::string> listAccessTables(const std::string& path) {
    return isam::access::listAccessTables(os::pathFromUtf8(path));
}

void listTableColumns(const store::Session& session, const std::string& table, ui::ListBox& out) {
    store::BusyScope busy(session.busy);
    out.clear();
    for (const auto& name : session.database.listColumns(table, session.flavour()))
        out.addItem(name);
}

void readSourceTable(const store::Session& session, ImportPage& page, bool headerRow) {
    std::string kind = extensionOf(session.openDialog.fileName());
    if (hasTableChooser(kind) && page.table.currentIndex() < 0) {
        // Nothing was read: the button stays, so that the sheet the message asks for can be
        // read without opening the file again.
        session.messages.show(kNoTableChosen);
        return;
    }
    if (isSourceKind(kind)) {
        int m = hasTableChooser(kind) ? page.table.currentIndex() + 1 : 1;
        std::string w = std::to_string(page.files.selectedIndex() + 1) + "_" + std::to_string(m);
        if (kind == "csv" || kind == "txt")
            importTextTable(session, w, page.count.text(), page.delimiter);
        else
            importTable(session, w, page.table, kind, headerRow);
        // A cancelled read is as if it had not been asked for.
        if (session.busy.cancelled()) return;
        listTableColumns(session, w, page.columns);
        page.tables.addItem(w);
        page.tables.setSelectedIndex(page.files.selectedIndex());
        store::showStructure(session, page.tables.selectedText(), page.structure);
    }
    page.read.setEnabled(false);
}

bool importTable(const store::Session& session, const std::string& table,
                 const ui::ComboBox& chooser, const std::string& kind, bool headerRow) {
    std::string path = session.openDialog.fileName();
    std::string name = hasTableChooser(kind) ? chooser.text() : std::string();
    return runImport(session, session.flavour(), table,
                     "SELECT * INTO " + table + sourceClause(kind, path, name, headerRow));
}

bool importTextTable(const store::Session& session, const std::string& table,
                     const std::string& count, const ui::EditBox& delimiter) {
    std::string path = session.openDialog.fileName();
    if (path.empty()) return false;
    std::string kind = extensionOf(path);
    if (delimiter.text().empty() && kind == "txt" && count != "1") {
        session.messages.show(kNoDelimiter);
        return false;
    }
    writeSchemaIni(session, fileNameOf(path), count, directoryOf(path), kind, delimiter);
    // A text file in the open dialog means the program is not in xlsx mode.
    return runImport(session, store::Flavour::Jet, table,
                     "SELECT * INTO " + table + sourceClause(kind, path, {}, false));
}

std::string schemaIniSection(const std::string& fileName, const std::string& count,
                             const std::string& extension, const std::string& delimiter) {
    std::string format =
        extension == "csv" || count == "1" ? "CSVDelimited" : "Delimited(" + delimiter + ")";
    std::string out = "[" + fileName +
                      "]\r\nColNameHeader=False\r\nCharacterSet=ANSI\r\nFormat=" + format + "\r\n";
    int n = columnCount(count);
    for (int i = 1; i <= n; ++i)
        out += "Col" + std::to_string(i) + "=F" + std::to_string(i) + " text\r\n";
    return out;
}

std::string mergeSchemaIni(const std::string& existing, const std::string& fileName,
                           const std::string& section) {
    // The file keeps its own encoding: the ANSI code page (GB18030 covers it) when it is written
    // in one, else UTF-8, which a new file uses too, so that a name is never read back as a
    // different one.
    bool bom = existing.rfind("\xEF\xBB\xBF", 0) == 0;
    bool utf8 = os::isValidUtf8(existing);
    std::string encoded = utf8 ? section : os::fromUtf8(section, "GB18030");

    std::string out;
    bool skipping = false, placed = false;
    std::size_t start = 0;
    while (start < existing.size()) {
        std::size_t nl = existing.find('\n', start);
        std::size_t end = nl == std::string::npos ? existing.size() : nl + 1;
        std::string line = existing.substr(start, end - start);
        start = end;
        std::string text = utf8 ? line : os::toUtf8(line, "GB18030");
        if (bom && out.empty() && text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
        std::size_t a = text.find_first_not_of(" \t\r\n");
        std::size_t b = text.find_last_not_of(" \t\r\n");
        bool header = a != std::string::npos && text[a] == '[' && text[b] == ']';
        if (header) {
            skipping =
                jet::compareNoCase(std::string_view(text).substr(a + 1, b - a - 1), fileName) == 0;
            if (skipping && !placed) {
                if (bom && out.empty()) out = "\xEF\xBB\xBF";
                out += encoded;
                placed = true;
            }
        }
        if (!skipping) out += line;
    }
    if (!placed) {
        if (!out.empty() && out.back() != '\n') out += "\r\n";
        out += encoded;
    }
    return out;
}

bool writeSchemaIni(const store::Session& session, const std::string& fileName,
                    const std::string& count, const std::string& directory,
                    const std::string& extension, const ui::EditBox& delimiter) {
    fs::path target = schemaIniPath(os::pathFromUtf8(directory));
    std::string existing;
    std::error_code ec;
    std::string why;
    // Written beside it and moved over it, so that a failure leaves the old file as it was.
    bool ok = (!fs::exists(target, ec) || os::readFile(target, existing)) &&
              os::writeFileReplacing(
                  target,
                  {mergeSchemaIni(existing, fileName,
                                  schemaIniSection(fileName, count, extension, delimiter.text()))},
                  why);
    if (!ok) session.messages.show(kSchemaIniFailed);
    return ok;
}

}  // namespace qx::exchange
