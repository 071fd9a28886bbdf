// The scenario commands.
#include "app/scenario/scenario_runner.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <fstream>
#include <random>

#include "app/controls/grid_widget.h"
#include "app/main_window.h"
#include "app/nav_button.h"
#include "platform/jet/connection.h"
#include "platform/jet/recordset.h"
#include "platform/os/encoding.h"
#include "platform/os/paths.h"
#include "platform/work/progress.h"

namespace qx::app {

namespace fs = std::filesystem;

std::vector<std::string> scenarioArguments(const std::string& line, std::string& error) {
    std::vector<std::string> args;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::string arg;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size()) {
                    char e = line[i++];
                    arg += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
                    continue;
                }
                arg += c;
            }
            if (!closed) {
                error = "unclosed quote";
                return {};
            }
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') arg += line[i++];
        }
        args.push_back(arg);
    }
    return args;
}

namespace {

QString q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string u(const QString& s) {
    return s.toUtf8().toStdString();
}

fs::path freshDir(const char* prefix) {
    std::random_device rd;
    fs::path p = fs::temp_directory_path() / (std::string(prefix) + std::to_string(rd()));
    fs::create_directories(p);
    return p;
}

bool shown(QWidget* w) {
    return w && w->isVisible();
}

std::string escapeCell(const std::string& v) {
    std::string out;
    for (char c : v) {
        if (c == '|' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// A data file's table as rows of cells joined by "|", the names row first, read with the
// program's own drivers.
bool readTableRows(const std::string& path, const std::string& table,
                   std::vector<std::string>& rows, std::string& error) {
    std::string ext =
        path.substr(path.rfind('.') == std::string::npos ? path.size() : path.rfind('.') + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string dir = path.substr(0, path.find_last_of('/') + 1),
                name = path.substr(path.find_last_of('/') + 1);
    std::string source;
    bool namesFromFields = true;
    if (ext == "xls" || ext == "xlsx") {
        source = "[Excel " + std::string(ext == "xls" ? "8.0" : "12.0") +
                 ";HDR=NO;IMEX=1;DATABASE=" + path + "].[" + table + "$]";
        namesFromFields = false;
    } else if (ext == "mdb") {
        source = "[;DATABASE=" + path + "].[" + table + "]";
    } else if (ext == "dbf") {
        source = "[dBASE III;DATABASE=" + dir + "].[" + name + "]";
    } else if (ext == "csv" || ext == "txt") {
        source = "[Text;FMT=Delimited;DATABASE=" + dir + "].[" + name + "]";
        namesFromFields = false;
    } else {
        error = "not a data file: " + path;
        return false;
    }
    fs::path scratch = freshDir("qx_scenario_read_");
    jet::Connection c;
    bool ok =
        jet::createEmptyDatabase(scratch / "read.db").ok && c.openFile(scratch / "read.db").ok;
    jet::Recordset rs;
    jet::Outcome o = ok ? rs.open(c, "SELECT * FROM " + source)
                        : jet::Outcome{false, "cannot open a scratch database"};
    if (o.ok) {
        if (namesFromFields) {
            std::string head;
            for (int i = 0; i < rs.fieldCount(); ++i)
                head += (i ? "|" : "") + escapeCell(rs.field(i).name);
            rows.push_back(head);
        }
        for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
            std::string row;
            for (int i = 0; i < rs.fieldCount(); ++i)
                row += (i ? "|" : "") + escapeCell(rs.value(i).value_or(""));
            rows.push_back(row);
        }
    }
    error = o.message;
    rs.close();
    c.close();
    std::error_code ec;
    fs::remove_all(scratch, ec);
    return o.ok;
}

}  // namespace

ScenarioRunner::ScenarioRunner(fs::path file, ScenarioOptions options)
    : file_(std::move(file)), options_(std::move(options)) {}

std::string ScenarioRunner::expand(const std::string& s) const {
    std::string out = s;
    auto replace = [&](const std::string& var, const std::string& value) {
        for (std::size_t at = 0; (at = out.find(var, at)) != std::string::npos; at += value.size())
            out.replace(at, var.size(), value);
    };
    replace("$HERE", os::genericUtf8(fs::absolute(file_).parent_path()));
    replace("$TMP", os::genericUtf8(options_.tmp));
    replace("$PROGDIR", os::genericUtf8(options_.progdir));
    return out;
}

bool ScenarioRunner::run() {
    std::ifstream in(file_);
    if (!in) {
        failure_ = os::utf8(file_) + ":0: cannot read the file";
        return false;
    }
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
        ++number;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        std::size_t b = text.find_first_not_of(" \t");
        if (b == std::string::npos || text[b] == '#') continue;
        std::string error;
        auto args = scenarioArguments(text, error);
        if (!error.empty()) {
            failure_ = os::utf8(file_) + ":" + std::to_string(number) + ": " + error;
            return false;
        }
        lines_.push_back({number, args});
    }
    if (options_.progdir.empty()) options_.progdir = freshDir("qx_scenario_prog_");
    if (options_.tmp.empty()) options_.tmp = freshDir("qx_scenario_tmp_");
    for (auto& l : lines_)
        for (auto& a : l.args) a = expand(a);

    store::WorkingDatabase wdb(options_.progdir);
    MainWindow window(wdb);
    window_ = &window;
    auto script = [this](std::deque<std::optional<std::string>>& answers) {
        return [this, &answers](bool, const std::string& title,
                                const std::string& filter) -> std::optional<std::string> {
            lastDialogTitle_ = title;
            lastDialogFilter_ = filter;
            if (answers.empty()) {
                dialogUnanswered_ = true;
                return std::nullopt;
            }
            auto a = answers.front();
            answers.pop_front();
            return a;
        };
    };
    window.openDialog().setScript(script(openAnswers_));
    window.linesDialog().setScript(script(openAnswers_));
    window.saveDialog().setScript(script(saveAnswers_));
    window.messages().setScript([this](const std::string& text) { messages_.push_back(text); });
    if (options_.prepare) options_.prepare(window);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);

    QEventLoop loop;
    QTimer::singleShot(0, this, [this] { step(); });
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, &loop, [this, &loop] {
        if (done_) loop.quit();
    });
    poll->start(5);
    loop.exec();
    poll->stop();
    window_ = nullptr;
    return failure_.empty();
}

