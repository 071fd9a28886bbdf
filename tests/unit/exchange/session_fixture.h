// A session over a fresh program directory with in-memory controls, for the operations' tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/jet/connection.h"
#include "platform/os/paths.h"
#include "platform/ui/memory_controls.h"
#include "store/session.h"

namespace qx::testing {

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("qx_ops_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "prog");
        database_ = std::make_unique<store::WorkingDatabase>(dir_ / "prog");
        session_ = std::make_unique<store::Session>(store::Session{
            *database_, open_, save_, messages_, busy_, progress_, [this] { ++resets_; }});
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // A path in the test's folder, as the dialogs give it (UTF-8).
    std::string path(const std::string& name) const {
        return os::utf8(dir_ / os::pathFromUtf8(name));
    }
    void writeFile(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / os::pathFromUtf8(name), std::ios::binary) << bytes;
    }
    std::string readFile(const std::string& name) const {
        std::ifstream in(dir_ / os::pathFromUtf8(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Runs statements on the working database of the open dialog's flavour.
    void run(std::initializer_list<std::string> statements) {
        database_->createIfAbsent(session_->flavour());
        jet::Connection c;
        ASSERT_TRUE(c.open(session_->connectionString()).ok);
        for (const auto& s : statements) ASSERT_TRUE(c.execute(s).ok) << s;
    }
    // The result of a query on the working database, rows of cells joined by "|".
    std::vector<std::string> query(const std::string& sql);

    std::filesystem::path dir_;
    std::unique_ptr<store::WorkingDatabase> database_;
    ui::MemoryFileDialog open_, save_;
    ui::MemoryMessageBox messages_;
    ui::MemoryBusyNotice busy_;
    ui::MemoryProgressNotice progress_;
    int resets_ = 0;
    std::unique_ptr<store::Session> session_;
};

}  // namespace qx::testing
