// Saving a result table: the choice of the target file, the export statement of each target
// kind, and the frame that runs an operation's statements between the two and ends it with its
// closing message, or with the reason it failed.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/jet/connection.h"
#include "store/session.h"

namespace qx::exchange {

inline constexpr const char* kSaveFailed = "保存失败";
inline constexpr const char* kOperationFailed = "操作失败：";

// The blanks and spellings in which each operation writes its export statements.
struct ExportStyle {
    const char* excelInto;  // before "[Excel …"
    const char* mdbInto;    // before "[;DATABASE="
    const char* mdbFrom;    // between the Access table and R
    const char* textFrom;   // between the text file and R
    const char* dbfFrom;    // between the dBASE file and R
    const char* dbfDriver;
};
inline constexpr ExportStyle kCompareStyle{"SELECT * INTO   ", "SELECT * INTO   ", " FROM ",
                                           " FROM  ",          " FROM  ",          "DBASE III"};
inline constexpr ExportStyle kCommonStyle{"SELECT * INTO   ", "SELECT * INTO ", " FROM  ",
                                          " FROM  ",          " FROM  ",        "Dbase III"};
inline constexpr ExportStyle kSingleStyle{"SELECT * INTO   ", "SELECT * INTO   ", " FROM ",
                                          " FROM ",           " FROM ",           "Dbase III"};
inline constexpr ExportStyle kQueryStyle{"SELECT * INTO ", "SELECT * INTO ", " FROM ",
                                         " FROM ",         " FROM  ",        "DBASE III"};
inline constexpr ExportStyle kChangeStyle{"SELECT * INTO ", "SELECT * INTO ", " FROM ",
                                          " FROM ",         " FROM ",         "DBASE III"};

struct SaveTarget {
    std::string path;
    bool xlsxMode = false;
    // "xlsx" in xlsx mode whatever the extension, else xls, csv, txt, mdb, dbf, or "" for an
    // extension no kind is written in.
    std::string kind() const;
};

// Sets the save dialog's filter (the result filters by xlsx mode unless one is given) and shows
// it; nothing when the user cancels.
std::optional<SaveTarget> chooseSaveTarget(const store::Session& session,
                                           const char* filter = nullptr);

// The export statement of R (read from `source`) for a target kind, with `path` in it.
std::string exportStatement(const ExportStyle& style, const std::string& kind,
                            const std::string& path, const std::string& table);

// One operation's run between the save dialog and its closing message: the busy notice and the
// connection to the working database for its lifetime, the statements that build the result,
// and the export.
class SaveRun {
  public:
    SaveRun(const store::Session& session, SaveTarget target);
    ~SaveRun();
    SaveRun(const SaveRun&) = delete;
    SaveRun& operator=(const SaveRun&) = delete;

    jet::Connection& connection() { return connection_; }
    const SaveTarget& target() const { return target_; }
    bool failed() const { return !failure_.empty(); }

    // A statement that builds the result: once one is refused, later ones are not run and the
    // operation ends with the reason.
    bool build(const std::string& sql);
    // A statement whose refusal is part of normal running (an index that exists already).
    void quietly(const std::string& sql);
    // Marks the run failed with a reason of the operation's own.
    void fail(const std::string& reason);

    // Writes R to the target (staged beside it for workbooks and databases, moved over the
    // chosen file only when complete), closes the busy notice and shows the closing message,
    // "保存失败" for a target of no kind, the failure with its reason, or "操作已取消" after
    // a cancel, which takes back every statement of the run.
    void finish(const std::string& table, const ExportStyle& style, const char* closing);
    // The same with a statement of the operation's own for the target kind and path.
    void finish(const std::function<std::string(const std::string& kind, const std::string& path)>&
                    statement,
                const char* closing);
    // The two halves of finish, for operations with work between the export and the message.
    void exportResult(const std::string& table, const ExportStyle& style);
    void exportResult(const std::function<std::string(const std::string& kind,
                                                      const std::string& path)>& statement);
    void conclude(const char* closing);

    // Leaves the busy notice for a while (the progress window takes its place).
    void pauseBusy() { session_.busy.pause(); }
    void resumeBusy() { session_.busy.resume(); }
    // Whether the user cancelled the run (Esc, "取消", Ctrl-C).
    bool cancelled() const;

  private:
    const store::Session& session_;
    SaveTarget target_;
    store::BusyScope busy_;
    jet::Connection connection_;
    std::string failure_;
    std::vector<std::string> before_;  // the tables there were when the run began
    bool undone_ = false;
    void endUnit();
};

}  // namespace qx::exchange