void ScenarioRunner::step() {
    if (done_) return;
    // While a command is still running (a handler in its own event loop), the next command
    // waits, unless that loop is a modal dialog's: then the dialog is what a person acts on.
    if ((running_ > 0 && !QApplication::activeModalWidget()) || work::longWorkRunning()) {
        QTimer::singleShot(5, this, [this] { step(); });
        return;
    }
    auto finish = [this](const std::string& failure) {
        failure_ = failure;
        done_ = true;
        // Dialogs still open would keep their own event loops running.
        while (QWidget* modal = QApplication::activeModalWidget()) {
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
            QApplication::processEvents();
        }
    };
    if (next_ >= lines_.size()) {
        if (running_ > 0) return;  // the command that opened a dialog finishes first
        std::string where = os::utf8(file_) + ":" +
                            std::to_string(lines_.empty() ? 0 : lines_.back().number) + ": ";
        if (!messages_.empty())
            return finish(where + "message box left unchecked: " + messages_.front());
        if (!openAnswers_.empty() || !saveAnswers_.empty())
            return finish(where + "a queued dialog answer was not used");
        return finish("");
    }
    // A person acts on a dialog once it is on screen and active, when its first control has
    // taken the focus (a list then has a current row, though nothing is selected).
    if (QWidget* modal = QApplication::activeModalWidget(); modal && !modal->isActiveWindow()) {
        (void)QTest::qWaitForWindowActive(modal, 2000);
        QApplication::processEvents();
    }
    const Line& line = lines_[next_++];
    // The next command is queued first: if this one opens a modal dialog, it runs inside it.
    QTimer::singleShot(0, this, [this] { step(); });
    std::string why;
    ++running_;
    bool ok = execute(line.args, why);
    --running_;
    if (ok && dialogUnanswered_) {
        ok = false;
        why = "a file dialog opened with no answer queued";
    }
    if (!ok && !done_) finish(os::utf8(file_) + ":" + std::to_string(line.number) + ": " + why);
    if (ok && running_ == 0 && next_ >= lines_.size())
        QTimer::singleShot(0, this, [this] { step(); });
}

