// The main window: its own title bar, five navigation buttons over six pages, and the bottom
// line. It owns the working database's lifetime: the data reset runs when the window is shown,
// on every navigation and page switch that leaves a module, and when it is destroyed.
#pragma once

#include <QWidget>
#include <array>

#include <memory>
#include <string>
#include <vector>

#include "app/controls/qt_controls.h"
#include "app/module_pages.h"
#include "app/small_windows.h"
#include "lines/line_ops.h"
#include "store/session.h"
#include "store/working_database.h"

class QStackedWidget;
class QSystemTrayIcon;
class QTabWidget;

namespace qx::app {

// 宋体 9 pt, the program's default font, mapped to the installed CJK fonts.
void useProgramFont();
// Loads Qt's Chinese catalogue for its standard dialogs and buttons; false when none is found.
bool useChineseTranslations();

class ModuleWiring;
class NavButton;
class TitleBar;

class MainWindow : public QWidget {
  public:
    static constexpr int kWidth = 784;
    static constexpr int kHeight = 597;

    explicit MainWindow(const store::WorkingDatabase& workingDatabase, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The navigation buttons' action: data reset, selection, page (1 快捷操作 … 5 关于软件).
    void navigate(int page);
    int currentPage() const;
    ModuleControls& module(Module m) { return modules_[static_cast<std::size_t>(m)]; }
    void minimise();
    void restore();
    void dataReset();

    // The dialogs and message box every module shares.
    QtFileDialog& openDialog() { return openDialog_; }
    QtFileDialog& saveDialog() { return saveDialog_; }
    // The open dialog of the line operations (text files only).
    QtFileDialog& linesDialog() { return linesDialog_; }
    QtMessageBox& messages() { return messages_; }
    // The two pages of 简易操作 and their boxes.
    LineControls& lineControls() { return lines_; }
    const store::Session& session() const { return *session_; }
    ModuleWiring& wiring(Module m) { return *wirings_[static_cast<std::size_t>(m)]; }
    bool hasTrayIcon() const { return tray_ != nullptr; }
    // Files opened from outside the program (its command line, "Open with"): in 快捷操作 /
    // 初始化, as if chosen one after another with "1.打开文件".
    void openFilesFromOutside(const std::vector<std::string>& paths);
    // The same in a module whose first page is shown (files dropped on it).
    void openFiles(Module m, const std::vector<std::string>& paths);
    // What a plain click on the notification icon does.
    void trayClick() { restore(); }

  protected:
    void showEvent(QShowEvent* event) override;
    // Closing the window ends the run: the data reset runs then, not only when the window object
    // goes at process exit.
    void closeEvent(QCloseEvent* event) override;
    // Files dragged onto a module's first page.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* introductionPage();
    QWidget* quickPage();
    QWidget* aboutPage();
    // Whether a sheet's first row names its columns: the header box of the module page shown.
    bool headerRowOnShownPage() const;

    const store::WorkingDatabase& workingDatabase_;
    TitleBar* titleBar_;
    std::array<NavButton*, 5> nav_{};
    std::array<ModuleControls, 4> modules_{};
    QStackedWidget* pages_;
    QTabWidget* quickTabs_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    bool started_ = false;
    QtFileDialog openDialog_{this};
    QtFileDialog saveDialog_{this};
    QtFileDialog linesDialog_{this};
    QtClipboard clipboard_;
    LineControls lines_;
    std::unique_ptr<QtTextBox> boxA_, boxB_, boxResult_;
    std::unique_ptr<lines::PasteBoxes> paste_;
    void connectLineOperations();
    QtMessageBox messages_{this};
    BusyWindow* busy_;
    ProgressWindow* progress_;
    std::unique_ptr<store::Session> session_;
    std::array<ModuleWiring*, 4> wirings_{};
};

}  // namespace qx::app
