// Runs .scn scenario files against the real main window, as a person would use it: commands
// act on the visible topmost window and find its controls by their captions. Commands run from
// the event loop, so that they go on inside modal dialogs.
#pragma once

#include <QObject>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace qx::app {

class MainWindow;

struct ScenarioOptions {
    std::filesystem::path progdir;  // fresh per file when empty
    std::filesystem::path tmp;      // fresh per file when empty
    // Called with the freshly built window before the first command (tests of the runner).
    std::function<void(MainWindow&)> prepare;
};

// Splits a scenario line into its arguments (double quotes, \" \\ \r \n \t escapes).
std::vector<std::string> scenarioArguments(const std::string& line, std::string& error);

class ScenarioRunner : public QObject {
  public:
    ScenarioRunner(std::filesystem::path file, ScenarioOptions options);
    // Runs the whole file; false on the first command that does not hold (`failure` says why,
    // as FILE:LINE: what differed).
    bool run();
    const std::string& failure() const { return failure_; }

  private:
    struct Line {
        int number;
        std::vector<std::string> args;
    };
    void step();
    bool execute(const std::vector<std::string>& args, std::string& why);
    bool fail(std::string& why, const std::string& text) {
        why = text;
        return false;
    }
    QWidget* topmost() const;
    template <typename T>
    T* findOne(const std::string& caption, std::string& why);
    QWidget* labelled(const std::string& caption, std::string& why);
    std::string expand(const std::string& s) const;

    std::filesystem::path file_;
    ScenarioOptions options_;
    std::vector<Line> lines_;
    std::size_t next_ = 0;
    MainWindow* window_ = nullptr;
    std::deque<std::optional<std::string>> openAnswers_, saveAnswers_;
    std::string lastDialogTitle_, lastDialogFilter_;
    std::deque<std::string> messages_;
    std::string failure_;
    bool done_ = false;
    int running_ = 0;
    bool dialogUnanswered_ = false;
};

}  // namespace qx::app
