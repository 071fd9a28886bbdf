// One call of quillex-cli: a working database in a folder of its own, the non-visual controls
// the operations take (the import controls of a module's first page, the dialogs, the message
// box, the busy and progress notices), and the reading of input files through the open step.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "exchange/import.h"
#include "exchange/memory_import.h"
#include "platform/ui/memory_controls.h"
#include "store/session.h"

namespace qx::cli {

// The window's messages on standard error; the closing message of a successful run is kept
// back when quiet.
class ConsoleMessages : public ui::MessageBox {
  public:
    explicit ConsoleMessages(bool quiet) : quiet_(quiet) {}
    void show(const std::string& text) override;
    const std::vector<std::string>& shown() const { return shown_; }
    // Whether a message is the closing message of a successful run.
    static bool isClosing(const std::string& text);

  private:
    bool quiet_;
    std::vector<std::string> shown_;
};

// A progress bar on standard error when it is a terminal.
class ConsoleProgress : public ui::ProgressNotice {
  public:
    explicit ConsoleProgress(bool quiet);
    void show() override;
    void setPercent(int percent) override;
    void close() override;

  private:
    bool enabled_;
    bool drawn_ = false;
};

class Workspace {
  public:
    // The working database lives in `workdir` (created when missing); its files are removed at
    // the end, the folder is left.
    Workspace(const std::filesystem::path& workdir, bool quiet);
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // Opens FILE as the open button does and reads it (TABLE by name or 1-based position, else
    // the first); false with the message shown when it cannot be read.
    struct ReadOptions {
        bool header = false;
        std::string count = "1";
        std::string delimiter;
    };
    bool read(const std::string& file, const std::string& table, const ReadOptions& options);
    // Opens FILE only: the sheets or tables it offers (the file itself for dbf, csv, txt).
    bool list(const std::string& file, std::vector<std::string>& names);
    void fail(const std::string& message) { messages_.show(message); }

    const store::Session& session() const { return session_; }
    exchange::ImportPage& page() { return import_.page; }
    ui::MemoryFileDialog& saveDialog() { return save_; }
    const ConsoleMessages& messages() const { return messages_; }

  private:
    void dataReset();

    std::filesystem::path dir_;
    store::WorkingDatabase database_;
    ui::MemoryFileDialog open_, save_;
    ConsoleMessages messages_;
    ui::MemoryBusyNotice busy_;
    ConsoleProgress progress_;
    store::Session session_;
    exchange::MemoryImportControls import_;
};

}  // namespace qx::cli