QWidget* ScenarioRunner::topmost() const {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return window_;
}

template <typename T>
T* ScenarioRunner::findOne(const std::string& caption, std::string& why) {
    std::vector<T*> found;
    for (T* w : topmost()->findChildren<T*>())
        if (shown(w) && u(w->text()) == caption) found.push_back(w);
    if (found.size() == 1) return found[0];
    why = found.empty()
              ? "no visible control \"" + caption + "\""
              : "ambiguous: " + std::to_string(found.size()) + " controls \"" + caption + "\"";
    return nullptr;
}

QWidget* ScenarioRunner::labelled(const std::string& caption, std::string& why) {
    std::vector<QWidget*> found;
    for (QLabel* l : topmost()->findChildren<QLabel*>())
        if (shown(l) && l->buddy() && u(l->text()) == caption) found.push_back(l->buddy());
    // Grids may also be named by their first header cell.
    for (GridWidget* g : topmost()->findChildren<GridWidget*>())
        if (shown(g) && g->rows() > 0 &&
            u(QString::fromStdString(g->text(0, 0)).trimmed()) == caption &&
            std::find(found.begin(), found.end(), g) == found.end())
            found.push_back(g);
    if (found.size() == 1) return found[0];
    why = found.empty() ? "no visible control named \"" + caption + "\""
                        : "ambiguous name \"" + caption + "\"";
    return nullptr;
}

