// Run folders: a run's own folder is kept while it lives and removed when it ends; the next run
// removes what a killed run left, and nothing else of the temporary folder.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "platform/os/paths.h"
#include "platform/os/scratch.h"
#include "tests/unit/test_dir.h"

namespace qx::os {

namespace fs = std::filesystem;
using qx::testing::TestDir;
using qx::testing::writeFile;

namespace {

// The variable that names the temporary folder.
#ifdef _WIN32
constexpr const char* kTemporaryVariable = "TMP";
#else
constexpr const char* kTemporaryVariable = "TMPDIR";
#endif

// The temporary folder pointed at a folder of the test's while it lives.
class TemporaryFolderAt {
  public:
    explicit TemporaryFolderAt(const fs::path& p) {
        const char* old = std::getenv(kTemporaryVariable);
        if (old) old_ = old, hadOld_ = true;
        qx::testing::setEnvironment(kTemporaryVariable, qx::os::utf8(p));
    }
    ~TemporaryFolderAt() {
        if (hadOld_)
            qx::testing::setEnvironment(kTemporaryVariable, old_);
        else
            qx::testing::unsetEnvironment(kTemporaryVariable);
    }

  private:
    std::string old_;
    bool hadOld_ = false;
};

}  // namespace

TEST(ScratchFolder, TheNextRunRemovesOnlyWhatEndedRunsLeft) {
    TestDir tmp;
    TemporaryFolderAt at(tmp.path());
    std::string error;
    auto living = ScratchFolder::make("qx-run", error);
    ASSERT_TRUE(living) << error;
    writeFile(living->path() / "work.db", "data");

    // A killed run's folder: its lock file, held by nobody.
    fs::create_directory(tmp / "qx-run-111");
    writeFile(tmp / "qx-run-111" / ".run", "");
    writeFile(tmp / "qx-run-111" / "work.db", "left");
    // Folders without a lock file: one just made (its run is about to lock it), one old.
    fs::create_directory(tmp / "qx-run-222");
    fs::create_directory(tmp / "qx-run-333");
    qx::testing::ageFolder(tmp / "qx-run-333", std::chrono::hours(3));
    // What is not ours: other names, a file, a link to a folder of the user's.
    fs::create_directory(tmp / "qx-run-abc");
    writeFile(tmp / "qx-run-abc" / ".run", "");
    writeFile(tmp / "qx-run-444", "a file");
    fs::create_directory(tmp / "mine");
    writeFile(tmp / "mine" / ".run", "");
    // (A link needs a right on Windows that a user may not have.)
    std::error_code linkError;
    fs::create_directory_symlink(tmp / "mine", tmp / "qx-run-555", linkError);

    auto next = ScratchFolder::make("qx-run", error);
    ASSERT_TRUE(next) << error;
    EXPECT_NE(next->path(), living->path());
    EXPECT_TRUE(fs::exists(living->path() / "work.db"));
    EXPECT_FALSE(fs::exists(tmp / "qx-run-111"));
    EXPECT_TRUE(fs::exists(tmp / "qx-run-222"));
    EXPECT_FALSE(fs::exists(tmp / "qx-run-333"));
    EXPECT_TRUE(fs::exists(tmp / "qx-run-abc" / ".run"));
    EXPECT_TRUE(fs::exists(tmp / "qx-run-444"));
    EXPECT_TRUE(fs::exists(tmp / "mine" / ".run"));
    EXPECT_TRUE(linkError || fs::is_symlink(tmp / "qx-run-555"));

    fs::path ended = living->path();
    living.reset();
    EXPECT_FALSE(fs::exists(ended));
    EXPECT_TRUE(fs::exists(next->path() / ".run"));
}

TEST(ScratchFolder, NoFolderIsAClearErrorAndNoFolderAtAll) {
    TestDir tmp;
    TemporaryFolderAt at(tmp / "missing");
    std::string error;
    EXPECT_FALSE(ScratchFolder::make("qx-run", error));
    EXPECT_EQ(error.rfind("找不到临时文件夹", 0), 0u) << error;
}

}  // namespace qx::os
