// The save frame and the export of a result table.
#include "exchange/save_frame.h"

#include "exchange/source_kinds.h"
#include "platform/isam/access/jet4_writer.h"
#include "platform/isam/excel12/xlsx_writer.h"
#include "platform/os/files.h"
#include "platform/os/paths.h"
#include "platform/work/progress.h"

namespace qx::exchange {

std::string SaveTarget::kind() const {
    if (xlsxMode) return "xlsx";
    std::string e = extensionOf(path);
    for (const char* k : {"xls", "csv", "txt", "mdb", "dbf"})
        if (e == k) return e;
    return {};
}

std::optional<SaveTarget> chooseSaveTarget(const store::Session& session, const char* filter) {
    bool xlsx = session.flavour() == store::Flavour::Ace;
    session.saveDialog.setFilter(filter ? filter : xlsx ? kResultXlsxFilter : kResultFilter);
    if (!session.saveDialog.showSave()) return std::nullopt;
    return SaveTarget{session.saveDialog.fileName(), xlsx};
}

std::string exportStatement(const ExportStyle& style, const std::string& kind,
                            const std::string& path, const std::string& table) {
    if (kind == "xlsx" || kind == "xls")
        return std::string(style.excelInto) + "[Excel " + (kind == "xls" ? "8.0" : "12.0") +
               ";DATABASE=" + path + "].[" + table + "] FROM " + table;
    if (kind == "csv" || kind == "txt")
        return "SELECT * INTO [Text;DATABASE=" + directoryOf(path) + "]." + fileNameOf(path) +
               style.textFrom + table;
    if (kind == "mdb")
        return std::string(style.mdbInto) + "[;DATABASE=" + path + "]." + table + style.mdbFrom +
               table;
    if (kind == "dbf")
        return std::string("SELECT * INTO [") + style.dbfDriver +
               ";DATABASE=" + directoryWithoutSeparator(path) + "]." + fileNameOf(path) +
               style.dbfFrom + table;
    return {};
}

SaveRun::SaveRun(const store::Session& session, SaveTarget target)
    : session_(session), target_(std::move(target)), busy_(session.busy) {
    store::Flavour flavour = target_.xlsxMode ? store::Flavour::Ace : store::Flavour::Jet;
    // Only a read creates the working database; an operation works in the one there is.
    jet::Outcome opened = connection_.open(session.database.connectionString(flavour));
    if (!opened) fail(opened.message);
    // A cancelled run takes back the tables it made.
    if (opened) before_ = connection_.tables();
}

SaveRun::~SaveRun() {
    endUnit();
}

bool SaveRun::cancelled() const {
    return session_.busy.cancelled() || work::stopRequested();
}

void SaveRun::endUnit() {
    if (!connection_.isOpen() || undone_ || !cancelled()) return;
    undone_ = true;
    connection_.dropTablesBut(before_);
}

bool SaveRun::build(const std::string& sql) {
    if (failed()) return false;
    jet::Outcome o = connection_.execute(sql);
    if (!o) fail(o.message);
    return o.ok;
}

void SaveRun::quietly(const std::string& sql) {
    if (!failed()) connection_.execute(sql);
}

void SaveRun::fail(const std::string& reason) {
    if (failure_.empty()) failure_ = reason.empty() ? "数据库引擎拒绝了该语句" : reason;
}

void SaveRun::finish(const std::string& table, const ExportStyle& style, const char* closing) {
    exportResult(table, style);
    conclude(closing);
}

void SaveRun::finish(
    const std::function<std::string(const std::string& kind, const std::string& path)>& statement,
    const char* closing) {
    exportResult(statement);
    conclude(closing);
}

void SaveRun::exportResult(const std::string& table, const ExportStyle& style) {
    exportResult([&](const std::string& kind, const std::string& path) {
        return exportStatement(style, kind, path, table);
    });
}

void SaveRun::exportResult(
    const std::function<std::string(const std::string& kind, const std::string& path)>& statement) {
    std::string kind = target_.kind();
    if (failed() || kind.empty()) return;
    // Workbooks and databases are built in a file beside the target and moved over it when
    // complete; text and dBASE files are replaced in one step by their drivers.
    bool staged = kind == "xlsx" || kind == "xls" || kind == "mdb";
    std::filesystem::path target = os::pathFromUtf8(target_.path);
    std::filesystem::path stage = staged ? os::siblingTempPath(target) : target;
    std::string why;
    if (kind == "xlsx" && !isam::excel12::writeTemplate(stage, why)) fail(why);
    if (kind == "mdb" && !isam::access::writeEmptyDatabase(stage, why)) fail(why);
    if (!failed()) build(statement(kind, staged ? os::utf8(stage) : target_.path));
    if (staged && !failed() && !os::replaceFile(stage, target, why)) fail(why);
    if (staged) os::removeIfExists(stage);
    // A message names the file the user chose, not the one it was built in.
    std::string staging = os::utf8(stage);
    for (std::size_t at; staged && (at = failure_.find(staging)) != std::string::npos;)
        failure_.replace(at, staging.size(), target_.path);
}

void SaveRun::conclude(const char* closing) {
    bool stopped = cancelled();
    endUnit();
    connection_.close();
    busy_.close();
    if (stopped)
        session_.messages.show(work::kCancelled);
    else if (failed())
        session_.messages.show(kOperationFailed + failure_);
    else if (target_.kind().empty())
        session_.messages.show(kSaveFailed);
    else
        session_.messages.show(closing);
}

}  // namespace qx::exchange