bool ScenarioRunner::execute(const std::vector<std::string>& a, std::string& why) {
    const std::string& cmd = a[0];
    auto need = [&](std::size_t n) {
        if (a.size() >= n + 1) return true;
        why = cmd + " needs " + std::to_string(n) + " argument(s)";
        return false;
    };
    auto listOf = [&](QWidget* w, std::vector<std::string>& items) {
        if (auto* l = qobject_cast<QListWidget*>(w)) {
            for (int i = 0; i < l->count(); ++i) items.push_back(u(l->item(i)->text()));
            return true;
        }
        if (auto* c = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < c->count(); ++i) items.push_back(u(c->itemText(i)));
            return true;
        }
        why = "not a list or combo box";
        return false;
    };
    auto indexOf = [&](const std::vector<std::string>& items, const std::string& wanted) {
        if (wanted.size() > 1 && wanted[0] == '#') {
            int n = std::atoi(wanted.c_str() + 1);
            return n >= 1 && n <= static_cast<int>(items.size()) ? n - 1 : -1;
        }
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i] == wanted) return static_cast<int>(i);
        return -1;
    };

    if (cmd == "nav") {
        if (!need(1)) return false;
        for (NavButton* b : window_->findChildren<NavButton*>())
            if (u(b->text()) == a[1]) {
                b->click();
                return true;
            }
        return fail(why, "no navigation button \"" + a[1] + "\"");
    }
    if (cmd == "tab") {
        if (!need(1)) return false;
        std::vector<std::pair<QTabWidget*, int>> found;
        for (QTabWidget* t : topmost()->findChildren<QTabWidget*>())
            if (shown(t))
                for (int i = 0; i < t->count(); ++i)
                    if (u(t->tabText(i)) == a[1]) found.emplace_back(t, i);
        if (found.size() != 1)
            return fail(
                why, found.empty() ? "no tab \"" + a[1] + "\"" : "ambiguous tab \"" + a[1] + "\"");
        found[0].first->setCurrentIndex(found[0].second);
        return true;
    }
    if (cmd == "click" || cmd == "check" || cmd == "uncheck") {
        if (!need(1)) return false;
        auto* b = findOne<QAbstractButton>(a[1], why);
        if (!b) return false;
        if (cmd == "click") {
            if (!b->isEnabled()) return fail(why, "\"" + a[1] + "\" is disabled");
            b->click();
            return true;
        }
        b->setChecked(cmd == "check");
        return true;
    }
    if (cmd == "choose" || cmd == "select" || cmd == "dblclick") {
        if (!need(2)) return false;
        QWidget* w = labelled(a[1], why);
        std::vector<std::string> items;
        if (!w || !listOf(w, items)) return false;
        int i = indexOf(items, a[2]);
        if (i < 0) return fail(why, "no item \"" + a[2] + "\" in \"" + a[1] + "\"");
        if (auto* c = qobject_cast<QComboBox*>(w)) {
            c->setCurrentIndex(i);
            return true;
        }
        auto* l = qobject_cast<QListWidget*>(w);
        l->setCurrentRow(i, QItemSelectionModel::ClearAndSelect);
        if (cmd == "dblclick") emit l->itemDoubleClicked(l->item(i));
        return true;
    }
    if (cmd == "type") {
        if (!need(2)) return false;
        QWidget* w = labelled(a[1], why);
        if (!w) return false;
        if (auto* e = qobject_cast<QLineEdit*>(w))
            e->setText(q(a[2]));
        else if (auto* t = qobject_cast<QTextEdit*>(w))
            t->setPlainText(q(a[2]));
        else
            return fail(why, "\"" + a[1] + "\" is not an edit box");
        return true;
    }
    if (cmd == "cell" || cmd == "edit") {
        if (!need(3)) return false;
        auto* g = qobject_cast<GridWidget*>(labelled(a[1], why));
        if (!g) return why.empty() ? fail(why, "\"" + a[1] + "\" is not a grid") : false;
        int r = std::atoi(a[2].c_str()), c = std::atoi(a[3].c_str());
        if (r < 0 || r >= g->rows() || c < 0 || c >= g->cols()) return fail(why, "no such cell");
        g->setCurrentCell(r, c);
        if (cmd == "cell") return true;
        if (!g->requestEdit(r, c) || a.size() < 5) return true;
        // The cell's editor: a drop-down for columns with a list, else a line edit.
        QWidget* editor = nullptr;
        for (QWidget* child : g->viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->isVisible() &&
                (qobject_cast<QComboBox*>(child) || qobject_cast<QLineEdit*>(child)))
                editor = child;
        if (!editor) editor = QApplication::focusWidget();
        if (auto* e = qobject_cast<QLineEdit*>(editor))
            e->setText(q(a[4]));
        else if (auto* box = qobject_cast<QComboBox*>(editor)) {
            int i = box->findText(q(a[4]));
            if (i >= 0)
                box->setCurrentIndex(i);
            else if (box->isEditable())
                box->setEditText(q(a[4]));
            else
                return fail(why, "\"" + a[4] + "\" is not in the cell's list");
        }
        QTest::keyClick(editor ? editor : QApplication::focusWidget(), Qt::Key_Return);
        QApplication::processEvents();
        return true;
    }
    if (cmd == "answer-open" || cmd == "answer-save") {
        if (!need(1)) return false;
        (cmd == "answer-open" ? openAnswers_ : saveAnswers_).push_back(a[1]);
        return true;
    }
    if (cmd == "cancel-open" || cmd == "cancel-save") {
        (cmd == "cancel-open" ? openAnswers_ : saveAnswers_).push_back(std::nullopt);
        return true;
    }
    if (cmd == "minimise") {
        window_->minimise();
        return true;
    }
    if (cmd == "tray-click") {
        window_->trayClick();
        return true;
    }
    if (cmd == "close") {
        window_->close();
        return true;
    }
    if (cmd == "screenshot") {
        if (!need(1)) return false;
        return topmost()->grab().save(q(a[1])) || fail(why, "cannot write " + a[1]);
    }
    // Checking.
    if (cmd == "expect-message" || cmd == "expect-message-match") {
        if (!need(1)) return false;
        if (messages_.empty()) return fail(why, "no message box was shown");
        std::string text = messages_.front();
        messages_.pop_front();
        bool match = cmd == "expect-message"
                         ? text == a[1]
                         : QRegularExpression(QRegularExpression::anchoredPattern(q(a[1])))
                               .match(q(text))
                               .hasMatch();
        return match || fail(why, "message was \"" + text + "\"");
    }
    if (cmd == "expect-no-message")
        return messages_.empty() || fail(why, "message box left unchecked: " + messages_.front());
    if (cmd == "expect-dialog") {
        for (std::size_t i = 1; i < a.size(); ++i) {
            std::string arg = a[i];
            if (arg.rfind("title=", 0) == 0 && arg.substr(6) != lastDialogTitle_)
                return fail(why, "dialog title was \"" + lastDialogTitle_ + "\"");
            if (arg.rfind("filter=", 0) == 0 && arg.substr(7) != lastDialogFilter_)
                return fail(why, "dialog filter was \"" + lastDialogFilter_ + "\"");
        }
        return true;
    }
    if (cmd == "expect-items") {
        if (!need(1)) return false;
        QWidget* w = labelled(a[1], why);
        std::vector<std::string> items;
        if (!w || !listOf(w, items)) return false;
        std::vector<std::string> want(a.begin() + 2, a.end());
        if (items == want) return true;
        std::string got;
        for (const auto& i : items) got += " \"" + i + "\"";
        return fail(why, "items were" + (got.empty() ? std::string(" none") : got));
    }
    if (cmd == "expect-selected") {
        if (!need(2)) return false;
        QWidget* w = labelled(a[1], why);
        if (!w) return false;
        std::string selected;
        int index = -1;
        if (auto* l = qobject_cast<QListWidget*>(w)) {
            const QList<QListWidgetItem*> chosen = l->selectedItems();
            selected = chosen.isEmpty() ? "" : u(chosen.first()->text());
            index = chosen.isEmpty() ? -1 : l->row(chosen.first());
        } else if (auto* c = qobject_cast<QComboBox*>(w)) {
            selected = u(c->currentText());
            index = c->currentIndex();
        }
        bool byPosition = a[2].size() > 1 && a[2][0] == '#';
        if (byPosition)
            return (index >= 0 && index + 1 == std::atoi(a[2].c_str() + 1)) ||
                   fail(why, "selected was #" + std::to_string(index + 1));
        return selected == a[2] || fail(why, "selected was \"" + selected + "\"");
    }
    if (cmd == "expect-text") {
        if (!need(2)) return false;
        QWidget* w = labelled(a[1], why);
        if (!w) return false;
        std::string text = qobject_cast<QLineEdit*>(w) ? u(qobject_cast<QLineEdit*>(w)->text())
                           : qobject_cast<QTextEdit*>(w)
                               ? u(qobject_cast<QTextEdit*>(w)->toPlainText())
                               : "";
        return text == a[2] || fail(why, "text was \"" + text + "\"");
    }
    if (cmd == "expect-checked" || cmd == "expect-unchecked") {
        if (!need(1)) return false;
        auto* b = findOne<QAbstractButton>(a[1], why);
        if (!b) return false;
        return b->isChecked() == (cmd == "expect-checked") ||
               fail(why, "\"" + a[1] + "\" is not " + cmd.substr(7));
    }
    if (cmd == "expect-enabled" || cmd == "expect-disabled") {
        if (!need(1)) return false;
        auto* b = findOne<QAbstractButton>(a[1], why);
        if (!b) return false;
        return b->isEnabled() == (cmd == "expect-enabled") ||
               fail(why, "\"" + a[1] + "\" is not " + cmd.substr(7));
    }
    if (cmd == "expect-visible" || cmd == "expect-hidden") {
        if (!need(1)) return false;
        // A control, or a label's control, on the current page; hidden ones are searched too.
        bool visible = false, exists = false;
        for (QAbstractButton* b : topmost()->findChildren<QAbstractButton*>())
            if (u(b->text()) == a[1] && (!b->parentWidget() || b->parentWidget()->isVisible())) {
                exists = true;
                visible = visible || b->isVisible();
            }
        for (QLabel* l : topmost()->findChildren<QLabel*>())
            if (l->buddy() && u(l->text()) == a[1] && l->parentWidget() &&
                l->parentWidget()->parentWidget() &&
                l->parentWidget()->parentWidget()->isVisible()) {
                exists = true;
                visible = visible || l->buddy()->isVisible();
            }
        if (!exists) return fail(why, "no control \"" + a[1] + "\" on the current page");
        return visible == (cmd == "expect-visible") ||
               fail(why, "\"" + a[1] + "\" is not " + cmd.substr(7));
    }
    if (cmd == "expect-page") {
        if (!need(1)) return false;
        // The main tab's pages are captioned "0" to "5"; its header strip is hidden.
        if (a[1].size() == 1 && a[1][0] >= '0' && a[1][0] <= '5')
            return window_->currentPage() == a[1][0] - '0' ||
                   fail(why, "the main tab shows page " + std::to_string(window_->currentPage()));
        for (QTabWidget* t : topmost()->findChildren<QTabWidget*>())
            if (shown(t))
                for (int i = 0; i < t->count(); ++i)
                    if (u(t->tabText(i)) == a[1])
                        return t->currentIndex() == i ||
                               fail(why, "page \"" + a[1] + "\" is not the one shown");
        return fail(why, "no tab \"" + a[1] + "\"");
    }
    if (cmd == "expect-rows" || cmd == "expect-cell" || cmd == "expect-combo") {
        if (!need(cmd == "expect-rows" ? 2 : cmd == "expect-combo" ? 3 : 4)) return false;
        auto* g = qobject_cast<GridWidget*>(labelled(a[1], why));
        if (!g) return why.empty() ? fail(why, "\"" + a[1] + "\" is not a grid") : false;
        if (cmd == "expect-rows")
            return g->rows() == std::atoi(a[2].c_str()) ||
                   fail(why, "rows were " + std::to_string(g->rows()));
        if (cmd == "expect-combo") {
            std::string list = g->colComboList(std::atoi(a[2].c_str()));
            return list == a[3] || fail(why, "list was \"" + list + "\"");
        }
        int r = std::atoi(a[2].c_str()), c = std::atoi(a[3].c_str());
        if (r < 0 || r >= g->rows() || c < 0 || c >= g->cols()) return fail(why, "no such cell");
        return g->text(r, c) == a[4] || fail(why, "cell was \"" + g->text(r, c) + "\"");
    }
    if (cmd == "expect-window-shown" || cmd == "expect-window-hidden") {
        bool visible = window_->isVisible() && !window_->isMinimized();
        return visible == (cmd == "expect-window-shown") ||
               fail(why, "the window is not " + cmd.substr(14));
    }
    if (cmd == "expect-file" || cmd == "expect-no-file") {
        if (!need(1)) return false;
        bool there = fs::exists(os::pathFromUtf8(a[1]));
        return there == (cmd == "expect-file") ||
               fail(why, there ? "a file is at " + a[1] : "no file at " + a[1]);
    }
    if (cmd == "expect-lines") {
        if (!need(1)) return false;
        std::ifstream in(os::pathFromUtf8(a[1]), std::ios::binary);
        if (!in) return fail(why, "cannot read " + a[1]);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (data.rfind("\xEF\xBB\xBF", 0) == 0) data.erase(0, 3);
        if (!os::isValidUtf8(data)) data = os::toUtf8(data, "GB18030");
        std::vector<std::string> lines = os::textLines(data);
        std::vector<std::string> want(a.begin() + 2, a.end());
        return lines == want || fail(why, "the file has " + std::to_string(lines.size()) +
                                              " lines, not as expected");
    }
    if (cmd == "expect-table" || cmd == "expect-table-sorted") {
        if (!need(1)) return false;
        std::string ext =
            a[1].substr(a[1].rfind('.') == std::string::npos ? a[1].size() : a[1].rfind('.') + 1);
        for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        bool named = ext == "xls" || ext == "xlsx" || ext == "mdb";
        if (named && !need(2)) return false;
        std::vector<std::string> got, want(a.begin() + (named ? 3 : 2), a.end());
        std::string error;
        if (!readTableRows(a[1], named ? a[2] : "", got, error))
            return fail(why, "cannot read " + a[1] + ": " + error);
        if (cmd == "expect-table-sorted") {
            if (got.size() > 1) std::sort(got.begin() + 1, got.end());
            if (want.size() > 1) std::sort(want.begin() + 1, want.end());
        }
        if (got == want) return true;
        std::string shownRows;
        for (const auto& r : got) shownRows += "\n    " + r;
        return fail(why, "the table holds:" + shownRows);
    }
    return fail(why, "unknown command \"" + cmd + "\"");
}

}  // namespace qx::app
